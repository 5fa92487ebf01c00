#pragma once
// The worker thread that moves the balls and decides when a frame is drawn.

#include <string>
#include <thread>

#include "UTypes.h"

// Steps since the last frame: 0 when the thread starts and after every frame.
extern std::int32_t StepCounter;
// The distance between the ball centres at the start of the latest step.
extern Extended StepDistance;
// The two numbers of the latest frame as text, whole (what is drawn is cut to 5 and 8 characters).
extern std::string DistanceText;
extern std::string SpeedSumText;

// Measures StepDistance and changes both velocities by equal and opposite amounts along the line between the
// centres: towards each other beyond 100 units, apart within.
void ApplyPairForce();
// Counts the step; when the count passes RenderPeriod, composes a frame (the whole back buffer copied to the
// window after it when WindowPictureLost is set) and draws the two numbers on it.
void FrameCadence();
// Moves ball 1, then ball 2, by its velocity and mirrors it at the bounds it passed, Y before X; a step
// longer than the world is folded back inside.
void MoveBalls();
// Brings each ball that lies outside the world back inside the way MoveBalls does after its move: mirrored
// at the bounds it lies beyond and folded back when one mirror is not enough, its velocity reversed with each
// bounce. A ball inside the world is not touched. For a world that has just changed under the balls.
void BringBallsInside();
// One pass of the thread's loop: pair force, frame cadence, motion.
void SimulationStep();
// The thread procedure of an unpaced run: steps without pause for as long as Running is set.
void SimulationThread();
// What the thread leaves when it ends: the memory of the numbers' texts given back.
void ReleaseNumberTexts();

// The simulation thread and the identifier its creation returned (kept, never used); the desktop's
// (SimulationWorker.cpp). A page has none (PageFrames.cpp).
extern std::thread SimulationWorker;
extern std::thread::id SimulationThreadId;
// Sets Running and creates the simulation thread, paced when StepsPerSecond is set (Pacing.h); on a page,
// sets the page's paced frames going.
void StartSimulation();
// Clears Running, wakes a paced thread's sleep and waits for the thread to finish its step; does nothing
// when none runs.
void StopSimulation();
