#pragma once
// A screen, a window and the two surfaces on the headless platform, with sprite geometry and pixel lists made
// by hand, so that frames can be composed without the sprite builder, or built by the program itself.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "../bench/ProgramScreen.h"
#include "platform/headless.h"
#include "rendering/Composition.h"
#include "rendering/SpriteRuns.h"
#include "rendering/Surfaces.h"
#include "simulation/World.h"

namespace testing_support {

// The blend tables from their definitions: products truncated, light levels rounded with halves up (every
// argument is a multiple of 1/256, so floor(x + 0.5) is exact).
inline void FillBlendTablesByHand() {
    for (int a = 0; a < 256; ++a) {
        for (int c = 0; c < 256; ++c) {
            MulTable[a][c] = static_cast<std::uint8_t>(a * c / 255);
        }
    }
    for (int v = 0; v < 256; ++v) {
        for (int k = 0; k <= 512; ++k) {
            const double x = k < 256 ? 255.0 - (255.0 - v) / 256.0 * k : v / 256.0 * (512 - k);
            LightTable[v][k] = static_cast<std::uint8_t>(k == 256 ? v : std::floor(x + 0.5));
        }
    }
}

// A fresh headless screen and the balls zeroed as at load.
inline void FreshScreen(std::int32_t width, std::int32_t height) {
    headless::Reset(width, height);
    for (Ball& ball : Balls) {
        ball = Ball{};
    }
}

// The screen's size, scale, ball size and world bounds.
inline void World(std::int32_t width, std::int32_t height) {
    ScreenWidth = width;
    ScreenHeight = height;
    ComputeScale();
    ComputeBallSize();
    ComputeWorldBounds();
}

// Screen, world and a window of that size, the sprite left to the test.
inline void OpenScreen(std::int32_t width, std::int32_t height) {
    FreshScreen(width, height);
    bench::OpenProgramWindow(width, height);
    World(width, height);
    LightLevel = 300;
}

// The program built for the screen as start-up builds it: real sprites, the surfaces, the first picture.
inline void OpenProgramScreen(std::int32_t width, std::int32_t height) {
    FreshScreen(width, height);
    bench::OpenProgramScreen(width, height);
}

inline void UseGeometry(std::int32_t spriteSize, std::int32_t shadowOffset) {
    SpriteSize = spriteSize;
    ShadowOffset = shadowOffset;
    HalfSprite = spriteSize / 2;
    RestoreRowBytes = 3 * spriteSize + 3 * shadowOffset;
}

// The sprite size and shadow offset the screen's Scale gives: the smallest odd size not below the ball's
// diameter, and six units of offset rounded with halves up.
inline void UseGeometryOfScreen() {
    const Extended d = BallDiameter * Scale;
    const auto size = d < 1 ? 1 : 2 * static_cast<std::int32_t>(std::ceil((d - 1) / 2)) + 1;
    UseGeometry(size, static_cast<std::int32_t>(std::floor(6 * Scale + 0.5L)));
}

// A plain disc with a one-pixel rim and its shadow where the disc does not hide it: pixels of every kind,
// shades across the light table, the lists' usual shape.
inline void UseDiscSprite() {
    BodyFullPixels.clear();
    BodyEdgePixels.clear();
    ShadowFullPixels.clear();
    ShadowEdgePixels.clear();
    const double centre = SpriteSize / 2.0, radius = SpriteSize / 2.0;
    for (std::int32_t i = 1; i < SpriteSize; ++i) {
        for (std::int32_t j = 1; j < SpriteSize; ++j) {
            const double r = std::hypot(i - centre, j - centre);
            if (r >= radius) {
                continue;
            }
            const bool full = r < radius - 1;
            const auto alpha = static_cast<std::uint8_t>(1 + (i * 37 + j * 11) % 254);
            const double shadowR = std::hypot(i + ShadowOffset - centre, j + ShadowOffset - centre);
            if (shadowR > radius) {
                const SpritePixel shadow{i + ShadowOffset - 1, j + ShadowOffset - 1, 0,
                                         full ? std::uint8_t{0} : alpha,
                                         full ? std::uint8_t{0} : static_cast<std::uint8_t>(255 - alpha)};
                (full ? ShadowFullPixels : ShadowEdgePixels).push_back(shadow);
            }
            const auto shade = static_cast<std::uint16_t>(100 + static_cast<int>(r * 360 / radius));
            const SpritePixel body{i, j, shade, full ? std::uint8_t{0} : alpha,
                                   full ? std::uint8_t{0} : static_cast<std::uint8_t>(255 - alpha)};
            (full ? BodyFullPixels : BodyEdgePixels).push_back(body);
        }
    }
}

// Every pixel on the border of the largest squares the lists may use: the body's D x D and the shadow's
// (D + S) x (D + S). A superset of the extremes of any real sprite.
inline void UseOutlineSprite() {
    auto outline = [](std::int32_t side, std::vector<SpritePixel>& full, std::vector<SpritePixel>& edge) {
        full.clear();
        edge.clear();
        for (std::int32_t i = 0; i < side; ++i) {
            for (std::int32_t j = 0; j < side; ++j) {
                if (i == 0 || j == 0 || i == side - 1 || j == side - 1) {
                    full.push_back(SpritePixel{i, j, 300, 0, 0});
                    edge.push_back(SpritePixel{i, j, 300, 100, 155});
                }
            }
        }
    };
    outline(SpriteSize, BodyFullPixels, BodyEdgePixels);
    outline(SpriteSize + ShadowOffset, ShadowFullPixels, ShadowEdgePixels);
}

// The surfaces, the start-up positions and velocities, and the first whole picture on the window.
inline void StartPicture() {
    BuildSpriteRuns();
    CreateSurfaces();
    InitBalls();
    PresentAll();
}

inline void CloseScreen() {
    ReleaseSurfaces();
    ReleaseDynamicArrays();
    UseGeometry(0, 0);
    MainWindow = nullptr;
}

// The ball is at (x, y) with velocity (vx, vy), to the last bit.
inline void ExpectBall(const Ball& ball, Extended x, Extended y, Extended vx, Extended vy) {
    EXPECT_EQ(ball.X, x);
    EXPECT_EQ(ball.Y, y);
    EXPECT_EQ(ball.VX, vx);
    EXPECT_EQ(ball.VY, vy);
}

// The window shows exactly the back buffer over the whole window.
inline bool WindowEqualsBackBuffer() {
    const std::vector<std::uint8_t> window = headless::WindowPicture();
    const auto width = static_cast<std::size_t>(ScreenWidth);
    for (std::int32_t y = 0; y < ScreenHeight; ++y) {
        if (std::memcmp(window.data() + static_cast<std::size_t>(y) * width * 3,
                        BackBufferRows[static_cast<std::size_t>(y)], width * 3) != 0) {
            return false;
        }
    }
    return true;
}

} // namespace testing_support
