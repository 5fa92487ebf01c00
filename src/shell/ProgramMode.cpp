#include "shell/ProgramMode.h"

#include <cstdlib>

#include "platform/platform.h"

ProgramMode Mode = ProgramMode::Demo;
std::uintptr_t HostWindowId = 0;
PointerStart FirstPointer{};

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
} // namespace

bool UserEnds(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    switch (Mode) {
    case ProgramMode::Demo:
        return message == WM_LBUTTONDOWN;
    case ProgramMode::ScreenSaver:
        if (message == WM_MOUSEMOVE) {
            return PointerMovedAway(lParam);
        }
        if (message == WM_ACTIVATEAPP) {
            return wParam == 0; // the keyboard went to another program: the user is back
        }
        return message == WM_KEYDOWN || message == WM_SYSKEYDOWN || message == WM_LBUTTONDOWN ||
               message == WM_RBUTTONDOWN || message == WM_MBUTTONDOWN || message == WM_XBUTTONDOWN;
    default:
        return false;
    }
}
