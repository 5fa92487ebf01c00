// The Windows backend: every call goes straight to the Win32 or GDI call it is named after (the ANSI
// variants). <windows.h> comes first, without its macros under the interface's function names; inside
// namespace platform every Windows call is written ::Name.

#include "platform/win32_windows.h"

#include <cstddef>
#include <cstring>
#include <new>

#include "platform/platform.h"

namespace platform {

// A 24-bit DIB section selected into a memory device context of its own.
struct Surface {
    HDC Context;
    HBITMAP Bitmap;
    HGDIOBJ PreviousBitmap;
    std::uint8_t* Bits;
    std::int32_t Width, Height;
    std::ptrdiff_t Stride; // bytes from one stored row to the next, padding included
    bool BottomUp;         // the last row is stored first
};

} // namespace platform

namespace {

using namespace platform;

HWND ToWindows(WindowHandle window) {
    return reinterpret_cast<HWND>(window);
}
WindowHandle FromWindows(HWND window) {
    return reinterpret_cast<WindowHandle>(window);
}
HDC ToWindows(DeviceContext dc) {
    return reinterpret_cast<HDC>(dc);
}
DeviceContext FromWindows(HDC dc) {
    return reinterpret_cast<DeviceContext>(dc);
}
HINSTANCE ToWindows(ModuleHandle module) {
    return reinterpret_cast<HINSTANCE>(module);
}

// Windows calls its own kind of window procedure: a trampoline passes every message on to the procedure of
// the one class the program registers. Registration and the messages happen on the main thread only.
WindowProcedure ClassProcedure = nullptr;

// A child window hears nothing of its parent's size. While the program draws inside a host's window, its
// child looks at the host's inside a few times a second and tells the program of a change as a change of its
// screen (WM_DISPLAYCHANGE, the new size in lParam); the program then measures the host again and moves the
// child over it. Main thread only.
constexpr UINT_PTR HostSizeTimer = 1;
constexpr UINT HostSizeInterval = 200; // milliseconds
struct WatchedHost {
    HWND Host;
    LONG Width, Height; // the inside the program was last told of
};
WatchedHost Watched{};

void FollowHostSize(HWND child) {
    RECT inside{};
    // A host that has gone takes the child with it, and that child's WM_DESTROY ends the program.
    if (!::GetClientRect(Watched.Host, &inside) ||
        (inside.right == Watched.Width && inside.bottom == Watched.Height)) {
        return;
    }
    Watched.Width = inside.right;
    Watched.Height = inside.bottom;
    ::SendMessageA(child, WM_DISPLAYCHANGE, 0, MAKELPARAM(inside.right, inside.bottom));
}

LRESULT CALLBACK Trampoline(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER && wParam == HostSizeTimer) {
        FollowHostSize(window);
        return 0;
    }
    // A class without a cursor shows no pointer over the window (a screen saver's), where Windows would leave
    // whatever shape the pointer last had.
    if (message == WM_SETCURSOR && LOWORD(lParam) == HTCLIENT &&
        ::GetClassLongPtrA(window, GCLP_HCURSOR) == 0) {
        ::SetCursor(nullptr);
        return TRUE;
    }
    if (ClassProcedure) {
        return static_cast<LRESULT>(ClassProcedure(FromWindows(window), message,
                                                   static_cast<std::uintptr_t>(wParam),
                                                   static_cast<std::intptr_t>(lParam)));
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

// The message as Windows wants it back: time and cursor position are those of the message GetMessageA
// retrieved last on this thread, which is the one being translated and dispatched.
MSG ToWindows(const Message& message) {
    MSG msg{};
    msg.hwnd = ToWindows(message.Window);
    msg.message = message.Number;
    msg.wParam = static_cast<WPARAM>(message.WParam);
    msg.lParam = static_cast<LPARAM>(message.LParam);
    msg.time = static_cast<DWORD>(::GetMessageTime());
    const DWORD position = ::GetMessagePos();
    msg.pt.x = static_cast<SHORT>(LOWORD(position));
    msg.pt.y = static_cast<SHORT>(HIWORD(position));
    return msg;
}

// The drawable extent of a device context: a memory context's bitmap, the visible part of a window's client
// area. Copies are clipped to it from (0, 0).
bool Extent(HDC dc, std::int32_t& width, std::int32_t& height) {
    RECT box{};
    const int kind = ::GetClipBox(dc, &box);
    if (kind == ERROR || kind == NULLREGION || box.right <= 0 || box.bottom <= 0) {
        return false;
    }
    width = box.right;
    height = box.bottom;
    return true;
}

// Texts for the user go where the user who started the program reads. A windowed program has standard handles
// only when they were given to it: redirected, or started by a shell that passes its own (as Wine's are).
// Started from a console window (cmd.exe, PowerShell) it has none, and borrows that console; started from the
// desktop there is nowhere to write, and the caller shows a message box instead.
enum class UserWrite : std::uint8_t { Written, Failed, NowhereToWrite };

bool WriteLine(HANDLE handle, const char* text) {
    const auto length = static_cast<DWORD>(std::strlen(text));
    DWORD written = 0;
    return ::WriteFile(handle, text, length, &written, nullptr) && written == length &&
           ::WriteFile(handle, "\n", 1, &written, nullptr) && written == 1;
}

UserWrite WriteForUser(DWORD standardHandle, const char* text) {
    const HANDLE given = ::GetStdHandle(standardHandle);
    if (given != nullptr && given != INVALID_HANDLE_VALUE && ::GetFileType(given) != FILE_TYPE_UNKNOWN) {
        return WriteLine(given, text) ? UserWrite::Written : UserWrite::Failed;
    }
    // Already attached by an earlier text is as good as attached now.
    if (!::AttachConsole(ATTACH_PARENT_PROCESS) && ::GetLastError() != ERROR_ACCESS_DENIED) {
        return UserWrite::NowhereToWrite;
    }
    const HANDLE console =
        ::CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_EXISTING, 0, nullptr);
    if (console == INVALID_HANDLE_VALUE) {
        return UserWrite::NowhereToWrite;
    }
    const bool written = WriteLine(console, text);
    ::CloseHandle(console);
    return written ? UserWrite::Written : UserWrite::Failed;
}

// The x87 control word: precision control in bits 8-9 (3 = 64-bit significand), rounding in bits 10-11
// (0 = to nearest). The exception masks are left as they are.
void UseExtendedPrecision() {
    std::uint16_t control = 0;
    __asm__ volatile("fnstcw %0" : "=m"(control));
    control = static_cast<std::uint16_t>((control & ~0x0F00u) | 0x0300u);
    __asm__ volatile("fldcw %0" : : "m"(control));
}

} // namespace

