// The simulation step on steps that make no frame, and the whole simulation thread of the program on the
// headless platform.

#include <benchmark/benchmark.h>

#include <chrono>
#include <thread>

#include "BenchScreen.h"
#include "simulation/SimulationThread.h"

namespace {

// Steps between two frames in the step benchmark: never reached, the counter is wound back first.
constexpr std::uint16_t NoFrames = 65535;
constexpr std::int32_t WindBack = 30000;

// The balls 100 units apart with fixed velocities.
void StartWorld() {
    bench_support::OpenScreen(1920, 1080);
    Balls[1].X = 100.0L;
    Balls[1].Y = 200.0L;
    Balls[2].X = 200.0L;
    Balls[2].Y = 200.0L;
    Balls[1].VX = 0.0213L;
    Balls[1].VY = -0.0171L;
    Balls[2].VX = -0.0087L;
    Balls[2].VY = 0.0149L;
    RenderPeriod = NoFrames;
    StepCounter = 0;
}

// The steps run in batches of this many, each batch one call of a function of its own, so that the
// benchmark's own loop stays out of the way of the register allocation of the steps.
constexpr std::int64_t Batch = 1000;

// The program's step, made of the program's own routines and globals.
[[gnu::noinline]] void ProgramSteps(std::int64_t steps) {
    for (std::int64_t s = 0; s < steps; ++s) {
        SimulationStep();
        if (StepCounter > WindBack) {
            StepCounter = 0;
        }
    }
}

void BM_SimulationStep(benchmark::State& state) {
    StartWorld();
    while (state.KeepRunningBatch(Batch)) {
        ProgramSteps(Batch);
    }
    benchmark::DoNotOptimize(Balls[1].X);
    bench_support::CloseScreen();
}
BENCHMARK(BM_SimulationStep)->Unit(benchmark::kNanosecond);

// The program as it runs: start-up, then its simulation thread stepping and composing frames onto the
// headless window for a second, measured between two counts of the window copies (two per frame).
void BM_SimulationThread(benchmark::State& state) {
    const auto width = static_cast<std::int32_t>(state.range(0));
    const auto height = static_cast<std::int32_t>(state.range(1));
    double frames = 0.0, seconds = 0.0;
    for (auto _ : state) {
        auto program = bench_support::StartProgram(width, height);
        if (!headless::WaitForIdle(std::chrono::seconds(30))) {
            state.SkipWithError("the program did not start");
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const auto begin = std::chrono::steady_clock::now();
        const std::size_t before = headless::WindowCopies().size();
        std::this_thread::sleep_for(std::chrono::seconds(1));
        const std::size_t after = headless::WindowCopies().size();
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - begin;
        if (!bench_support::EndProgram(program)) {
            state.SkipWithError("the program did not end");
            return;
        }
        state.SetIterationTime(elapsed.count());
        frames += static_cast<double>(after - before) / 2.0;
        seconds += elapsed.count();
    }
    state.counters["FramesPerSecond"] = frames / seconds;
    state.counters["StepsPerSecond"] = frames * (RenderPeriod + 1) / seconds;
}
BENCHMARK(BM_SimulationThread)
    ->Args({640, 360})
    ->Args({1920, 1080})
    ->Args({3840, 2160})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
