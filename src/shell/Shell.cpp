#include "shell/Shell.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "rendering/Composition.h"
#include "rendering/Surfaces.h"
#include "shell/ProgramMode.h"
#include "shell/Screen.h"
#include "simulation/Pacing.h"
#include "simulation/SimulationThread.h"

ProgramPhase Phase = ProgramPhase::StartingUp;

namespace {

constexpr const char* ClassName = "CopperTrowel";

// Why following the screen was refused, for the user.
std::string Refusal;
// A change reached the window procedure while the program was following an earlier one.
bool ScreenChangedAgain = false;

std::intptr_t MainWndProc(platform::WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                          std::intptr_t lParam);

// The class and the program's window, over the screen or inside the host's window. False when the host's
// window cannot be drawn in; no class is left then.
bool OpenWindow() {
    platform::WindowClass windowClass{};
    windowClass.Size = sizeof(platform::WindowClass);
    windowClass.Procedure = MainWndProc;
    // A screen saver shows no pointer over its picture.
    windowClass.Cursor =
        Mode == ProgramMode::ScreenSaver ? nullptr : platform::LoadCursor(platform::StockCursor::Arrow);
    // Whatever the window shows before the first picture, and wherever it loses its picture until the next
    // frame puts it back, is the background: nothing white or black ever shows.
    BackgroundBrush = platform::CreateSolidBrush(BackgroundColour);
    windowClass.BackgroundBrush = BackgroundBrush;
    windowClass.ClassName = ClassName;
    platform::RegisterClass(windowClass);
    if (!InHostWindow()) {
        MainWindow = platform::CreateWindowEx(WS_EX_TOPMOST, ClassName, "", WS_POPUP, 0, 0, ScreenWidth,
                                              ScreenHeight, platform::GetModuleHandle());
        return true;
    }
    MainWindow = platform::CreateWindowIn(Host, ClassName, std::max(ScreenWidth, 1),
                                          std::max(ScreenHeight, 1), platform::GetModuleHandle());
    if (!MainWindow) {
        platform::UnregisterClass(ClassName, platform::GetModuleHandle());
    }
    return MainWindow != nullptr;
}

// The program built for the screen as it is now, from nothing at start-up or over the program of the screen
// before (its thread stopped, its surfaces and pixel lists released), and left running, or resting in a
// host's window too small for it. The window is made, or moved over the screen (a Windows child does not
// follow its host by itself). False, with Refusal saying why, when the screen, the host's window or the
// surfaces cannot be had. The window system may call the window procedure from inside the window's calls and
// the copies: a teardown there has released everything, and a change there has all this done again.
bool FollowScreen() {
    MeasureScreen();
    Refusal = ScreenRefusal();
    // A host's window too small for the program is painted in the background until it grows.
    const bool tooSmall = !Refusal.empty() && InHostWindow();
    if (!Refusal.empty() && !tooSmall) {
        return false;
    }
    if (!MainWindow) {
        if (!OpenWindow()) {
            Refusal = "coppertrowel: cannot draw in the host's window";
            return false;
        }
    } else {
        platform::MoveWindow(MainWindow, 0, 0, std::max(ScreenWidth, 1), std::max(ScreenHeight, 1));
    }
    if (Phase == ProgramPhase::Ended) {
        return true;
    }
    if (tooSmall) {
        if (!ScreenChangedAgain) {
            Phase = ProgramPhase::Resting;
            PaintBackgroundOnly();
        }
        return true;
    }
    if (!BuildProgramForScreen()) {
        Refusal = SurfacesRefusal();
        return false;
    }
    if (Phase != ProgramPhase::Ended && !ScreenChangedAgain) {
        StartSimulation();
        Phase = ProgramPhase::Running;
    }
    return true;
}

// The teardown, once: the thread stopped, the surfaces released, the class unregistered, the screen
// invalidated and the quit message posted with the exit code. Phase is set to Ended first: a second click, a
// click queued behind a screen change that ended the program, or anything reaching the window procedure while
// the user is told why the program refuses to go on (a message box runs its own message loop) must neither
// release again nor replace the code. Code 1 tells the user Refusal first.
void End(std::int32_t exitCode) {
    if (Phase == ProgramPhase::Ended) {
        return;
    }
    Phase = ProgramPhase::Ended;
    if (exitCode != 0) {
        platform::ReportFatal(Refusal.c_str());
    }
    StopSimulation();
    ReleaseSurfaces();
    platform::UnregisterClass(ClassName, platform::GetModuleHandle());
    platform::InvalidateRect(nullptr, false);
    platform::PostQuitMessage(exitCode);
}

// WM_DISPLAYCHANGE: the program rebuilt for the screen as it is now, with the teardown's hand-over (the
// thread stopped and waited for, surfaces and pixel lists released), the balls kept where they are in the
// world. A screen or surfaces start-up would refuse end the program as start-up would: the message, then the
// teardown with status 1. A change that reaches the window procedure while the rebuild is under way (a
// message sent to the window from inside one of its calls) has the rebuild start over for the screen as it is
// then.
void FollowScreenChange() {
    if (Phase == ProgramPhase::Following) {
        ScreenChangedAgain = true;
        return;
    }
    // Only messages the loop dispatches reach here, and the loop runs from the end of start-up on. After the
    // teardown nothing may be started again: a change queued behind it is ignored. A program resting in a
    // host's window too small for it tries again at the new size.
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
        if (!FollowScreen()) {
            End(1);
            return;
        }
    } while (ScreenChangedAgain && Phase == ProgramPhase::Following);
}

// The input that ends the mode sends WM_DESTROY; WM_DESTROY tears the program down; WM_DISPLAYCHANGE
// rebuilds it for the new screen; WM_PAINT has the next frame put the whole picture back (or, resting,
// paints the background).
std::intptr_t MainWndProc(platform::WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                          std::intptr_t lParam) {
    switch (message) {
    case WM_DESTROY:
        End(0);
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

} // namespace

bool StartProgram() {
    Phase = ProgramPhase::StartingUp;
    MainWindow = nullptr;
    BallsStarted = false;
    FirstPointer = PointerStart{};
    Pacing = PacingRecord{};
    if (!platform::ConnectWindowSystem()) {
        return false;
    }
    if (InHostWindow()) {
        Host = platform::HostWindow(HostWindowId);
        if (!Host) {
            // Both ways a number is written: Windows passes handles in decimal, X11 tools show ids in hex.
            char hex[24];
            std::snprintf(hex, sizeof hex, "0x%llx", static_cast<unsigned long long>(HostWindowId));
            platform::ReportFatal(("coppertrowel: there is no window " + std::to_string(HostWindowId) + " (" +
                                   hex + ") to draw in")
                                      .c_str());
            return false;
        }
    }
    if (!FollowScreen()) {
        platform::ReportFatal(Refusal.c_str());
        ReleaseDynamicArrays();
        return false;
    }
    return true;
}

int FinishProgram(const platform::Message& quit) {
    // The loop can also end without a teardown (a quit posted by something else): never leave the thread
    // running into the release of what it draws with.
    StopSimulation();
    ReleaseDynamicArrays();
    ReportPacing();
    return static_cast<int>(quit.WParam);
}
