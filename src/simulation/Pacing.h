#pragma once
// The paced simulation thread: the very steps of the unpaced one, made at a fixed number a second, with a
// frame at the display's rate and a sleep between frames, for a screen saver that costs almost nothing.

#include <chrono>
#include <cstdint>

// Steps a second of a paced run; 0: unpaced, each step follows the last without pause. Frames a second; 0:
// the refresh rate of the monitor the window covers. Set by the command line before RunProgram.
extern std::uint32_t StepsPerSecond;
extern std::uint32_t FramesPerSecond;

// The screen savers' speed, and the range their settings offer: multiples of 660, so that at 60 frames a
// second a frame is a whole number of 11-step periods. At the default a ball at its typical speed (about
// 0.0134 units a step) crosses the 640-unit world in about 7 s and moves 1.5 units a frame at 60 Hz: motion
// the eye follows, neither a crawl nor a blur.
inline constexpr std::uint32_t DefaultSpeed = 6600;
inline constexpr std::uint32_t SlowestSpeed = 660;
inline constexpr std::uint32_t FastestSpeed = 33000;
// What the options take: beyond these the numbers mean nothing to the eye.
inline constexpr std::uint32_t MostStepsPerSecond = 1'000'000;
inline constexpr std::uint32_t MostFramesPerSecond = 1000;

// What the paced runs of the process have done, for a benchmark that reads the program's own frame times:
// frames drawn, steps made, seconds run, and how late each frame was composed after its due time, in buckets
// of 0.1 ms up to 20 ms (the last bucket holds every later one). Written by the simulation thread alone,
// read after it has been joined.
inline constexpr int LatenessBuckets = 201;
struct PacingRecord {
    std::uint64_t Frames, Steps;
    double Seconds;
    std::uint64_t Lateness[LatenessBuckets];
};
extern PacingRecord Pacing;

using Clock = std::chrono::steady_clock;
using std::chrono::nanoseconds;

// Every frame of a paced run is one the unpaced program draws too, which composes every 11th step.
inline constexpr std::uint32_t FrameStepMultiple = 11;
// Further behind than this (a suspended machine, a stopped server, a hidden page), a run resumes from the
// present.
inline constexpr nanoseconds LongStall = std::chrono::milliseconds(250);

// The time from a run's origin to the end of `steps` steps, in whole nanoseconds, exact for any run.
nanoseconds StepTime(std::uint64_t steps);
// The whole steps made in `time` from a run's origin (none before it), exact for any run.
std::uint64_t StepsIn(nanoseconds time);
// StepsPerSecond / frame rate (FramesPerSecond, else the monitor's refresh rate, else 60), rounded to the
// nearest whole multiple of 11, at least 11.
std::int32_t StepsPerFrame();
// Counts a frame of the paced thread composed `late` after it was due.
void CountFrame(nanoseconds late);

// The thread procedure of a paced run: StepsPerSecond steps a second, a frame every K of them (K the steps
// a frame at the frame rate takes, rounded to a whole multiple of 11, RenderPeriod K - 1), asleep between
// frames until the next is due; a run that falls behind catches up by stepping without drawing, and one more
// than a quarter of a second behind resumes from the present.
void PacedSimulationThread();

// A page's paced run, with no thread: the page calls PacedAnimationFrame on each of its animation frames,
// which makes the steps due since BeginPacedFrames at StepsPerSecond, in whole 11-step periods, the last of
// them composing the frame; none when none is due yet. A page hidden for longer than LongStall (the browser
// gives it no animation frames) resumes from the present.
void BeginPacedFrames();
void PacedAnimationFrame();

// One line on standard error with Pacing's figures, when COPPERTROWEL_PACING_REPORT is set and a paced run
// has drawn a frame.
void ReportPacing();
