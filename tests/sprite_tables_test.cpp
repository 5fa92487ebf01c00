#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <utility>
#include <vector>

#include "rendering/Rounding.h"
#include "rendering/SpriteTables.h"
#include "simulation/World.h"

namespace {
void BuildForWidth(std::int32_t width) {
    ScreenWidth = width;
    ComputeScale();
    ComputeBallSize();
    BuildSpriteTables();
}

void BuildForScale(Extended scale) {
    Scale = scale;
    BallDiameter = 24.0L;
    BallRadius = 12.0L;
    BuildSpriteTables();
}

struct Extremes {
    std::int32_t Least = std::numeric_limits<std::int32_t>::max();
    std::int32_t Most = std::numeric_limits<std::int32_t>::min();
};

Extremes ShadeRange() {
    Extremes shade;
    for (const auto* list : {&BodyFullPixels, &BodyEdgePixels}) {
        for (const SpritePixel& pixel : *list) {
            shade.Least = std::min<std::int32_t>(shade.Least, pixel.Shade);
            shade.Most = std::max<std::int32_t>(shade.Most, pixel.Shade);
        }
    }
    return shade;
}

// Coverage of every cell of the sprite square, 255 for a full body cell and 0 outside, [column][row].
struct CoverageMap {
    std::vector<std::int32_t> Cells;
    std::int32_t operator()(std::int32_t col, std::int32_t row) const {
        return Cells[static_cast<std::size_t>(col) * static_cast<std::size_t>(SpriteSize) +
                     static_cast<std::size_t>(row)];
    }
};

CoverageMap BodyCoverage() {
    CoverageMap coverage{std::vector<std::int32_t>(static_cast<std::size_t>(SpriteSize) *
                                                   static_cast<std::size_t>(SpriteSize))};
    const auto set = [&](const SpritePixel& pixel, std::int32_t value) {
        coverage.Cells[static_cast<std::size_t>(pixel.Col) * static_cast<std::size_t>(SpriteSize) +
                       static_cast<std::size_t>(pixel.Row)] = value;
    };
    for (const SpritePixel& pixel : BodyFullPixels) {
        set(pixel, 255);
    }
    for (const SpritePixel& pixel : BodyEdgePixels) {
        set(pixel, pixel.Alpha);
    }
    return coverage;
}

void ExpectPixel(const SpritePixel& pixel, std::int32_t col, std::int32_t row, std::int32_t shade,
                 std::int32_t alpha) {
    EXPECT_EQ(pixel.Col, col);
    EXPECT_EQ(pixel.Row, row);
    EXPECT_EQ(pixel.Shade, shade);
    EXPECT_EQ(pixel.Alpha, alpha);
    EXPECT_EQ(pixel.InvAlpha, alpha == 0 ? 0 : 255 - alpha);
}

// What every build must hold, whatever the width: the last indices match the lists, the lists are in
// column-major order, each list sets only its own fields, body cells avoid column and row 0, shadows lie at
// least ShadowOffset from the square's corner, and the coverage is mirror-symmetric in each direction.
void ExpectConsistentLists() {
    EXPECT_EQ(BodyFullLast, static_cast<std::int32_t>(BodyFullPixels.size()) - 1);
    EXPECT_EQ(BodyEdgeLast, static_cast<std::int32_t>(BodyEdgePixels.size()) - 1);
    EXPECT_EQ(ShadowFullLast, static_cast<std::int32_t>(ShadowFullPixels.size()) - 1);
    EXPECT_EQ(ShadowEdgeLast, static_cast<std::int32_t>(ShadowEdgePixels.size()) - 1);
    EXPECT_EQ(HalfSprite, SpriteSize / 2);
    EXPECT_EQ(RestoreRowBytes, 3 * SpriteSize + 3 * ShadowOffset);

    const auto inOrder = [](const SpritePixel& a, const SpritePixel& b) {
        return std::pair(a.Col, a.Row) < std::pair(b.Col, b.Row);
    };
    for (const auto* list : {&BodyFullPixels, &BodyEdgePixels, &ShadowFullPixels, &ShadowEdgePixels}) {
        EXPECT_TRUE(std::is_sorted(list->begin(), list->end(), inOrder));
        EXPECT_EQ(std::adjacent_find(list->begin(), list->end(),
                                     [](const SpritePixel& a, const SpritePixel& b) {
                                         return a.Col == b.Col && a.Row == b.Row;
                                     }),
                  list->end());
    }
    for (const auto* list : {&BodyFullPixels, &BodyEdgePixels}) {
        for (const SpritePixel& pixel : *list) {
            ASSERT_GE(pixel.Col, 1);
            ASSERT_GE(pixel.Row, 1);
            ASSERT_LT(pixel.Col, SpriteSize);
            ASSERT_LT(pixel.Row, SpriteSize);
            ASSERT_GE(pixel.Shade, 100);
        }
    }
    for (const auto* list : {&ShadowFullPixels, &ShadowEdgePixels}) {
        for (const SpritePixel& pixel : *list) {
            ASSERT_GE(pixel.Col, ShadowOffset);
            ASSERT_GE(pixel.Row, ShadowOffset);
            ASSERT_EQ(pixel.Shade, 0);
        }
    }
    for (const auto* list : {&BodyFullPixels, &ShadowFullPixels}) {
        for (const SpritePixel& pixel : *list) {
            ASSERT_EQ(pixel.Alpha, 0);
            ASSERT_EQ(pixel.InvAlpha, 0);
        }
    }
    for (const auto* list : {&BodyEdgePixels, &ShadowEdgePixels}) {
        for (const SpritePixel& pixel : *list) {
            ASSERT_GE(pixel.Alpha, 1);
            ASSERT_LE(pixel.Alpha, 254);
            ASSERT_EQ(pixel.Alpha + pixel.InvAlpha, 255);
        }
    }

    // Each shadow pixel is a body cell moved by ShadowOffset - 1, with the same coverage.
    const auto coverage = BodyCoverage();
    const std::int32_t shift = ShadowOffset - 1;
    for (const SpritePixel& pixel : ShadowFullPixels) {
        ASSERT_EQ(coverage(pixel.Col - shift, pixel.Row - shift), 255);
    }
    for (const SpritePixel& pixel : ShadowEdgePixels) {
        ASSERT_EQ(coverage(pixel.Col - shift, pixel.Row - shift), pixel.Alpha);
    }
    for (std::int32_t k = 1; k < SpriteSize; ++k) {
        for (std::int32_t m = 1; m < SpriteSize; ++m) {
            ASSERT_EQ(coverage(k, m), coverage(SpriteSize - k, m)) << k << " " << m;
            ASSERT_EQ(coverage(k, m), coverage(k, SpriteSize - m)) << k << " " << m;
        }
    }
}
} // namespace

