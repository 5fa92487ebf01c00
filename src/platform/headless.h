#pragma once
// The headless platform's test hook: an in-memory screen whose size the test sets, a window picture that
// receives only what is copied to it, injected input, and what the program left for the user to see. Every
// function here may be called from any thread.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace headless {

// Forgets all of an earlier run and sets the screen size, whether there is a display (ConnectWindowSystem
// fails without one) and the screen-saver host ScreenSaverHostKind names. Call it while no program runs.
void Reset(std::int32_t screenWidth, std::int32_t screenHeight, bool display = true,
           platform::ScreenSaverHost host = platform::ScreenSaverHost::Both);
// How many more surfaces CreateSurface makes before it fails as out of memory; negative (as after Reset):
// any.
void SetSurfacesLeft(std::int32_t surfaces);
void SetDecimalSeparator(char separator);

// A message for the program's window (input, WM_CLOSE), delivered by its message loop in the order injected;
// a pointer's position goes in lParam as Windows packs it.
void Inject(std::uint32_t message, std::uintptr_t wParam = 0, std::int32_t x = 0, std::int32_t y = 0);
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

// Waits until start-up has finished, every injected message has been handled and the loop waits for the next
// one, or until the loop has ended.
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
// What the user was told, in order: "ReportFatal <text>", "ReportInformation <text>".
std::vector<std::string> Told();

// What the program made of the window system, and what it left of it.
struct WindowState {
    bool Connected;         // ConnectWindowSystem was asked, display or not
    bool ClassRegistered;   // the program's class is registered now
    bool ScreenInvalidated; // the screen was told to repaint (the teardown's last word to it)
    bool Exists, Visible, Destroyed, InHost; // InHost: made by CreateWindowIn
    std::uint32_t ExStyle, Style;
    std::string Title;
    std::int32_t X, Y, Width, Height;
    std::int32_t Moves;        // MoveWindow calls that placed it
    bool ArrowCursor;          // the class shows the arrow pointer over the window, else none
    std::uint32_t ClassColour; // 0x00BBGGRR, the colour the class's brush paints lost areas in
};
WindowState Window();

// The window's picture, 3 bytes a pixel (blue, green, red), rows top to bottom, Width x Height of the window;
// black where nothing was copied.
std::vector<std::uint8_t> WindowPicture();
std::int32_t LiveSurfaces(); // created and not yet released

// What GetDeviceCaps answers for VREFRESH (after Reset: 0, not known), and the speed ReadSavedSpeed finds
// saved (0, as after Reset: none). ShowSettings only tells: "ShowSettings <speed> from <slowest> to
// <fastest>".
void SetRefreshRate(std::int32_t hertz);
void SetSavedSpeed(std::uint32_t stepsPerSecond);

} // namespace headless
