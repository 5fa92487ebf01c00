// The conversion of surface rectangles into the window's pixel layouts: whatever way Convert takes for a
// layout on this processor, its bytes are those of the plain table conversion, for every rectangle width
// around the vector width, any source column, and rows whose stride leaves bytes that must stay untouched.

#include <gtest/gtest.h>

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

platform::Surface RandomSurface(std::int32_t width, std::int32_t height) {
    platform::Surface surface;
    surface.Width = width;
    surface.Height = height;
    surface.Stride = (3 * static_cast<std::size_t>(width) + 3) & ~std::size_t{3};
    surface.Pixels = std::make_unique<std::uint8_t[]>(surface.Stride * static_cast<std::size_t>(height));
    std::mt19937 random(7);
    for (std::size_t i = 0; i < surface.Stride * static_cast<std::size_t>(height); ++i) {
        surface.Pixels[i] = static_cast<std::uint8_t>(random());
    }
    // The first row takes every value in every channel, so each channel's rounding is checked whole.
    for (std::int32_t x = 0; x < 256 && x < width; ++x) {
        surface.Pixels[3 * x] = static_cast<std::uint8_t>(x);
        surface.Pixels[3 * x + 1] = static_cast<std::uint8_t>(255 - x);
        surface.Pixels[3 * x + 2] = static_cast<std::uint8_t>(x * 7);
    }
    return surface;
}

TEST(X11Convert, EveryLayoutAndWidthMatchesThePlainConversion) {
    const platform::Surface surface = RandomSurface(300, 4);
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
    EXPECT_EQ(x11::Format.White, 0xFFFFu);
}

TEST(X11Convert, LayoutsOfPartBytesAreRefused) {
    x11::SetPixelFormat(0xFF0000, 0xFF00, 0xFF);
    const platform::Surface surface = RandomSurface(32, 1);
    std::vector<std::uint8_t> out(256);
    EXPECT_FALSE(x11::Convert(surface, {0, 0, 32, 1, 0, 0}, out.data(), 128, 15, LSBFirst));
    EXPECT_FALSE(x11::Convert(surface, {0, 0, 32, 1, 0, 0}, out.data(), 128, 0, LSBFirst));
}

} // namespace