TEST(SpriteTables, GeometryAndListsOnA640PixelScreen) {
    BuildForWidth(640);
    EXPECT_EQ(ShadowOffset, 6);
    EXPECT_EQ(SpriteSize, 25);
    EXPECT_EQ(RestoreRowBytes, 93);
    EXPECT_EQ(DiscRadiusSub(), 360);
    EXPECT_EQ(HalfSprite, 12);
    EXPECT_EQ(BodyFullPixels.size(), 368u);
    EXPECT_EQ(BodyEdgePixels.size(), 80u);
    EXPECT_EQ(ShadowFullPixels.size(), 139u);
    EXPECT_EQ(ShadowEdgePixels.size(), 46u);
    EXPECT_EQ(BodyFullLast, 367);
    EXPECT_EQ(BodyEdgeLast, 79);
    EXPECT_EQ(ShadowFullLast, 138);
    EXPECT_EQ(ShadowEdgeLast, 45);
    EXPECT_EQ(ShadeRange().Least, 106);
    EXPECT_EQ(ShadeRange().Most, 449);
    ExpectConsistentLists();

    ExpectPixel(BodyFullPixels.front(), 2, 10, 209, 0);
    ExpectPixel(BodyEdgePixels.front(), 1, 10, 225, 33);
    ExpectPixel(ShadowFullPixels.front(), 10, 24, 0, 0);
    ExpectPixel(ShadowEdgePixels.front(), 8, 24, 0, 67);
    ExpectPixel(BodyFullPixels.back(), 23, 15, 421, 0);
}

