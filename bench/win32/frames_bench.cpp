// The program's own frames on the Windows backend (run it under Wine on a virtual screen): eleven steps, a
// composed frame, its two rectangles and the two numbers per frame, on a thread of its own while the main
// thread waits in its message loop, as the program runs. A plain program, since Google Benchmark is not built
// for MinGW:
//   coppertrowel_win32_bench [REPETITIONS]      (5 when not given)
// At 1920x1080 and, where the screen is that large, 3840x2160: each repetition is a short warm-up and one
// second of frames; it prints frames per second and the drawing thread's CPU time per frame (GetThreadTimes,
// which Wine counts in the kernel's clock ticks), then the medians.

#include <windows.h>

#undef GetMessage
#undef DispatchMessage
#undef DefWindowProc
#undef RegisterClass
#undef UnregisterClass
#undef CreateWindowEx
#undef GetModuleHandle

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "../ProgramScreen.h"
#include "platform/platform.h"
#include "rendering/Composition.h"
#include "rendering/SpriteTables.h"
#include "rendering/Surfaces.h"
#include "shell/Screen.h"
#include "simulation/SimulationThread.h"
#include "simulation/World.h"

namespace {

constexpr double WarmUpSeconds = 0.1;
constexpr double MeasuredSeconds = 1.0;

void CloseScreen() {
    ReleaseSurfaces();
    ReleaseDynamicArrays();
    platform::DefWindowProc(MainWindow, WM_CLOSE, 0, 0);
    platform::UnregisterClass(bench::ProgramClassName, platform::GetModuleHandle());
    MainWindow = nullptr;
}

double ThreadCpuSeconds() {
    FILETIME created, exited, kernel, user;
    if (!::GetThreadTimes(::GetCurrentThread(), &created, &exited, &kernel, &user)) {
        return 0.0;
    }
    auto ticks = [](const FILETIME& time) {
        return static_cast<double>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) |
                                   time.dwLowDateTime);
    };
    return (ticks(kernel) + ticks(user)) * 1e-7;
}

struct Repetition {
    double FramesPerSecond = 0.0, CpuMicrosecondsPerFrame = 0.0;
};

// On the calling thread, the drawing one: the warm-up, then as many of the program's frames as fit in the
// measured time.
Repetition MeasureFrames() {
    using Clock = std::chrono::steady_clock;
    auto frame = [] {
        do {
            SimulationStep();
        } while (StepCounter != 0);
    };
    const auto warmEnd = Clock::now() + std::chrono::duration<double>(WarmUpSeconds);
    while (Clock::now() < warmEnd) {
        frame();
    }
    std::int64_t frames = 0;
    const double cpuBegin = ThreadCpuSeconds();
    const auto begin = Clock::now();
    const auto end = begin + std::chrono::duration<double>(MeasuredSeconds);
    auto now = begin;
    while (now < end) {
        frame();
        ++frames;
        now = Clock::now();
    }
    const double seconds = std::chrono::duration<double>(now - begin).count();
    const double cpu = ThreadCpuSeconds() - cpuBegin;
    return {static_cast<double>(frames) / seconds, 1e6 * cpu / static_cast<double>(frames)};
}

// One repetition on a thread of its own, while this (the main) thread dispatches the window's messages until
// the drawing thread posts the quit message.
Repetition MeasureOnDrawingThread() {
    const DWORD mainThread = ::GetCurrentThreadId();
    Repetition result;
    std::thread worker([&] {
        result = MeasureFrames();
        ::PostThreadMessageA(mainThread, WM_QUIT, 0, 0);
    });
    platform::Message message{};
    while (platform::GetMessage(message)) {
        platform::TranslateMessage(message);
        platform::DispatchMessage(message);
    }
    worker.join();
    return result;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

void MeasureAtSize(std::int32_t width, std::int32_t height, int repetitions) {
    bench::OpenProgramScreen(width, height);
    std::vector<double> rates, cpu;
    for (int i = 1; i <= repetitions; ++i) {
        const Repetition repetition = MeasureOnDrawingThread();
        rates.push_back(repetition.FramesPerSecond);
        cpu.push_back(repetition.CpuMicrosecondsPerFrame);
        std::printf("%dx%d repetition %d: %.0f frames/s, %.1f us CPU per frame\n", width, height, i,
                    repetition.FramesPerSecond, repetition.CpuMicrosecondsPerFrame);
    }
    std::printf("%dx%d median: %.0f frames/s, %.1f us CPU per frame\n", width, height, Median(rates),
                Median(cpu));
    std::fflush(stdout);
    CloseScreen();
}

} // namespace

int main(int argc, char** argv) {
    const int repetitions = argc > 1 ? std::atoi(argv[1]) : 5;
    if (argc > 2 || repetitions < 1) {
        std::fprintf(stderr, "usage: coppertrowel_win32_bench [REPETITIONS]\n");
        return 2;
    }
    if (!platform::ConnectWindowSystem()) {
        return 1;
    }
    const std::int32_t screenWidth = platform::GetSystemMetrics(SM_CXSCREEN);
    const std::int32_t screenHeight = platform::GetSystemMetrics(SM_CYSCREEN);
    const std::int32_t sizes[2][2] = {{1920, 1080}, {3840, 2160}};
    for (const auto& size : sizes) {
        if (size[0] > screenWidth || size[1] > screenHeight) {
            std::printf("%dx%d skipped: the screen is %dx%d\n", size[0], size[1], screenWidth, screenHeight);
            continue;
        }
        MeasureAtSize(size[0], size[1], repetitions);
    }
    return 0;
}
