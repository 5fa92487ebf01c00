#include <chrono>

#include "simulation/Pacing.h"
#include "simulation/SimulationThread.h"

std::thread SimulationWorker;
std::thread::id SimulationThreadId;

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
            const std::uint64_t behind = StepsIn(late) / static_cast<std::uint64_t>(stepsPerFrame);
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

void StartSimulation() {
    Running = true;
    SimulationWorker = std::thread(StepsPerSecond ? PacedSimulationThread : SimulationThread);
    SimulationThreadId = SimulationWorker.get_id();
}

void StopSimulation() {
    Running = false;
    // A paced thread asleep until its next frame hears it now, not at the end of the sleep.
    platform::WakeSleeper();
    // Waiting for the thread, not for a fixed time: it finishes the step under way, frame included, and only
    // then may the surfaces and the window it draws on go away.
    if (SimulationWorker.joinable() && SimulationWorker.get_id() != std::this_thread::get_id()) {
        SimulationWorker.join();
    }
}
