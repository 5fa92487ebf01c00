#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <thread>

#include "CompositionSetup.h"
#include "ProgramRun.h"
#include "rendering/SpriteTables.h"
#include "shell/ProgramMode.h"
#include "simulation/SimulationThread.h"

using namespace testing_support;

namespace {
// What the teardown leaves: the thread stopped, every surface and list released, the class gone and the
// screen told to repaint where the window was.
void ExpectCleanEnd() {
    EXPECT_TRUE(Phase == ProgramPhase::Ended) << "torn down, and nothing started again after it";
    EXPECT_FALSE(Running);
    EXPECT_FALSE(SimulationWorker.joinable());
    EXPECT_EQ(headless::LiveSurfaces(), 0);
    const headless::WindowState window = headless::Window();
    EXPECT_FALSE(window.ClassRegistered);
    EXPECT_TRUE(window.ScreenInvalidated);
    EXPECT_TRUE(BodyFullPixels.empty());
    EXPECT_TRUE(BackgroundRows.empty());
    EXPECT_TRUE(BackBufferRows.empty());
}
} // namespace

TEST(Shell, StartUpOpensOneTopmostBorderlessWindowOverTheWholeScreen) {
    auto program = StartProgram(1280, 1024);
    ASSERT_TRUE(headless::WaitForIdle(Patience));

    const headless::WindowState window = headless::Window();
    EXPECT_TRUE(window.Visible);
    EXPECT_EQ(window.ExStyle, WS_EX_TOPMOST);
    EXPECT_EQ(window.Style, WS_POPUP);
    EXPECT_EQ(window.Title, "");
    EXPECT_EQ(window.X, 0);
    EXPECT_EQ(window.Y, 0);
    EXPECT_EQ(window.Width, 1280);
    EXPECT_EQ(window.Height, 1024);
    EXPECT_TRUE(window.ArrowCursor);
    // The window's own background is the program's: nothing white or black shows before the first picture
    // or where the window loses its picture.
    EXPECT_EQ(window.ClassColour, 0x00399702u);

    EXPECT_EQ(RenderPeriod, 10);
    EXPECT_EQ(LightLevel, 300);
    EXPECT_EQ(Scale, 2.0L);
    EXPECT_TRUE(SimulationThreadId != std::thread::id{});

    headless::Inject(WM_LBUTTONDOWN, 0, 640, 512);
    EXPECT_EQ(ExitStatus(program), 0);

    // The last picture, read once the simulation thread has stopped moving the balls: the background
    // everywhere the balls' squares do not reach.
    EXPECT_TRUE(BackgroundOutsideTheBalls(headless::WindowPicture(), 1280, 1024));
}

// A left click and the window manager's close command both take the one teardown, and end with status 0.
TEST(Shell, ALeftClickTearsDownInOrderAndEndsWithStatusZero) {
    for (const std::uint32_t ending : {std::uint32_t{WM_LBUTTONDOWN}, std::uint32_t{WM_CLOSE}}) {
        SCOPED_TRACE(ending == WM_CLOSE ? "TheCloseCommandTakesTheSameTeardown" : "a left click");
        auto program = StartProgram(800, 600);
        ASSERT_TRUE(headless::WaitForIdle(Patience));
        EXPECT_TRUE(Running);
        headless::Inject(ending, 0, 3, 4);
        EXPECT_EQ(ExitStatus(program), 0);
        EXPECT_EQ(headless::Window().Destroyed, ending == WM_CLOSE);
        ExpectCleanEnd();
    }
}

