#pragma once
// What the command line asked the program to be: the demo in its own full-screen window, a screen saver that
// any input ends, or a picture drawn inside a window another program (a screen-saver host) hands it. Set by
// RunCommandLine before RunProgram; read by the main thread alone.

#include <cstdint>

enum class ProgramMode : std::uint8_t {
    Demo,        // no option: the program's own full-screen window; a left click ends it
    ScreenSaver, // Windows /s: the demo, ended by any key, any button or a mouse movement beyond a few pixels
    Preview,     // Windows /p HWND: a child window filling the host's window; no input ends it
    InsideWindow, // X11 --window-id, --root, XSCREENSAVER_WINDOW: the host's window itself is drawn into
    Configure,    // Windows /c, /c:HWND, or a .scr started without arguments: a note that there is nothing to
                  // set
};

extern ProgramMode Mode;
// The host's window as the host named it (Preview, InsideWindow; the owner of Configure's note, 0 for none).
// In InsideWindow mode 0 stands for the root window (--root with no XSCREENSAVER_WINDOW).
extern std::uintptr_t HostWindowId;

// The program draws in a window another program owns and decides about: no input ends it, a window too small
// is painted in the background alone, and the host's destroying the window ends it.
inline bool InHostWindow() {
    return Mode == ProgramMode::Preview || Mode == ProgramMode::InsideWindow;
}

// How far, in pixels along either axis, the pointer may drift from where a screen saver first saw it before
// the movement counts as the user's (a table knock, a mouse's jitter).
inline constexpr std::int32_t ScreenSaverMouseSlack = 4;

// Where a screen saver first saw the pointer: a movement ends it only beyond ScreenSaverMouseSlack from
// there. Forgotten at start-up.
struct PointerStart {
    bool Seen;
    std::int32_t X, Y;
};
extern PointerStart FirstPointer;

// Whether the message is the input that ends the program in its mode: the demo's left click; a screen
// saver's key, button, pointer movement or another program coming to the front; nothing in a host's window,
// where the host decides.
bool UserEnds(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);
