#pragma once
// The program's entry: start-up sequence, message loop, window procedure and teardown.

#include <string>

#include "UTypes.h"

// The whole program: start-up, message loop, finalisation. Returns the process exit status: the quit
// message's code, or 1 when start-up refuses the display or the screen.
int RunProgram();

// The window procedure: a left click sends WM_DESTROY; WM_DESTROY tears the program down.
std::intptr_t MainWndProc(platform::WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                          std::intptr_t lParam);

// Empty when the program can work on a ScreenWidth x ScreenHeight screen, else the reason it cannot, for the
// user.
std::string ScreenRefusal();

// Clears Running and waits for the simulation thread to finish its step; does nothing when none runs.
void StopSimulation();

// Releases the dynamic arrays that outlive start-up, in the program's finalisation order.
void ReleaseDynamicArrays();

// The simulation thread and the identifier its creation returned (kept, never used).
extern std::thread SimulationWorker;
extern std::thread::id SimulationThreadId;

// Screens wider than this are refused: beyond it the sprite sampling and the surfaces outgrow what a display
// can have.
inline constexpr std::int32_t LargestScreenSide = 32768;
// A narrower screen gives a sprite of a single pixel, too small to sample a disc into.
inline constexpr std::int32_t NarrowestScreen = 27;