namespace platform {

bool ConnectWindowSystem() {
    // The program computes its tables and its motion in long double, which means nothing unless the x87 unit
    // keeps all 64 significand bits; Windows starts threads with 53, whatever the C runtime then makes of it.
    UseExtendedPrecision();
    return true;
}

std::int32_t GetSystemMetrics(std::int32_t index) {
    return ::GetSystemMetrics(index);
}

ModuleHandle GetModuleHandle() {
    return reinterpret_cast<ModuleHandle>(::GetModuleHandleA(nullptr));
}

CursorHandle LoadCursor(StockCursor cursor) {
    return reinterpret_cast<CursorHandle>(
        ::LoadCursorA(nullptr, MAKEINTRESOURCEA(static_cast<WORD>(static_cast<std::uintptr_t>(cursor)))));
}

bool RegisterClass(const WindowClass& windowClass) {
    if (ClassProcedure) {
        return false;
    }
    WNDCLASSEXA record{};
    record.cbSize = sizeof record;
    record.lpfnWndProc = Trampoline;
    record.hCursor = reinterpret_cast<HCURSOR>(windowClass.Cursor);
    record.hbrBackground = reinterpret_cast<HBRUSH>(windowClass.BackgroundBrush);
    record.lpszClassName = windowClass.ClassName;
    if (::RegisterClassExA(&record) == 0) {
        return false;
    }
    ClassProcedure = windowClass.Procedure;
    return true;
}

bool UnregisterClass(const char* className, ModuleHandle instance) {
    // Windows refuses while a window of the class exists; the procedure is then still needed.
    if (!::UnregisterClassA(className, ToWindows(instance))) {
        return false;
    }
    ClassProcedure = nullptr;
    return true;
}

BrushHandle CreateSolidBrush(std::uint32_t colour) {
    return reinterpret_cast<BrushHandle>(::CreateSolidBrush(colour));
}

WindowHandle CreateWindowEx(std::uint32_t exStyle, const char* className, const char* title,
                            std::uint32_t style, std::int32_t x, std::int32_t y, std::int32_t width,
                            std::int32_t height, ModuleHandle instance) {
    return FromWindows(::CreateWindowExA(exStyle, className, title, style, x, y, width, height, nullptr,
                                         nullptr, ToWindows(instance), nullptr));
}

bool ShowWindow(WindowHandle window, std::int32_t command) {
    ::ShowWindow(ToWindows(window), command);
    return ::IsWindow(ToWindows(window)) != FALSE;
}

bool MoveWindow(WindowHandle window, std::int32_t x, std::int32_t y, std::int32_t width,
                std::int32_t height) {
    return ::MoveWindow(ToWindows(window), x, y, width, height, TRUE) != FALSE;
}

bool InvalidateRect(WindowHandle window, bool erase) {
    return ::InvalidateRect(ToWindows(window), nullptr, erase ? TRUE : FALSE) != FALSE;
}

ScreenSaverHost ScreenSaverHostKind() {
    return ScreenSaverHost::Scr;
}

WindowHandle HostWindow(std::uintptr_t id) {
    const HWND window = reinterpret_cast<HWND>(id);
    return id != 0 && ::IsWindow(window) ? FromWindows(window) : nullptr;
}

bool GetClientRect(WindowHandle window, Rect& rect) {
    RECT inside{};
    if (!::GetClientRect(ToWindows(window), &inside)) {
        return false;
    }
    rect = Rect{inside.left, inside.top, inside.right, inside.bottom};
    return true;
}

WindowHandle CreateWindowIn(WindowHandle host, const char* className, std::int32_t width, std::int32_t height,
                            ModuleHandle instance) {
    const HWND child = ::CreateWindowExA(0, className, "", WS_CHILD | WS_VISIBLE, 0, 0, width, height,
                                         ToWindows(host), nullptr, ToWindows(instance), nullptr);
    // The size the program measured is the one it knows: any other is told to it at the first look.
    if (child) {
        Watched = WatchedHost{ToWindows(host), width, height};
        ::SetTimer(child, HostSizeTimer, HostSizeInterval, nullptr);
    }
    return FromWindows(child);
}

bool FillRect(DeviceContext dc, const Rect& rect, BrushHandle brush) {
    const RECT area{rect.Left, rect.Top, rect.Right, rect.Bottom};
    return ::FillRect(ToWindows(dc), &area, reinterpret_cast<HBRUSH>(brush)) != 0;
}

bool GetMessage(Message& message) {
    MSG msg{};
    const BOOL result = ::GetMessageA(&msg, nullptr, 0, 0);
    if (result == -1) {
        ReportFatal("coppertrowel: Windows stopped delivering the window's messages");
        ::ExitProcess(1);
    }
    message = Message{FromWindows(msg.hwnd), msg.message, static_cast<std::uintptr_t>(msg.wParam),
                      static_cast<std::intptr_t>(msg.lParam)};
    return result != 0;
}

void TranslateMessage(const Message& message) {
    const MSG msg = ToWindows(message);
    ::TranslateMessage(&msg);
}

std::intptr_t DispatchMessage(const Message& message) {
    const MSG msg = ToWindows(message);
    return static_cast<std::intptr_t>(::DispatchMessageA(&msg));
}

std::intptr_t DefWindowProc(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                            std::intptr_t lParam) {
    return static_cast<std::intptr_t>(::DefWindowProcA(
        ToWindows(window), message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam)));
}

