#pragma once
// The program's own build for a screen of the given size, up to its first picture, in a window of that size
// in the top-left corner of the screen, whose procedure only passes messages on: what the benchmarks (on
// every window system) measure frames after, and what the tests compose frames on.

#include "platform/platform.h"
#include "shell/Screen.h"
#include "simulation/World.h"

namespace bench {

inline constexpr const char* ProgramClassName = "CopperTrowel";

inline std::intptr_t PassOn(platform::WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                            std::intptr_t lParam) {
    return platform::DefWindowProc(window, message, wParam, lParam);
}

// A width x height screen, its Scale, and a window of the program's class that size at the screen's top-left
// corner, not shown yet.
inline void OpenProgramWindow(std::int32_t width, std::int32_t height) {
    ScreenWidth = width;
    ScreenHeight = height;
    ComputeScale();
    platform::WindowClass windowClass{};
    windowClass.Size = sizeof windowClass;
    windowClass.Procedure = PassOn;
    windowClass.ClassName = ProgramClassName;
    platform::RegisterClass(windowClass);
    MainWindow = platform::CreateWindowEx(WS_EX_TOPMOST, ProgramClassName, "", WS_POPUP, 0, 0, width, height,
                                          platform::GetModuleHandle());
}

inline void OpenProgramScreen(std::int32_t width, std::int32_t height) {
    OpenProgramWindow(width, height);
    BallsStarted = false;
    BuildProgramForScreen();
}

} // namespace bench
