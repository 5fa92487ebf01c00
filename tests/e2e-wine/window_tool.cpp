// The end-to-end test's view of the program's window from inside Windows: found by its class name, as the
// desktop and other programs find it.
//   coppertrowel_window_tool wait SECONDS      exits 0 once the window exists, 1 when it has not appeared
//                                              in time
//   coppertrowel_window_tool info              prints its styles, rectangle, title length and whether its
//                                              class has the arrow cursor
//   coppertrowel_window_tool close             posts the system's close command (WM_SYSCOMMAND SC_CLOSE),
//                                              what the close key combination of the desktop sends
//   coppertrowel_window_tool display W H       switches the display to W x H, as the display settings do;
//                                              the system then tells every window with WM_DISPLAYCHANGE

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

HWND FindProgramWindow() {
    return FindWindowA("CopperTrowel", nullptr);
}

int Wait(double seconds) {
    const DWORD deadline = GetTickCount() + static_cast<DWORD>(seconds * 1000);
    while (!FindProgramWindow()) {
        if (static_cast<LONG>(GetTickCount() - deadline) > 0) {
            return 1;
        }
        Sleep(50);
    }
    return 0;
}

int Info() {
    const HWND window = FindProgramWindow();
    if (!window) {
        return 1;
    }
    RECT rect{};
    GetWindowRect(window, &rect);
    const auto cursor = reinterpret_cast<HCURSOR>(GetClassLongPtrA(window, GCLP_HCURSOR));
    std::printf("style=0x%08lx exstyle=0x%08lx rect=%ld,%ld,%ld,%ld title=%d arrow=%d visible=%d\n",
                static_cast<unsigned long>(GetWindowLongA(window, GWL_STYLE)),
                static_cast<unsigned long>(GetWindowLongA(window, GWL_EXSTYLE)), static_cast<long>(rect.left),
                static_cast<long>(rect.top), static_cast<long>(rect.right), static_cast<long>(rect.bottom),
                GetWindowTextLengthA(window), cursor == LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)) ? 1 : 0,
                IsWindowVisible(window) ? 1 : 0);
    return 0;
}

int Close() {
    const HWND window = FindProgramWindow();
    return window && PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0) ? 0 : 1;
}

int Display(int width, int height) {
    DEVMODEA mode{};
    mode.dmSize = sizeof(mode);
    mode.dmPelsWidth = static_cast<DWORD>(width);
    mode.dmPelsHeight = static_cast<DWORD>(height);
    mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
    const LONG result = ChangeDisplaySettingsA(&mode, 0);
    if (result != DISP_CHANGE_SUCCESSFUL) {
        std::fprintf(stderr, "ChangeDisplaySettings %dx%d: %ld\n", width, height, static_cast<long>(result));
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "wait") == 0) {
        return Wait(std::atof(argv[2]));
    }
    if (argc == 2 && std::strcmp(argv[1], "info") == 0) {
        return Info();
    }
    if (argc == 2 && std::strcmp(argv[1], "close") == 0) {
        return Close();
    }
    if (argc == 4 && std::strcmp(argv[1], "display") == 0) {
        return Display(std::atoi(argv[2]), std::atoi(argv[3]));
    }
    std::fputs("usage: coppertrowel_window_tool wait SECONDS | info | close | display WIDTH HEIGHT\n",
               stderr);
    return 2;
}
