#include "simulation/Pacing.h"
#include "simulation/SimulationThread.h"

// A page has one thread: its animation frames make the steps (PacedAnimationFrame), so starting the
// simulation only sets the clock going, and stopping it needs no wait.
void StartSimulation() {
    Running = true;
    BeginPacedFrames();
}

void StopSimulation() {
    Running = false;
    ReleaseNumberTexts();
}
