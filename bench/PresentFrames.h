#pragma once
// What the presentation benchmarks share, ours on X11 and the comparison through SDL2 on the same server: the
// two rectangles a frame presents, the measuring of frames on the presenting thread, and the counters.
//
// Counters: frames per second; the presenting thread's CPU time per frame (the client's work) and the whole
// process's (which shows work a library hands to threads of its own); and, when the script names the
// server's process in XVFB_PID, the server's CPU time per frame.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>

#include <unistd.h>

#include "UTypes.h"

namespace bench_support {

inline double ClockSeconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The server's CPU time so far, from /proc, or a negative value when the script did not name the server.
inline double ServerSeconds() {
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
    double Seconds = 0.0, ClientCpu = 0.0, ProcessCpu = 0.0, ServerCpu = -1.0;
    std::int64_t Frames = 0;
};

constexpr double MeasuredSeconds = 1.0;
constexpr double WarmUpSeconds = 0.1;

// Runs `frame` on the calling thread, which must be the presenting one: a warm-up (connections and images
// are made on the first frames), then as many frames as fit in the measured time.
template <typename Frame>
Measured MeasureFramesOnThisThread(Frame frame) {
    using Clock = std::chrono::steady_clock;
    const auto warmEnd = Clock::now() + std::chrono::duration<double>(WarmUpSeconds);
    while (Clock::now() < warmEnd) {
        frame();
    }
    Measured result;
    const double serverBegin = ServerSeconds();
    const double threadBegin = ClockSeconds(CLOCK_THREAD_CPUTIME_ID);
    const double processBegin = ClockSeconds(CLOCK_PROCESS_CPUTIME_ID);
    const auto begin = Clock::now();
    const auto end = begin + std::chrono::duration<double>(MeasuredSeconds);
    auto now = begin;
    while (now < end) {
        frame();
        ++result.Frames;
        now = Clock::now();
    }
    result.Seconds = std::chrono::duration<double>(now - begin).count();
    result.ClientCpu = ClockSeconds(CLOCK_THREAD_CPUTIME_ID) - threadBegin;
    result.ProcessCpu = ClockSeconds(CLOCK_PROCESS_CPUTIME_ID) - processBegin;
    const double serverEnd = ServerSeconds();
    result.ServerCpu = serverBegin >= 0.0 ? serverEnd - serverBegin : -1.0;
    return result;
}

inline void ReportFrames(benchmark::State& state, const Measured& measured) {
    state.SetIterationTime(measured.Seconds);
    const auto frames = static_cast<double>(measured.Frames);
    state.counters["FramesPerSecond"] = frames / measured.Seconds;
    state.counters["ClientCpuMicrosecondsPerFrame"] = 1e6 * measured.ClientCpu / frames;
    state.counters["ProcessCpuMicrosecondsPerFrame"] = 1e6 * measured.ProcessCpu / frames;
    if (measured.ServerCpu >= 0.0) {
        state.counters["ServerCpuMicrosecondsPerFrame"] = 1e6 * measured.ServerCpu / frames;
    }
}

// The two rectangles the composition presents for two balls gliding a few pixels per frame, on the screen
// and with the sprite of the program's globals: each the box around a ball's old and new square, here 3
// pixels across and 2 down apart, turning at the screen's edges.
struct TwoBoxes {
    std::int32_t X[2] = {0, 0}, Y[2] = {0, 0}, StepX[2] = {3, -2}, StepY[2] = {2, 3};
    std::int32_t Width = SpriteSize + ShadowOffset + 3, Height = SpriteSize + ShadowOffset + 2;

    TwoBoxes() {
        X[0] = ScreenWidth / 4;
        Y[0] = ScreenHeight / 4;
        X[1] = ScreenWidth * 3 / 4;
        Y[1] = ScreenHeight / 2;
    }

    // Hands each box to `copy` (x, y, width, height), then moves both on.
    template <typename Copy>
    void Present(Copy copy) {
        for (int i = 0; i < 2; ++i) {
            copy(X[i], Y[i], Width, Height);
            X[i] += StepX[i];
            Y[i] += StepY[i];
            if (X[i] < 0 || X[i] + Width > ScreenWidth) {
                StepX[i] = -StepX[i];
                X[i] += 2 * StepX[i];
            }
            if (Y[i] < 0 || Y[i] + Height > ScreenHeight) {
                StepY[i] = -StepY[i];
                Y[i] += 2 * StepY[i];
            }
        }
    }
};

} // namespace bench_support
