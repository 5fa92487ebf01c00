// Start-up on the headless platform: the surfaces alone, and the whole program from its first call to the
// moment its message loop waits, that is with the first complete picture on the window. The table builds are
// measured in tables_bench.cpp.

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <chrono>
#include <ctime>

#include "BenchScreen.h"

namespace {

// A fresh process gets its surfaces from fresh pages, and pays for every first touch of them. The allocator
// would otherwise hand out memory an earlier benchmark freed, already mapped. With a fixed threshold, set
// before any benchmark runs, every large block is mapped anew and unmapped when freed; the trim gives back
// whatever smaller free memory is left before each measurement.
const bool LargeBlocksMappedAnew = [] { return mallopt(M_MMAP_THRESHOLD, 128 * 1024) == 1; }();

void LikeAFreshProcess() {
    benchmark::DoNotOptimize(LargeBlocksMappedAnew);
    malloc_trim(0);
}

// CPU time of the whole process: start-up runs in the program's own thread, not the benchmark's.
double ProcessSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void BM_CreateSurfaces(benchmark::State& state) {
    const auto width = static_cast<std::int32_t>(state.range(0));
    const auto height = static_cast<std::int32_t>(state.range(1));
    bench_support::OpenScreen(width, height);
    ReleaseSurfaces();
    LikeAFreshProcess();
    for (auto _ : state) {
        CreateSurfaces();
        state.PauseTiming();
        ReleaseSurfaces();
        LikeAFreshProcess();
        state.ResumeTiming();
    }
    bench_support::CloseScreen();
}
BENCHMARK(BM_CreateSurfaces)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond);

// From RunProgram's first call to its message loop's first wait: connection, window, tables, surfaces, the
// start positions and the first whole picture copied to the window. The simulation thread has just started
// then; ending the program is not counted.
void BM_StartupToFirstPicture(benchmark::State& state) {
    const auto width = static_cast<std::int32_t>(state.range(0));
    const auto height = static_cast<std::int32_t>(state.range(1));
    double cpu = 0.0;
    for (auto _ : state) {
        LikeAFreshProcess();
        const double cpuBegin = ProcessSeconds();
        const auto begin = std::chrono::steady_clock::now();
        auto program = bench_support::StartProgram(width, height);
        if (!headless::WaitForIdle(std::chrono::seconds(30))) {
            state.SkipWithError("the program did not start");
            return;
        }
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - begin;
        cpu += ProcessSeconds() - cpuBegin;
        state.SetIterationTime(elapsed.count());
        if (!bench_support::EndProgram(program)) {
            state.SkipWithError("the program did not end");
            return;
        }
    }
    state.counters["CpuMilliseconds"] = 1000.0 * cpu / static_cast<double>(state.iterations());
}
BENCHMARK(BM_StartupToFirstPicture)
    ->Args({1920, 1080})
    ->Args({3840, 2160})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
