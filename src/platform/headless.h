#pragma once
// The headless backend's control API, for tests and benchmarks: an in-memory screen whose size the test sets,
// a "window" picture that receives only what is copied to it, logs of what the program asked for, and
// injected input. Everything here may be called from any thread.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace headless {

// Forgets every window, class, message, log and surface count of an earlier run and sets the screen size.
// Call it before each program run, while no program runs.
void Reset(std::int32_t screenWidth, std::int32_t screenHeight);
// Makes ConnectWindowSystem fail, as with no display.
void SetNoDisplay(bool noDisplay);
// Largest surface, in bytes, CreateSurface will allocate; beyond it CreateSurface fails as out of memory.
void SetSurfaceByteLimit(std::uint64_t bytes);
// The screen-saver host ScreenSaverHostKind names (Both after Reset), to stand for one window system.
void SetScreenSaverHost(platform::ScreenSaverHost host);
// The decimal separator DecimalSeparator returns.
void SetDecimalSeparator(char separator);

// Input for the program's window, delivered by its message loop in the order injected.
void InjectLeftClick(std::int32_t x, std::int32_t y);
void InjectRightClick(std::int32_t x, std::int32_t y);
void InjectMiddleClick(std::int32_t x, std::int32_t y);
void InjectMouseMove(std::int32_t x, std::int32_t y);
void InjectKey(std::uint32_t virtualKey);
// The window manager's close command (WM_CLOSE).
void InjectClose();
// The primary screen becomes width x height: GetSystemMetrics answers with the new size from now on, and
// WM_DISPLAYCHANGE is queued (wParam 24 bits per pixel, lParam the size, as Windows sends it).
void ChangeScreen(std::int32_t width, std::int32_t height);
// A host's window, the kind a screen-saver host hands the program by number: the number for HostWindow.
// One at a time; Reset forgets it. HostWindow(0) is the screen's root window, as big as the screen.
std::uintptr_t MakeHostWindow(std::int32_t width, std::int32_t height);
// The host's window becomes width x height; the program's window inside it is told with WM_DISPLAYCHANGE.
void ResizeHostWindow(std::int32_t width, std::int32_t height);
// The host destroys its window; the program's window inside it goes with it (WM_DESTROY).
void DestroyHostWindow();
// The window loses its whole picture (black again, as if nothing had been copied to it) and needs painting.
// As on Windows, WM_PAINT is then delivered whenever no other message waits, again and again, until
// DefWindowProc has handled one; the loop is not idle before that.
void InjectPaint();

// Waits until the message loop has asked for its first message, that is start-up has finished.
bool WaitForMessageLoop(std::chrono::milliseconds timeout);
// Waits until every injected message has been handled and the loop waits for the next one, or has ended.
bool WaitForIdle(std::chrono::milliseconds timeout);

struct TextCall {
    std::int32_t X, Y;
    std::string Text;
};
std::vector<TextCall> TextCalls();
// Every copy that reached the window, already clipped to it.
std::vector<platform::CopyRect> WindowCopies();
// Called after every copy that reached the window, with the copy as logged, on the thread that made it and
// outside the platform's lock (it may call the functions here). Empty: none. Reset removes it.
void SetWindowCopyObserver(std::function<void(const platform::CopyRect&)> observer);
// Hands over the text calls and window copies logged since the last hand-over (or the Reset) and forgets
// them, so that a run of millions of frames can look at each frame's own without the logs growing.
void TakeDrawingLogs(std::vector<TextCall>& texts, std::vector<platform::CopyRect>& copies);
// Calls the main thread made, in order: "ConnectWindowSystem", "RegisterClass CopperTrowel",
// "CreateWindowEx CopperTrowel", "ShowWindow 3", "ReleaseSurface 2" (surfaces are numbered from 1 in order of
// creation), "UnregisterClass CopperTrowel", "InvalidateRect screen", "PostQuitMessage 0", "ReportFatal
// <text>", "ReportInformation <text>", "CreateWindowIn CopperTrowel", "FillRect WxH", "MessageBox <text>".
std::vector<std::string> CallLog();

struct WindowState {
    bool Exists, Visible, Destroyed;
    std::uint32_t ExStyle, Style;
    std::string ClassName, Title;
    std::int32_t X, Y, Width, Height;
    bool InHost; // made by CreateWindowIn
};
WindowState Window();
// The class as registered (Procedure, Cursor, ClassName...); Size 0 when none is registered.
platform::WindowClass RegisteredClass();
bool IsArrowCursor(platform::CursorHandle cursor);
// The colour (0x00BBGGRR) of a brush CreateSolidBrush made; false when it made no such brush.
bool BrushColour(const void* brush, std::uint32_t& colour);

// The window's picture, 3 bytes a pixel (blue, green, red), rows top to bottom, Width x Height of the window;
// black where nothing was copied.
std::vector<std::uint8_t> WindowPicture();
// Device contexts handed out by GetDC and not yet given back; surfaces created and not yet released.
std::int32_t OpenDeviceContexts();
std::int32_t LiveSurfaces();

} // namespace headless
