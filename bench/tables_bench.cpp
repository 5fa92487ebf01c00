#include <benchmark/benchmark.h>

#include "rendering/BlendTables.h"
#include "rendering/SpriteTables.h"

namespace {
void BM_BuildBlendTables(benchmark::State& state) {
    for (auto _ : state) {
        BuildBlendTables();
        benchmark::DoNotOptimize(MulTable);
        benchmark::DoNotOptimize(LightTable);
    }
}
BENCHMARK(BM_BuildBlendTables)->Unit(benchmark::kMicrosecond);

// The whole sprite build for a screen of the given width, blend tables included.
void BM_BuildSpriteTables(benchmark::State& state) {
    Scale = static_cast<Extended>(state.range(0)) / 640.0L;
    BallDiameter = 24.0L;
    BallRadius = 12.0L;
    for (auto _ : state) {
        BuildSpriteTables();
        benchmark::DoNotOptimize(BodyFullPixels.data());
    }
    state.counters["SpriteSize"] = SpriteSize;
    state.counters["Pixels"] = static_cast<double>(BodyFullPixels.size() + BodyEdgePixels.size());
}
BENCHMARK(BM_BuildSpriteTables)->Arg(640)->Arg(1920)->Arg(3840)->Unit(benchmark::kMillisecond);
} // namespace
