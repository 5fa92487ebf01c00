#include "shell/Startup.h"

void StopSimulation() {
    Running = false;
    // Waiting for the thread, not for a fixed time: it finishes the step under way, frame included, and only
    // then may the surfaces and the window it draws on go away.
    if (SimulationWorker.joinable() && SimulationWorker.get_id() != std::this_thread::get_id()) {
        SimulationWorker.join();
    }
}

namespace {
void TearDown() {
    StopSimulation();
    platform::ReleaseSurface(BackBuffer);
    BackBuffer = nullptr;
    platform::ReleaseSurface(BackgroundSurface);
    BackgroundSurface = nullptr;
    platform::UnregisterClass("CopperTrowel", platform::GetModuleHandle());
    platform::InvalidateRect(nullptr, false);
    platform::PostQuitMessage(0);
}
} // namespace

std::intptr_t MainWndProc(platform::WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                          std::intptr_t lParam) {
    switch (message) {
    case WM_DESTROY:
        TearDown();
        return 0;
    case WM_LBUTTONDOWN:
        platform::SendMessage(MainWindow, WM_DESTROY, 0, 0);
        return 0;
    default:
        return platform::DefWindowProc(window, message, wParam, lParam);
    }
}
