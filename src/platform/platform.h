#pragma once
// The window-system services the program uses, and nothing more. They keep the names and the meaning of the
// Windows calls the program was designed around, so the Windows backend is a thin pass-through. The other
// backends (X11, headless) provide only what the program reads: WM_DESTROY before the window goes,
// WM_DISPLAYCHANGE, one WM_PAINT for any loss of the picture, WM_CLOSE, the presses and pointer movements
// that end a mode (no releases, no characters, no key codes), the teardown once.
//
// Thread rule, written on every call below:
//   [main]  only from the main thread (the one that created the window and runs the message loop);
//   [any]   from the main thread during start-up, and from the simulation thread afterwards, never from both
//           at once (the program hands the window's drawing over once, when it starts the simulation thread).
//
// The program's own code includes this header and nothing of any window system.

#include <chrono>
#include <cstdint>

// The message numbers, flags and raster operation the program names, with their Windows values; the Windows
// backend has them all from <windows.h>, which it includes first.
#ifndef WM_DESTROY
#define WM_DESTROY 0x0002
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_ACTIVATEAPP 0x001C
#define WM_DISPLAYCHANGE 0x007E
#define WM_KEYDOWN 0x0100
#define WM_SYSKEYDOWN 0x0104
#define WM_MOUSEMOVE 0x0200
#define WM_LBUTTONDOWN 0x0201
#define WM_RBUTTONDOWN 0x0204
#define WM_MBUTTONDOWN 0x0207
#define WM_XBUTTONDOWN 0x020B
#define SRCCOPY 0x00CC0020u
#define SM_CXSCREEN 0
#define SM_CYSCREEN 1
#define SW_SHOWMAXIMIZED 3
#define WS_POPUP 0x80000000u
#define WS_CHILD 0x40000000u
#define WS_VISIBLE 0x10000000u
#define WS_EX_TOPMOST 0x00000008u
#define VREFRESH 116
#endif

