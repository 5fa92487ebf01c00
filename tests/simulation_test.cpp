#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "CompositionSetup.h"
#include "ProgramRun.h"
#include "rendering/SpriteTables.h"
#include "simulation/Pacing.h"
#include "simulation/SimulationThread.h"

using namespace testing_support;

namespace {

void Put(int i, Extended x, Extended y, Extended vx = 0, Extended vy = 0) {
    Balls[i].X = x;
    Balls[i].Y = y;
    Balls[i].VX = vx;
    Balls[i].VY = vy;
}

bool AllFinite() {
    for (int i = 1; i <= 2; ++i) {
        for (Extended v : {Balls[i].X, Balls[i].Y, Balls[i].VX, Balls[i].VY}) {
            if (!std::isfinite(v)) {
                return false;
            }
        }
    }
    return std::isfinite(StepDistance);
}

// ---- Pair force

TEST(PairForce, NothingAtExactlyOneHundredUnits) {
    // The start-up positions, then the same distance along a 3-4-5 diagonal.
    for (const auto& [x2, y2] : {std::pair{200.0L, 200.0L}, std::pair{160.0L, 280.0L}}) {
        Put(1, 100.0L, 200.0L, 0.01L, -0.02L);
        Put(2, x2, y2, -0.003L, 0.004L);
        ApplyPairForce();
        EXPECT_EQ(StepDistance, 100.0L);
        EXPECT_EQ(Balls[1].VX, 0.01L);
        EXPECT_EQ(Balls[1].VY, -0.02L);
        EXPECT_EQ(Balls[2].VX, -0.003L);
        EXPECT_EQ(Balls[2].VY, 0.004L);
    }
}

TEST(PairForce, PullsBeyondOneHundredAndPushesWithinAlongTheLineBetweenTheCentres) {
    // 200 apart: 0.1 / 9800 per step each, towards the other.
    Put(1, 100.0L, 200.0L);
    Put(2, 300.0L, 200.0L);
    ApplyPairForce();
    EXPECT_NEAR(static_cast<double>(Balls[1].VX), 0.1 / 9800, 1e-20);
    EXPECT_NEAR(static_cast<double>(Balls[2].VX), -0.1 / 9800, 1e-20);
    EXPECT_EQ(Balls[1].VY, 0.0L);
    EXPECT_EQ(Balls[2].VY, 0.0L);

    // 50 apart along (30, 40): 0.1 / 2450 each, away from the other.
    Put(1, 100.0L, 200.0L);
    Put(2, 130.0L, 240.0L);
    ApplyPairForce();
    EXPECT_EQ(StepDistance, 50.0L);
    EXPECT_NEAR(static_cast<double>(Balls[1].VX), -0.6 * 0.1 / 2450, 1e-20);
    EXPECT_NEAR(static_cast<double>(Balls[1].VY), -0.8 * 0.1 / 2450, 1e-20);
    EXPECT_EQ(Balls[1].VX + Balls[2].VX, 0.0L);
    EXPECT_EQ(Balls[1].VY + Balls[2].VY, 0.0L);
}

TEST(PairForce, CoincidentBallsFeelNothingAndStayFinite) {
    World(640, 480);
    Put(1, 150.0L, 150.0L, 0.01L, 0.0L);
    Put(2, 150.0L, 150.0L, -0.01L, 0.0L);
    ApplyPairForce();
    EXPECT_EQ(StepDistance, 0.0L);
    EXPECT_EQ(Balls[1].VX, 0.01L);
    EXPECT_EQ(Balls[2].VX, -0.01L);
    EXPECT_TRUE(AllFinite());

    // Once they part the push resumes, and a separation of the last bit stays finite too.
    MoveBalls();
    ApplyPairForce();
    EXPECT_GT(Balls[1].VX, 0.01L);
    EXPECT_LT(Balls[2].VX, -0.01L);
    Put(1, 150.0L, 150.0L);
    Put(2, std::nextafter(150.0L, 200.0L), 150.0L);
    ApplyPairForce();
    EXPECT_TRUE(AllFinite());
    EXPECT_LT(Balls[1].VX, 0.0L);
}

// ---- Motion and bounces (640 x 480: X within 12..628, Y within 12..468)

TEST(Motion, ACoordinateLandingOnABoundKeepsItsVelocity) {
    World(640, 480);
    Put(1, 627.5L, 12.5L, 0.5L, -0.5L);
    Put(2, 12.5L, 467.5L, -0.5L, 0.5L);
    MoveBalls();
    ExpectBall(Balls[1], 628.0L, 12.0L, 0.5L, -0.5L);
    ExpectBall(Balls[2], 12.0L, 468.0L, -0.5L, 0.5L);
}

TEST(Motion, PassingABoundMirrorsThePositionAndReversesTheVelocity) {
    World(640, 480);
    Put(1, 300.0L, 12.25L, 0.0L, -0.75L); // 0.5 beyond WorldMinY
    Put(2, 628.0L, 300.0L, 1.5L, 0.0L);   // 1.5 beyond WorldMaxX
    MoveBalls();
    ExpectBall(Balls[1], 300.0L, 12.5L, 0.0L, 0.75L);
    ExpectBall(Balls[2], 626.5L, 300.0L, -1.5L, 0.0L);
}

TEST(Motion, ACornerMirrorsBothCoordinatesInOneStepAndEachTestSeesTheOnesBefore) {
    World(640, 480);
    Put(1, 12.25L, 467.75L, -0.75L, 0.75L);
    Put(2, 627.5L, 12.5L, 1.0L, -1.0L);
    MoveBalls();
    ExpectBall(Balls[1], 12.5L, 467.5L, 0.75L, -0.75L);
    ExpectBall(Balls[2], 627.5L, 12.5L, -1.0L, 1.0L);

    // A world one unit tall (640 x 25: Y within 12..13): the mirror at the top bound lands beyond the bottom
    // one and is mirrored again in the same step, top first. Bottom first would leave it at 13.125.
    World(640, 25);
    ASSERT_EQ(WorldMaxY, 13.0L);
    Put(1, 300.0L, 12.125L, 0.0L, -1.25L);
    MoveBalls();
    EXPECT_EQ(Balls[1].Y, 12.875L);
    EXPECT_EQ(Balls[1].VY, -1.25L);
}

TEST(Motion, AStepLongerThanTheWorldIsFoldedBackInsideWithOneReversalPerBounce) {
    World(640, 25); // Y within 12..13
    // 3.5 from 12.25 towards 13: bounces at 13, 12 and 13, and ends back at 12.25 heading the other way.
    Put(1, 300.0L, 12.25L, 0.0L, 3.5L);
    // 1000.5 from 20 towards 12: bounces at 12 and 628, and ends 376.5 short of 628, still heading to 12.
    Put(2, 20.0L, 12.5L, -1000.5L, 0.0L);
    MoveBalls();
    EXPECT_EQ(Balls[1].Y, 12.25L);
    EXPECT_EQ(Balls[1].VY, -3.5L);
    EXPECT_EQ(Balls[2].X, 251.5L);
    EXPECT_EQ(Balls[2].VX, -1000.5L);

    // The start-up position far below the flattest world comes inside at the first step.
    World(1013, 39);
    Put(1, 100.0L, 200.0L, 0.01L, 0.025L);
    MoveBalls();
    EXPECT_GE(Balls[1].Y, WorldMinY);
    EXPECT_LE(Balls[1].Y, WorldMaxY);
}

TEST(Motion, TheSumOfTheVelocitiesIsKeptBetweenBouncesWhileTheSpeedSumChanges) {
    World(1280, 1024);
    RenderPeriod = 65535; // no frame in this run
    StepCounter = 0;
    Put(1, 300.0L, 200.0L, 0.011L, -0.007L);
    Put(2, 330.0L, 260.0L, -0.002L, 0.013L);
    const Extended sumX = Balls[1].VX + Balls[2].VX, sumY = Balls[1].VY + Balls[2].VY;
    auto speedSum = [] {
        return std::hypot(Balls[1].VX, Balls[1].VY) + std::hypot(Balls[2].VX, Balls[2].VY);
    };
    const Extended speedBefore = speedSum();
    for (int step = 0; step < 1500; ++step) {
        SimulationStep();
    }
    for (int i = 1; i <= 2; ++i) { // no bounce happened
        EXPECT_GT(Balls[i].X, 100.0L);
        EXPECT_LT(Balls[i].X, 500.0L);
        EXPECT_GT(Balls[i].Y, 100.0L);
        EXPECT_LT(Balls[i].Y, 400.0L);
    }
    EXPECT_NEAR(static_cast<double>(Balls[1].VX + Balls[2].VX), static_cast<double>(sumX), 1e-16);
    EXPECT_NEAR(static_cast<double>(Balls[1].VY + Balls[2].VY), static_cast<double>(sumY), 1e-16);
    EXPECT_GT(std::fabs(static_cast<double>(speedSum() - speedBefore)), 1e-4);
    EXPECT_EQ(StepCounter, 1500);
}

// ---- Frames and numbers, stepping without the thread

class FrameCadenceTest : public ::testing::Test {
protected:
    void SetUp() override {
        FillBlendTablesByHand();
        OpenScreen(640, 480);
        UseGeometry(25, 6);
        UseDiscSprite();
        StartPicture();
        RenderPeriod = 10;
        StepCounter = 0;
        CopiesBefore = headless::WindowCopies().size();
    }
    void TearDown() override {
        CloseScreen();
        headless::SetDecimalSeparator('.');
    }

