#include "shell/Startup.h"

#include "rendering/Surfaces.h"

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
    case WM_LBUTTONDOWN:
        platform::SendMessage(MainWindow, WM_DESTROY, 0, 0);
        return 0;
    case WM_DISPLAYCHANGE:
        FollowScreenChange();
        return 0;
    case WM_PAINT: {
        // The default handling first: on Windows it erases the lost area with the class's brush and
        // validates it. The flag after it, so the whole picture the next frame copies lands on top of the
        // erase, never under it.
        const std::intptr_t result = platform::DefWindowProc(window, message, wParam, lParam);
        WindowPictureLost.store(true, std::memory_order_relaxed);
        return result;
    }
    default:
        return platform::DefWindowProc(window, message, wParam, lParam);
    }
}
