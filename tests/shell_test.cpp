#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "ProgramRun.h"
#include "rendering/SpriteTables.h"

using namespace testing_support;

namespace {
// The calls of the teardown, in the order the program must make them: the back buffer (surface 2) before the
// background (surface 1), then the class, the repaint of the screen and the quit.
const std::vector<std::string> TeardownCalls = {"ReleaseSurface 2", "ReleaseSurface 1",
                                                "UnregisterClass CopperTrowel", "InvalidateRect screen",
                                                "PostQuitMessage 0"};

std::vector<std::string> LastCalls(std::size_t count) {
    const std::vector<std::string> log = headless::CallLog();
    return {log.end() - static_cast<std::ptrdiff_t>(std::min(count, log.size())), log.end()};
}

void ExpectCleanEnd() {
    EXPECT_FALSE(Running);
    EXPECT_FALSE(SimulationWorker.joinable());
    EXPECT_EQ(headless::LiveSurfaces(), 0);
    EXPECT_EQ(headless::OpenDeviceContexts(), 0);
    EXPECT_TRUE(BodyFullPixels.empty());
    EXPECT_TRUE(BackgroundRows.empty());
    EXPECT_TRUE(BackBufferRows.empty());
}
} // namespace

TEST(Shell, StartUpOpensOneTopmostBorderlessWindowOverTheWholeScreen) {
    auto program = StartProgram(1280, 1024);
    ASSERT_TRUE(headless::WaitForMessageLoop(Patience));

    const headless::WindowState window = headless::Window();
    EXPECT_TRUE(window.Visible);
    EXPECT_EQ(window.ExStyle, WS_EX_TOPMOST);
    EXPECT_EQ(window.Style, WS_POPUP);
    EXPECT_EQ(window.Title, "");
    EXPECT_EQ(window.ClassName, "CopperTrowel");
    EXPECT_EQ(window.X, 0);
    EXPECT_EQ(window.Y, 0);
    EXPECT_EQ(window.Width, 1280);
    EXPECT_EQ(window.Height, 1024);

    const platform::WindowClass windowClass = headless::RegisteredClass();
    EXPECT_EQ(windowClass.Procedure, &MainWndProc);
    EXPECT_TRUE(headless::IsArrowCursor(windowClass.Cursor));
    EXPECT_EQ(windowClass.Style, 0u);
    EXPECT_EQ(windowClass.BackgroundBrush, nullptr);
    EXPECT_EQ(windowClass.Instance, nullptr);

    EXPECT_EQ(RenderPeriod, 10);
    EXPECT_EQ(LightLevel, 300);
    EXPECT_EQ(Scale, 2.0L);
    EXPECT_TRUE(SimulationThreadId != std::thread::id{});

    headless::InjectLeftClick(640, 512);
    EXPECT_EQ(ExitStatus(program), 0);

    // The last picture, read once the simulation thread has stopped moving the balls: the background
    // everywhere the balls' squares do not reach.
    const std::vector<std::uint8_t> picture = headless::WindowPicture();
    ASSERT_EQ(picture.size(), 1280u * 1024u * 3u);
    const std::int32_t side = SpriteSize + ShadowOffset;
    for (std::int32_t y = 0; y < 1024; y += 3) {
        for (std::int32_t x = 0; x < 1280; x += 3) {
            bool inBall = false;
            for (int i = 1; i <= 2; ++i) {
                inBall |= x >= Balls[i].ScreenX && x < Balls[i].ScreenX + side && y >= Balls[i].ScreenY &&
                          y < Balls[i].ScreenY + side;
            }
            if (inBall) {
                continue;
            }
            const std::size_t at = (static_cast<std::size_t>(y) * 1280 + static_cast<std::size_t>(x)) * 3;
            ASSERT_EQ(picture[at], 57) << x << "," << y;
            ASSERT_EQ(picture[at + 1], 151) << x << "," << y;
            ASSERT_EQ(picture[at + 2], 2) << x << "," << y;
        }
    }
}

TEST(Shell, ALeftClickTearsDownInOrderAndEndsWithStatusZero) {
    auto program = StartProgram(640, 480);
    ASSERT_TRUE(headless::WaitForMessageLoop(Patience));
    EXPECT_TRUE(Running);
    headless::InjectLeftClick(3, 4);
    EXPECT_EQ(ExitStatus(program), 0);
    EXPECT_EQ(LastCalls(TeardownCalls.size()), TeardownCalls);
    ExpectCleanEnd();
}

TEST(Shell, TheCloseCommandTakesTheSameTeardown) {
    auto program = StartProgram(800, 600);
    ASSERT_TRUE(headless::WaitForMessageLoop(Patience));
    headless::InjectClose();
    EXPECT_EQ(ExitStatus(program), 0);
    std::vector<std::string> expected = TeardownCalls;
    expected.insert(expected.begin(), "DestroyWindow");
    EXPECT_EQ(LastCalls(expected.size()), expected);
    ExpectCleanEnd();
}

TEST(Shell, OtherInputLeavesTheProgramRunning) {
    auto program = StartProgram(640, 480);
    ASSERT_TRUE(headless::WaitForMessageLoop(Patience));
    headless::InjectRightClick(10, 10);
    headless::InjectMiddleClick(20, 20);
    headless::InjectMouseMove(30, 30);
    headless::InjectKey(0x1B); // Escape
    headless::InjectKey(0x20);
    ASSERT_TRUE(headless::WaitForIdle(Patience));
    EXPECT_TRUE(Running);
    EXPECT_TRUE(headless::Window().Visible);
    const std::vector<std::string> log = headless::CallLog();
    EXPECT_EQ(std::count(log.begin(), log.end(), "PostQuitMessage 0"), 0);

    // A second click after the first is harmless: the teardown runs once.
    headless::InjectLeftClick(1, 1);
    headless::InjectLeftClick(2, 2);
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
        const std::vector<std::string> log = headless::CallLog();
        ASSERT_FALSE(log.empty());
        EXPECT_NE(log.back().find(c.Says), std::string::npos) << log.back();
        EXPECT_FALSE(headless::Window().Exists);
    }
    // The smallest screens the program accepts start and end normally.
    // On the flattest, the balls start far below the world and are folded back into it at the first step.
    for (const auto& [w, h] : {std::pair{27, 2}, std::pair{640, 25}}) {
        auto program = StartProgram(w, h);
        ASSERT_TRUE(headless::WaitForMessageLoop(Patience));
        // Two texts a frame, a frame every eleven steps: wait for some 5,000 steps.
        while (headless::TextCalls().size() < 2 * 5000 / 11) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        headless::InjectLeftClick(0, 0);
        EXPECT_EQ(ExitStatus(program), 0);
        for (int i = 1; i <= 2; ++i) {
            EXPECT_GE(Balls[i].Y, WorldMinY);
            EXPECT_LE(Balls[i].Y, WorldMaxY);
        }
    }
}

TEST(Shell, NoDisplayOrNoMemoryEndsWithStatusOneAndNothingLeftBehind) {
    headless::Reset(640, 480);
    ResetProgramState();
    headless::SetNoDisplay(true);
    EXPECT_EQ(RunProgram(), 1);
    EXPECT_FALSE(headless::Window().Exists);

    headless::Reset(640, 480);
    headless::SetSurfaceByteLimit(100000);
    EXPECT_EQ(RunProgram(), 1);
    const std::vector<std::string> log = headless::CallLog();
    EXPECT_NE(log.back().find("not enough memory"), std::string::npos) << log.back();
    EXPECT_EQ(headless::LiveSurfaces(), 0);
    EXPECT_FALSE(Running);
}
