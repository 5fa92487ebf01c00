#pragma once
// The worker thread that moves the balls and decides when a frame is drawn.

#include "UTypes.h"

void SimulationThread();