std::intptr_t SendMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                          std::intptr_t lParam) {
    return static_cast<std::intptr_t>(
        ::SendMessageA(ToWindows(window), message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam)));
}

void PostQuitMessage(std::int32_t exitCode) {
    ::PostQuitMessage(exitCode);
}

DeviceContext GetDC(WindowHandle window) {
    return FromWindows(::GetDC(ToWindows(window)));
}

void ReleaseDC(WindowHandle window, DeviceContext dc) {
    ::ReleaseDC(ToWindows(window), ToWindows(dc));
}

bool BitBlt(DeviceContext destination, std::int32_t x, std::int32_t y, std::int32_t width,
            std::int32_t height, DeviceContext source, std::int32_t sourceX, std::int32_t sourceY,
            std::uint32_t rasterOperation) {
    if (!destination || !source) {
        return false;
    }
    std::int32_t toWidth = 0, toHeight = 0, fromWidth = 0, fromHeight = 0;
    CopyRect rect{};
    if (!Extent(ToWindows(destination), toWidth, toHeight) ||
        !Extent(ToWindows(source), fromWidth, fromHeight) ||
        !ClipCopy(x, y, width, height, sourceX, sourceY, fromWidth, fromHeight, toWidth, toHeight, rect)) {
        return false;
    }
    return ::BitBlt(ToWindows(destination), rect.X, rect.Y, rect.Width, rect.Height, ToWindows(source),
                    rect.SourceX, rect.SourceY, rasterOperation) != FALSE;
}

