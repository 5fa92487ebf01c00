// The conversion of the two dirty rectangles of a frame into the window's pixels, with no server involved:
// the way the program takes, the plain table conversion it replaced, and a row-by-row memcpy of the same
// output bytes, the speed the conversion is held to.

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "platform/x11_internal.h"

namespace {

struct Frame {
    platform::Surface Surface;
    platform::CopyRect Boxes[2];
    std::vector<std::uint8_t> Image;
    std::size_t Stride = 0;
};

// A surface of the screen's size holding noise, and the two boxes a frame presents there: each a ball's
// square and shadow (the sprite, the smallest odd size not below 24/640 of the width, and the shadow offset,
// 6/640 of it, for widths that are multiples of 640), 3 pixels wider and 2 taller for the move since the last
// frame. The program's globals are left alone: the presentation benchmarks run interleaved with these.
Frame MakeFrame(std::int32_t width, std::int32_t height) {
    Frame frame;
    frame.Surface.Width = width;
    frame.Surface.Height = height;
    frame.Surface.Stride = (3 * static_cast<std::size_t>(width) + 3) & ~std::size_t{3};
    const std::size_t bytes = frame.Surface.Stride * static_cast<std::size_t>(height);
    frame.Surface.Pixels = std::make_unique<std::uint8_t[]>(bytes);
    std::mt19937 random(1);
    for (std::size_t i = 0; i < bytes; ++i) {
        frame.Surface.Pixels[i] = static_cast<std::uint8_t>(random());
    }
    const std::int32_t side = (24 * width / 640 | 1) + 6 * width / 640;
    frame.Boxes[0] = {width / 4, height / 4, side + 3, side + 2, width / 4, height / 4};
    frame.Boxes[1] = {width * 3 / 4, height / 2, side + 3, side + 2, width * 3 / 4, height / 2};
    frame.Stride = 4 * static_cast<std::size_t>(side + 3);
    frame.Image.resize(frame.Stride * static_cast<std::size_t>(side + 2));
    return frame;
}

template <bool (*Conversion)(const platform::Surface&, const platform::CopyRect&, std::uint8_t*, std::size_t,
                             int, int)>
void ConvertTwoBoxes(benchmark::State& state) {
    Frame frame =
        MakeFrame(static_cast<std::int32_t>(state.range(0)), static_cast<std::int32_t>(state.range(1)));
    const int byteOrder = ImageByteOrder(x11::MainDisplay);
    for (auto _ : state) {
        for (const platform::CopyRect& box : frame.Boxes) {
            Conversion(frame.Surface, box, frame.Image.data(), frame.Stride, 32, byteOrder);
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * 2 * static_cast<std::int64_t>(frame.Image.size()));
}

void BM_X11ConvertProgramPath(benchmark::State& state) {
    ConvertTwoBoxes<x11::Convert>(state);
}

void BM_X11ConvertPlainTables(benchmark::State& state) {
    ConvertTwoBoxes<x11::ConvertReference>(state);
}

// The same output bytes copied, one memcpy per row, from the same rows of the surface: the access pattern of
// the conversion (rows a screen's stride apart) with nothing to convert.
void BM_X11ConvertMemcpyOfOutput(benchmark::State& state) {
    Frame frame =
        MakeFrame(static_cast<std::int32_t>(state.range(0)), static_cast<std::int32_t>(state.range(1)));
    for (auto _ : state) {
        for (const platform::CopyRect& box : frame.Boxes) {
            for (std::int32_t row = 0; row < box.Height; ++row) {
                const std::uint8_t* from =
                    frame.Surface.Pixels.get() +
                    frame.Surface.Stride * static_cast<std::size_t>(box.SourceY + row) +
                    3 * static_cast<std::size_t>(box.SourceX);
                std::memcpy(frame.Image.data() + frame.Stride * static_cast<std::size_t>(row), from,
                            4 * static_cast<std::size_t>(box.Width));
            }
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * 2 * static_cast<std::int64_t>(frame.Image.size()));
}

void Sizes(benchmark::internal::Benchmark* bench) {
    bench->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kNanosecond);
}

BENCHMARK(BM_X11ConvertProgramPath)->Apply(Sizes);
BENCHMARK(BM_X11ConvertPlainTables)->Apply(Sizes);
BENCHMARK(BM_X11ConvertMemcpyOfOutput)->Apply(Sizes);

} // namespace