TEST(SpriteTables, RimCoverageIsSymmetricWithinEachDirectionOnly) {
    BuildForWidth(640);
    const auto coverage = BodyCoverage();
    const std::int32_t column1[] = {33, 88, 184, 184, 88, 33};
    const std::int32_t row1[] = {31, 85, 180, 180, 85, 31};
    for (std::int32_t n = 0; n < 6; ++n) {
        EXPECT_EQ(coverage(1, 10 + n), column1[n]) << "row " << 10 + n;
        EXPECT_EQ(coverage(10 + n, 1), row1[n]) << "column " << 10 + n;
    }
    EXPECT_EQ(coverage(1, 9), 0);
    EXPECT_EQ(coverage(1, 16), 0);
    // The four middle cells collect samples from both halves in each direction and are clamped to full.
    EXPECT_EQ(coverage(12, 12), 255);
    EXPECT_EQ(coverage(12, 13), 255);
    EXPECT_EQ(coverage(13, 12), 255);
    EXPECT_EQ(coverage(13, 13), 255);
}

TEST(SpriteTables, ShadowShowsOnlyWhereTheBallDoesNotHideIt) {
    BuildForWidth(640);
    const auto hasShadow = [](std::int32_t col, std::int32_t row) {
        return std::any_of(ShadowFullPixels.begin(), ShadowFullPixels.end(),
                           [&](const SpritePixel& p) { return p.Col == col && p.Row == row; });
    };
    // Full cells (6, 19) and (7, 19) pass the test with the least margin (156.5 against 156.25).
    EXPECT_TRUE(hasShadow(11, 24));
    EXPECT_TRUE(hasShadow(12, 24));
    // One row up, the same cells lie inside the disc once displaced, as does the middle of the ball.
    EXPECT_FALSE(hasShadow(11, 23));
    EXPECT_FALSE(hasShadow(12, 23));
    EXPECT_FALSE(hasShadow(17, 17));
}

TEST(SpriteTables, GeometryAndListsOnA1280PixelScreen) {
    BuildForWidth(1280);
    EXPECT_EQ(ShadowOffset, 12);
    EXPECT_EQ(SpriteSize, 49);
    EXPECT_EQ(RestoreRowBytes, 183);
    EXPECT_EQ(DiscRadiusSub(), 720);
    EXPECT_EQ(HalfSprite, 24);
    EXPECT_EQ(BodyFullPixels.size(), 1632u);
    EXPECT_EQ(BodyEdgePixels.size(), 172u);
    EXPECT_EQ(ShadowFullPixels.size(), 667u);
    EXPECT_EQ(ShadowEdgePixels.size(), 101u);
    EXPECT_EQ(ShadeRange().Least, 103);
    EXPECT_EQ(ShadeRange().Most, 456);
    ExpectConsistentLists();
}

TEST(SpriteTables, GeometryAtOtherWidths) {
    const struct {
        std::int32_t Width, Size, Offset;
        std::int64_t RadiusSub;
    } cases[] = {
        {800, 31, 8, 450}, {1024, 39, 10, 576}, {1366, 53, 13, 768}, {1920, 73, 18, 1080},
        {480, 19, 5, 270}, {1000, 39, 9, 562},  {27, 3, 0, 15},      {3840, 145, 36, 2160},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Width);
        BuildForWidth(c.Width);
        EXPECT_EQ(SpriteSize, c.Size);
        EXPECT_EQ(ShadowOffset, c.Offset);
        EXPECT_EQ(DiscRadiusSub(), c.RadiusSub);
        ExpectConsistentLists();
        EXPECT_FALSE(BodyFullPixels.empty() && BodyEdgePixels.empty());
    }
}

TEST(SpriteTables, TheWidestAcceptedScreenStaysWithinItsIntegers) {
    // The largest screen start-up accepts: the sanitizers see every index and product of the sampling stay
    // within its integers and the grid.
    BuildForWidth(32768);
    EXPECT_EQ(SpriteSize, 1229);
    EXPECT_EQ(ShadowOffset, 307);
    EXPECT_EQ(DiscRadiusSub(), 18432);
    EXPECT_EQ(RestoreRowBytes, 4608);
    ExpectConsistentLists();
}

