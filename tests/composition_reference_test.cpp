// The frame composition against a plain, pixel-by-pixel reading of its rules, with the real sprite tables:
// whatever the composition does to be fast, every frame must leave the same bytes as the slow reading would.

#include <gtest/gtest.h>

#include <random>

#include "CompositionSetup.h"
#include "rendering/SpriteTables.h"

using namespace testing_support;

namespace {

// Surfaces of the same size as the real ones, one byte vector each, and a frame composed into them the slow
// way: every pixel looked up anew from its definition, every access checked against the surfaces.
struct ReferenceFrame {
    std::int32_t Width = 0, Height = 0;
    std::vector<std::uint8_t> Ground, Back;
    std::int32_t PrevX[3] = {}, PrevY[3] = {};

    void Start() {
        Width = platform::SurfaceWidth(BackBuffer);
        Height = platform::SurfaceHeight(BackBuffer);
        Ground.resize(static_cast<std::size_t>(Width) * static_cast<std::size_t>(Height) * 3);
        Back.resize(Ground.size());
        for (std::int32_t y = 0; y < Height; ++y) {
            std::memcpy(Row(Ground, y), BackgroundRows[static_cast<std::size_t>(y)], 3 * std::size_t(Width));
            std::memcpy(Row(Back, y), BackBufferRows[static_cast<std::size_t>(y)], 3 * std::size_t(Width));
        }
        for (int i = 1; i <= 2; ++i) {
            PrevX[i] = Balls[i].PrevScreenX;
            PrevY[i] = Balls[i].PrevScreenY;
        }
    }

    std::uint8_t* Row(std::vector<std::uint8_t>& surface, std::int32_t y) const {
        return surface.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(Width) * 3;
    }
    bool Inside(std::int32_t x, std::int32_t y) const { return x >= 0 && y >= 0 && x < Width && y < Height; }
    std::uint8_t* Pixel(std::vector<std::uint8_t>& surface, std::int32_t x, std::int32_t y) {
        return Row(surface, y) + 3 * static_cast<std::size_t>(x);
    }

    void Compose() {
        const std::int32_t side = SpriteSize + ShadowOffset;
        for (int i = 1; i <= 2; ++i) {
            for (std::int32_t y = PrevY[i]; y < PrevY[i] + side; ++y) {
                for (std::int32_t x = PrevX[i]; x < PrevX[i] + side; ++x) {
                    if (Inside(x, y)) {
                        std::memcpy(Pixel(Back, x, y), Pixel(Ground, x, y), 3);
                    }
                }
            }
        }
        std::int32_t cornerX[3], cornerY[3];
        for (int i = 1; i <= 2; ++i) {
            cornerX[i] = static_cast<std::int32_t>(Balls[i].X * Scale) - HalfSprite;
            cornerY[i] = static_cast<std::int32_t>(Balls[i].Y * Scale) - HalfSprite;
            for (const SpritePixel& p : ShadowFullPixels) {
                const std::int32_t x = cornerX[i] + p.Col, y = cornerY[i] + p.Row;
                if (Inside(x, y)) {
                    for (int k = 0; k < 3; ++k) {
                        Pixel(Back, x, y)[k] = LightTable[Pixel(Ground, x, y)[k]][LightLevel];
                    }
                }
            }
            for (const SpritePixel& p : ShadowEdgePixels) {
                const std::int32_t x = cornerX[i] + p.Col, y = cornerY[i] + p.Row;
                if (Inside(x, y)) {
                    for (int k = 0; k < 3; ++k) {
                        const std::uint8_t g = Pixel(Ground, x, y)[k];
                        Pixel(Back, x, y)[k] = static_cast<std::uint8_t>(
                            MulTable[p.InvAlpha][g] + MulTable[p.Alpha][LightTable[g][LightLevel]]);
                    }
                }
            }
        }
        for (int i = 1; i <= 2; ++i) {
            const std::uint8_t colour[3] = {Balls[i].Blue, Balls[i].Green, Balls[i].Red};
            for (const SpritePixel& p : BodyFullPixels) {
                const std::int32_t x = cornerX[i] + p.Col, y = cornerY[i] + p.Row;
                if (Inside(x, y)) {
                    for (int k = 0; k < 3; ++k) {
                        Pixel(Back, x, y)[k] = LightTable[colour[k]][p.Shade];
                    }
                }
            }
            for (const SpritePixel& p : BodyEdgePixels) {
                const std::int32_t x = cornerX[i] + p.Col, y = cornerY[i] + p.Row;
                if (Inside(x, y)) {
                    for (int k = 0; k < 3; ++k) {
                        const std::uint8_t u = Pixel(Back, x, y)[k];
                        Pixel(Back, x, y)[k] = static_cast<std::uint8_t>(
                            MulTable[p.InvAlpha][u] + MulTable[p.Alpha][LightTable[colour[k]][p.Shade]]);
                    }
                }
            }
            PrevX[i] = cornerX[i];
            PrevY[i] = cornerY[i];
        }
    }

