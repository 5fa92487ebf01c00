#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "rendering/BlendTables.h"

namespace {
constexpr std::int32_t Int32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t Int32Min = std::numeric_limits<std::int32_t>::min();

struct BlendTablesTest : ::testing::Test {
    static void SetUpTestSuite() { BuildBlendTables(); }
};
} // namespace

TEST(Rounding, HalfUpAtHalvesJustBelowAndAtNegatives) {
    const struct {
        Extended X;
        std::int32_t Expected;
    } cases[] = {
        {0.0L, 0},
        {0.5L, 1},
        {1.5L, 2},
        {2.5L, 3},
        {7.5L, 8},
        {2.7L, 3},
        {0.49L, 0},
        {-0.5L, 0},
        {-1.5L, -1},
        {-2.7L, -2},
        {-0.0L, 0},
        {1000000.5L, 1000001},
        // The largest double below one half: adding 0.5 and flooring would give 1.
        {static_cast<Extended>(std::nextafter(0.5, 0.0)), 0},
        {std::nextafter(0.5L, 0.0L), 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RoundHalfUp(c.X), c.Expected) << static_cast<double>(c.X);
    }
    // Exactly on and just below every half up to a few thousand: the first-digit test never misjudges.
    for (std::int32_t k = 0; k < 5000; ++k) {
        const Extended half = static_cast<Extended>(k) + 0.5L;
        ASSERT_EQ(RoundHalfUp(half), k + 1) << k;
        ASSERT_EQ(RoundHalfUp(std::nextafter(half, 0.0L)), k) << k;
    }
}

TEST(Rounding, CeilPositive) {
    const struct {
        Extended X;
        std::int32_t Expected;
    } cases[] = {
        {0.0L, 0},
        {1.0L, 1},
        {0.001L, 1},
        {2.5L, 3},
        {-2.5L, -2},
        {-3.0L, -3},
        {std::numeric_limits<Extended>::denorm_min(), 1},
        {std::nextafter(24.0L, 25.0L), 25},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CeilPositive(c.X), c.Expected) << static_cast<double>(c.X);
    }
}

TEST(Rounding, ArgumentsBeyond32BitsSaturateAndNaNGivesZero) {
    const Extended inf = std::numeric_limits<Extended>::infinity();
    const Extended nan = std::numeric_limits<Extended>::quiet_NaN();
    EXPECT_EQ(RoundHalfUp(3.0e9L), Int32Max);
    EXPECT_EQ(RoundHalfUp(2147483646.5L), Int32Max);
    EXPECT_EQ(RoundHalfUp(2147483647.5L), Int32Max);
    EXPECT_EQ(RoundHalfUp(-3.0e9L), Int32Min);
    EXPECT_EQ(RoundHalfUp(inf), Int32Max);
    EXPECT_EQ(RoundHalfUp(-inf), Int32Min);
    EXPECT_EQ(RoundHalfUp(nan), 0);
    EXPECT_EQ(CeilPositive(2147483646.25L), Int32Max);
    EXPECT_EQ(CeilPositive(1.0e12L), Int32Max);
    EXPECT_EQ(CeilPositive(-1.0e12L), Int32Min);
    EXPECT_EQ(CeilPositive(inf), Int32Max);
    EXPECT_EQ(CeilPositive(nan), 0);
}

TEST_F(BlendTablesTest, MulTableIsTheTruncatedProductOverFull) {
    EXPECT_EQ(MulTable[255][255], 255);
    EXPECT_EQ(MulTable[128][64], 32);
    EXPECT_EQ(MulTable[254][254], 253);
    EXPECT_EQ(MulTable[1][254], 0);
    for (std::int32_t a = 0; a <= 255; ++a) {
        EXPECT_EQ(MulTable[0][a], 0);
        EXPECT_EQ(MulTable[255][a], a);
        for (std::int32_t c = 0; c <= 255; ++c) {
            // The floating-point quotient truncates to the integer one for every entry.
            ASSERT_EQ(MulTable[a][c], a * c / 255) << a << " " << c;
            ASSERT_EQ(MulTable[a][c], MulTable[c][a]);
        }
    }
}

TEST_F(BlendTablesTest, LightTableSamples) {
    const struct {
        std::int32_t V, K, Expected;
    } cases[] = {
        {0, 0, 255},
        {100, 100, 194},
        {200, 300, 166},
        {255, 512, 0},
        {0, 255, 1},
        {0, 257, 0},
        {255, 257, 254},
        {128, 128, 192},
        {128, 384, 64},
        {0, 100, 155},
        {255, 300, 211},
        {128, 300, 106},
        {10, 300, 8},
        {3, 300, 2},
        {1, 300, 1},
        {0, 300, 0},
        // Exact halves round up; halves to even would give 254 and 0.
        {127, 1, 255},
        {1, 384, 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LightTable[c.V][c.K], c.Expected) << "[" << c.V << "][" << c.K << "]";
    }
}

TEST_F(BlendTablesTest, LightTableRunsFromWhiteThroughTheColourToBlack) {
    for (std::int32_t v = 0; v <= 255; ++v) {
        EXPECT_EQ(LightTable[v][0], 255);
        EXPECT_EQ(LightTable[v][256], v);
        EXPECT_EQ(LightTable[v][512], 0);
        for (std::int32_t k = 1; k <= 512; ++k) {
            ASSERT_LE(LightTable[v][k], LightTable[v][k - 1]) << "[" << v << "][" << k << "]";
            if (v > 0) {
                ASSERT_GE(LightTable[v][k], LightTable[v - 1][k]) << "[" << v << "][" << k << "]";
            }
        }
    }
}

TEST_F(BlendTablesTest, LightTableRoundsEveryExactHalfUp) {
    // In 256ths every argument is a whole number, so the reference is plain integer arithmetic.
    std::int32_t halves = 0;
    for (std::int32_t v = 0; v <= 255; ++v) {
        for (std::int32_t k = 0; k <= 512; ++k) {
            if (k == 256) {
                continue;
            }
            const std::int32_t in256ths = k < 256 ? 255 * 256 - (255 - v) * k : v * (512 - k);
            halves += in256ths % 256 == 128 ? 1 : 0;
            ASSERT_EQ(LightTable[v][k], (in256ths + 128) / 256) << "[" << v << "][" << k << "]";
        }
    }
    EXPECT_EQ(halves, 2048);
}

TEST_F(BlendTablesTest, BlendingByComplementaryWeightsNeverWraps) {
    for (std::int32_t w = 0; w <= 255; ++w) {
        for (std::int32_t p = 0; p <= 255; ++p) {
            for (std::int32_t q = 0; q <= 255; ++q) {
                const std::int32_t sum = MulTable[255 - w][p] + MulTable[w][q];
                if (sum > std::max(p, q)) {
                    FAIL() << "w " << w << " p " << p << " q " << q << " gives " << sum;
                }
            }
            // A byte blended with itself loses one unless the weighted product is whole.
            const std::int32_t self = MulTable[255 - w][p] + MulTable[w][p];
            ASSERT_EQ(self, (w * p) % 255 == 0 ? p : p - 1) << "w " << w << " x " << p;
        }
    }
    EXPECT_EQ(MulTable[155][200], 121);
    EXPECT_EQ(MulTable[100][200], 78);
}
