#include "simulation/Pacing.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "UTypes.h"
#include "simulation/SimulationThread.h"

std::uint32_t StepsPerSecond;
std::uint32_t FramesPerSecond;
PacingRecord Pacing;

namespace {
constexpr std::uint32_t UnknownRefreshFrameRate = 60;
constexpr std::int64_t NanosecondsPerBucket = 100'000;
constexpr std::uint64_t NanosecondsPerSecond = 1'000'000'000;
// Where a page's paced run started and how many steps it has made since.
Clock::time_point PageOrigin;
std::uint64_t PageSteps;

std::uint32_t FrameRate() {
    if (FramesPerSecond) {
        return FramesPerSecond;
    }
    const platform::DeviceContext dc = platform::GetDC(MainWindow);
    const std::int32_t refresh = platform::GetDeviceCaps(dc, VREFRESH);
    platform::ReleaseDC(MainWindow, dc);
    return refresh > 1 ? static_cast<std::uint32_t>(refresh) : UnknownRefreshFrameRate;
}
} // namespace

nanoseconds StepTime(std::uint64_t steps) {
    const std::uint64_t rate = StepsPerSecond;
    return nanoseconds((steps / rate) * NanosecondsPerSecond + (steps % rate) * NanosecondsPerSecond / rate);
}

std::uint64_t StepsIn(nanoseconds time) {
    const auto ns = static_cast<std::uint64_t>(std::max<std::int64_t>(time.count(), 0));
    return (ns / NanosecondsPerSecond) * StepsPerSecond +
           (ns % NanosecondsPerSecond) * StepsPerSecond / NanosecondsPerSecond;
}

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

void BeginPacedFrames() {
    StepCounter = 0;
    PageOrigin = Clock::now();
    PageSteps = 0;
}

void PacedAnimationFrame() {
    if (!Running) {
        return;
    }
    const Clock::time_point now = Clock::now();
    const std::uint64_t due = StepsIn(now - PageOrigin) / FrameStepMultiple * FrameStepMultiple;
    if (due <= PageSteps) {
        return; // a display faster than the steps: this animation frame shows the last one again
    }
    if (StepTime(due) - StepTime(PageSteps) > LongStall) {
        // A hidden page has no animation frames: shown again, it goes on from the present, not from where it
        // would have been.
        PageOrigin = now - StepTime(PageSteps);
        return;
    }
    const std::uint64_t count = due - PageSteps;
    for (std::uint64_t s = 1; s < count; ++s) {
        ApplyPairForce();
        MoveBalls();
    }
    StepCounter = RenderPeriod; // the last step composes the frame
    SimulationStep();
    PageSteps = due;
    ++Pacing.Frames;
    Pacing.Steps += count;
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
