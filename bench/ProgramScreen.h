#pragma once
// The program's start-up sequence for a screen of the given size, up to its first picture, in the top-left
// corner of a real window system's screen: what the benchmarks on X11 and under Wine measure frames after.

#include "platform/platform.h"
#include "rendering/Composition.h"
#include "rendering/SpriteTables.h"
#include "rendering/Surfaces.h"
#include "shell/Startup.h"
#include "simulation/World.h"

namespace bench {

inline constexpr const char* ProgramClassName = "CopperTrowel";

inline std::intptr_t PassOn(platform::WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                            std::intptr_t lParam) {
    return platform::DefWindowProc(window, message, wParam, lParam);
}

inline void OpenProgramScreen(std::int32_t width, std::int32_t height) {
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
    ComputeBallSize();
    BuildSpriteTables();
    ComputeWorldBounds();
    LightLevel = 300;
    CreateSurfaces();
    platform::ShowWindow(MainWindow, SW_SHOWMAXIMIZED);
    RenderPeriod = 10;
    InitBalls();
    PresentAll();
}

} // namespace bench