TEST(SpriteTables, QuantisingRoundsHalvesUp) {
    // Samples per pixel to coverage, as the sprite builder computes it.
    const auto quantise = [](std::int32_t samples) {
        return RoundHalfUp((static_cast<Extended>(samples) / 900.0L) * 255.0L);
    };
    EXPECT_EQ(quantise(0), 0);
    EXPECT_EQ(quantise(1), 0);
    EXPECT_EQ(quantise(2), 1);
    EXPECT_EQ(quantise(30), 9);
    EXPECT_EQ(quantise(898), 254);
    EXPECT_EQ(quantise(899), 255);
    EXPECT_EQ(quantise(900), 255);
    for (std::int32_t samples = 0; samples <= 900; ++samples) {
        ASSERT_EQ(quantise(samples), (255 * samples + 450) / 900) << samples;
    }
}

TEST(SpriteTables, ShadeStaysInsideTheLightTableAtEveryAcceptedWidth) {
    // The shade of a cell depends only on the sprite size, and the widths of one size differ only in how far
    // the disc reaches into the rim: the last width of each size, with the largest disc, stands for all of
    // them from 27 to 4096 pixels.
    const auto sizeAt = [](std::int32_t width) {
        const Extended scale = static_cast<Extended>(width) / 640.0L;
        return 2 * CeilPositive((24.0L * scale - 1.0L) / 2.0L) + 1;
    };
    Extremes shade;
    for (std::int32_t width = 27; width <= 4096; ++width) {
        if (width < 4096 && sizeAt(width + 1) == sizeAt(width)) {
            continue;
        }
        BuildForWidth(width);
        const Extremes here = ShadeRange();
        shade.Least = std::min(shade.Least, here.Least);
        shade.Most = std::max(shade.Most, here.Most);
        EXPECT_GE(here.Least, 100) << width;
        EXPECT_LE(here.Most, 465) << width;
    }
    EXPECT_EQ(shade.Least, 100);
    EXPECT_GT(shade.Most, 460);
}

TEST(SpriteTables, SpritesTooSmallForTheMirroredCellsStayEmpty) {
    // Widths below 27 give a one-pixel sprite, where the mirrored cells fall outside the grid; start-up
    // refuses them, and the builder itself writes nothing outside the grid and leaves the lists empty.
    for (const Extended scale :
         {0.0L, 1.0L / 24.0L, 26.0L / 640.0L, 1.0e-9L, -1.0L, std::numeric_limits<Extended>::quiet_NaN()}) {
        SCOPED_TRACE(static_cast<double>(scale));
        BuildForScale(scale);
        EXPECT_EQ(SpriteSize, 1);
        EXPECT_EQ(HalfSprite, 0);
        EXPECT_TRUE(BodyFullPixels.empty() && BodyEdgePixels.empty() && ShadowFullPixels.empty() &&
                    ShadowEdgePixels.empty());
        EXPECT_EQ(BodyFullLast, -1);
        EXPECT_EQ(BodyEdgeLast, -1);
        EXPECT_EQ(ShadowFullLast, -1);
        EXPECT_EQ(ShadowEdgeLast, -1);
    }
    // The blend tables are built on this path too.
    EXPECT_EQ(MulTable[255][255], 255);
    EXPECT_EQ(LightTable[127][1], 255);
}

TEST(SpriteTables, ADiscWiderThanItsSquareIsCutAtTheEdge) {
    Scale = 1.0L;
    BallDiameter = 24.0L;
    BallRadius = 40.0L;
    BuildSpriteTables();
    EXPECT_EQ(SpriteSize, 25);
    ExpectConsistentLists();
    // Every cell but column 0 and row 0 is covered.
    EXPECT_EQ(BodyFullPixels.size() + BodyEdgePixels.size(), 24u * 24u);
    ComputeBallSize();
}

TEST(SpriteTables, AScaleBeyondAnyScreenIsRefused) {
    for (const Extended scale :
         {1.0e6L, std::numeric_limits<Extended>::infinity(), -std::numeric_limits<Extended>::infinity()}) {
        Scale = scale;
        EXPECT_THROW(BuildSpriteTables(), std::length_error) << static_cast<double>(scale);
    }
}
