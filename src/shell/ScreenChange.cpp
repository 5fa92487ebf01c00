// WM_DISPLAYCHANGE: the program follows the screen it covers to its new size and place.

#include <algorithm>

#include "rendering/Composition.h"
#include "rendering/Surfaces.h"
#include "shell/ProgramMode.h"
#include "shell/Startup.h"
#include "simulation/SimulationThread.h"
#include "simulation/World.h"

namespace {
// A change reached the window procedure while the rebuild was under way.
bool ScreenChangedAgain = false;
} // namespace

void FollowScreenChange() {
    if (Phase == ProgramPhase::Following) {
        ScreenChangedAgain = true;
        return;
    }
    // Only messages the loop dispatches reach here, and the loop runs from the end of start-up on, so a
    // change during start-up arrives after it; the check only keeps a rebuild from ever running on a
    // half-built program. After the teardown nothing may be started again: a change queued behind it is
    // ignored. A program resting in a host's window too small for it tries again at the new size.
    if (Phase != ProgramPhase::Running && Phase != ProgramPhase::Resting) {
        return;
    }
    Phase = ProgramPhase::Following;

    // The teardown's hand-over: nothing the thread draws with goes before the thread has stopped.
    StopSimulation();
    do {
        ScreenChangedAgain = false;
        ReleaseSurfaces();
        ReleaseDynamicArrays();

        MeasureScreen();
        if (const std::string refusal = ScreenRefusal(); !refusal.empty()) {
            if (!InHostWindow()) {
                EndWithRefusal(refusal);
                return;
            }
            // The window follows the host's (a Windows child does not by itself) and shows the background.
            platform::MoveWindow(MainWindow, 0, 0, std::max(ScreenWidth, 1), std::max(ScreenHeight, 1));
            if (Phase == ProgramPhase::Ended) {
                return;
            }
            if (ScreenChangedAgain) {
                continue;
            }
            Rest();
            return;
        }
        platform::MoveWindow(MainWindow, 0, 0, ScreenWidth, ScreenHeight);
        if (Phase == ProgramPhase::Ended) {
            return; // torn down from inside the move
        }
        if (!BuildForScreen()) {
            EndWithRefusal(SurfacesRefusal());
            return;
        }

        // The balls keep their place and speed in the world; the world's height follows the screen, and a
        // ball it no longer holds comes back in as the motion would bring it.
        if (BallsStarted) {
            ResetBackBuffer();
            BringBallsInside();
            PlaceBallsOnScreen();
            WindowPictureLost = false;
            PresentAll();
        } else {
            ShowFirstPicture(); // the host's window was too small from the start
        }
        // The window system may call the window procedure from inside the move or the copies: a teardown
        // there has released everything, a change there needs this all again.
        if (Phase == ProgramPhase::Ended) {
            return;
        }
    } while (ScreenChangedAgain);

    StartSimulation();
    Phase = ProgramPhase::Running;
}