TEST(Shell, OtherInputLeavesTheProgramRunning) {
    auto program = StartProgram(640, 480);
    ASSERT_TRUE(headless::WaitForIdle(Patience));
    headless::Inject(WM_RBUTTONDOWN, 2, 10, 10);
    headless::Inject(WM_MBUTTONDOWN, 0x10, 20, 20);
    headless::Inject(WM_MOUSEMOVE, 0, 30, 30);
    headless::Inject(WM_KEYDOWN, 0x1B); // Escape
    headless::Inject(WM_KEYDOWN, 0x20);
    ASSERT_TRUE(headless::WaitForIdle(Patience));
    EXPECT_TRUE(Running);
    EXPECT_TRUE(Phase == ProgramPhase::Running);
    EXPECT_TRUE(headless::Window().Visible);

    // A second click after the first is harmless: the teardown runs once.
    headless::Inject(WM_LBUTTONDOWN, 0, 1, 1);
    headless::Inject(WM_LBUTTONDOWN, 0, 2, 2);
    EXPECT_EQ(ExitStatus(program), 0);
    ExpectCleanEnd();
}

TEST(Shell, RefusesWhatItCannotDrawOnWithAMessageAndStatusOne) {
    struct Case {
        std::int32_t W, H;
        const char* Says;
    };
    for (const Case& c : {Case{26, 480, "too small"}, Case{0, 0, "too small"}, Case{640, 24, "too flat"},
                          Case{40000, 30000, "too large"}}) {
        SCOPED_TRACE(std::to_string(c.W) + "x" + std::to_string(c.H));
        auto program = StartProgram(c.W, c.H);
        EXPECT_EQ(ExitStatus(program), 1);
        const std::vector<std::string> told = headless::Told();
        ASSERT_EQ(told.size(), 1u);
        EXPECT_NE(told[0].find(c.Says), std::string::npos) << told[0];
        EXPECT_FALSE(headless::Window().Exists);
    }
    // The smallest screens the program accepts start and end normally.
    // On the flattest, the balls start far below the world and are folded back into it at the first step.
    for (const auto& [w, h] : {std::pair{27, 2}, std::pair{640, 25}}) {
        auto program = StartProgram(w, h);
        ASSERT_TRUE(headless::WaitForIdle(Patience));
        // Two texts a frame, a frame every eleven steps: wait for some 5,000 steps.
        while (headless::TextCalls().size() < 2 * 5000 / 11) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        headless::Inject(WM_LBUTTONDOWN, 0, 0, 0);
        EXPECT_EQ(ExitStatus(program), 0);
        EXPECT_TRUE(InsideTheWorld(Balls[1]) && InsideTheWorld(Balls[2]));
    }
}

TEST(Shell, NoDisplayOrNoMemoryEndsWithStatusOneAndNothingLeftBehind) {
    headless::Reset(640, 480, false);
    ResetProgramState();
    EXPECT_EQ(RunProgram(), 1);
    EXPECT_FALSE(headless::Window().Exists);

    // Memory for the background surface but not for the back buffer: the one that was made goes too.
    headless::Reset(640, 480);
    headless::SetSurfacesLeft(1);
    EXPECT_EQ(RunProgram(), 1);
    const std::vector<std::string> told = headless::Told();
    ASSERT_FALSE(told.empty());
    EXPECT_NE(told.back().find("not enough memory"), std::string::npos) << told.back();
    EXPECT_EQ(headless::LiveSurfaces(), 0);
    EXPECT_FALSE(Running);
}

// ---- Screen changes (WM_DISPLAYCHANGE) and lost window areas (WM_PAINT) ----

namespace {

bool WholeWindow(const platform::CopyRect& copy) {
    const headless::WindowState window = headless::Window();
    return copy.X == 0 && copy.Y == 0 && copy.Width == window.Width && copy.Height == window.Height;
}

std::size_t WholeWindowCopies(std::size_t from) {
    const std::vector<platform::CopyRect> copies = headless::WindowCopies();
    std::size_t whole = 0;
    for (std::size_t c = from; c < copies.size(); ++c) {
        whole += WholeWindow(copies[c]) ? 1 : 0;
    }
    return whole;
}

// What the program had when it put the whole picture of the new screen on the window: on the main thread,
// the simulation thread stopped. What the thread does not change afterwards is read afterwards.
struct Rebuilt {
    int WholeCopies = 0;
    Ball Balls[3];
    std::vector<std::uint8_t> Picture;
    bool PictureIsBackgroundOutsideTheBalls;
};

} // namespace

