// The conversion of surface rectangles into the window's pixel layouts: the plain table conversion writes
// the pixels assembled by hand from each layout's masks, and whatever faster way Convert takes for a layout
// on this processor, its bytes are those of the plain one, for every rectangle width around the vector
// width, any source column, and rows whose stride leaves bytes that must stay untouched.

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "platform/x11_internal.h"

namespace {

struct Layout {
    const char* Name;
    int BitsPerPixel, ByteOrder;
    unsigned long Red, Green, Blue;
};

constexpr Layout Layouts[] = {
    {"blue green red in the low bytes", 32, LSBFirst, 0xFF0000, 0xFF00, 0xFF},
    {"red green blue in the low bytes", 32, LSBFirst, 0xFF, 0xFF00, 0xFF0000},
    {"the usual masks, most significant byte first", 32, MSBFirst, 0xFF0000, 0xFF00, 0xFF},
    {"channels in the high bytes", 32, LSBFirst, 0xFF000000, 0xFF0000, 0xFF00},
    {"ten bits a channel", 32, LSBFirst, 0x3FF00000, 0xFFC00, 0x3FF},
    {"5-6-5", 16, LSBFirst, 0xF800, 0x7E0, 0x1F},
    {"5-6-5, most significant byte first", 16, MSBFirst, 0xF800, 0x7E0, 0x1F},
    {"5-5-5", 16, LSBFirst, 0x7C00, 0x3E0, 0x1F},
    {"three bytes a pixel", 24, LSBFirst, 0xFF0000, 0xFF00, 0xFF},
};

using SurfacePointer = std::unique_ptr<platform::Surface, decltype(&platform::ReleaseSurface)>;

SurfacePointer RandomSurface(std::int32_t width, std::int32_t height) {
    SurfacePointer surface(platform::CreateSurface(width, height), platform::ReleaseSurface);
    std::mt19937 random(7);
    for (std::int32_t y = 0; y < height; ++y) {
        std::uint8_t* row = platform::SurfaceRow(surface.get(), y);
        for (std::int32_t i = 0; i < 3 * width; ++i) {
            row[i] = static_cast<std::uint8_t>(random());
        }
    }
    // The first row takes every value in every channel, so each channel's rounding is checked whole.
    std::uint8_t* first = platform::SurfaceRow(surface.get(), 0);
    for (std::int32_t x = 0; x < 256 && x < width; ++x) {
        first[3 * x] = static_cast<std::uint8_t>(x);
        first[3 * x + 1] = static_cast<std::uint8_t>(255 - x);
        first[3 * x + 2] = static_cast<std::uint8_t>(x * 7);
    }
    return surface;
}

// Catches a plain conversion that places a channel at the wrong bits, rounds it wrongly, writes the bytes of
// a pixel in the wrong order or reads the wrong source row: one pixel (blue, green, red) filling row 1 of
// four in each layout, its bytes written out by hand. Every vector level must write them too.
struct HandMade {
    int Layout;            // in Layouts
    std::uint8_t Pixel[3]; // blue, green, red
    std::uint8_t Bytes[4]; // as many as the layout has
};
constexpr HandMade HandMadePixels[] = {
    {0, {0x11, 0x22, 0x33}, {0x11, 0x22, 0x33, 0x00}},
    {1, {0x11, 0x22, 0x33}, {0x33, 0x22, 0x11, 0x00}},
    {2, {0x11, 0x22, 0x33}, {0x00, 0x33, 0x22, 0x11}},
    {3, {0x11, 0x22, 0x33}, {0x00, 0x11, 0x22, 0x33}},
    {4, {0xFF, 0x00, 0xFF}, {0xFF, 0x03, 0xF0, 0x3F}}, // 0x3FF003FF
    {5, {0xFF, 0x80, 0x00}, {0x1F, 0x04}},             // green 128 of 255 is 32 of 63: 0x041F
    {6, {0x00, 0xFF, 0x08}, {0x0F, 0xE0}},             // red 8 of 255 is 0.97 of 31, rounded to 1: 0x0FE0
    {7, {0x00, 0x00, 0xFF}, {0x00, 0x7C}},
    {8, {0x11, 0x22, 0x33}, {0x11, 0x22, 0x33}},
};

TEST(X11Convert, ThePlainConversionWritesPixelsAssembledByHand) {
    constexpr std::int32_t width = 40; // wide enough for every vector way
    x11::SetPixelFormat(0xFF0000, 0xFF00, 0xFF);
    const auto best = static_cast<int>(x11::ConvertInstructions);
    for (const HandMade& pixel : HandMadePixels) {
        const Layout& layout = Layouts[pixel.Layout];
        // The pixel fills row 1; the others hold other values.
        SurfacePointer surface = RandomSurface(width, 4);
        std::vector<std::uint8_t> expected;
        for (std::int32_t x = 0; x < width; ++x) {
            std::memcpy(platform::SurfaceRow(surface.get(), 1) + 3 * x, pixel.Pixel, 3);
            expected.insert(expected.end(), pixel.Bytes, pixel.Bytes + layout.BitsPerPixel / 8);
        }
        for (int level = 0; level <= best; ++level) {
            x11::SetPixelFormat(layout.Red, layout.Green, layout.Blue);
            x11::ConvertInstructions = static_cast<x11::VectorInstructions>(level);
            std::vector<std::uint8_t> out(expected.size());
            ASSERT_TRUE(x11::Convert(*surface, {0, 0, width, 1, 0, 1}, out.data(), out.size(),
                                     layout.BitsPerPixel, layout.ByteOrder));
            EXPECT_EQ(out, expected) << layout.Name << ", vector level " << level;
        }
    }
}

TEST(X11Convert, EveryLayoutAndWidthMatchesThePlainConversion) {
    const SurfacePointer owned = RandomSurface(300, 4);
    const platform::Surface& surface = *owned;
    std::vector<std::int32_t> widths;
    for (std::int32_t w = 0; w <= 67; ++w) {
        widths.push_back(w);
    }
    widths.insert(widths.end(), {79, 80, 256, 257, 299});
    x11::SetPixelFormat(0xFF0000, 0xFF00, 0xFF);
    const auto best = static_cast<int>(x11::ConvertInstructions);
    for (int level = best; level >= 0; --level) {
        for (const Layout& layout : Layouts) {
            x11::SetPixelFormat(layout.Red, layout.Green, layout.Blue);
            // Every way this processor can take, down to the plain one.
            x11::ConvertInstructions = static_cast<x11::VectorInstructions>(level);
            const std::size_t bytes = static_cast<std::size_t>(layout.BitsPerPixel / 8);
            for (const std::int32_t width : widths) {
                for (const std::int32_t sourceX : {0, 1, 2, 300 - width}) {
                    if (sourceX < 0 || sourceX + width > 300) {
                        continue;
                    }
                    // Rows 0..2, the first taking every value; 7 spare bytes at each row's end must keep
                    // their value.
                    const platform::CopyRect r{0, 0, width, 3, sourceX, 0};
                    const std::size_t stride = bytes * static_cast<std::size_t>(width) + 7;
                    std::vector<std::uint8_t> fast(stride * 3, 0xCD), plain(stride * 3, 0xCD);
                    ASSERT_TRUE(
                        x11::Convert(surface, r, fast.data(), stride, layout.BitsPerPixel, layout.ByteOrder));
                    ASSERT_TRUE(x11::ConvertReference(surface, r, plain.data(), stride, layout.BitsPerPixel,
                                                      layout.ByteOrder));
                    ASSERT_EQ(fast, plain) << layout.Name << ", " << width << " pixels wide from column "
                                           << sourceX << ", vector level " << level;
                }
            }
        }
    }
}

TEST(X11Convert, PlainConversionRoundsEachChannelToItsNearestValue) {
    x11::SetPixelFormat(0xF800, 0x7E0, 0x1F);
    EXPECT_EQ(x11::Format.Red[255], 0xF800u);
    EXPECT_EQ(x11::Format.Green[128], 32u << 5); // 128 * 63 / 255 = 31.6
    EXPECT_EQ(x11::Format.Blue[4], 0u);          // 4 * 31 / 255 = 0.49
    EXPECT_EQ(x11::Format.Blue[5], 1u);          // 0.61
    EXPECT_EQ(x11::WindowPixel(0xFFFFFF), 0xFFFFu);
}

TEST(X11Convert, LayoutsOfPartBytesAreRefused) {
    x11::SetPixelFormat(0xFF0000, 0xFF00, 0xFF);
    const SurfacePointer surface = RandomSurface(32, 1);
    std::vector<std::uint8_t> out(256);
    EXPECT_FALSE(x11::Convert(*surface, {0, 0, 32, 1, 0, 0}, out.data(), 128, 15, LSBFirst));
    EXPECT_FALSE(x11::Convert(*surface, {0, 0, 32, 1, 0, 0}, out.data(), 128, 0, LSBFirst));
}

} // namespace
