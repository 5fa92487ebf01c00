// The simulation step against a bare loop of the same extended-precision arithmetic, and the whole simulation
// thread of the program on the headless platform.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include "BenchScreen.h"
#include "simulation/SimulationThread.h"

namespace {

// Steps between two frames in the step benchmarks: never reached, the counter is wound back first. Both
// loops carry the same counter and the same test.
constexpr std::uint16_t NoFrames = 65535;
constexpr std::int32_t WindBack = 30000;

// The state both loops start from: the start-up positions 100 units apart and fixed velocities.
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

// Both loops run in batches of this many steps, each batch one call of a function of their own, so that the
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

// The same arithmetic in the same order on local values: one ball's motion and bounces.
struct LocalBall {
    Extended X, Y, VX, VY;
};

// The program's fold for a step longer than the world, written again: never needed in these runs, but its
// test is part of every step.
inline void FoldLocal(Extended& position, Extended& velocity, Extended low, Extended high) {
    const Extended extent = high - low;
    if ((position >= low && position <= high) || !(extent > 0.0L) || !std::isfinite(position)) {
        return;
    }
    Extended along = std::fmod(position - low, 2.0L * extent);
    if (along < 0.0L) {
        along += 2.0L * extent;
    }
    if (along <= extent) {
        position = low + along;
    } else {
        position = high - (along - extent);
        velocity = -velocity;
    }
    position = std::clamp(position, low, high);
}

inline void MoveLocal(LocalBall& b, Extended minX, Extended maxX, Extended minY, Extended maxY) {
    b.X = b.X + b.VX;
    b.Y = b.Y + b.VY;
    if (b.Y < minY) {
        b.Y = (minY - b.Y) + minY;
        b.VY = -b.VY;
    }
    if (b.Y > maxY) {
        b.Y = (maxY - b.Y) + maxY;
        b.VY = -b.VY;
    }
    FoldLocal(b.Y, b.VY, minY, maxY);
    if (b.X < minX) {
        b.X = (minX - b.X) + minX;
        b.VX = -b.VX;
    }
    if (b.X > maxX) {
        b.X = (maxX - b.X) + maxX;
        b.VX = -b.VX;
    }
    FoldLocal(b.X, b.VX, minX, maxX);
}

struct LocalWorld {
    LocalBall One, Two;
    Extended MinX, MaxX, MinY, MaxY;
    std::uint16_t Period;
    std::int32_t Counter;
    Extended Distance;
};

LocalWorld WorldFromGlobals() {
    return LocalWorld{{Balls[1].X, Balls[1].Y, Balls[1].VX, Balls[1].VY},
                      {Balls[2].X, Balls[2].Y, Balls[2].VX, Balls[2].VY},
                      WorldMinX,
                      WorldMaxX,
                      WorldMinY,
                      WorldMaxY,
                      RenderPeriod,
                      0,
                      0.0L};
}

inline void BareStep(LocalWorld& w) {
    const Extended dx = w.One.X - w.Two.X;
    const Extended dy = w.One.Y - w.Two.Y;
    w.Distance = std::sqrt(dx * dx + dy * dy);
    const Extended d = w.Distance;
    const Extended scaled = 7.0L * d;
    Extended a = 0.0L;
    bool push = true;
    if (d > 100.0L) {
        a = 0.1L / scaled;
    } else if (d < 100.0L && d > 0.0L) {
        a = -0.1L / scaled;
    } else {
        push = false;
    }
    if (push) {
        const Extended ax = (a * dx) / scaled;
        const Extended ay = (a * dy) / scaled;
        w.One.VX = w.One.VX - ax;
        w.One.VY = w.One.VY - ay;
        w.Two.VX = w.Two.VX + ax;
        w.Two.VY = w.Two.VY + ay;
    }
    w.Counter = w.Counter + 1;
    if (w.Counter > w.Period) {
        w.Counter = 0;
    }
    MoveLocal(w.One, w.MinX, w.MaxX, w.MinY, w.MaxY);
    MoveLocal(w.Two, w.MinX, w.MaxX, w.MinY, w.MaxY);
    if (w.Counter > WindBack) {
        w.Counter = 0;
    }
}

[[gnu::noinline]] LocalWorld BareSteps(LocalWorld world, std::int64_t steps) {
    for (std::int64_t s = 0; s < steps; ++s) {
        BareStep(world);
    }
    return world;
}

bool SameBits(Extended a, Extended b) {
    // The 80 value bits of the x87 format; the padding bytes after them are unspecified.
    return std::memcmp(&a, &b, 10) == 0;
}

// The bare loop follows the program's step bit for bit, or it is not the same arithmetic.
bool BareLoopMatchesProgram() {
    constexpr std::int64_t steps = 200000;
    StartWorld();
    const LocalWorld bare = BareSteps(WorldFromGlobals(), steps);
    ProgramSteps(steps);
    const bool same = SameBits(bare.One.X, Balls[1].X) && SameBits(bare.One.Y, Balls[1].Y) &&
                      SameBits(bare.One.VX, Balls[1].VX) && SameBits(bare.One.VY, Balls[1].VY) &&
                      SameBits(bare.Two.X, Balls[2].X) && SameBits(bare.Two.Y, Balls[2].Y) &&
                      SameBits(bare.Two.VX, Balls[2].VX) && SameBits(bare.Two.VY, Balls[2].VY) &&
                      SameBits(bare.Distance, StepDistance);
    bench_support::CloseScreen();
    return same;
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

void BM_SimulationStepBareLoop(benchmark::State& state) {
    if (!BareLoopMatchesProgram()) {
        state.SkipWithError("the bare loop does not reproduce the program's step");
        for (auto _ : state) {
        }
        return;
    }
    StartWorld();
    LocalWorld bare = WorldFromGlobals();
    while (state.KeepRunningBatch(Batch)) {
        bare = BareSteps(bare, Batch);
    }
    benchmark::DoNotOptimize(bare);
    bench_support::CloseScreen();
}
BENCHMARK(BM_SimulationStepBareLoop)->Unit(benchmark::kNanosecond);

// The program as it runs: start-up, then its simulation thread stepping and composing frames onto the
// headless window for a second, measured between two counts of the window copies (two per frame).
void BM_SimulationThread(benchmark::State& state) {
    const auto width = static_cast<std::int32_t>(state.range(0));
    const auto height = static_cast<std::int32_t>(state.range(1));
    double frames = 0.0, seconds = 0.0;
    for (auto _ : state) {
        auto program = bench_support::StartProgram(width, height);
        if (!headless::WaitForMessageLoop(std::chrono::seconds(30))) {
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
