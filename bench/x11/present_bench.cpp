// Presentation on a real X server (run it under Xvfb, whose screen must be at least 3840x2160): two dirty
// rectangles per frame through the path the program uses, the same through plain XPutImage, and the program's
// own frames, composition, numbers and all. Each runs on a thread of its own, as the simulation thread does,
// and so on a connection of its own. The rectangles and the counters are those of PresentFrames.h.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <thread>

#include "../PresentFrames.h"
#include "../ProgramScreen.h"
#include "platform/x11_internal.h"
#include "rendering/Composition.h"
#include "rendering/SpriteTables.h"
#include "rendering/Surfaces.h"
#include "shell/Screen.h"
#include "simulation/SimulationThread.h"
#include "simulation/World.h"

namespace {

std::int32_t OpenWidth = 0, OpenHeight = 0;

void CloseScreen() {
    if (!MainWindow) {
        return;
    }
    ReleaseSurfaces();
    ReleaseDynamicArrays();
    platform::DefWindowProc(MainWindow, WM_CLOSE, 0, 0);
    platform::UnregisterClass(bench::ProgramClassName, platform::GetModuleHandle());
    XSync(x11::MainDisplay, False);
    MainWindow = nullptr;
    OpenWidth = OpenHeight = 0;
}

// The program's start-up for a screen of the given size, in the top-left corner of the server's screen, up to
// its first picture. Kept open while the next benchmark wants the same size.
void OpenScreen(std::int32_t width, std::int32_t height) {
    if (OpenWidth == width && OpenHeight == height) {
        return;
    }
    CloseScreen();
    bench::OpenProgramScreen(width, height);
    XSync(x11::MainDisplay, False);
    OpenWidth = width;
    OpenHeight = height;
}

// Runs `frame` on a thread of its own, as the simulation thread draws, and so on a connection of its own.
template <typename Frame>
bench_support::Measured MeasureFrames(Frame frame) {
    bench_support::Measured result;
    std::thread worker([&] { result = bench_support::MeasureFramesOnThisThread(frame); });
    worker.join();
    return result;
}

// One frame of the presentation alone: the two boxes copied from the back buffer to the window.
void PresentBoxes(bench_support::TwoBoxes& boxes) {
    WindowDC = platform::GetDC(MainWindow);
    boxes.Present([](std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height) {
        platform::BitBlt(WindowDC, x, y, width, height, platform::SurfaceDC(BackBuffer), x, y, SRCCOPY);
    });
    platform::ReleaseDC(MainWindow, WindowDC);
}

void PresentTwoBoxes(benchmark::State& state) {
    OpenScreen(static_cast<std::int32_t>(state.range(0)), static_cast<std::int32_t>(state.range(1)));
    for (auto _ : state) {
        bench_support::TwoBoxes boxes;
        bench_support::ReportFrames(state, MeasureFrames([&] { PresentBoxes(boxes); }));
    }
}

// The path the program takes: shared memory when the server offers it.
void BM_X11PresentProgramPath(benchmark::State& state) {
    PresentTwoBoxes(state);
    state.counters["SharedMemory"] = x11::SharedMemoryUsable ? 1 : 0;
}

// The same frames with every rectangle sent down the socket by XPutImage, as on a server without MIT-SHM:
// each drawing connection decides its path when it is first prepared, so a thread that starts while the
// server is taken for one without shared memory keeps to XPutImage.
void BM_X11PresentPutImage(benchmark::State& state) {
    const bool usable = x11::SharedMemoryUsable;
    x11::SharedMemoryUsable = false;
    PresentTwoBoxes(state);
    x11::SharedMemoryUsable = usable;
}

// The program's own simulation loop: eleven steps, a composed frame, its two rectangles and the two numbers.
void BM_X11ProgramFrames(benchmark::State& state) {
    OpenScreen(static_cast<std::int32_t>(state.range(0)), static_cast<std::int32_t>(state.range(1)));
    for (auto _ : state) {
        bench_support::ReportFrames(state, MeasureFrames([] {
                                        do {
                                            SimulationStep();
                                        } while (StepCounter != 0);
                                    }));
    }
}

void Screens(benchmark::internal::Benchmark* bench) {
    bench->Args({1920, 1080})
        ->Args({3840, 2160})
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_X11PresentProgramPath)->Apply(Screens);
BENCHMARK(BM_X11PresentPutImage)->Apply(Screens);
BENCHMARK(BM_X11ProgramFrames)->Apply(Screens);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    if (!platform::ConnectWindowSystem()) {
        return 77;
    }
    if (x11::PrimaryWidth < 3840 || x11::PrimaryHeight < 2160) {
        std::fprintf(stderr, "coppertrowel_x11_bench: the screen must be at least 3840x2160\n");
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    CloseScreen();
    benchmark::Shutdown();
    return 0;
}