TEST(Shell, AScreenChangeRebuildsForTheNewScreenAndKeepsTheBallsWhereTheyAreInTheWorld) {
    auto program = StartProgram(1280, 1024);
    const ProgramEnder ender{program};
    ASSERT_TRUE(headless::WaitForIdle(Patience));
    // The test holds the balls still, where it wants them: one inside the new screen's world, one below it.
    StopSimulation();
    Balls[1].X = 100.0L;
    Balls[1].Y = 200.0L;
    Balls[1].VX = 0.0123L;
    Balls[1].VY = -0.0045L;
    Balls[2].X = 600.0L;
    Balls[2].Y = 450.0L;
    Balls[2].VX = -0.02L;
    Balls[2].VY = 0.017L;

    Rebuilt seen;
    headless::SetWindowCopyObserver([&seen](const platform::CopyRect& copy) {
        if (!WholeWindow(copy) || Running) {
            return;
        }
        ++seen.WholeCopies;
        std::copy(std::begin(Balls), std::end(Balls), std::begin(seen.Balls));
        seen.Picture = headless::WindowPicture();
        seen.PictureIsBackgroundOutsideTheBalls = BackgroundOutsideTheBalls(seen.Picture, 1920, 1080);
    });
    headless::ChangeScreen(1920, 1080);
    ASSERT_TRUE(headless::WaitForIdle(Patience));
    headless::SetWindowCopyObserver(nullptr);

    ASSERT_EQ(seen.WholeCopies, 1) << "the whole picture of the new screen, once";
    const headless::WindowState window = headless::Window();
    EXPECT_EQ(window.X, 0);
    EXPECT_EQ(window.Y, 0);
    EXPECT_EQ(window.Width, 1920);
    EXPECT_EQ(window.Height, 1080);
    EXPECT_TRUE(window.Visible);
    EXPECT_EQ(window.Moves, 1);
    EXPECT_EQ(headless::LiveSurfaces(), 2) << "the old screen's surfaces released";
    // The size-dependent start-up steps for 1920 x 1080.
    EXPECT_EQ(Scale, 3.0L);
    EXPECT_EQ(WorldMaxY, 348.0L);
    EXPECT_EQ(SpriteSize, 73);
    EXPECT_EQ(ShadowOffset, 18);

    // Ball 1 keeps its place and speed; ball 2, 102 units below the new world, is mirrored at its bottom as
    // the motion would: same place across, 102 units above the bound, its vertical velocity reversed.
    ExpectBall(seen.Balls[1], 100.0L, 200.0L, 0.0123L, -0.0045L);
    ExpectBall(seen.Balls[2], 600.0L, 246.0L, -0.02L, -0.017L);
    // Drawn where they are now on the new screen, and the last frame's squares are those.
    for (int i = 1; i <= 2; ++i) {
        SCOPED_TRACE("ball " + std::to_string(i));
        const Ball& ball = seen.Balls[i];
        EXPECT_EQ(ball.ScreenX, static_cast<std::int32_t>(ball.X * 3.0L) - HalfSprite);
        EXPECT_EQ(ball.ScreenY, static_cast<std::int32_t>(ball.Y * 3.0L) - HalfSprite);
        EXPECT_EQ(ball.PrevScreenX, ball.ScreenX);
        EXPECT_EQ(ball.PrevScreenY, ball.ScreenY);
        // The middle of the ball is the ball's shaded red, not the background.
        const std::size_t middle = (static_cast<std::size_t>(ball.ScreenY + HalfSprite) * 1920 +
                                    static_cast<std::size_t>(ball.ScreenX + HalfSprite)) *
                                   3;
        ASSERT_LT(middle + 2, seen.Picture.size());
        EXPECT_GT(seen.Picture[middle + 2], seen.Picture[middle + 1]);
        EXPECT_GT(seen.Picture[middle + 2], seen.Picture[middle]);
    }
    // Everything else on the window is the background: nothing left black by the move, nothing left of the
    // old picture.
    EXPECT_TRUE(seen.PictureIsBackgroundOutsideTheBalls);

    // The thread runs again, at the new size.
    EXPECT_TRUE(Running);
    EXPECT_TRUE(SimulationWorker.joinable());
    ASSERT_TRUE(WaitForFrames(headless::TextCalls().size(), 20));
    StopSimulation();
    EXPECT_TRUE(WindowEqualsBackBuffer());
    EXPECT_TRUE(BackgroundOutsideTheBalls(headless::WindowPicture(), 1920, 1080));
    EXPECT_TRUE(InsideTheWorld(Balls[1]) && InsideTheWorld(Balls[2]));

    // The teardown releases the surfaces of the new screen.
    headless::Inject(WM_LBUTTONDOWN, 0, 5, 5);
    EXPECT_EQ(ExitStatus(program), 0);
    ExpectCleanEnd();
}

