#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>

#include "CompositionSetup.h"
#include "rendering/Composition.h"

using namespace testing_support;

namespace {

using Bgr = std::array<std::uint8_t, 3>;

constexpr Bgr BackgroundBgr{57, 151, 2};
// Hand-worked through the shadow column 300 (x 212/256, halves up): 57 -> 47, 151 -> 125, 2 -> 2.
constexpr Bgr ShadowBgr{47, 125, 2};

Bgr BackPixel(std::int32_t x, std::int32_t y) {
    const std::uint8_t* p = BackBufferRows[static_cast<std::size_t>(y)] + 3 * static_cast<std::size_t>(x);
    return {p[0], p[1], p[2]};
}

// The logical coordinate whose square corner lands on pixel `corner` (half a pixel in, so that the product's
// last bit cannot tip the truncation).
Extended LogicalFor(std::int32_t corner) {
    return (static_cast<Extended>(corner + HalfSprite) + 0.5L) / Scale;
}

void PlaceAt(int i, std::int32_t screenX, std::int32_t screenY) {
    Balls[i].X = LogicalFor(screenX);
    Balls[i].Y = LogicalFor(screenY);
}

SpritePixel Full(std::int32_t col, std::int32_t row, std::uint16_t shade = 0) {
    return SpritePixel{col, row, shade, 0, 0};
}
SpritePixel Edge(std::int32_t col, std::int32_t row, std::uint8_t alpha, std::uint16_t shade = 0) {
    return SpritePixel{col, row, shade, alpha, static_cast<std::uint8_t>(255 - alpha)};
}

class CompositionTest : public ::testing::Test {
protected:
    void SetUp() override { FillBlendTablesByHand(); }
    void TearDown() override { CloseScreen(); }