    std::size_t NewCopies() const { return headless::WindowCopies().size() - CopiesBefore; }

    // One frame step from the given distance and velocities; the two texts it drew.
    std::vector<headless::TextCall> FrameAt(Extended distance, Extended vx1, Extended vx2 = 0) {
        Put(1, 200.0L, 200.0L, vx1, 0.0L);
        Put(2, 200.0L + distance, 200.0L, vx2, 0.0L);
        StepCounter = RenderPeriod;
        const std::size_t before = headless::TextCalls().size();
        SimulationStep();
        const std::vector<headless::TextCall> all = headless::TextCalls();
        return {all.begin() + static_cast<std::ptrdiff_t>(before), all.end()};
    }

    std::size_t CopiesBefore = 0;
};

TEST_F(FrameCadenceTest, TheFirstFrameComesOnTheEleventhStepFromThePositionsBeforeItsMotion) {
    Put(1, 100.0L, 200.0L, 0.7L, 0.3L);
    Put(2, 200.0L, 200.0L, -0.2L, 0.9L);
    for (int step = 1; step <= 10; ++step) {
        SimulationStep();
        ASSERT_EQ(NewCopies(), 0u) << "step " << step;
        ASSERT_TRUE(headless::TextCalls().empty()) << "step " << step;
    }
    EXPECT_EQ(StepCounter, 10);
    const Extended x1 = Balls[1].X, y1 = Balls[1].Y;
    SimulationStep();
    EXPECT_EQ(NewCopies(), 2u);
    EXPECT_EQ(StepCounter, 0);
    EXPECT_EQ(Balls[1].ScreenX, static_cast<std::int32_t>(x1 * Scale) - HalfSprite);
    EXPECT_EQ(Balls[1].ScreenY, static_cast<std::int32_t>(y1 * Scale) - HalfSprite);
    EXPECT_NE(Balls[1].X, x1); // and the motion came after the frame
    const std::vector<headless::TextCall> texts = headless::TextCalls();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].X, 10);
    EXPECT_EQ(texts[0].Y, 10);
    EXPECT_EQ(texts[1].X, 10);
    EXPECT_EQ(texts[1].Y, 30);

    // The next on the 22nd step.
    for (int step = 12; step <= 21; ++step) {
        SimulationStep();
    }
    EXPECT_EQ(NewCopies(), 2u);
    SimulationStep();
    EXPECT_EQ(NewCopies(), 4u);
    EXPECT_EQ(headless::TextCalls().size(), 4u);
}

