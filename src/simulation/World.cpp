#include "simulation/World.h"

#include <chrono>
#include <random>

#include "rendering/Rounding.h"

Ball Balls[3];
Extended Scale;
Extended BallDiameter;
Extended BallRadius;
Extended WorldMinX;
Extended WorldMaxX;
Extended WorldMinY;
Extended WorldMaxY;

namespace {
std::mt19937_64 Generator;
}

void ComputeScale() {
    // As the desktop holds it, so that every build sizes the sprite alike: a whole number over 640 never lies
    // on a midpoint of 64-bit significands, so rounding a wider quotient again gives the desktop's.
    Scale = RoundToDesktopPrecision(static_cast<Extended>(ScreenWidth) / 640.0L);
}

void ComputeBallSize() {
    BallDiameter = 24.0L;
    BallRadius = BallDiameter / 2.0L;
}

void ComputeWorldBounds() {
    WorldMinX = BallRadius;
    WorldMaxX = 640.0L - BallRadius;
    WorldMinY = BallRadius;
    WorldMaxY = static_cast<Extended>(ScreenHeight) / Scale - BallRadius;
}

Extended NextUniform() {
    // The top 53 bits as a fraction of 2^53: exact, and strictly below 1 (a standard distribution may round
    // up to 1.0, which would give a velocity of exactly -0.025).
    return static_cast<Extended>(Generator() >> 11) * 0x1.0p-53L;
}

void ResetBackBuffer() {
    platform::BitBlt(platform::SurfaceDC(BackBuffer), 0, 0, platform::SurfaceWidth(BackBuffer),
                     platform::SurfaceHeight(BackBuffer), platform::SurfaceDC(BackgroundSurface), 0, 0,
                     SRCCOPY);
}

void InitBalls() {
    ResetBackBuffer();

    Generator.seed(static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()));

    Balls[1].X = 100.0L;
    Balls[1].Y = 200.0L;
    Balls[2].X = 200.0L;
    Balls[2].Y = 200.0L;

    Balls[1].VX = (0.5L - NextUniform()) / 20.0L;
    Balls[1].VY = (0.5L - NextUniform()) / 20.0L;
    Balls[2].VX = (0.5L - NextUniform()) / 20.0L;
    Balls[2].VY = (0.5L - NextUniform()) / 20.0L;
}