// The window system may call the window procedure from inside the rebuild's own calls (a message another
// thread sends is handled while the program waits on the window system). Here the messages come from inside
// the rebuild's whole copy: a second change starts the rebuild over instead of nesting a second one in it,
// and a teardown there ends it without starting anything again.
TEST(Shell, MessagesThatArriveInsideTheRebuildNeitherNestNorOutliveIt) {
    for (const std::uint32_t inside : {std::uint32_t{WM_DISPLAYCHANGE}, std::uint32_t{WM_LBUTTONDOWN}}) {
        SCOPED_TRACE(inside == WM_DISPLAYCHANGE ? "a change inside" : "a click inside");
        auto program = StartProgram(640, 480);
        const ProgramEnder ender{program};
        ASSERT_TRUE(headless::WaitForIdle(Patience));
        int sent = 0;
        headless::SetWindowCopyObserver([&sent, inside](const platform::CopyRect& copy) {
            if (!WholeWindow(copy) || Running || sent++ > 0) {
                return;
            }
            if (inside == WM_DISPLAYCHANGE) {
                headless::ChangeScreen(800, 600); // queued as well: the loop rebuilds once more after
            }
            platform::SendMessage(MainWindow, inside, 0, 0);
        });
        headless::ChangeScreen(1024, 768);
        ASSERT_TRUE(headless::WaitForIdle(Patience));
        headless::SetWindowCopyObserver(nullptr);
        const std::int32_t moves = headless::Window().Moves;
        if (inside == WM_DISPLAYCHANGE) {
            // The change, its start over, the queued change.
            EXPECT_EQ(moves, 3);
            EXPECT_EQ(headless::Window().Width, 800);
            EXPECT_EQ(headless::LiveSurfaces(), 2);
            EXPECT_TRUE(Running);
            ASSERT_TRUE(WaitForFrames(headless::TextCalls().size(), 5));
            headless::Inject(WM_LBUTTONDOWN, 0, 1, 1);
        } else {
            EXPECT_EQ(moves, 1);
        }
        EXPECT_EQ(ExitStatus(program), 0);
        ExpectCleanEnd();
    }
}

