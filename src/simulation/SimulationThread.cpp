#include "simulation/SimulationThread.h"

void SimulationThread() {}
