#pragma once
// The worker thread that moves the balls and decides when a frame is drawn.

#include <string>

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
// Counts the step; when the count passes RenderPeriod, composes a frame and draws the two numbers on it.
void FrameCadence();
// Moves ball 1, then ball 2, by its velocity and mirrors it at the bounds it passed, Y before X; a step
// longer than the world is folded back inside.
void MoveBalls();
// One pass of the thread's loop: pair force, frame cadence, motion.
void SimulationStep();
// The thread procedure: steps without pause for as long as Running is set.
void SimulationThread();