TEST(Shell, AScreenChangeToAScreenStartUpWouldRefuseEndsWithItsMessageAndStatusOne) {
    struct Case {
        std::int32_t W, H;
        bool OneSurfaceLeft; // memory for the background surface but not for the back buffer
    };
    for (const Case& c :
         {Case{640, 24, false}, Case{26, 480, false}, Case{40000, 30000, false}, Case{1920, 1080, true}}) {
        SCOPED_TRACE(std::to_string(c.W) + "x" + std::to_string(c.H));
        // What start-up says on that screen.
        headless::Reset(c.W, c.H);
        ResetProgramState();
        headless::SetSurfacesLeft(c.OneSurfaceLeft ? 1 : -1);
        ASSERT_EQ(RunProgram(), 1);
        const std::vector<std::string> startUpSaid = headless::Told();
        ASSERT_EQ(startUpSaid.size(), 1u);
        ASSERT_EQ(startUpSaid[0].rfind("ReportFatal coppertrowel: ", 0), 0u) << startUpSaid[0];

        auto program = StartProgram(640, 480);
        const ProgramEnder ender{program};
        ASSERT_TRUE(headless::WaitForIdle(Patience));
        headless::SetSurfacesLeft(c.OneSurfaceLeft ? 1 : -1);
        headless::ChangeScreen(c.W, c.H);
        // A click queued behind the change finds the program already ended: it changes nothing, not even
        // the status.
        headless::Inject(WM_LBUTTONDOWN, 0, 1, 1);
        EXPECT_EQ(ExitStatus(program), 1);
        EXPECT_EQ(headless::Told(), startUpSaid) << "start-up's message, once";
        ExpectCleanEnd();
    }
}

TEST(Shell, ALostWindowPictureIsPutBackWholeByTheNextFrame) {
    auto program = StartProgram(800, 600);
    const ProgramEnder ender{program};
    ASSERT_TRUE(headless::WaitForIdle(Patience));
    ASSERT_TRUE(WaitForFrames(0, 10));
    // Ordinary frames copy only their two rectangles: the one whole copy is start-up's.
    EXPECT_EQ(WholeWindowCopies(0), 1u);

    const std::size_t copiesBefore = headless::WindowCopies().size();
    headless::InjectPaint();
    // Idle only once the paint was passed on to DefWindowProc, which validates the window: otherwise the
    // window system sends WM_PAINT again and again.
    ASSERT_TRUE(headless::WaitForIdle(Patience));
    ASSERT_TRUE(WaitForFrames(headless::TextCalls().size(), 10));
    StopSimulation();
    // Put back once, whole, by a frame: after the flag is cleared the frames copy only their rectangles
    // again.
    EXPECT_EQ(WholeWindowCopies(copiesBefore), 1u);
    EXPECT_TRUE(WindowEqualsBackBuffer());
    EXPECT_TRUE(BackgroundOutsideTheBalls(headless::WindowPicture(), 800, 600));

    headless::Inject(WM_LBUTTONDOWN, 0, 1, 1);
    EXPECT_EQ(ExitStatus(program), 0);
    ExpectCleanEnd();
}

// Under ThreadSanitizer this is the test of the rebuild's hand-over: changes of the screen, some in quick
// succession, some with the window's picture lost as well, while the simulation thread runs at full speed.
TEST(Shell, RepeatedScreenChangesDuringTheRun) {
    const std::pair<std::int32_t, std::int32_t> screens[] = {{1280, 1024}, {640, 480},   {1366, 768}, {27, 2},
                                                             {200, 1000},  {1920, 1080}, {800, 600}};
    std::mt19937 chooser(20261208u);
    std::uniform_int_distribution<int> microseconds(0, 3000);
    auto program = StartProgram(1024, 768);
    const ProgramEnder ender{program};
    ASSERT_TRUE(headless::WaitForIdle(Patience));
    constexpr int Changes = 40;
    for (int change = 0; change < Changes; ++change) {
        const auto& [w, h] = screens[change % std::size(screens)];
        headless::ChangeScreen(w, h);
        if (change % 3 == 0) {
            headless::InjectPaint();
        }
        // Every fourth change follows the one before at once, queued behind it.
        if (change % 4 != 3) {
            std::this_thread::sleep_for(std::chrono::microseconds(microseconds(chooser)));
        }
    }
    ASSERT_TRUE(headless::WaitForIdle(Patience));
    ASSERT_TRUE(WaitForFrames(headless::TextCalls().size(), 20));
    StopSimulation();

    const auto& [lastW, lastH] = screens[(Changes - 1) % std::size(screens)];
    const headless::WindowState window = headless::Window();
    EXPECT_EQ(window.Width, lastW);
    EXPECT_EQ(window.Height, lastH);
    EXPECT_EQ(ScreenWidth, lastW);
    EXPECT_EQ(ScreenHeight, lastH);
    EXPECT_EQ(headless::LiveSurfaces(), 2);
    EXPECT_EQ(platform::SurfaceWidth(BackBuffer), lastW + 2 * ShadowOffset);
    EXPECT_TRUE(WindowEqualsBackBuffer());
    EXPECT_TRUE(BackgroundOutsideTheBalls(headless::WindowPicture(), lastW, lastH));
    EXPECT_TRUE(InsideTheWorld(Balls[1]) && InsideTheWorld(Balls[2]));
    EXPECT_EQ(headless::Window().Moves, Changes) << "each change followed once";

    headless::Inject(WM_LBUTTONDOWN, 0, 1, 1);
    EXPECT_EQ(ExitStatus(program), 0);
    ExpectCleanEnd();
}

