#include "shell/Startup.h"

#include <cstdlib>

#include "rendering/Surfaces.h"
#include "shell/ProgramMode.h"

void StopSimulation() {
    Running = false;
    // Waiting for the thread, not for a fixed time: it finishes the step under way, frame included, and only
    // then may the surfaces and the window it draws on go away.
    if (SimulationWorker.joinable() && SimulationWorker.get_id() != std::this_thread::get_id()) {
        SimulationWorker.join();
    }
}

namespace {
void ReleaseAndQuit(std::int32_t exitCode) {
    StopSimulation();
    ReleaseSurfaces();
    platform::UnregisterClass("CopperTrowel", platform::GetModuleHandle());
    platform::InvalidateRect(nullptr, false);
    platform::PostQuitMessage(exitCode);
}
} // namespace

namespace {
// A pointer movement a screen saver counts as the user's: beyond the slack from where it first saw the
// pointer.
bool PointerMovedAway(std::intptr_t lParam) {
    // The position is two signed 16-bit halves, as Windows packs it.
    const std::int32_t x = static_cast<std::int16_t>(lParam & 0xFFFF);
    const std::int32_t y = static_cast<std::int16_t>((lParam >> 16) & 0xFFFF);
    if (!FirstPointer.Seen) {
        FirstPointer = PointerStart{true, x, y};
        return false;
    }
    return std::abs(x - FirstPointer.X) > ScreenSaverMouseSlack ||
           std::abs(y - FirstPointer.Y) > ScreenSaverMouseSlack;
}

// The user ends the demo with a left click and a screen saver with any key, any button, a movement of the
// pointer or another program coming to the front; in a host's window the host decides, and no input ends the
// program.
bool UserEnds(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    switch (Mode) {
    case ProgramMode::Demo:
        return message == WM_LBUTTONDOWN;
    case ProgramMode::ScreenSaver:
        switch (message) {
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
        case WM_XBUTTONDOWN:
            return true;
        case WM_MOUSEMOVE:
            return PointerMovedAway(lParam);
        case WM_ACTIVATEAPP:
            return wParam == 0; // the keyboard went to another program: the user is back
        default:
            return false;
        }
    default:
        return false;
    }
}
} // namespace

void TearDown() {
    // Once: a second click, or a click queued behind a screen change that ended the program, must neither
    // release again nor replace the quit message's code.
    if (Phase == ProgramPhase::Ended) {
        return;
    }
    Phase = ProgramPhase::Ended;
    ReleaseAndQuit(0);
}

void EndWithRefusal(const std::string& reason) {
    if (Phase == ProgramPhase::Ended) {
        return;
    }
    Phase = ProgramPhase::Ended;
    platform::ReportFatal(reason.c_str());
    ReleaseAndQuit(1);
}

std::intptr_t MainWndProc(platform::WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                          std::intptr_t lParam) {
    switch (message) {
    case WM_DESTROY:
        TearDown();
        return 0;
    case WM_DISPLAYCHANGE:
        FollowScreenChange();
        return 0;
    case WM_PAINT: {
        // The default handling first: on Windows it erases the lost area with the class's brush and
        // validates it. The flag after it, so the whole picture the next frame copies lands on top of the
        // erase, never under it.
        const std::intptr_t result = platform::DefWindowProc(window, message, wParam, lParam);
        if (Phase == ProgramPhase::Resting) {
            PaintBackgroundOnly(); // no frame comes to put a picture back
        } else {
            WindowPictureLost.store(true, std::memory_order_relaxed);
        }
        return result;
    }
    default:
        if (UserEnds(message, wParam, lParam)) {
            platform::SendMessage(MainWindow, WM_DESTROY, 0, 0);
            return 0;
        }
        return platform::DefWindowProc(window, message, wParam, lParam);
    }
}
