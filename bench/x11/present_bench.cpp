// Presentation on a real X server (run it under Xvfb, whose screen must be at least 3840x2160): two dirty
// rectangles per frame through the path the program uses, the same through plain XPutImage, and the program's
// own frames, composition, numbers and all. Each runs on a thread of its own, as the simulation thread does,
// and so on a connection of its own.
//
// Counters: frames per second; the drawing thread's CPU time per frame (the client's work); and, when the
// script names the server's process in XVFB_PID, the server's CPU time per frame.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>

#include <unistd.h>

#include "platform/x11_internal.h"
#include "rendering/Composition.h"
#include "rendering/SpriteTables.h"
#include "rendering/Surfaces.h"
#include "shell/Startup.h"
#include "simulation/SimulationThread.h"
#include "simulation/World.h"

namespace {

constexpr const char* ClassName = "CopperTrowel";
constexpr double MeasuredSeconds = 1.0;
constexpr double WarmUpSeconds = 0.1;

std::int32_t OpenWidth = 0, OpenHeight = 0;

std::intptr_t Procedure(platform::WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                        std::intptr_t lParam) {
    return platform::DefWindowProc(window, message, wParam, lParam);
}

void CloseScreen() {
    if (!MainWindow) {
        return;
    }
    platform::ReleaseSurface(BackBuffer);
    platform::ReleaseSurface(BackgroundSurface);
    BackBuffer = BackgroundSurface = nullptr;
    ReleaseDynamicArrays();
    platform::DefWindowProc(MainWindow, WM_CLOSE, 0, 0);
    platform::UnregisterClass(ClassName, platform::GetModuleHandle());
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
    ScreenWidth = width;
    ScreenHeight = height;
    ComputeScale();
    platform::WindowClass windowClass{};
    windowClass.Size = sizeof windowClass;
    windowClass.Procedure = Procedure;
    windowClass.ClassName = ClassName;
    platform::RegisterClass(windowClass);
    MainWindow = platform::CreateWindowEx(WS_EX_TOPMOST, ClassName, "", WS_POPUP, 0, 0, width, height,
                                          platform::GetModuleHandle());
    ComputeBallSize();
    BuildSpriteTables();
    ComputeWorldBounds();
    LightLevel = 300;
    CreateSurfaces();
    platform::ShowWindow(MainWindow, SW_SHOWMAXIMIZED);
    RenderPeriod = 10;
    InitBalls();
    PresentAll();
    XSync(x11::MainDisplay, False);
    OpenWidth = width;
    OpenHeight = height;
}

double Seconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The server's CPU time so far, from /proc, or a negative value when the script did not name the server.
double ServerSeconds() {
    const char* pid = std::getenv("XVFB_PID");
    if (!pid || !pid[0]) {
        return -1.0;
    }
    std::ifstream stat(std::string("/proc/") + pid + "/stat");
    std::string line;
    if (!std::getline(stat, line)) {
        return -1.0;
    }
    // Fields after the command's closing parenthesis; user time and system time are fields 14 and 15.
    std::size_t at = line.rfind(')');
    if (at == std::string::npos) {
        return -1.0;
    }
    std::string field;
    unsigned long long user = 0, system = 0;
    int index = 2;
    for (std::size_t i = at + 2; i <= line.size(); ++i) {
        if (i == line.size() || line[i] == ' ') {
            ++index;
            if (index == 14) {
                user = std::stoull(field);
            } else if (index == 15) {
                system = std::stoull(field);
                break;
            }
            field.clear();
        } else {
            field += line[i];
        }
    }
    return static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

struct Measured {
    double Seconds = 0.0, ClientCpu = 0.0, ServerCpu = -1.0;
    std::int64_t Frames = 0;
};

// Runs `frame` on a thread of its own: a warm-up (the thread's connection and images are made on its first
// frame), then as many frames as fit in the measured time.
template <typename Frame>
Measured MeasureFrames(Frame frame) {
    Measured result;
    std::thread worker([&] {
        using Clock = std::chrono::steady_clock;
        const auto warmEnd = Clock::now() + std::chrono::duration<double>(WarmUpSeconds);
        while (Clock::now() < warmEnd) {
            frame();
        }
        const double serverBegin = ServerSeconds();
        const double cpuBegin = Seconds(CLOCK_THREAD_CPUTIME_ID);
        const auto begin = Clock::now();
        const auto end = begin + std::chrono::duration<double>(MeasuredSeconds);
        std::int64_t frames = 0;
        auto now = begin;
        while (now < end) {
            frame();
            ++frames;
            now = Clock::now();
        }
        result.Seconds = std::chrono::duration<double>(now - begin).count();
        result.ClientCpu = Seconds(CLOCK_THREAD_CPUTIME_ID) - cpuBegin;
        const double serverEnd = ServerSeconds();
        result.ServerCpu = serverBegin >= 0.0 ? serverEnd - serverBegin : -1.0;
        result.Frames = frames;
    });
    worker.join();
    return result;
}

void Report(benchmark::State& state, const Measured& measured) {
    state.SetIterationTime(measured.Seconds);
    const auto frames = static_cast<double>(measured.Frames);
    state.counters["FramesPerSecond"] = frames / measured.Seconds;
    state.counters["ClientCpuMicrosecondsPerFrame"] = 1e6 * measured.ClientCpu / frames;
    if (measured.ServerCpu >= 0.0) {
        state.counters["ServerCpuMicrosecondsPerFrame"] = 1e6 * measured.ServerCpu / frames;
    }
}

// The two rectangles the composition presents for two balls gliding a few pixels per frame: each the box
// around a ball's old and new square, here 3 pixels across and 2 down apart.
struct TwoBoxes {
    std::int32_t X[2] = {0, 0}, Y[2] = {0, 0}, StepX[2] = {3, -2}, StepY[2] = {2, 3};

    TwoBoxes() {
        X[0] = ScreenWidth / 4;
        Y[0] = ScreenHeight / 4;
        X[1] = ScreenWidth * 3 / 4;
        Y[1] = ScreenHeight / 2;
    }

    void Present() {
        const std::int32_t side = SpriteSize + ShadowOffset;
        WindowDC = platform::GetDC(MainWindow);
        for (int i = 0; i < 2; ++i) {
            platform::BitBlt(WindowDC, X[i], Y[i], side + 3, side + 2, platform::SurfaceDC(BackBuffer), X[i],
                             Y[i], SRCCOPY);
            X[i] += StepX[i];
            Y[i] += StepY[i];
            if (X[i] < 0 || X[i] + side + 3 > ScreenWidth) {
                StepX[i] = -StepX[i];
                X[i] += 2 * StepX[i];
            }
            if (Y[i] < 0 || Y[i] + side + 2 > ScreenHeight) {
                StepY[i] = -StepY[i];
                Y[i] += 2 * StepY[i];
            }
        }
        platform::ReleaseDC(MainWindow, WindowDC);
    }
};

void PresentTwoBoxes(benchmark::State& state) {
    OpenScreen(static_cast<std::int32_t>(state.range(0)), static_cast<std::int32_t>(state.range(1)));
    for (auto _ : state) {
        TwoBoxes boxes;
        Report(state, MeasureFrames([&] { boxes.Present(); }));
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
        Report(state, MeasureFrames([] {
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
