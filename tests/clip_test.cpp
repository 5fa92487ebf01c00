#include <gtest/gtest.h>

#include <limits>

#include "platform/platform.h"

using platform::ClipCopy;
using platform::CopyRect;

namespace {
constexpr std::int32_t Big = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t Small = std::numeric_limits<std::int32_t>::min();

void ExpectRect(const CopyRect& r, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h,
                std::int32_t sx, std::int32_t sy) {
    EXPECT_EQ(r.X, x);
    EXPECT_EQ(r.Y, y);
    EXPECT_EQ(r.Width, w);
    EXPECT_EQ(r.Height, h);
    EXPECT_EQ(r.SourceX, sx);
    EXPECT_EQ(r.SourceY, sy);
}
} // namespace

TEST(ClipCopy, InsideStaysWholeAndOverhangIsCutOnEverySide) {
    CopyRect r{};
    ASSERT_TRUE(ClipCopy(5, 6, 10, 10, 5, 6, 100, 100, 50, 40, r));
    ExpectRect(r, 5, 6, 10, 10, 5, 6);
    // Left and top overhang by one pixel, as a ball at the very edge gives.
    ASSERT_TRUE(ClipCopy(-1, -1, 61, 61, -1, -1, 100, 100, 50, 40, r));
    ExpectRect(r, 0, 0, 50, 40, 0, 0);
    // A larger source than the window: the margins are cut off.
    ASSERT_TRUE(ClipCopy(0, 0, 652, 492, 0, 0, 652, 492, 640, 480, r));
    ExpectRect(r, 0, 0, 640, 480, 0, 0);
    // Source and destination at different places: each side clips the other.
    ASSERT_TRUE(ClipCopy(10, 10, 30, 30, -5, 90, 100, 100, 50, 40, r));
    ExpectRect(r, 15, 10, 25, 10, 0, 90);
}

TEST(ClipCopy, EdgeContactAndEmptyRectanglesCopyNothing) {
    CopyRect r{};
    EXPECT_FALSE(ClipCopy(50, 0, 10, 10, 50, 0, 100, 100, 50, 40, r));   // starts on the right edge
    EXPECT_FALSE(ClipCopy(-10, 0, 10, 10, -10, 0, 100, 100, 50, 40, r)); // ends on the left edge
    EXPECT_FALSE(ClipCopy(0, 40, 10, 10, 0, 40, 100, 100, 50, 40, r));
    EXPECT_FALSE(ClipCopy(0, 0, 0, 10, 0, 0, 100, 100, 50, 40, r));
    EXPECT_FALSE(ClipCopy(0, 0, 10, -3, 0, 0, 100, 100, 50, 40, r));
    EXPECT_FALSE(ClipCopy(0, 0, 10, 10, 0, 0, 0, 100, 50, 40, r));
    ASSERT_TRUE(ClipCopy(49, 39, 10, 10, 49, 39, 100, 100, 50, 40, r));
    ExpectRect(r, 49, 39, 1, 1, 49, 39);
}

TEST(ClipCopy, ExtremeCoordinatesNeitherOverflowNorEscape) {
    CopyRect r{};
    EXPECT_FALSE(ClipCopy(Big, Big, Big, Big, Big, Big, 100, 100, 50, 40, r));
    // From the far left the rectangle ends at -1 and reaches nothing.
    EXPECT_FALSE(ClipCopy(Small, Small, Big, Big, Small, Small, 100, 100, 50, 40, r));
    ASSERT_TRUE(ClipCopy(-10, -10, Big, Big, -10, -10, 100, 100, 50, 40, r));
    ExpectRect(r, 0, 0, 50, 40, 0, 0);
    EXPECT_FALSE(ClipCopy(0, 0, 10, 10, Big, 0, 100, 100, 50, 40, r));
    EXPECT_FALSE(ClipCopy(0, 0, 10, 10, Small, 0, 100, 100, 50, 40, r));
}
