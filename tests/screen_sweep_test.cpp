// The whole program at every screen width it accepts up to 1024 and at a stride of widths up to 4096, each
// with a portrait, a usual and the flattest height it accepts: the real start-up, the balls on every bound
// and bouncing off every edge, the real teardown. Under AddressSanitizer this shows that no screen makes the
// program read or write outside what it allocated.
//
// The simulation thread is stopped right after start-up and its steps are then made here, with the balls put
// where the test wants them and given velocities large enough to cross the world in a few steps, so that
// every screen costs a few hundred steps instead of the minutes the real velocities would need.

#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "CompositionSetup.h"
#include "ProgramRun.h"
#include "simulation/SimulationThread.h"

using namespace testing_support;

namespace {

struct Screen {
    std::int32_t Width, Height;
};

// The flattest screen the program accepts at this width: the world just taller than one ball.
std::int32_t FlattestHeight(std::int32_t width) {
    return 24 * width / 640 + 1;
}

std::vector<Screen> ScreensOfWidths(const std::vector<std::int32_t>& widths) {
    std::vector<Screen> screens;
    for (const std::int32_t w : widths) {
        screens.push_back({w, w * 16 / 9}); // a portrait screen
        screens.push_back({w, w * 3 / 4});
        screens.push_back({w, FlattestHeight(w)});
    }
    return screens;
}

std::vector<std::int32_t> WidthRange(std::int32_t first, std::int32_t last, std::int32_t stride) {
    std::vector<std::int32_t> widths;
    for (std::int32_t w = first; w <= last; w += stride) {
        widths.push_back(w);
    }
    return widths;
}

// Every copy that reached the window since `from` lies inside it and was taken from the same place of the
// back buffer.
void ExpectCopiesInsideTheWindow(std::size_t from) {
    const std::vector<platform::CopyRect> copies = headless::WindowCopies();
    for (std::size_t c = from; c < copies.size(); ++c) {
        const platform::CopyRect& r = copies[c];
        ASSERT_TRUE(r.Width > 0 && r.Height > 0 && r.X >= 0 && r.Y >= 0 && r.X + r.Width <= ScreenWidth &&
                    r.Y + r.Height <= ScreenHeight && r.SourceX == r.X && r.SourceY == r.Y)
            << "copy " << c << ": " << r.Width << "x" << r.Height << " at " << r.X << "," << r.Y << " from "
            << r.SourceX << "," << r.SourceY;
    }
}

// One frame step with both balls held still where the test puts them.
void FrameWithBallsAt(Extended x, Extended y) {
    Balls[1].X = x;
    Balls[1].Y = y;
    Balls[2].X = WorldMinX + WorldMaxX - x;
    Balls[2].Y = WorldMinY + WorldMaxY - y;
    for (int i = 1; i <= 2; ++i) {
        Balls[i].VX = Balls[i].VY = 0.0L;
    }
    StepCounter = RenderPeriod;
    SimulationStep();
}

// Which bounds a ball has bounced off: a velocity component that changes sign in a step was reversed by the
// bound it was heading for (the pair force is far too weak to turn these velocities round).
struct Bounces {
    bool MinX = false, MaxX = false, MinY = false, MaxY = false;
    bool All() const { return MinX && MaxX && MinY && MaxY; }
};

void SweepScreen(const Screen& screen) {
    SCOPED_TRACE(std::to_string(screen.Width) + "x" + std::to_string(screen.Height));
    auto program = StartProgram(screen.Width, screen.Height);
    const ProgramEnder ender{program};
    ASSERT_TRUE(headless::WaitForIdle(Patience));
    // From here the test thread makes the steps.
    StopSimulation();
    ExpectCopiesInsideTheWindow(0);
    std::size_t copiesChecked = headless::WindowCopies().size();

    // Frames with the balls on every bound, a hair inside it and at the corners.
    const Extended hair = 1e-9L;
    const Extended midX = (WorldMinX + WorldMaxX) / 2, midY = (WorldMinY + WorldMaxY) / 2;
    for (const Extended x : {WorldMinX, WorldMinX + hair, midX, WorldMaxX - hair, WorldMaxX}) {
        for (const Extended y : {WorldMinY, WorldMinY + hair, midY, WorldMaxY - hair, WorldMaxY}) {
            FrameWithBallsAt(x, y);
            for (int i = 1; i <= 2; ++i) {
                ASSERT_TRUE(InsideTheWorld(Balls[i])) << "ball " << i << " at " << x << "," << y;
            }
        }
    }
    ExpectCopiesInsideTheWindow(copiesChecked);
    copiesChecked = headless::WindowCopies().size();

    // Bouncing: each velocity component a different share of the world's extent, below the whole extent so
    // that one mirror always brings a ball back inside.
    const Extended width = WorldMaxX - WorldMinX, height = WorldMaxY - WorldMinY;
    Balls[1].X = midX;
    Balls[1].Y = midY;
    Balls[1].VX = 0.61L * width;
    Balls[1].VY = -0.73L * height;
    Balls[2].X = WorldMinX + width / 3;
    Balls[2].Y = WorldMinY + height / 5;
    Balls[2].VX = -0.53L * width;
    Balls[2].VY = 0.67L * height;
    std::array<Bounces, 3> bounced{};
    int steps = 0;
    for (; steps < 1100 && !(bounced[1].All() && bounced[2].All() && steps >= 110); ++steps) {
        std::array<Extended, 3> vx{0, Balls[1].VX, Balls[2].VX}, vy{0, Balls[1].VY, Balls[2].VY};
        SimulationStep();
        for (int i = 1; i <= 2; ++i) {
            const Ball& ball = Balls[i];
            ASSERT_TRUE(InsideTheWorld(ball)) << "ball " << i << " at " << ball.X << "," << ball.Y
                                              << " moving " << ball.VX << "," << ball.VY << " step " << steps;
            bounced[i].MaxX |= vx[i] > 0 && ball.VX < 0;
            bounced[i].MinX |= vx[i] < 0 && ball.VX > 0;
            bounced[i].MaxY |= vy[i] > 0 && ball.VY < 0;
            bounced[i].MinY |= vy[i] < 0 && ball.VY > 0;
        }
    }
    EXPECT_TRUE(bounced[1].All() && bounced[2].All()) << "not every edge touched in " << steps << " steps";
    ExpectCopiesInsideTheWindow(copiesChecked);
    if (static_cast<std::int64_t>(screen.Width) * screen.Height <= 1024 * 768) {
        EXPECT_TRUE(WindowEqualsBackBuffer());
    }

    headless::Inject(WM_LBUTTONDOWN, 0, screen.Width / 2, screen.Height / 2);
    EXPECT_EQ(ExitStatus(program), 0);
    EXPECT_EQ(headless::LiveSurfaces(), 0);
}

// ThreadSanitizer makes every memory access several times dearer, and here the simulation thread lives only
// from the end of start-up to the stop: a sample of the screens shows it all the same.
#if defined(__SANITIZE_THREAD__)
constexpr std::size_t ScreenSample = 10;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
constexpr std::size_t ScreenSample = 10;
#else
constexpr std::size_t ScreenSample = 1;
#endif
#else
constexpr std::size_t ScreenSample = 1;
#endif

void SweepScreens(const std::vector<Screen>& screens) {
    for (std::size_t s = 0; s < screens.size(); s += ScreenSample) {
        const Screen& screen = screens[s];
        SweepScreen(screen);
        if (::testing::Test::HasFatalFailure()) {
            return;
        }
    }
}

// Three tests, so that a parallel test run spreads them over the cores.
TEST(ScreenSweep, NarrowScreens) {
    SweepScreens(ScreensOfWidths(WidthRange(27, 700, 1)));
}

TEST(ScreenSweep, MiddleScreens) {
    SweepScreens(ScreensOfWidths(WidthRange(701, 1024, 1)));
}

TEST(ScreenSweep, WideScreens) {
    // A prime stride reaches many different fractions of Scale; the usual wide screens on top.
    std::vector<std::int32_t> widths = WidthRange(1025, 4096, 41);
    for (const std::int32_t w :
         {1152, 1280, 1366, 1440, 1536, 1600, 1680, 1920, 2048, 2560, 3200, 3840, 4096}) {
        widths.push_back(w);
    }
    SweepScreens(ScreensOfWidths(widths));
}

} // namespace
