// The cost of one frame's composition against the cheapest way to touch the same bytes.
//
// ComposeFrame runs with no window to copy to (GetDC gives no device context, so both rectangle copies are
// skipped): what is measured is the composition itself, erase, shadows, bodies and the rectangles'
// arithmetic. The headless platform's window copies (a mutex and a copy into its in-memory picture) are
// measured apart, in ComposeFrameWithWindowCopies. The memcpy baseline restores the same rows and copies the
// drawn pixels' bytes, row run by row run, from the background: the bytes a frame must touch, each once, in
// the fewest block copies. The list-walk baseline copies each drawn pixel's 3 bytes alone, in list order: the
// floor of any composition that visits only the listed pixels.

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "BenchScreen.h"
#include "rendering/Composition.h"

namespace {

using bench_support::Glide;

constexpr std::int32_t HeightFor(std::int32_t width) {
    return width * 9 / 16;
}

// A horizontal run of drawn pixels, relative to the restore square's corner.
struct Run {
    std::int32_t Row, Col, Count;
};

// The drawn pixels of one ball (the four lists together) as runs along the rows.
std::vector<Run> DrawnRuns() {
    const std::int32_t side = SpriteSize + ShadowOffset;
    std::vector<bool> drawn(static_cast<std::size_t>(side) * static_cast<std::size_t>(side), false);
    for (const auto* list : {&ShadowFullPixels, &ShadowEdgePixels, &BodyFullPixels, &BodyEdgePixels}) {
        for (const SpritePixel& p : *list) {
            drawn[static_cast<std::size_t>(p.Row * side + p.Col)] = true;
        }
    }
    std::vector<Run> runs;
    for (std::int32_t row = 0; row < side; ++row) {
        for (std::int32_t col = 0; col < side;) {
            if (!drawn[static_cast<std::size_t>(row * side + col)]) {
                ++col;
                continue;
            }
            Run run{row, col, 0};
            while (col < side && drawn[static_cast<std::size_t>(row * side + col)]) {
                ++run.Count;
                ++col;
            }
            runs.push_back(run);
        }
    }
    return runs;
}

std::int64_t RestoreBytesPerFrame() {
    return 2 * std::int64_t{SpriteSize + ShadowOffset} * RestoreRowBytes;
}

std::int64_t DrawnPixelsPerBall() {
    return static_cast<std::int64_t>(ShadowFullPixels.size() + ShadowEdgePixels.size() +
                                     BodyFullPixels.size() + BodyEdgePixels.size());
}

void ReportFrame(benchmark::State& state) {
    const std::int64_t bytes = RestoreBytesPerFrame() + 2 * 3 * DrawnPixelsPerBall();
    state.counters["BytesPerFrame"] = static_cast<double>(bytes);
    state.counters["DrawnPixels"] = static_cast<double>(2 * DrawnPixelsPerBall());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * bytes);
}

// The baselines keep the row tables and the corners in locals, as a careful copy loop would: a byte store
// may alias any global, so anything read from one inside the loop would be read again after every store.
void EraseLikeComposition() {
    std::uint8_t* const* const back = BackBufferRows.data();
    const std::uint8_t* const* const ground = BackgroundRows.data();
    const auto bytes = static_cast<std::size_t>(RestoreRowBytes);
    const std::int32_t side = SpriteSize + ShadowOffset;
    for (int i = 1; i <= 2; ++i) {
        const auto offset = 3 * static_cast<std::size_t>(Balls[i].PrevScreenX);
        const auto top = static_cast<std::size_t>(Balls[i].PrevScreenY);
        for (std::size_t y = top; y < top + static_cast<std::size_t>(side); ++y) {
            std::memcpy(back[y] + offset, ground[y] + offset, bytes);
        }
    }
}

void PlaceBalls() {
    for (int i = 1; i <= 2; ++i) {
        Ball& ball = Balls[i];
        ball.ScreenX = static_cast<std::int32_t>(ball.X * Scale) - HalfSprite;
        ball.ScreenY = static_cast<std::int32_t>(ball.Y * Scale) - HalfSprite;
    }
}