namespace platform {

struct WindowObject;
struct DeviceContextObject;
struct CursorObject;
struct BrushObject;
struct ModuleObject;
struct Surface;

using WindowHandle = WindowObject*;
using DeviceContext = DeviceContextObject*;
using CursorHandle = CursorObject*;
using BrushHandle = BrushObject*;
using ModuleHandle = ModuleObject*;

using WindowProcedure = std::intptr_t (*)(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                          std::intptr_t lParam);

// Cursor names for LoadCursor, as Windows numbers them.
enum class StockCursor : std::uintptr_t { Arrow = 32512 };

// The window class record, the fields the program fills in; those of Windows' record it leaves at zero
// (style, extra bytes, instance, icons, menu) are none of the program's.
struct WindowClass {
    std::uint32_t Size; // of this record
    WindowProcedure Procedure;
    CursorHandle Cursor; // nullptr: no pointer shows over the window
    BrushHandle BackgroundBrush;
    const char* ClassName;
};

// A rectangle as Windows records one: right and bottom just outside it.
struct Rect {
    std::int32_t Left, Top, Right, Bottom;
};

struct Message {
    WindowHandle Window;
    std::uint32_t Number;
    std::uintptr_t WParam;
    std::intptr_t LParam;
};

// ---- Screen, window class and window

// [main] Connects to the window system before anything else. False when there is none to connect to; the
// backend has then told the user why (one line on standard error).
bool ConnectWindowSystem();

// [main] SM_CXSCREEN / SM_CYSCREEN: the primary screen's size in pixels.
std::int32_t GetSystemMetrics(std::int32_t index);
// [main] The program's own module.
ModuleHandle GetModuleHandle();
// [main] A system cursor.
CursorHandle LoadCursor(StockCursor cursor);
// [main] A brush of one colour (layout 0x00BBGGRR), for a class's background: the colour the window shows
// wherever the program has not drawn yet. The class owns it from registration on.
BrushHandle CreateSolidBrush(std::uint32_t colour);
// [main] Registers a class by name; returns false when the window system refuses.
bool RegisterClass(const WindowClass& windowClass);
// [main] Removes a registered class.
bool UnregisterClass(const char* className, ModuleHandle instance);
// [main] Creates a window of a registered class (no parent, no menu, no creation parameter). nullptr on
// failure. On X11 it is always the program's topmost popup, whatever the styles.
WindowHandle CreateWindowEx(std::uint32_t exStyle, const char* className, const char* title,
                            std::uint32_t style, std::int32_t x, std::int32_t y, std::int32_t width,
                            std::int32_t height, ModuleHandle instance);
// [main]
bool ShowWindow(WindowHandle window, std::int32_t command);
// [main] Moves and resizes a window; (0, 0) is the primary screen's top-left corner. Only while no other
// thread draws on the window.
bool MoveWindow(WindowHandle window, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height);
// [main] Repaint request for the other windows; nullptr for the whole screen.
bool InvalidateRect(WindowHandle window, bool erase);

// ---- Windows other programs own (screen-saver hosts)

// Which screen-saver host's conventions this window system has.
enum class ScreenSaverHost : std::uint8_t {
    Scr,     // Windows: /s full screen, /p a child window inside the host's preview window, /c the settings
    XWindow, // X11: the host's window itself is drawn into (--window-id, --root, XSCREENSAVER_WINDOW)
    Both,    // the headless platform, which imitates either
};
// [any]
ScreenSaverHost ScreenSaverHostKind();
// [main] After ConnectWindowSystem: the window another program named by this number (an HWND on Windows, an
// X window id on X11, where 0 is the root window of the default screen). nullptr when there is no such
// window.
WindowHandle HostWindow(std::uintptr_t id);
// [main] The window's inside: Left and Top 0, Right and Bottom its width and height. False when the window is
// gone.
bool GetClientRect(WindowHandle window, Rect& rect);
// [main] A window of a registered class that the program draws in, filling the host's window from its
// top-left corner at width x height: on Windows a WS_CHILD | WS_VISIBLE window inside it; on X11 the host's
// window itself, never mapped, raised, moved or resized by the program, with no input selected on it.
// nullptr on failure. Either way, the host window's size changes reach the window procedure as
// WM_DISPLAYCHANGE, and its destruction as WM_DESTROY; MoveWindow on it changes only the program's idea of
// its size where the window is the host's own.
WindowHandle CreateWindowIn(WindowHandle host, const char* className, std::int32_t width, std::int32_t height,
                            ModuleHandle instance);
// [main] Fills a rectangle of a device context with a brush's colour (clipped to what the context covers).
bool FillRect(DeviceContext dc, const Rect& rect, BrushHandle brush);

// ---- Messages

// [main] Waits for the next message of the thread; false on the quit message. A window system that dies under
// the program ends the process from here with a message and a non-zero status instead of returning.
bool GetMessage(Message& message);
// [main]
void TranslateMessage(const Message& message);
// [main] Calls the window procedure of the message's window.
std::intptr_t DispatchMessage(const Message& message);
// [main] The default handling: WM_CLOSE destroys the window (which sends WM_DESTROY), everything else is
// ignored.
std::intptr_t DefWindowProc(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                            std::intptr_t lParam);
// [main] Calls the window procedure at once and returns its result.
std::intptr_t SendMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                          std::intptr_t lParam);
// [main] Makes GetMessage return false once the messages already queued have been handled.
void PostQuitMessage(std::int32_t exitCode);

// ---- Drawing

// [any] The window's device context, for copies and text; give it back with ReleaseDC on the same thread.
DeviceContext GetDC(WindowHandle window);
// [any]
void ReleaseDC(WindowHandle window, DeviceContext dc);
// [any] Copies a rectangle with SRCCOPY. Every rectangle is clipped to source and destination (ClipCopy), so
// nothing outside either is read or written whatever the caller passes.
bool BitBlt(DeviceContext destination, std::int32_t x, std::int32_t y, std::int32_t width,
            std::int32_t height, DeviceContext source, std::int32_t sourceX, std::int32_t sourceY,
            std::uint32_t rasterOperation);