bool TextOutA(DeviceContext dc, std::int32_t x, std::int32_t y, const char* text, std::int32_t length) {
    if (!dc || !text || length < 0) {
        return false;
    }
    return ::TextOutA(ToWindows(dc), x, y, text, length) != FALSE;
}

Surface* CreateSurface(std::int32_t width, std::int32_t height) {
    if (width <= 0 || height <= 0) {
        return nullptr;
    }
    // GDI sizes bitmaps in 32 bits; a bitmap beyond that cannot be had whatever the memory.
    const std::uint64_t stride = (static_cast<std::uint64_t>(width) * 3 + 3) / 4 * 4;
    if (stride * static_cast<std::uint64_t>(height) > 0x7FFFFFFFu) {
        return nullptr;
    }
    auto* surface = new (std::nothrow) Surface{};
    if (!surface) {
        return nullptr;
    }
    surface->Context = ::CreateCompatibleDC(nullptr);
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = height; // positive: bottom-up, the usual layout of a DIB
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 24;
    format.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    surface->Bitmap = surface->Context
                          ? ::CreateDIBSection(surface->Context, &format, DIB_RGB_COLORS, &bits, nullptr, 0)
                          : nullptr;
    DIBSECTION made{};
    if (!surface->Bitmap || !bits || ::GetObjectA(surface->Bitmap, sizeof made, &made) != sizeof made) {
        if (surface->Bitmap) {
            ::DeleteObject(surface->Bitmap);
        }
        if (surface->Context) {
            ::DeleteDC(surface->Context);
        }
        delete surface;
        return nullptr;
    }
    // Row layout as GDI made it, not as it was asked for.
    surface->Bits = static_cast<std::uint8_t*>(bits);
    surface->Width = made.dsBm.bmWidth;
    surface->Height = made.dsBm.bmHeight;
    surface->Stride = made.dsBm.bmWidthBytes;
    surface->BottomUp = made.dsBmih.biHeight > 0;
    surface->PreviousBitmap = ::SelectObject(surface->Context, surface->Bitmap);
    return surface;
}

void FillSurface(Surface* surface, std::uint32_t colour) {
    if (!surface) {
        return;
    }
    const HBRUSH brush = ::CreateSolidBrush(colour);
    const RECT whole{0, 0, surface->Width, surface->Height};
    ::FillRect(surface->Context, &whole, brush);
    ::DeleteObject(brush);
    // GDI may batch drawing; the pixels are read directly from memory next.
    ::GdiFlush();
}

std::int32_t SurfaceWidth(const Surface* surface) {
    return surface ? surface->Width : 0;
}

std::int32_t SurfaceHeight(const Surface* surface) {
    return surface ? surface->Height : 0;
}

std::uint8_t* SurfaceRow(Surface* surface, std::int32_t y) {
    if (!surface || y < 0 || y >= surface->Height) {
        return nullptr;
    }
    const std::ptrdiff_t stored = surface->BottomUp ? surface->Height - 1 - y : y;
    return surface->Bits + stored * surface->Stride;
}

DeviceContext SurfaceDC(Surface* surface) {
    return surface ? FromWindows(surface->Context) : nullptr;
}

void ReleaseSurface(Surface* surface) {
    if (!surface) {
        return;
    }
    ::SelectObject(surface->Context, surface->PreviousBitmap);
    ::DeleteObject(surface->Bitmap);
    ::DeleteDC(surface->Context);
    delete surface;
}

char DecimalSeparator() {
    char separator[8] = {};
    if (::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, sizeof separator) < 2 ||
        separator[0] == '\0') {
        return '.';
    }
    return separator[0];
}

void ReportFatal(const char* text) {
    if (WriteForUser(STD_ERROR_HANDLE, text) == UserWrite::NowhereToWrite) {
        // Topmost: when a screen change ends the program, its own topmost window still covers the screen.
        ::MessageBoxA(nullptr, text, "coppertrowel", MB_OK | MB_ICONERROR | MB_SETFOREGROUND | MB_TOPMOST);
    }
}

bool ReportInformation(const char* text) {
    switch (WriteForUser(STD_OUTPUT_HANDLE, text)) {
    case UserWrite::Written:
        return true;
    case UserWrite::Failed:
        return false;
    case UserWrite::NowhereToWrite:
        break;
    }
    // No box either (no desktop to show it on): the text is lost, and that is no success.
    return ::MessageBoxA(nullptr, text, "coppertrowel", MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND) != 0;
}

std::int32_t GetDeviceCaps(DeviceContext dc, std::int32_t index) {
    return ::GetDeviceCaps(ToWindows(dc), index);
}

} // namespace platform
