#include "simulation/SimulationThread.h"

#include <algorithm>
#include <cmath>

#include "rendering/Composition.h"
#include "simulation/NumberText.h"

std::int32_t StepCounter;
Extended StepDistance;
std::string DistanceText;
std::string SpeedSumText;

namespace {

constexpr std::int32_t DistanceCharacters = 5;
constexpr std::int32_t SpeedSumCharacters = 8;

void DrawText(std::int32_t y, const std::string& text, std::int32_t characters) {
    platform::TextOutA(WindowDC, 10, y, text.c_str(),
                       std::min(static_cast<std::int32_t>(text.size()), characters));
}

// One mirror at each bound brings a ball back unless its step was longer than the world's extent: on a flat
// screen whose world is thinner than a ball's speed, at start-up when the balls begin far below such a world,
// or after the push between two balls that have almost met. The ball is then folded back in as if it had
// bounced between the two bounds as often as that step takes, its velocity reversed once per bounce, so that
// it never stays outside. fmod is exact, and a step that needs no more than the one mirror is not touched.
// Out of line: it is almost never needed, and the steps that do not need it stay free of its call.
[[gnu::noinline]] void FoldBack(Extended& position, Extended& velocity, Extended low, Extended high) {
    const Extended extent = high - low;
    if ((position >= low && position <= high) || !(extent > 0.0L) || !std::isfinite(position)) {
        return;
    }
    Extended along = std::fmod(position - low, 2.0L * extent);
    if (along < 0.0L) {
        along += 2.0L * extent;
    }
    if (along <= extent) {
        position = low + along; // an even number of bounces
    } else {
        position = high - (along - extent);
        velocity = -velocity;
    }
    // The extent was rounded: keep the last bit from landing a hair outside.
    position = std::clamp(position, low, high);
}

inline void FoldInside(Extended& position, Extended& velocity, Extended low, Extended high) {
    if (!(position >= low && position <= high)) {
        FoldBack(position, velocity, low, high);
    }
}

// Mirrors the ball at each bound it lies beyond, Y before X, and folds it back in when one mirror is not
// enough. The motion's own bounces, and what a screen change does to a ball the new world no longer holds.
// Forced into MoveBall, and MoveBall kept out of line: the step compiles to the very code it had when the
// bounces were written in MoveBall itself, so sharing them costs the step nothing.
[[gnu::always_inline]] inline void BounceInside(Ball& ball) {
    if (ball.Y < WorldMinY) {
        ball.Y = (WorldMinY - ball.Y) + WorldMinY;
        ball.VY = -ball.VY;
    }
    if (ball.Y > WorldMaxY) {
        ball.Y = (WorldMaxY - ball.Y) + WorldMaxY;
        ball.VY = -ball.VY;
    }
    FoldInside(ball.Y, ball.VY, WorldMinY, WorldMaxY);
    if (ball.X < WorldMinX) {
        ball.X = (WorldMinX - ball.X) + WorldMinX;
        ball.VX = -ball.VX;
    }
    if (ball.X > WorldMaxX) {
        ball.X = (WorldMaxX - ball.X) + WorldMaxX;
        ball.VX = -ball.VX;
    }
    FoldInside(ball.X, ball.VX, WorldMinX, WorldMaxX);
}

[[gnu::noinline]] void MoveBall(Ball& ball) {
    ball.X = ball.X + ball.VX;
    ball.Y = ball.Y + ball.VY;
    BounceInside(ball);
}

} // namespace

void ApplyPairForce() {
    const Extended dx = Balls[1].X - Balls[2].X;
    const Extended dy = Balls[1].Y - Balls[2].Y;
    StepDistance = std::sqrt(dx * dx + dy * dy);
    const Extended d = StepDistance;
    const Extended scaled = 7.0L * d;
    Extended a = 0.0L;
    if (d > 100.0L) {
        a = 0.1L / scaled;
    } else if (d < 100.0L && d > 0.0L) {
        a = -0.1L / scaled;
    } else {
        // At exactly 100 the force changes sign and is zero. Coincident balls have no line between them to
        // push along (the formula would give 0/0), so they feel no force until they part.
        return;
    }
    const Extended ax = (a * dx) / scaled;
    const Extended ay = (a * dy) / scaled;
    Balls[1].VX = Balls[1].VX - ax;
    Balls[1].VY = Balls[1].VY - ay;
    Balls[2].VX = Balls[2].VX + ax;
    Balls[2].VY = Balls[2].VY + ay;
}

void FrameCadence() {
    StepCounter = StepCounter + 1;
    if (StepCounter <= RenderPeriod) {
        return;
    }
    // The positions have not moved yet in this step: the frame shows the ones StepDistance was measured on.
    ComposeFrame();
    // The window system lost part of the window's picture: put all of it back, numbers drawn over it below.
    // One relaxed load a frame; the flag is almost never set.
    if (WindowPictureLost.load(std::memory_order_relaxed)) {
        WindowPictureLost.store(false, std::memory_order_relaxed);
        CopyBackBufferToWindow();
    }
    WindowDC = platform::GetDC(MainWindow);
    DistanceText = NumberText(StepDistance);
    DrawText(10, DistanceText, DistanceCharacters);
    const Extended speedSum = std::sqrt(Balls[1].VX * Balls[1].VX + Balls[1].VY * Balls[1].VY) +
                              std::sqrt(Balls[2].VX * Balls[2].VX + Balls[2].VY * Balls[2].VY);
    SpeedSumText = NumberText(speedSum);
    DrawText(30, SpeedSumText, SpeedSumCharacters);
    platform::ReleaseDC(MainWindow, WindowDC);
    StepCounter = 0;
}

void MoveBalls() {
    MoveBall(Balls[1]);
    MoveBall(Balls[2]);
}

void BringBallsInside() {
    BounceInside(Balls[1]);
    BounceInside(Balls[2]);
}

void SimulationStep() {
    ApplyPairForce();
    FrameCadence();
    MoveBalls();
}

void SimulationThread() {
    StepCounter = 0;
    // No pause anywhere: the motion runs as fast as the processor allows. The teardown clears Running and
    // joins this thread, so a step under way finishes, frame included, before anything it draws with goes.
    while (Running) {
        SimulationStep();
    }
    ReleaseNumberTexts();
}

void ReleaseNumberTexts() {
    std::string().swap(DistanceText);
    std::string().swap(SpeedSumText);
}