void FinishFrame() {
    for (int i = 1; i <= 2; ++i) {
        Balls[i].PrevScreenX = Balls[i].ScreenX;
        Balls[i].PrevScreenY = Balls[i].ScreenY;
    }
}

void BM_ComposeFrame(benchmark::State& state) {
    const auto width = static_cast<std::int32_t>(state.range(0));
    bench_support::OpenScreen(width, HeightFor(width));
    Glide glide;
    const platform::WindowHandle window = MainWindow;
    MainWindow = nullptr;
    for (auto _ : state) {
        glide.Advance();
        ComposeFrame();
    }
    benchmark::DoNotOptimize(BackBufferRows[0]);
    ReportFrame(state);
    MainWindow = window;
    bench_support::CloseScreen();
}

void BM_ComposeFrameWithWindowCopies(benchmark::State& state) {
    const auto width = static_cast<std::int32_t>(state.range(0));
    bench_support::OpenScreen(width, HeightFor(width));
    Glide glide;
    for (auto _ : state) {
        glide.Advance();
        ComposeFrame();
    }
    ReportFrame(state);
    bench_support::CloseScreen();
}

// A baseline frame: the erase and the placing the composition does, then `copy` for each ball's square, at
// its corner, from the background rows to the back buffer's; `copy` is made once the screen is open.
template <typename MakeCopy>
void MeasureBaseline(benchmark::State& state, MakeCopy makeCopy) {
    const auto width = static_cast<std::int32_t>(state.range(0));
    bench_support::OpenScreen(width, HeightFor(width));
    Glide glide;
    const auto copy = makeCopy();
    for (auto _ : state) {
        glide.Advance();
        EraseLikeComposition();
        PlaceBalls();
        for (int i = 1; i <= 2; ++i) {
            copy(BackBufferRows.data(), BackgroundRows.data(), static_cast<std::size_t>(Balls[i].ScreenX),
                 static_cast<std::size_t>(Balls[i].ScreenY));
        }
        FinishFrame();
        benchmark::ClobberMemory();
    }
    ReportFrame(state);
    bench_support::CloseScreen();
}

void BM_ComposeMemcpyBaseline(benchmark::State& state) {
    MeasureBaseline(state, [] {
        return [runs = DrawnRuns()](std::uint8_t* const* back, const std::uint8_t* const* ground,
                                    std::size_t left, std::size_t top) {
            for (const Run& run : runs) {
                const std::size_t y = top + static_cast<std::size_t>(run.Row);
                const std::size_t at = 3 * (left + static_cast<std::size_t>(run.Col));
                std::memcpy(back[y] + at, ground[y] + at, 3 * static_cast<std::size_t>(run.Count));
            }
        };
    });
}

void BM_ComposeListWalkBaseline(benchmark::State& state) {
    MeasureBaseline(state, [] {
        return [](std::uint8_t* const* back, const std::uint8_t* const* ground, std::size_t left,
                  std::size_t top) {
            for (const auto* list :
                 {&ShadowFullPixels, &ShadowEdgePixels, &BodyFullPixels, &BodyEdgePixels}) {
                for (const SpritePixel *p = list->data(), *end = p + list->size(); p != end; ++p) {
                    const std::size_t y = top + static_cast<std::size_t>(p->Row);
                    const std::size_t at = 3 * (left + static_cast<std::size_t>(p->Col));
                    std::memcpy(back[y] + at, ground[y] + at, 3);
                }
            }
        };
    });
}

void FrameWidths(benchmark::internal::Benchmark* bench) {
    bench->Arg(640)->Arg(1920)->Arg(3840)->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_ComposeFrame)->Apply(FrameWidths);
BENCHMARK(BM_ComposeMemcpyBaseline)->Apply(FrameWidths);
BENCHMARK(BM_ComposeListWalkBaseline)->Apply(FrameWidths);
BENCHMARK(BM_ComposeFrameWithWindowCopies)->Apply(FrameWidths);

} // namespace
