// The end-to-end tests' view of the program's windows from inside Windows: found by their class name, as the
// desktop and other programs find them, and the windows the screen saver's settings would give it.
//   coppertrowel_window_tool wait SECONDS      exits 0 once the window exists, 1 when it has not appeared
//                                              in time
//   coppertrowel_window_tool info              prints its styles, rectangle, title length and whether its
//                                              class has the arrow cursor
//   coppertrowel_window_tool close             posts the system's close command (WM_SYSCOMMAND SC_CLOSE),
//                                              what the close key combination of the desktop sends
//   coppertrowel_window_tool display W H       switches the display to W x H, as the display settings do;
//                                              the system then tells every window with WM_DISPLAYCHANGE
//   coppertrowel_window_tool parent X Y W H    opens a borderless blue window whose inside is W x H at
//                                              (X, Y), prints its handle in decimal, and runs until it is
//                                              destroyed: the preview's parent, as the settings give it
//   coppertrowel_window_tool child PARENT      the program's window inside PARENT, like info (its rectangle
//                                              in PARENT's inside, its parent's handle); 1 when there is none
//   coppertrowel_window_tool resize HWND W H   makes that window's inside W x H
//   coppertrowel_window_tool destroy HWND      has that window destroyed by its own thread (WM_CLOSE)
//   coppertrowel_window_tool box SECONDS       waits for the program's message box, prints its owner's handle
//                                              and its text, and presses its OK button
//   coppertrowel_window_tool pointer           exits 0 when the pointer shows a shape, 1 when it shows none
//   coppertrowel_window_tool settings SECONDS SPEED
//                                              waits for the program's settings dialog, prints its owner's
//                                              handle and its slider's slowest, fastest and current speed,
//                                              moves the slider to SPEED and presses OK; 0 presses Cancel

#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr const char* ProgramClass = "CopperTrowel";

HWND FindProgramWindow() {
    return FindWindowA(ProgramClass, nullptr);
}

HWND HandleArgument(const char* text) {
    return reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::strtoull(text, nullptr, 10)));
}

bool Expired(DWORD deadline) {
    return static_cast<LONG>(GetTickCount() - deadline) > 0;
}

int Wait(double seconds) {
    const DWORD deadline = GetTickCount() + static_cast<DWORD>(seconds * 1000);
    while (!FindProgramWindow()) {
        if (Expired(deadline)) {
            return 1;
        }
        Sleep(50);
    }
    return 0;
}

void PrintWindow(HWND window, const RECT& rect) {
    const auto cursor = reinterpret_cast<HCURSOR>(GetClassLongPtrA(window, GCLP_HCURSOR));
    std::printf(
        "style=0x%08lx exstyle=0x%08lx rect=%ld,%ld,%ld,%ld title=%d arrow=%d visible=%d parent=%llu\n",
        static_cast<unsigned long>(GetWindowLongA(window, GWL_STYLE)),
        static_cast<unsigned long>(GetWindowLongA(window, GWL_EXSTYLE)), static_cast<long>(rect.left),
        static_cast<long>(rect.top), static_cast<long>(rect.right), static_cast<long>(rect.bottom),
        GetWindowTextLengthA(window), cursor == LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)) ? 1 : 0,
        IsWindowVisible(window) ? 1 : 0,
        static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(GetAncestor(window, GA_PARENT))));
}

int Info() {
    const HWND window = FindProgramWindow();
    if (!window) {
        return 1;
    }
    RECT rect{};
    GetWindowRect(window, &rect);
    PrintWindow(window, rect);
    return 0;
}

int Child(HWND parent) {
    const HWND window = FindWindowExA(parent, nullptr, ProgramClass, nullptr);
    if (!window) {
        return 1;
    }
    RECT rect{};
    GetWindowRect(window, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    PrintWindow(window, rect);
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

LRESULT CALLBACK ParentProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// WS_CLIPCHILDREN, as a dialog's preview area has it: the parent's own painting never covers the program's.
int Parent(int x, int y, int width, int height) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = ParentProcedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hbrBackground = CreateSolidBrush(RGB(0, 0, 255));
    windowClass.lpszClassName = "CopperTrowelTestParent";
    if (!RegisterClassA(&windowClass)) {
        return 1;
    }
    const HWND window = CreateWindowExA(0, windowClass.lpszClassName, "preview parent",
                                        WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, x, y, width, height, nullptr,
                                        nullptr, windowClass.hInstance, nullptr);
    if (!window) {
        return 1;
    }
    std::printf("%llu\n", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)));
    std::fflush(stdout);
    MSG message{};
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}

