#include <gtest/gtest.h>

#include "platform/headless.h"
#include "rendering/Surfaces.h"

namespace {
void MakeSurfaces(std::int32_t width, std::int32_t height, std::int32_t shadowOffset,
                  std::int32_t surfacesLeft = -1) {
    headless::Reset(width, height);
    headless::SetSurfacesLeft(surfacesLeft);
    ScreenWidth = width;
    ScreenHeight = height;
    ShadowOffset = shadowOffset;
    CreateSurfaces();
}
} // namespace

TEST(Surfaces, SizedWithShadowMarginsAndPaintedWholeInTheBackground) {
    struct Case {
        std::int32_t W, H, S, SurfaceW, SurfaceH;
    };
    for (const Case& c :
         {Case{640, 480, 6, 652, 492}, Case{1280, 1024, 12, 1304, 1048}, Case{27, 9, 1, 29, 11}}) {
        SCOPED_TRACE(std::to_string(c.W));
        Balls[1].Green = Balls[2].Blue = 77;
        MakeSurfaces(c.W, c.H, c.S);
        ASSERT_NE(BackgroundSurface, nullptr);
        ASSERT_NE(BackBuffer, nullptr);
        EXPECT_EQ(platform::SurfaceWidth(BackgroundSurface), c.SurfaceW);
        EXPECT_EQ(platform::SurfaceHeight(BackgroundSurface), c.SurfaceH);
        EXPECT_EQ(platform::SurfaceWidth(BackBuffer), c.SurfaceW);
        EXPECT_EQ(platform::SurfaceHeight(BackBuffer), c.SurfaceH);
        ASSERT_EQ(BackgroundRows.size(), static_cast<std::size_t>(c.SurfaceH));
        ASSERT_EQ(BackBufferRows.size(), static_cast<std::size_t>(c.SurfaceH));
        for (std::int32_t y = 0; y < c.SurfaceH; ++y) {
            const std::uint8_t* row = BackgroundRows[static_cast<std::size_t>(y)];
            for (std::int32_t x = 0; x < c.SurfaceW; ++x) {
                ASSERT_EQ(row[3 * x], 57) << x << "," << y;
                ASSERT_EQ(row[3 * x + 1], 151) << x << "," << y;
                ASSERT_EQ(row[3 * x + 2], 2) << x << "," << y;
            }
        }
        for (int i = 1; i <= 2; ++i) {
            EXPECT_EQ(Balls[i].Red, 255);
            EXPECT_EQ(Balls[i].Green, 0);
            EXPECT_EQ(Balls[i].Blue, 0);
        }
        ReleaseSurfaces();
    }
}

TEST(Surfaces, RowTablesAddressTheRowsTheWindowShows) {
    MakeSurfaces(640, 480, 6);
    // Mark the first pixel of the top row and the last pixel of the bottom row, through the row tables only.
    BackBufferRows[0][0] = 1;
    BackBufferRows[0][1] = 2;
    BackBufferRows[0][2] = 3;
    std::uint8_t* last = BackBufferRows[491] + 3 * 651;
    last[0] = 4;
    last[1] = 5;
    last[2] = 6;
    // Distinct surfaces, distinct rows, and every row of a table distinct.
    for (std::size_t y = 1; y < BackBufferRows.size(); ++y) {
        ASSERT_NE(BackBufferRows[y], BackBufferRows[y - 1]);
        ASSERT_NE(BackBufferRows[y], BackgroundRows[y]);
    }

    platform::WindowClass windowClass{};
    windowClass.Size = sizeof windowClass;
    windowClass.ClassName = "Probe";
    platform::RegisterClass(windowClass);
    platform::WindowHandle window =
        platform::CreateWindowEx(0, "Probe", "", WS_POPUP, 0, 0, 652, 492, platform::GetModuleHandle());
    platform::DeviceContext dc = platform::GetDC(window);
    platform::BitBlt(dc, 0, 0, 652, 492, platform::SurfaceDC(BackBuffer), 0, 0, SRCCOPY);
    platform::ReleaseDC(window, dc);

    const std::vector<std::uint8_t> picture = headless::WindowPicture();
    EXPECT_EQ(picture[0], 1);
    EXPECT_EQ(picture[2], 3);
    const std::size_t lastPixel = (491u * 652u + 651u) * 3u;
    EXPECT_EQ(picture[lastPixel], 4);
    EXPECT_EQ(picture[lastPixel + 2], 6);
    ReleaseSurfaces();
}

// The memory holds the background surface but not the back buffer: the one made must not be left behind.
TEST(Surfaces, ASurfaceTheMemoryCannotHoldLeavesNoHalfMadePair) {
    for (const std::int32_t surfacesLeft : {0, 1}) {
        SCOPED_TRACE(surfacesLeft);
        MakeSurfaces(640, 480, 6, surfacesLeft);
        EXPECT_EQ(BackgroundSurface, nullptr);
        EXPECT_EQ(BackBuffer, nullptr);
        EXPECT_TRUE(BackgroundRows.empty());
        EXPECT_TRUE(BackBufferRows.empty());
        EXPECT_EQ(headless::LiveSurfaces(), 0);
    }
}
