#pragma once
// The program's life on the main thread, one state machine: start-up, the message loop, the window
// procedure, the screen changes and the teardown.

#include <cstdint>

#include "platform/platform.h"

// The whole program: start-up, message loop, finalisation. Returns the process exit status: the quit
// message's code, or 1 when start-up refuses the display or the screen. The desktop's (MessageLoop.cpp).
int RunProgram();

// What every message loop, the desktop's and the page's, runs around it. Start-up: the window over the
// screen, the first picture and the motion started; false, with the user told why, when the display, the
// screen, the host's window or the surfaces are refused (status 1). The end, once the loop has taken the
// quit message: what the teardown may have left released, and the quit's exit status returned.
bool StartProgram();
int FinishProgram(const platform::Message& quit);

// Where the main thread is in the program's life. Read and written by the main thread alone, and changed by
// the shell's state machine alone.
enum class ProgramPhase : std::uint8_t {
    StartingUp, // from StartProgram's entry to the simulation thread's creation
    Running,    // the message loop, the simulation thread running
    Following,  // a screen change being followed, the simulation thread stopped
    Resting,    // in a host's window too small for the program: the background painted, nothing running
    Ended,      // torn down: the quit message is posted, nothing is started again
};
extern ProgramPhase Phase;
