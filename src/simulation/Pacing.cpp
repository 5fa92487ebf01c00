#include "simulation/Pacing.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "UTypes.h"
#include "simulation/SimulationThread.h"

std::uint32_t StepsPerSecond;
std::uint32_t FramesPerSecond;
PacingRecord Pacing;

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::nanoseconds;

// Every frame of a paced run is one the unpaced program draws too, which composes every 11th step.
constexpr std::uint32_t FrameStepMultiple = 11;
constexpr std::uint32_t UnknownRefreshFrameRate = 60;
// Further behind than this (a suspended machine, a stopped server), the run resumes from the present.
constexpr nanoseconds LongStall = std::chrono::milliseconds(250);
constexpr std::int64_t NanosecondsPerBucket = 100'000;

// The time from the run's origin to the end of `steps` steps, in whole nanoseconds, exact for any run.
nanoseconds StepTime(std::uint64_t steps) {
    constexpr std::uint64_t second = 1'000'000'000;
    const std::uint64_t rate = StepsPerSecond;
    return nanoseconds((steps / rate) * second + (steps % rate) * second / rate);
}

std::uint32_t FrameRate() {
    if (FramesPerSecond) {
        return FramesPerSecond;
    }
    const platform::DeviceContext dc = platform::GetDC(MainWindow);
    const std::int32_t refresh = platform::GetDeviceCaps(dc, VREFRESH);
    platform::ReleaseDC(MainWindow, dc);
    return refresh > 1 ? static_cast<std::uint32_t>(refresh) : UnknownRefreshFrameRate;
}

// StepsPerSecond / frame rate, rounded to the nearest whole multiple of 11, at least 11.
std::int32_t StepsPerFrame() {
    const std::uint64_t period = std::uint64_t{FrameRate()} * FrameStepMultiple;
    const std::uint64_t periods = (StepsPerSecond + period / 2) / period;
    return static_cast<std::int32_t>(std::max<std::uint64_t>(periods, 1) * FrameStepMultiple);
}

void CountFrame(nanoseconds late) {
    ++Pacing.Frames;
    const std::int64_t bucket = std::max<std::int64_t>(late.count(), 0) / NanosecondsPerBucket;
    ++Pacing.Lateness[std::min<std::int64_t>(bucket, LatenessBuckets - 1)];
}

} // namespace

void PacedSimulationThread() {
    StepCounter = 0;
    const std::int32_t stepsPerFrame = StepsPerFrame();
    RenderPeriod = stepsPerFrame - 1;
    const Clock::time_point begin = Clock::now();
    Clock::time_point origin = begin;
    std::uint64_t steps = 0; // from the origin to the end of the next frame's step
    while (Running) {
        // The steps before the frame's, the same calls as the unpaced loop's: none of them reaches a frame.
        for (std::int32_t s = 1; s < stepsPerFrame && Running; ++s) {
            SimulationStep();
        }
        steps += static_cast<std::uint64_t>(stepsPerFrame);
        Clock::time_point due = origin + StepTime(steps);
        // Again after a wake meant for an earlier run: a frame is never drawn before it is due.
        while (Running && Clock::now() < due) {
            platform::SleepUntil(due);
        }
        if (!Running) {
            break;
        }
        nanoseconds late = Clock::now() - due;
        if (late > LongStall) {
            origin = Clock::now() - StepTime(steps);
            late = nanoseconds(0);
        } else if (late >= StepTime(static_cast<std::uint64_t>(stepsPerFrame))) {
            // The frames already due pass undrawn: their steps are made without the frame cadence, which
            // changes nothing of the motion, and the counter still stands just before a frame.
            const std::uint64_t behind = static_cast<std::uint64_t>(late.count()) * StepsPerSecond /
                                         1'000'000'000 / static_cast<std::uint64_t>(stepsPerFrame);
            for (std::uint64_t s = 0; s < behind * static_cast<std::uint64_t>(stepsPerFrame) && Running;
                 ++s) {
                ApplyPairForce();
                MoveBalls();
            }
            steps += behind * static_cast<std::uint64_t>(stepsPerFrame);
            Pacing.Steps += behind * static_cast<std::uint64_t>(stepsPerFrame);
            due = origin + StepTime(steps);
            late = Clock::now() - due;
        }
        CountFrame(late);
        SimulationStep();
        Pacing.Steps += static_cast<std::uint64_t>(stepsPerFrame);
    }
    Pacing.Seconds += std::chrono::duration<double>(Clock::now() - begin).count();
    ReleaseNumberTexts();
}

void ReportPacing() {
    if (!std::getenv("COPPERTROWEL_PACING_REPORT") || Pacing.Frames == 0) {
        return;
    }
    // The upper edge of the bucket the 99th percentile falls in.
    std::uint64_t counted = 0;
    int bucket = 0;
    while (bucket < LatenessBuckets - 1 && (counted += Pacing.Lateness[bucket]) * 100 < Pacing.Frames * 99) {
        ++bucket;
    }
    std::fprintf(stderr, "pacing: frames %llu steps %llu seconds %.3f late99 %.1fms\n",
                 static_cast<unsigned long long>(Pacing.Frames),
                 static_cast<unsigned long long>(Pacing.Steps), Pacing.Seconds, (bucket + 1) * 0.1);
}