TEST_F(FrameCadenceTest, TheNumbersAreCutAfterFiveAndEightCharacters) {
    struct Case {
        Extended Distance;
        const char* Shown;
    };
    for (const Case& c : {Case{123.456789L, "123.4"}, Case{45.678L, "45.67"}, Case{250.0L, "250"},
                          Case{0.0L, "0"}, Case{0x1p-17L, "7.629"}}) {
        const std::vector<headless::TextCall> texts = FrameAt(c.Distance, 0.0L);
        ASSERT_EQ(texts.size(), 2u);
        EXPECT_EQ(texts[0].Text, c.Shown);
        EXPECT_EQ(DistanceText.substr(0, 5), c.Shown);
        EXPECT_EQ(texts[1].Text, SpeedSumText.substr(0, 8));
    }
    // At 100 apart no force changes the speeds: 0.0345678 is shown as 0.034567, the last digit not rounded.
    std::vector<headless::TextCall> texts = FrameAt(100.0L, 0.0345678L);
    EXPECT_EQ(texts[0].Text, "100");
    EXPECT_EQ(texts[1].Text, "0.034567");
    EXPECT_EQ(SpeedSumText, "0.0345678");
    // The speed sum adds both balls' speeds, after this step's force.
    texts = FrameAt(100.0L, 0.25L, -0.5L);
    EXPECT_EQ(texts[1].Text, "0.75");

    headless::SetDecimalSeparator(',');
    texts = FrameAt(123.456789L, 0.0345678L);
    EXPECT_EQ(texts[0].Text, "123,4");
}