namespace {
bool AllBackground(const std::vector<std::uint8_t>& picture) {
    for (std::size_t i = 0; i + 2 < picture.size(); i += 3) {
        if (picture[i] != 57 || picture[i + 1] != 151 || picture[i + 2] != 2) {
            return false;
        }
    }
    return !picture.empty();
}
} // namespace

TEST(Shell, WhichInputEndsTheProgramDependsOnTheMode) {
    struct Input {
        std::uint32_t Message;
        std::int32_t X, Y;
    };
    struct Case {
        ProgramMode In;
        bool Ends;
        const char* Catches;
        std::vector<Input> Inputs;
    };
    using enum ProgramMode;
    constexpr std::uint32_t Move = WM_MOUSEMOVE, Key = WM_KEYDOWN, Left = WM_LBUTTONDOWN;
    for (const Case& c : {
             Case{ScreenSaver, false, "the pointer's first report taken for a movement", {{Move, 300, 300}}},
             Case{ScreenSaver,
                  false,
                  "a jitter within the slack ending it",
                  {{Move, 100, 100}, {Move, 104, 96}, {Move, 96, 104}}},
             Case{ScreenSaver, true, "a movement across ignored", {{Move, 100, 100}, {Move, 105, 100}}},
             Case{ScreenSaver, true, "a movement up ignored", {{Move, 100, 100}, {Move, 100, 95}}},
             Case{ScreenSaver,
                  true,
                  "the slack measured from the last position instead of the first",
                  {{Move, 100, 100}, {Move, 104, 100}, {Move, 108, 100}}},
             Case{ScreenSaver, true, "a key ignored", {{Key, 0x41, 0}}},
             Case{ScreenSaver, true, "a right button ignored", {{WM_RBUTTONDOWN, 5, 5}}},
             Case{ScreenSaver, true, "a middle button ignored", {{WM_MBUTTONDOWN, 5, 5}}},
             Case{ScreenSaver, true, "a left button ignored", {{Left, 5, 5}}},
             Case{Preview,
                  false,
                  "input in a preview ending it",
                  {{Left, 5, 5}, {Key, 0x1B, 0}, {Move, 0, 0}, {Move, 100, 100}}},
             Case{InsideWindow,
                  false,
                  "input in a host's window ending it",
                  {{Left, 5, 5}, {WM_RBUTTONDOWN, 5, 5}, {Key, 0x20, 0}, {Move, 0, 0}, {Move, 100, 100}}},
         }) {
        SCOPED_TRACE(c.Catches);
        auto program = StartProgram(640, 480, c.In);
        const ProgramEnder ender{program};
        ASSERT_TRUE(headless::WaitForIdle(Patience));
        for (const Input& input : c.Inputs) {
            headless::Inject(input.Message, 0, input.X, input.Y);
        }
        ASSERT_TRUE(headless::WaitForIdle(Patience));
        if (c.Ends) {
            EXPECT_EQ(ExitStatus(program), 0);
            ExpectCleanEnd();
        } else {
            EXPECT_TRUE(Running);
            EXPECT_TRUE(Phase == ProgramPhase::Running);
        }
    }
    ResetProgramState();
}