int Resize(HWND window, int width, int height) {
    return SetWindowPos(window, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE) ? 0
                                                                                                          : 1;
}

int Destroy(HWND window) {
    return IsWindow(window) && PostMessageA(window, WM_CLOSE, 0, 0) ? 0 : 1;
}

// A message box, like the settings dialog, is a dialog of the system's class #32770 whose title is the
// caption it was given; a message box's text is the static control 0xFFFF. A dialog exists before its
// controls do, and is shown once they are all there.
HWND WaitForDialog(double seconds) {
    const DWORD deadline = GetTickCount() + static_cast<DWORD>(seconds * 1000);
    HWND dialog = nullptr;
    while (!((dialog = FindWindowA("#32770", "coppertrowel")) && IsWindowVisible(dialog))) {
        if (Expired(deadline)) {
            return nullptr;
        }
        Sleep(50);
    }
    return dialog;
}

unsigned long long OwnerOf(HWND dialog) {
    return static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(GetWindow(dialog, GW_OWNER)));
}

int Box(double seconds) {
    const HWND box = WaitForDialog(seconds);
    if (!box) {
        return 1;
    }
    char text[512] = {};
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    std::printf("owner=%llu\n%s\n", OwnerOf(box), text);
    return PostMessageA(box, WM_COMMAND, IDOK, 0) ? 0 : 1;
}

// The slider is moved the way its own keys and mouse move it: its position set, then its owner told.
int Settings(double seconds, long speed) {
    const HWND dialog = WaitForDialog(seconds);
    const HWND slider = dialog ? FindWindowExA(dialog, nullptr, TRACKBAR_CLASSA, nullptr) : nullptr;
    if (!slider) {
        return 1;
    }
    std::printf("owner=%llu slowest=%ld fastest=%ld speed=%ld\n", OwnerOf(dialog),
                static_cast<long>(SendMessageA(slider, TBM_GETRANGEMIN, 0, 0)),
                static_cast<long>(SendMessageA(slider, TBM_GETRANGEMAX, 0, 0)),
                static_cast<long>(SendMessageA(slider, TBM_GETPOS, 0, 0)));
    if (speed != 0) {
        SendMessageA(slider, TBM_SETPOS, TRUE, speed);
        SendMessageA(dialog, WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), reinterpret_cast<LPARAM>(slider));
    }
    return PostMessageA(dialog, WM_COMMAND, speed != 0 ? IDOK : IDCANCEL, 0) ? 0 : 1;
}

int Pointer() {
    CURSORINFO info{};
    info.cbSize = sizeof info;
    return GetCursorInfo(&info) && (info.flags & CURSOR_SHOWING) && info.hCursor ? 0 : 1;
}

bool Is(const char* argument, const char* command) {
    return std::strcmp(argument, command) == 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && Is(argv[1], "wait")) {
        return Wait(std::atof(argv[2]));
    }
    if (argc == 2 && Is(argv[1], "info")) {
        return Info();
    }
    if (argc == 2 && Is(argv[1], "close")) {
        return Close();
    }
    if (argc == 4 && Is(argv[1], "display")) {
        return Display(std::atoi(argv[2]), std::atoi(argv[3]));
    }
    if (argc == 6 && Is(argv[1], "parent")) {
        return Parent(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]));
    }
    if (argc == 3 && Is(argv[1], "child")) {
        return Child(HandleArgument(argv[2]));
    }
    if (argc == 5 && Is(argv[1], "resize")) {
        return Resize(HandleArgument(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]));
    }
    if (argc == 3 && Is(argv[1], "destroy")) {
        return Destroy(HandleArgument(argv[2]));
    }
    if (argc == 3 && Is(argv[1], "box")) {
        return Box(std::atof(argv[2]));
    }
    if (argc == 2 && Is(argv[1], "pointer")) {
        return Pointer();
    }
    if (argc == 4 && Is(argv[1], "settings")) {
        return Settings(std::atof(argv[2]), std::atol(argv[3]));
    }
    std::fputs("usage: coppertrowel_window_tool wait SECONDS | info | close | display WIDTH HEIGHT\n"
               "       | parent X Y WIDTH HEIGHT | child PARENT | resize HWND WIDTH HEIGHT | destroy HWND\n"
               "       | box SECONDS | pointer | settings SECONDS SPEED\n",
               stderr);
    return 2;
}