TEST_F(FrameCadenceTest, AfterEveryFrameTheWindowShowsTheBackBuffer) {
    Put(1, 100.0L, 200.0L, 1.3L, -0.9L);
    Put(2, 200.0L, 200.0L, -2.1L, 1.7L);
    int frames = 0;
    for (int step = 0; step < 3300; ++step) {
        SimulationStep();
        if (StepCounter == 0) {
            ++frames;
            ASSERT_TRUE(WindowEqualsBackBuffer()) << "frame " << frames;
        }
    }
    EXPECT_EQ(frames, 300);
    EXPECT_EQ(NewCopies(), 600u);
    EXPECT_EQ(headless::TextCalls().size(), 600u);
}

// Real start-up and real sprites, balls forced onto every bound and corner, frames composed there: under
// AddressSanitizer this shows nothing is read or written outside the surfaces.
TEST_F(FrameCadenceTest, RealSpritesOnEveryBoundStayInsideTheSurfaces) {
    for (const auto& [w, h] :
         {std::pair{27, 2}, std::pair{40, 2}, std::pair{64, 48}, std::pair{100, 4}, std::pair{1152, 864},
          std::pair{1366, 768}, std::pair{1536, 864}, std::pair{3840, 1080}, std::pair{1280, 1024}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        CloseScreen();
        OpenProgramScreen(w, h);
        if (SpriteSize == 0) {
            GTEST_SKIP() << "the sprite tables are not built yet";
        }
        // A whole square is drawn without per-pixel checks: that needs every entry inside it.
        for (const std::vector<SpritePixel>* list :
             {&BodyFullPixels, &BodyEdgePixels, &ShadowFullPixels, &ShadowEdgePixels}) {
            for (const SpritePixel& p : *list) {
                ASSERT_GE(std::min(p.Col, p.Row), 0);
                ASSERT_LT(std::max(p.Col, p.Row), SpriteSize + ShadowOffset);
            }
        }
        const Extended xs[] = {WorldMinX, WorldMinX + 1e-9L, 320.0L, WorldMaxX - 1e-9L, WorldMaxX};
        const Extended ys[] = {WorldMinY,         WorldMinY + 1e-9L, (WorldMinY + WorldMaxY) / 2,
                               WorldMaxY - 1e-9L, WorldMaxY,         200.0L};
        for (Extended x : xs) {
            for (Extended y : ys) {
                Put(1, x, y);
                Put(2, WorldMinX + WorldMaxX - x, WorldMinY + WorldMaxY - y);
                StepCounter = RenderPeriod;
                SimulationStep();
                ASSERT_EQ(StepCounter, 0);
            }
        }
        EXPECT_TRUE(WindowEqualsBackBuffer());
    }
}

// ---- The thread

TEST(SimulationThread, MakesNoStepWhenStoppedBeforeItsFirst) {
    Running = false;
    Put(1, 100.0L, 200.0L, 0.5L, 0.5L);
    StepCounter = 7;
    SimulationThread();
    EXPECT_EQ(StepCounter, 0);
    EXPECT_EQ(Balls[1].X, 100.0L);
    EXPECT_EQ(Balls[1].VX, 0.5L);
}

TEST(SimulationThread, RunsUntilTheClickAndEndsOnAWholeFrame) {
    for (const auto& [w, h] : {std::pair{640, 480}, std::pair{1366, 768}, std::pair{3840, 1080}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        auto program = StartProgram(w, h);
        ASSERT_TRUE(headless::WaitForIdle(Patience));
        const auto deadline = std::chrono::steady_clock::now() + Patience;
        while (headless::TextCalls().size() < 40 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        headless::Inject(WM_LBUTTONDOWN, 0, w / 2, h / 2);
        ASSERT_EQ(ExitStatus(program), 0);

        const std::vector<headless::TextCall> texts = headless::TextCalls();
        const std::vector<platform::CopyRect> copies = headless::WindowCopies();
        ASSERT_GE(texts.size(), 40u);
        // The start-up picture (a composed frame, then the whole back buffer), then two rectangles and two
        // numbers for every frame: the last frame was finished, numbers included, before the surfaces went.
        ASSERT_GE(copies.size(), 3u);
        EXPECT_EQ(copies[2].Width, w);
        EXPECT_EQ(copies[2].Height, h);
        EXPECT_EQ(texts.size() % 2, 0u);
        EXPECT_EQ(copies.size(), 3 + texts.size());
        for (std::size_t t = 0; t < texts.size(); ++t) {
            EXPECT_EQ(texts[t].Y, t % 2 == 0 ? 10 : 30);
            EXPECT_LE(texts[t].Text.size(), t % 2 == 0 ? 5u : 8u);
        }
        EXPECT_TRUE(DistanceText.empty()); // the thread let go of its texts
    }
}

// ---- The paced thread

// The balls as a frame shows them: positions before the frame step's motion, velocities after its force.
struct FrameState {
    Extended X1, Y1, VX1, VY1, X2, Y2, VX2, VY2;
    bool operator==(const FrameState&) const = default;
};

FrameState StateNow() {
    return {Balls[1].X, Balls[1].Y, Balls[1].VX, Balls[1].VY,
            Balls[2].X, Balls[2].Y, Balls[2].VX, Balls[2].VY};
}

// Catches a paced run whose steps differ from the unpaced loop's, or whose frames are not the unpaced
// program's (every 11th step), or that draws more often than its frame rate to catch up after a stall, or
// races after a long one. The copy observer stalls the thread twice: 120 ms (caught up by stepping) and
// 400 ms (resumed from the present).
TEST(PacedThread, DrawsTheUnpacedRunsFramesAtItsRateAndCatchesUpWithoutDrawing) {
    constexpr std::uint32_t Speed = 66000, Rate = 100; // 660 steps a frame: every 60th unpaced frame
    std::vector<FrameState> frames;                    // one a frame from the first the observer sees
    std::vector<std::chrono::steady_clock::time_point> drawn;
    auto program = StartProgram(640, 360, ProgramMode::Demo, Speed, Rate);
    const ProgramEnder ender{program};
    ASSERT_TRUE(headless::WaitForIdle(Patience));
    headless::SetWindowCopyObserver([&](const platform::CopyRect&) {
        if (!frames.empty() && frames.back() == StateNow()) {
            return; // another copy of the same frame
        }
        frames.push_back(StateNow());
        drawn.push_back(std::chrono::steady_clock::now());
        if (frames.size() == 10 || frames.size() == 30) {
            std::this_thread::sleep_for(std::chrono::milliseconds(frames.size() == 10 ? 120 : 400));
        }
    });
    ASSERT_TRUE(WaitForFrames(headless::TextCalls().size(), 60));
    headless::Inject(WM_LBUTTONDOWN, 0, 1, 1);
    ASSERT_EQ(ExitStatus(program), 0);
    headless::SetWindowCopyObserver({});
    ASSERT_GE(frames.size(), 60u);

    // The unpaced steps from the first frame seen (a frame step's state: its motion still to come), the
    // frame states of every 11th.
    std::vector<FrameState> unpaced;
    const FrameState start = frames[0];
    Put(1, start.X1, start.Y1, start.VX1, start.VY1);
    Put(2, start.X2, start.Y2, start.VX2, start.VY2);
    MoveBalls();
    for (std::size_t step = 1; unpaced.size() < 200 * frames.size(); ++step) {
        ApplyPairForce();
        if (step % 11 == 0) {
            unpaced.push_back(StateNow());
        }
        MoveBalls();
    }
    std::size_t at = 0, skipped = 0; // the unpaced frame the latest paced one was
    for (std::size_t f = 1; f < frames.size(); ++f) {
        const auto found =
            std::find(unpaced.begin() + static_cast<std::ptrdiff_t>(at), unpaced.end(), frames[f]);
        ASSERT_NE(found, unpaced.end())
            << "paced frame " << f << " is no frame of the unpaced run after " << at;
        const auto index = static_cast<std::size_t>(found - unpaced.begin()) + 1;
        ASSERT_EQ(index % 60, 0u) << "paced frame " << f;
        skipped += (index - at) / 60 - 1;
        at = index;
    }
    EXPECT_GE(skipped, 5u); // the 120 ms stall was caught up by steps alone
    // A frame at most every 10 ms, give or take one late frame: never a burst after a stall.
    for (std::size_t f = 1; f < drawn.size(); ++f) {
        const auto end =
            std::upper_bound(drawn.begin(), drawn.end(), drawn[f] + std::chrono::milliseconds(50));
        EXPECT_LE(end - (drawn.begin() + static_cast<std::ptrdiff_t>(f)), 7) << "from frame " << f;
    }
}

// Catches a sleep that only ends when its frame is due: at 1 step a second a frame is 11 s away, and a
// screen change and then the click must each stop the thread long before that.
TEST(PacedThread, InputDuringTheSleepActsAtOnce) {
    auto program = StartProgram(640, 360, ProgramMode::Demo, 1, 1);
    const ProgramEnder ender{program};
    ASSERT_TRUE(headless::WaitForIdle(Patience));
    std::this_thread::sleep_for(std::chrono::milliseconds(50)); // into the sleep
    headless::ChangeScreen(800, 600);
    ASSERT_TRUE(headless::WaitForIdle(Patience));
    headless::Inject(WM_LBUTTONDOWN, 0, 1, 1);
    EXPECT_EQ(program.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(ExitStatus(program), 0);
}

// ---- A page's paced frames

// Catches a page whose animation frames make more or fewer steps than are due at the speed, show a step the
// unpaced program does not draw, move the balls otherwise than the unpaced steps do, or race to catch up
// after the page was hidden.
TEST(PageFrames, MakeTheStepsDueInWholePeriodsAndResumeFromThePresentAfterAHiddenPage) {
    using std::chrono::duration;
    OpenProgramScreen(640, 360);
    StepsPerSecond = 6600;
    Running = true;
    const auto beforeBegin = Clock::now();
    BeginPacedFrames();
    const auto afterBegin = Clock::now();
    Pacing = PacingRecord{};
    const FrameState start = StateNow();
    for (int frame = 0; frame < 3; ++frame) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const std::size_t texts = headless::TextCalls().size();
        const auto before = Clock::now();
        PacedAnimationFrame();
        const auto after = Clock::now();
        const auto dueAt = [](auto from, auto to) { return duration<double>(to - from).count() * 6600; };
        ASSERT_EQ(Pacing.Steps % 11, 0u);
        EXPECT_GE(static_cast<double>(Pacing.Steps), dueAt(afterBegin, before) - 11);
        EXPECT_LE(static_cast<double>(Pacing.Steps), dueAt(beforeBegin, after));
        EXPECT_EQ(headless::TextCalls().size(), texts + 2) << "the frame's two numbers";
    }
    const FrameState paced = StateNow();
    Put(1, start.X1, start.Y1, start.VX1, start.VY1);
    Put(2, start.X2, start.Y2, start.VX2, start.VY2);
    for (std::uint64_t step = 0; step < Pacing.Steps; ++step) {
        ApplyPairForce();
        MoveBalls();
    }
    EXPECT_EQ(StateNow(), paced);

    // Hidden for 400 ms: the next frame draws nothing and makes no step, the one after only its own.
    Put(1, paced.X1, paced.Y1, paced.VX1, paced.VY1);
    Put(2, paced.X2, paced.Y2, paced.VX2, paced.VY2);
    const std::uint64_t shown = Pacing.Steps;
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    PacedAnimationFrame();
    EXPECT_EQ(Pacing.Steps, shown);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    PacedAnimationFrame();
    EXPECT_LT(Pacing.Steps - shown, 6600u / 4);
    Running = false;
    CloseScreen();
}

} // namespace