TEST(Shell, InAHostsWindowTheProgramTakesItsSizeRestsWhileTooSmallAndEndsWithIt) {
    for (const ProgramMode mode : {ProgramMode::Preview, ProgramMode::InsideWindow}) {
        SCOPED_TRACE(static_cast<int>(mode));
        // Too narrow for a sprite: painted in the background, no refusal, nothing built or running.
        auto program = StartProgram(20, 15, mode);
        const ProgramEnder ender{program};
        ASSERT_TRUE(headless::WaitForIdle(Patience));
        ASSERT_TRUE(headless::WaitForIdle(Patience));
        headless::WindowState window = headless::Window();
        EXPECT_TRUE(window.InHost && window.Visible);
        EXPECT_EQ(window.Width, 20);
        EXPECT_EQ(window.Height, 15);
        EXPECT_TRUE(AllBackground(headless::WindowPicture())) << "a window too small left unpainted";
        EXPECT_TRUE(Phase == ProgramPhase::Resting);
        EXPECT_FALSE(Running);
        EXPECT_EQ(headless::LiveSurfaces(), 0);
        EXPECT_TRUE(headless::Told().empty()) << "a host's window too small is no refusal";
        // A lost picture is painted again though no frame runs.
        headless::InjectPaint();
        ASSERT_TRUE(headless::WaitForIdle(Patience));
        EXPECT_TRUE(AllBackground(headless::WindowPicture())) << "a resting window's lost picture left black";

        // The host grows its window to a preview's size: the program comes alive at that size.
        headless::ResizeHostWindow(152, 112);
        ASSERT_TRUE(headless::WaitForIdle(Patience));
        ASSERT_TRUE(WaitForFrames(headless::TextCalls().size(), 2)) << "never came alive";
        EXPECT_TRUE(Phase == ProgramPhase::Running);
        EXPECT_EQ(ScreenWidth, 152);
        EXPECT_EQ(ScreenHeight, 112);
        window = headless::Window();
        EXPECT_EQ(window.Width, 152);
        EXPECT_EQ(window.Height, 112);

        // A larger size, then too small again: it follows, then rests.
        headless::ResizeHostWindow(400, 300);
        ASSERT_TRUE(headless::WaitForIdle(Patience));
        EXPECT_EQ(ScreenWidth, 400);
        EXPECT_EQ(headless::Window().Width, 400);
        EXPECT_TRUE(Phase == ProgramPhase::Running);
        headless::ResizeHostWindow(300, 5);
        ASSERT_TRUE(headless::WaitForIdle(Patience));
        EXPECT_TRUE(Phase == ProgramPhase::Resting);
        EXPECT_FALSE(Running);
        EXPECT_EQ(headless::Window().Height, 5);
        EXPECT_TRUE(AllBackground(headless::WindowPicture())) << "the last frames left on a resting window";

        // The host destroys its window: the ordinary teardown, status 0.
        headless::ResizeHostWindow(640, 480);
        headless::DestroyHostWindow();
        EXPECT_EQ(ExitStatus(program), 0);
        ExpectCleanEnd();
    }
    ResetProgramState();
}

TEST(Shell, AHostsWindowThatIsNoneEndsWithStatusOneBeforeAnyWindow) {
    headless::Reset(640, 480);
    ResetProgramState();
    Mode = ProgramMode::InsideWindow;
    HostWindowId = 0x777;
    EXPECT_EQ(RunProgram(), 1);
    EXPECT_EQ(headless::Told(), std::vector<std::string>{
                                    "ReportFatal coppertrowel: there is no window 1911 (0x777) to draw in"});
    const headless::WindowState window = headless::Window();
    EXPECT_TRUE(window.Connected);
    EXPECT_FALSE(window.ClassRegistered || window.Exists);
    ResetProgramState();
}