    // The rows of the back buffer that differ from the reference, as "row y" texts (at most a few).
    std::string Differences() {
        std::string found;
        int count = 0;
        for (std::int32_t y = 0; y < Height && count < 5; ++y) {
            if (std::memcmp(Row(Back, y), BackBufferRows[static_cast<std::size_t>(y)],
                            3 * std::size_t(Width))) {
                found += " row " + std::to_string(y);
                ++count;
            }
        }
        return found;
    }
};

class CompositionReferenceTest : public ::testing::TestWithParam<std::pair<std::int32_t, std::int32_t>> {
protected:
    void TearDown() override { CloseScreen(); }
};

// Frames of every kind, on real sprites: small glides, jumps across the world, the balls overlapping in
// both orders, and positions up to a unit past every bound, where the squares leave the surfaces.
TEST_P(CompositionReferenceTest, EveryFrameEqualsThePlainReading) {
    const auto [width, height] = GetParam();
    OpenProgramScreen(width, height);
    // Colours away from the pure red of the program, so that every channel goes through the tables.
    Balls[1].Red = 200, Balls[1].Green = 40, Balls[1].Blue = 90;
    Balls[2].Red = 30, Balls[2].Green = 220, Balls[2].Blue = 128;
    std::mt19937 random(12345);
    // The right half of the background in 3x3 tiles of every colour: shadows fall on one colour, as in the
    // program, and on mixed ground, which the composition must darken pixel by pixel.
    for (std::size_t y = 0; y < BackgroundRows.size(); ++y) {
        for (std::int32_t x = platform::SurfaceWidth(BackgroundSurface) / 2;
             x < platform::SurfaceWidth(BackgroundSurface); ++x) {
            std::uint8_t* pixel = BackgroundRows[y] + 3 * static_cast<std::size_t>(x);
            const auto tile = static_cast<unsigned>(x / 3 * 7919 + static_cast<std::int32_t>(y / 3) * 104729);
            pixel[0] = static_cast<std::uint8_t>(tile), pixel[1] = static_cast<std::uint8_t>(tile >> 8);
            pixel[2] = static_cast<std::uint8_t>(tile >> 16);
        }
    }
    ReferenceFrame reference;
    reference.Start();

    auto uniform = [&](Extended low, Extended high) {
        return low + (high - low) * static_cast<Extended>(random()) / static_cast<Extended>(random.max());
    };
    for (int frame = 0; frame < 400; ++frame) {
        const int kind = frame % 4;
        if (kind == 0) {
            Balls[1].X = uniform(WorldMinX - 1, WorldMaxX + 1);
            Balls[1].Y = uniform(WorldMinY - 1, WorldMaxY + 1);
        } else {
            Balls[1].X += uniform(-1, 1);
            Balls[1].Y += uniform(-1, 1);
        }
        Balls[2].X = Balls[1].X + uniform(-30, 30);
        Balls[2].Y = Balls[1].Y + uniform(-30, 30);
        ComposeFrame();
        reference.Compose();
        ASSERT_EQ(reference.Differences(), "") << "frame " << frame;
    }
}

INSTANTIATE_TEST_SUITE_P(Screens, CompositionReferenceTest,
                         ::testing::Values(std::pair{640, 480}, std::pair{1366, 768}, std::pair{1920, 1080},
                                           std::pair{100, 60}),
                         [](const auto& info) {
                             return std::to_string(info.param.first) + "x" +
                                    std::to_string(info.param.second);
                         });

} // namespace