// [any] Text with the device context's defaults: black on an opaque white box, the system's fixed font.
bool TextOutA(DeviceContext dc, std::int32_t x, std::int32_t y, const char* text, std::int32_t length);

// ---- Off-screen 24-bit surfaces

// [main] A 24-bit surface with its own device context, contents unset. nullptr when the memory cannot be had
// or the size is not positive.
Surface* CreateSurface(std::int32_t width, std::int32_t height);
// [main] Fills the whole surface with a colour in the layout 0x00BBGGRR.
void FillSurface(Surface* surface, std::uint32_t colour);
// [any]
std::int32_t SurfaceWidth(const Surface* surface);
// [any]
std::int32_t SurfaceHeight(const Surface* surface);
// [any] Address of the first byte (blue of pixel 0) of row y, 0 <= y < height, y = 0 the top row. Pixels are
// 3 bytes, blue, green, red; whatever the row order and padding in memory.
std::uint8_t* SurfaceRow(Surface* surface, std::int32_t y);
// [any] The device context with the surface selected, a source and a destination for BitBlt.
DeviceContext SurfaceDC(Surface* surface);
// [main] Destroys the surface, its pixels and its device context. nullptr is ignored.
void ReleaseSurface(Surface* surface);

// ---- The user's locale, and texts for the user

// [any] The decimal separator of the user's regional settings, '.' where none is set.
char DecimalSeparator();
// [main] Tells the user why the program cannot start or go on: the text and a line end on standard error; on
// Windows, where a windowed program started from the desktop has none, in the console it was started from,
// else in a message box.
void ReportFatal(const char* text);
// [main] A text the user asked for (the help, the version), with a line end, the same way on standard output.
// False when it could not be written.
bool ReportInformation(const char* text);

// ---- Pacing and settings

// [any] VREFRESH: the refresh rate, in hertz, of the monitor the device context's window covers; 0 or 1 where
// the window system cannot tell.
std::int32_t GetDeviceCaps(DeviceContext dc, std::int32_t index);
// [any] The simulation thread's sleep between paced frames, precise to about a millisecond: returns when the
// steady clock reaches `due`, or as soon as WakeSleeper is called, whichever comes first; at once when `due`
// has passed or a wake is pending (which it then consumes).
void SleepUntil(std::chrono::steady_clock::time_point due);
// [main] Ends the SleepUntil under way at once, or the next one when none is under way.
void WakeSleeper();
// [main] The speed, in steps per second, the user chose in the screen saver's settings; false when none is
// saved or what is saved is damaged.
bool ReadSavedSpeed(std::uint32_t& stepsPerSecond);
// [main] The screen saver's settings: a speed slider from `slowest` to `fastest` set at `speed`, OK and
// Cancel, owned by `owner` (nullptr: the window in front, which started them). OK saves the slider's value
// for ReadSavedSpeed, Cancel nothing. Returns when the user has closed it.
void ShowSettings(WindowHandle owner, std::uint32_t speed, std::uint32_t slowest, std::uint32_t fastest);

// ---- A page's loop (the web backend alone)

// [main] The next message queued, without waiting: false when none is.
bool PeekMessage(Message& message);
// [main] Calls `frame` on each of the page's animation frames (at the display's rate; none while the page
// is hidden) until it returns false; returns at once.
void RequestAnimationFrames(bool (*frame)());

// ---- Clipping shared by every backend

struct CopyRect {
    std::int32_t X, Y, Width, Height; // destination
    std::int32_t SourceX, SourceY;    // source corner
};

// Clips a copy of width x height pixels from (sourceX, sourceY) in a source of sourceWidth x sourceHeight to
// (x, y) in a destination of destinationWidth x destinationHeight. Returns false when nothing remains;
// otherwise the rectangle lies inside both. Safe for any int32 input (no overflow).
bool ClipCopy(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height, std::int32_t sourceX,
              std::int32_t sourceY, std::int32_t sourceWidth, std::int32_t sourceHeight,
              std::int32_t destinationWidth, std::int32_t destinationHeight, CopyRect& clipped);

} // namespace platform
