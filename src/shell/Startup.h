#pragma once
// The program's entry: start-up sequence, message loop, window procedure, screen changes and teardown.

#include <string>

#include "UTypes.h"

// The whole program: start-up, message loop, finalisation. Returns the process exit status: the quit
// message's code, or 1 when start-up refuses the display or the screen.
int RunProgram();

// The window procedure: the input that ends the mode (the demo's left click; a screen saver's key, button or
// pointer movement; none in a host's window) sends WM_DESTROY; WM_DESTROY tears the program down;
// WM_DISPLAYCHANGE rebuilds it for the new screen; WM_PAINT has the next frame put the whole picture back
// (or, resting, paints the background).
std::intptr_t MainWndProc(platform::WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                          std::intptr_t lParam);

// Where the main thread is in the program's life. Read and written by the main thread alone.
enum class ProgramPhase : std::uint8_t {
    StartingUp, // from RunProgram's entry to the simulation thread's creation
    Running,    // the message loop, the simulation thread running
    Following,  // FollowScreenChange at work, the simulation thread stopped
    Resting,    // in a host's window too small for the program: the background painted, nothing running
    Ended,      // torn down: the quit message is posted, nothing is started again
};
extern ProgramPhase Phase;

// Empty when the program can work on a ScreenWidth x ScreenHeight screen, else the reason it cannot, for the
// user.
std::string ScreenRefusal();

// ScreenWidth and ScreenHeight from the primary screen's metrics, or the host's window's inside in the modes
// that draw in one, and Scale from them.
void MeasureScreen();
// The whole window painted in the background colour: the picture of a window too small for the program.
void PaintBackgroundOnly();
// Phase Resting, the window painted in the background; nothing is built or running.
void Rest();
// The balls set off (InitBalls) and the whole first picture presented; BallsStarted set.
void ShowFirstPicture();
// The balls have been set off in this run: a rebuild keeps them where they are instead of starting them.
extern bool BallsStarted;

// Where a screen saver first saw the pointer: a movement ends it only beyond ScreenSaverMouseSlack from
// there.
struct PointerStart {
    bool Seen;
    std::int32_t X, Y;
};
extern PointerStart FirstPointer;
// The size-dependent steps of start-up after the window: ball size, sprite tables, world bounds, light level,
// surfaces. False when the surfaces cannot be had; no surface is left then.
bool BuildForScreen();
// Why the surfaces for the current screen could not be had, for the user.
std::string SurfacesRefusal();

// Sets Running and creates the simulation thread.
void StartSimulation();
// Clears Running and waits for the simulation thread to finish its step; does nothing when none runs.
void StopSimulation();

// WM_DISPLAYCHANGE: the program rebuilt for the screen as it is now, with the teardown's hand-over (the
// thread stopped and waited for, surfaces and pixel lists released), the window moved over the screen, the
// size-dependent start-up steps done again, the balls kept where they are in the world (brought inside a
// world that no longer holds them), the whole picture presented and the thread started again. A screen or
// surfaces the start-up would refuse end the program as start-up would: the message, then the teardown with
// status 1. Only in the Running phase; a change that reaches the window procedure while the rebuild is under
// way (a message sent to the window from inside one of its calls) has the rebuild start over for the screen
// as it is then, and a teardown there ends it.
void FollowScreenChange();

// The teardown, once: the thread stopped, the surfaces released, the class unregistered, the screen
// invalidated and the quit message posted with code 0. Later calls, and calls after EndWithRefusal, do
// nothing.
void TearDown();
// The program refuses to go on: Phase set to Ended first, so that nothing reaching the window procedure while
// the user is told (a message box runs its own message loop) can end it another way, then the reason told and
// the teardown's steps with the quit message's code 1.
void EndWithRefusal(const std::string& reason);

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
