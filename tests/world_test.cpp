#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "CompositionSetup.h"
#include "rendering/Surfaces.h"
#include "simulation/World.h"

using namespace testing_support;

TEST(World, ScaleAndBoundsAtTheUsualScreens) {
    struct Case {
        std::int32_t W, H;
        Extended Scale, MaxY;
    };
    for (const Case& c :
         {Case{640, 480, 1.0L, 468.0L}, Case{1024, 768, 1.6L, 468.0L}, Case{1280, 1024, 2.0L, 500.0L},
          Case{1920, 1080, 3.0L, 348.0L}, Case{3840, 1080, 6.0L, 168.0L}}) {
        World(c.W, c.H);
        SCOPED_TRACE(std::to_string(c.W) + "x" + std::to_string(c.H));
        EXPECT_EQ(Scale, c.Scale);
        EXPECT_EQ(WorldMaxY, c.MaxY);
        EXPECT_EQ(WorldMinX, 12.0L);
        EXPECT_EQ(WorldMinY, 12.0L);
        EXPECT_EQ(WorldMaxX, 628.0L);
        EXPECT_EQ(BallDiameter, 24.0L);
        EXPECT_EQ(BallRadius, 12.0L);
    }
    World(1366, 768);
    EXPECT_EQ(Scale, 2.134375L);
    EXPECT_NEAR(static_cast<double>(WorldMaxY), 347.82, 0.005);
    // Extended precision all the way: 768 / 2.134375 - 12 in double would differ in the last bits.
    EXPECT_EQ(WorldMaxY, 768.0L / 2.134375L - 12.0L);
}

class InitBallsTest : public ::testing::Test {
protected:
    void SetUp() override {
        headless::Reset(640, 480);
        World(640, 480);
        ShadowOffset = 6;
        CreateSurfaces();
        ASSERT_NE(BackBuffer, nullptr);
    }
    void TearDown() override { ReleaseSurfaces(); }
};

TEST_F(InitBallsTest, ResetsTheBackBufferAndPlacesBothBallsWithSmallVelocities) {
    for (std::uint8_t* row : BackBufferRows) {
        std::fill(row, row + 3 * 652, std::uint8_t{0xAB});
    }
    Balls[1].ScreenX = 7;
    Balls[2].PrevScreenY = 9;
    InitBalls();
    for (std::size_t y = 0; y < BackBufferRows.size(); ++y) {
        ASSERT_EQ(0, std::memcmp(BackBufferRows[y], BackgroundRows[y], 3 * 652)) << "row " << y;
    }
    EXPECT_EQ(Balls[1].X, 100.0L);
    EXPECT_EQ(Balls[1].Y, 200.0L);
    EXPECT_EQ(Balls[2].X, 200.0L);
    EXPECT_EQ(Balls[2].Y, 200.0L);
    for (int i = 1; i <= 2; ++i) {
        for (Extended v : {Balls[i].VX, Balls[i].VY}) {
            EXPECT_GT(v, -0.025L);
            EXPECT_LE(v, 0.025L);
        }
    }
    // Screen positions belong to the composition; InitBalls leaves them alone.
    EXPECT_EQ(Balls[1].ScreenX, 7);
    EXPECT_EQ(Balls[2].PrevScreenY, 9);
    EXPECT_EQ(Balls[1].Red, 255);
    EXPECT_EQ(Balls[2].Blue, 0);
}

TEST(World, UniformDrawsStayBelowOneAndSpreadOverTheInterval) {
    Extended lowest = 1, highest = 0;
    for (int i = 0; i < 100000; ++i) {
        const Extended r = NextUniform();
        ASSERT_GE(r, 0.0L);
        ASSERT_LT(r, 1.0L);
        lowest = std::min(lowest, r);
        highest = std::max(highest, r);
    }
    EXPECT_LT(lowest, 0.001L);
    EXPECT_GT(highest, 0.999L);
}