    // 1280 x 1024 with the sprite geometry of that screen and the given pixel lists; ball 2 parked far from
    // ball 1 unless a test moves it.
    void Open1280(std::vector<SpritePixel> bodyFull, std::vector<SpritePixel> bodyEdge,
                  std::vector<SpritePixel> shadowFull, std::vector<SpritePixel> shadowEdge) {
        OpenScreen(1280, 1024);
        UseGeometry(49, 12);
        BodyFullPixels = std::move(bodyFull);
        BodyEdgePixels = std::move(bodyEdge);
        ShadowFullPixels = std::move(shadowFull);
        ShadowEdgePixels = std::move(shadowEdge);
        StartPicture();
        PlaceAt(1, 100, 100);
        PlaceAt(2, 900, 700);
    }
};

TEST_F(CompositionTest, SquareCornersAreTruncatedProductsLessHalfTheSprite) {
    Open1280({}, {}, {}, {});
    EXPECT_EQ(RestoreRowBytes, 183);
    Balls[1].X = 100.0L;
    Balls[1].Y = 200.0L;
    // 200.99 and 400.9998 on the screen: truncated, never rounded.
    Balls[2].X = 100.495L;
    Balls[2].Y = 200.4999L;
    ComposeFrame();
    EXPECT_EQ(Balls[1].ScreenX, 176);
    EXPECT_EQ(Balls[1].ScreenY, 376);
    EXPECT_EQ(Balls[2].ScreenX, 176);
    EXPECT_EQ(Balls[2].ScreenY, 376);
    for (int i = 1; i <= 2; ++i) {
        EXPECT_EQ(Balls[i].PrevScreenX, Balls[i].ScreenX);
        EXPECT_EQ(Balls[i].PrevScreenY, Balls[i].ScreenY);
    }
}

TEST_F(CompositionTest, EachBallPresentsTheBoxAroundItsOldAndNewSquare) {
    Open1280({Full(5, 5, 256)}, {}, {Full(20, 20)}, {});
    ComposeFrame(); // settles both balls; the first frame's boxes reach back to (0, 0)

    auto framesCopies = [] {
        const std::size_t before = headless::WindowCopies().size();
        ComposeFrame();
        const std::vector<platform::CopyRect> all = headless::WindowCopies();
        return std::vector<platform::CopyRect>(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
    };
    auto expectRect = [](const platform::CopyRect& r, std::int32_t x, std::int32_t y, std::int32_t w,
                         std::int32_t h) {
        EXPECT_EQ(r.X, x);
        EXPECT_EQ(r.Y, y);
        EXPECT_EQ(r.Width, w);
        EXPECT_EQ(r.Height, h);
        EXPECT_EQ(r.SourceX, x);
        EXPECT_EQ(r.SourceY, y);
    };

    // Unchanged: exactly the 61 x 61 square, ball 1 first.
    std::vector<platform::CopyRect> copies = framesCopies();
    ASSERT_EQ(copies.size(), 2u);
    expectRect(copies[0], 100, 100, 61, 61);
    expectRect(copies[1], 900, 700, 61, 61);

    // 3 right and 2 up: left from the old corner, top from the new one.
    PlaceAt(1, 103, 98);
    copies = framesCopies();
    ASSERT_EQ(copies.size(), 2u);
    expectRect(copies[0], 100, 98, 64, 63);

    // And back, 3 left and 2 down: left from the new corner, top from the old one.
    PlaceAt(1, 100, 100);
    copies = framesCopies();
    ASSERT_EQ(copies.size(), 2u);
    expectRect(copies[0], 100, 98, 64, 63);
}

TEST_F(CompositionTest, ErasesBothOldSquaresExactlyAndNothingAroundThem) {
    Open1280({Full(5, 5, 256)}, {}, {}, {});
    ComposeFrame();
    // Dirty the back buffer around both squares, one pixel wider on every side.
    for (int i = 1; i <= 2; ++i) {
        for (std::int32_t y = Balls[i].ScreenY - 1; y <= Balls[i].ScreenY + 61; ++y) {
            std::memset(BackBufferRows[static_cast<std::size_t>(y)] + 3 * (Balls[i].ScreenX - 1), 0xEE,
                        3 * 63);
        }
    }
    const std::int32_t oldX[3] = {0, Balls[1].ScreenX, Balls[2].ScreenX};
    const std::int32_t oldY[3] = {0, Balls[1].ScreenY, Balls[2].ScreenY};
    PlaceAt(1, 400, 400);
    PlaceAt(2, 600, 400);
    ComposeFrame();
    for (int i = 1; i <= 2; ++i) {
        for (std::int32_t y = oldY[i] - 1; y <= oldY[i] + 61; ++y) {
            for (std::int32_t x = oldX[i] - 1; x <= oldX[i] + 61; ++x) {
                const bool inside = x >= oldX[i] && x < oldX[i] + 61 && y >= oldY[i] && y < oldY[i] + 61;
                ASSERT_EQ(BackPixel(x, y), (inside ? BackgroundBgr : Bgr{0xEE, 0xEE, 0xEE})) << x << "," << y;
            }
        }
    }
}

TEST_F(CompositionTest, ShadowAndBallPixelsBlendAsWorkedOutByHand) {
    Open1280({Full(5, 5, 256), Full(5, 6, 300)}, {Edge(6, 5, 128, 256)}, {Full(20, 20)}, {Edge(21, 20, 128)});
    Balls[1].Blue = 200; // the ball is red 255, green 0, blue 200
    ComposeFrame();
    const std::int32_t x = 100, y = 100;
    EXPECT_EQ(BackPixel(x + 20, y + 20), ShadowBgr);
    // Rim of the shadow, Alpha 128: 127/255 of the background plus 128/255 of its shadowed value.
    // Blue 28 + 23, green 75 + 62, red 0 + 1.
    EXPECT_EQ(BackPixel(x + 21, y + 20), (Bgr{51, 137, 1}));
    // Shade 256 is the colour itself; shade 300 darkens 200 to 166 and 255 to 211.
    EXPECT_EQ(BackPixel(x + 5, y + 5), (Bgr{200, 0, 255}));
    EXPECT_EQ(BackPixel(x + 5, y + 6), (Bgr{166, 0, 211}));
    // Rim over the background: blue 127/255 of 57 plus 128/255 of 200 = 28 + 100 = 128; green 75 + 0;
    // red 0 + 128.
    EXPECT_EQ(BackPixel(x + 6, y + 5), (Bgr{128, 75, 128}));
    // What lies in the square but in no list stays background.
    EXPECT_EQ(BackPixel(x, y), BackgroundBgr);
    EXPECT_EQ(BackPixel(x + 60, y + 60), BackgroundBgr);
}

TEST_F(CompositionTest, OverlappingShadowsDarkenOnceAndNoShadowCoversABody) {
    Open1280({Full(2, 2, 256)}, {}, {Full(10, 10), Full(11, 10)}, {Edge(12, 10, 128)});
    // Both shadows on the same pixels: no darker than one.
    PlaceAt(1, 300, 300);
    PlaceAt(2, 300, 300);
    ComposeFrame();
    EXPECT_EQ(BackPixel(310, 310), ShadowBgr);
    EXPECT_EQ(BackPixel(311, 310), ShadowBgr);
    EXPECT_EQ(BackPixel(312, 310), (Bgr{51, 137, 1})); // the rim blends with the background, not a shadow

    // Ball 2's shadow falls on ball 1's body, then ball 1's shadow on ball 2's body: the body shows.
    for (const auto& [first, second] : {std::pair{1, 2}, std::pair{2, 1}}) {
        PlaceAt(first, 500, 500);
        PlaceAt(second, 492, 492);
        ComposeFrame();
        EXPECT_EQ(BackPixel(502, 502), (Bgr{0, 0, 255})) << "ball " << first;
        EXPECT_EQ(BackPixel(510, 510), ShadowBgr) << "ball " << first; // its own shadow still drawn
    }
}

TEST_F(CompositionTest, BallTwoCoversBallOneAndItsRimBlendsOntoIt) {
    Open1280({Full(2, 2, 256)}, {Edge(3, 2, 128, 256)}, {}, {});
    Balls[2].Red = 0;
    Balls[2].Blue = 200;
    // Ball 2 one pixel left of ball 1: its rim (3, 2) lies on ball 1's body (2, 2).
    PlaceAt(1, 300, 300);
    PlaceAt(2, 299, 300);
    ComposeFrame();
    // Blue 127/255 of 0 + 128/255 of 200; red 127/255 of 255 + 128/255 of 0.
    EXPECT_EQ(BackPixel(302, 302), (Bgr{100, 0, 127}));
    EXPECT_EQ(BackPixel(301, 302), (Bgr{200, 0, 0}));   // ball 2's body
    EXPECT_EQ(BackPixel(303, 302), (Bgr{28, 75, 128})); // ball 1's rim over the background

    // On top of each other ball 2 wins wherever it has full pixels.
    PlaceAt(2, 300, 300);
    ComposeFrame();
    EXPECT_EQ(BackPixel(302, 302), (Bgr{200, 0, 0}));
}

TEST_F(CompositionTest, TheWindowShowsTheBackBufferAfterEveryFrame) {
    OpenScreen(640, 480);
    UseGeometry(25, 6);
    UseDiscSprite();
    StartPicture();
    // Moves of every size and direction, many near and past the edges, the two balls often overlapping.
    std::uint32_t seed = 12345;
    auto next = [&seed](std::int32_t range) {
        seed = seed * 1103515245u + 12345u;
        return static_cast<std::int32_t>((seed >> 8) % static_cast<std::uint32_t>(range));
    };
    std::int32_t x[3] = {0, 100, 110}, y[3] = {0, 100, 105};
    for (int frame = 0; frame < 150; ++frame) {
        for (int i = 1; i <= 2; ++i) {
            if (next(10) == 0) {
                x[i] = next(680) - 20;
                y[i] = next(520) - 20;
            } else {
                x[i] += next(13) - 6;
                y[i] += next(13) - 6;
            }
            PlaceAt(i, x[i], y[i]);
        }
        const std::size_t before = headless::WindowCopies().size();
        ComposeFrame();
        const std::vector<platform::CopyRect> copies = headless::WindowCopies();
        const std::vector<std::uint8_t> window = headless::WindowPicture();
        // Inside every rectangle presented by this frame, then everywhere: a pixel changed but not presented
        // would show here.
        for (std::size_t c = before; c < copies.size(); ++c) {
            const platform::CopyRect& r = copies[c];
            for (std::int32_t row = r.Y; row < r.Y + r.Height; ++row) {
                ASSERT_EQ(0, std::memcmp(window.data() + (static_cast<std::size_t>(row) * 640 + r.X) * 3,
                                         BackBufferRows[static_cast<std::size_t>(row)] + 3 * r.X,
                                         3 * static_cast<std::size_t>(r.Width)))
                    << "frame " << frame << " row " << row;
            }
        }
        ASSERT_TRUE(WindowEqualsBackBuffer()) << "frame " << frame;
    }
}

TEST_F(CompositionTest, ASquarePastAnEdgeShowsWhatAWiderSurfaceWouldShow) {
    OpenScreen(1152, 864);
    UseGeometry(45, 11); // the 1152 screen: HalfSprite 22 against a truncated radius of 21
    UseDiscSprite();
    StartPicture();
    const std::int32_t side = SpriteSize + ShadowOffset;
    const std::int32_t columns = platform::SurfaceWidth(BackBuffer);
    const std::int32_t rows = static_cast<std::int32_t>(BackBufferRows.size());
    PlaceAt(2, 500, 400);

    // The reference: the square drawn well inside.
    PlaceAt(1, 100, 100);
    ComposeFrame();
    std::vector<Bgr> reference;
    for (std::int32_t j = 0; j < side; ++j) {
        for (std::int32_t i = 0; i < side; ++i) {
            reference.push_back(BackPixel(100 + i, 100 + j));
        }
    }
    // At the left wall the world's smallest X gives the corner -1.
    Balls[1].X = WorldMinX;
    Balls[1].Y = WorldMinY;
    ComposeFrame();
    EXPECT_EQ(Balls[1].ScreenX, -1);
    EXPECT_EQ(Balls[1].ScreenY, -1);
    const std::pair<std::int32_t, std::int32_t> corners[] = {
        {-1, -1}, {-7, 30}, {30, -7}, {columns - side + 5, rows - side + 5}, {columns - 3, 40}};
    for (const auto& [cx, cy] : corners) {
        PlaceAt(1, cx, cy);
        ComposeFrame();
        ASSERT_EQ(Balls[1].ScreenX, cx);
        for (std::int32_t j = 0; j < side; ++j) {
            for (std::int32_t i = 0; i < side; ++i) {
                const std::int32_t px = cx + i, py = cy + j;
                if (px < 0 || py < 0 || px >= columns || py >= rows) {
                    continue;
                }
                ASSERT_EQ(BackPixel(px, py), reference[static_cast<std::size_t>(j * side + i)])
                    << "corner " << cx << "," << cy << " pixel " << i << "," << j;
            }
        }
        ASSERT_TRUE(WindowEqualsBackBuffer()) << "corner " << cx << "," << cy;
    }
    // Gone again: every square erased, the whole surface is background once both balls leave.
    PlaceAt(1, 500, 400);
    ComposeFrame();
    PlaceAt(1, 200, 200);
    PlaceAt(2, 200, 200);
    ComposeFrame();
    for (std::int32_t y = 0; y < rows; ++y) {
        for (std::int32_t x = 0; x < columns; ++x) {
            if (x >= 200 && x < 200 + side && y >= 200 && y < 200 + side) {
                continue;
            }
            ASSERT_EQ(BackPixel(x, y), BackgroundBgr) << x << "," << y;
        }
    }
}

TEST_F(CompositionTest, PositionsFarOutsideOrNotANumberDrawNothing) {
    Open1280({Full(2, 2, 256)}, {}, {Full(10, 10)}, {});
    const Extended huge = std::numeric_limits<Extended>::max();
    const Extended far[] = {1e30L,
                            -1e30L,
                            huge,
                            -huge,
                            std::numeric_limits<Extended>::infinity(),
                            std::numeric_limits<Extended>::quiet_NaN(),
                            1e6L,
                            -1e6L};
    for (Extended a : far) {
        for (Extended b : far) {
            Balls[1].X = a;
            Balls[1].Y = b;
            Balls[2].X = b;
            Balls[2].Y = 300.0L;
            ComposeFrame();
        }
    }
    PlaceAt(1, 300, 300);
    PlaceAt(2, 300, 300);
    ComposeFrame();
    ComposeFrame();
    EXPECT_TRUE(WindowEqualsBackBuffer());
    for (std::size_t y = 0; y < BackBufferRows.size(); y += 7) {
        for (std::int32_t x = 0; x < 1304; x += 7) {
            if (x >= 300 && x < 361 && y >= 300 && y < 361) {
                continue;
            }
            ASSERT_EQ(BackPixel(x, static_cast<std::int32_t>(y)), BackgroundBgr) << x << "," << y;
        }
    }
}

// Run under AddressSanitizer, this proves the composition keeps to the surfaces and the row tables at every
// kind of screen the program accepts: sprite lists reaching every corner of the square, balls on every bound
// and at the start-up position, screens from the narrowest to the widest and from the flattest up.
TEST_F(CompositionTest, StaysInsideTheSurfacesAtEveryScreenSize) {
    std::vector<std::pair<std::int32_t, std::int32_t>> screens;
    for (std::int32_t w = 27; w <= 120; ++w) {
        screens.emplace_back(w, (24 * w + 639) / 640);
        screens.emplace_back(w, w * 3 / 4);
    }
    for (std::int32_t w :
         {160, 320, 480, 640, 800, 1000, 1024, 1152, 1280, 1366, 1440, 1536, 1600, 1920, 2560, 3840}) {
        screens.emplace_back(w, (24 * w + 639) / 640);
        screens.emplace_back(w, w * 206 / 640);
        screens.emplace_back(w, w * 9 / 16);
        screens.emplace_back(w, w * 3 / 4);
        screens.emplace_back(w, w * 2);
    }
    screens.emplace_back(3840, 1080);
    screens.emplace_back(7680, 4320);
    screens.emplace_back(32768, 1229);
    screens.emplace_back(1229, 32768);

    for (const auto& [w, h] : screens) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        OpenScreen(w, h);
        UseGeometryOfScreen();
        UseOutlineSprite();
        StartPicture();
        const Extended midX = (WorldMinX + WorldMaxX) / 2, midY = (WorldMinY + WorldMaxY) / 2;
        const Extended xs[] = {WorldMinX, WorldMinX + 1e-9L, midX, WorldMaxX - 1e-9L, WorldMaxX, 0.0L,
                               640.0L};
        const Extended ys[] = {WorldMinY, WorldMinY + 1e-9L,     midY, WorldMaxY - 1e-9L, WorldMaxY, 200.0L,
                               0.0L,      WorldMaxY + BallRadius};
        for (Extended x : xs) {
            for (Extended y : ys) {
                Balls[1].X = x;
                Balls[1].Y = y;
                Balls[2].X = WorldMinX + WorldMaxX - x;
                Balls[2].Y = y;
                ComposeFrame();
            }
        }
        if (static_cast<std::int64_t>(w) * h <= 2000000) {
            EXPECT_TRUE(WindowEqualsBackBuffer());
        }
        CloseScreen();
    }
}

} // namespace
