// The message loop: X events of the program's window turned into the Windows messages the window procedure
// reads (the input that ends the program, a changed primary monitor or host window, lost window contents and
// the window's end), the default handling, and the quit message.

#include <X11/extensions/Xrandr.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <utility>

#include "platform/x11_internal.h"

namespace {

using namespace platform;

using Clock = std::chrono::steady_clock;

bool QuitPosted = false;
std::int32_t QuitCode = 0;

// A change of outputs or modes arrives as a burst of RandR events, some of them describing states half way
// through (the screen already larger, the monitor not yet): the monitors are read once the burst has been
// quiet this long.
constexpr auto ScreenSettleTime = std::chrono::milliseconds(50);
bool ScreenChanging = false;
Clock::time_point ScreenSettledAt{};
// Exposures since the last WM_PAINT; like Windows, one WM_PAINT once no other message is waiting.
bool PaintDue = false;

// Written by the signal handler, read by the message loop; both ends -1 until WatchEndSignals.
int EndSignalPipe[2] = {-1, -1};

// Only what a signal handler may do: one byte into the pipe, errno kept for the code it interrupted.
void NoteEndSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const auto written = write(EndSignalPipe[1], &byte, 1);
    errno = saved;
}

// Empties the pipe; true when a signal had written to it.
bool EndSignalArrived() {
    if (EndSignalPipe[0] < 0) {
        return false;
    }
    bool arrived = false;
    char bytes[16];
    while (read(EndSignalPipe[0], bytes, sizeof bytes) > 0) {
        arrived = true;
    }
    return arrived;
}

// Waits up to `milliseconds` (-1: for ever) for the server or an ending signal to have something.
void WaitForServerOrSignal(int milliseconds) {
    pollfd watched[2] = {{ConnectionNumber(x11::MainDisplay), POLLIN, 0}, {EndSignalPipe[0], POLLIN, 0}};
    poll(watched, EndSignalPipe[0] >= 0 ? 2 : 1, milliseconds);
}

std::intptr_t PackPoint(int x, int y) {
    return static_cast<std::intptr_t>((static_cast<std::uint32_t>(y) & 0xFFFFu) << 16 |
                                      (static_cast<std::uint32_t>(x) & 0xFFFFu));
}

// The buttons the program may end on, by X button number; the wheel (buttons 4 to 7) and any others are not
// presses of the user's.
constexpr std::uint32_t ButtonMessages[] = {0, WM_LBUTTONDOWN, WM_MBUTTONDOWN, WM_RBUTTONDOWN};

// Windows' DestroyWindow: the window procedure hears WM_DESTROY while the window still exists, then it goes.
// The program's procedure stops its drawing thread on WM_DESTROY, so by the time the X window is destroyed
// nothing can draw on it any more through another connection. A window another client has destroyed already
// (`gone`) ends the same way.
void DestroyWindow(WindowObject* window, bool gone) {
    if (window->Destroying || window->Destroyed) {
        return;
    }
    window->Destroying = true;
    if (window->Procedure) {
        window->Procedure(window, WM_DESTROY, 0, 0);
    }
    // The host's window stays the host's: the program only stops drawing in it.
    if (!window->Adopted && !gone) {
        XDestroyWindow(x11::MainDisplay, window->Id);
    }
    window->Destroyed = true;
    window->Visible = false;
    XFlush(x11::MainDisplay);
}

// With no window manager a topmost window must restack itself when another window is mapped or raised over
// it; it watches the root window's children for that. Two such windows would raise themselves in turn for
// ever: a cap on raises per second keeps that from becoming a busy loop.
void KeepAbove(const XEvent& event) {
    constexpr int mostRaisesPerSecond = 20;
    static Clock::time_point secondStart{};
    static int raises = 0;
    WindowObject* window = x11::ProgramWindow();
    const bool covered =
        window && window->RaiseWhenCovered && window->Visible &&
        (event.type == MapNotify ? event.xmap.window != window->Id : event.xconfigure.above == window->Id);
    if (!covered) {
        return;
    }
    const auto now = Clock::now();
    if (now - secondStart >= std::chrono::seconds(1)) {
        secondStart = now;
        raises = 0;
    }
    if (raises < mostRaisesPerSecond) {
        ++raises;
        XRaiseWindow(x11::MainDisplay, window->Id);
    }
}

// Fills `message` from an event of one of the program's windows; false for events that make no message.
bool Translate(XEvent& event, Message& message) {
    WindowObject* window = x11::ProgramWindow();
    if (window && window->Id != event.xany.window) {
        window = nullptr;
    }
    if ((event.type == MapNotify || event.type == ConfigureNotify) &&
        event.xany.window == DefaultRootWindow(x11::MainDisplay) && !(window && window->Adopted)) {
        KeepAbove(event);
        return false;
    }
    if (!window) {
        return false;
    }
    switch (event.type) {
    case ButtonPress:
        message = {window, event.xbutton.button < 4 ? ButtonMessages[event.xbutton.button] : 0, 0,
                   PackPoint(event.xbutton.x, event.xbutton.y)};
        return message.Number != 0;
    case MotionNotify:
        message = {window, WM_MOUSEMOVE, 0, PackPoint(event.xmotion.x, event.xmotion.y)};
        return true;
    case KeyPress:
        message = {window, WM_KEYDOWN, 0, 0};
        return true;
    case DestroyNotify:
        // Another client destroyed the window under us: the same teardown as any other end of the window,
        // rather than a process left running with nothing to show or click.
        if (event.xdestroywindow.window == window->Id) {
            DestroyWindow(window, true);
        }
        return false;
    case ClientMessage: {
        // The window manager's close command.
        static const ::Atom protocols = XInternAtom(x11::MainDisplay, "WM_PROTOCOLS", False);
        static const ::Atom deleteWindow = XInternAtom(x11::MainDisplay, "WM_DELETE_WINDOW", False);
        message = {window, WM_CLOSE, 0, 0};
        return event.xclient.message_type == protocols && event.xclient.format == 32 &&
               static_cast<::Atom>(event.xclient.data.l[0]) == deleteWindow;
    }
    case ConfigureNotify:
        // The host's window changed size: the program follows it as it follows the screen.
        message = {window, WM_DISPLAYCHANGE, 0, PackPoint(event.xconfigure.width, event.xconfigure.height)};
        return window->Adopted && event.xconfigure.window == window->Id &&
               (event.xconfigure.width != window->Width || event.xconfigure.height != window->Height);
    case Expose:
        // Contents lost where the server keeps no copy of what was covered; painted on the whole at once.
        PaintDue = true;
        return false;
    default:
        return false;
    }
}

} // namespace

namespace x11 {

void WatchEndSignals() {
    if (EndSignalPipe[0] >= 0 || pipe2(EndSignalPipe, O_NONBLOCK | O_CLOEXEC) != 0) {
        return;
    }
    struct sigaction action {};
    action.sa_handler = NoteEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

} // namespace x11

namespace platform {

bool GetMessage(Message& message) {
    Display* display = x11::MainDisplay;
    for (;;) {
        if (QuitPosted) {
            QuitPosted = false;
            message = Message{nullptr, WM_QUIT, static_cast<std::uintptr_t>(QuitCode), 0};
            return false;
        }
        // The host ends the program with a signal: the system's close command, and so the teardown.
        if (EndSignalArrived()) {
            if (WindowObject* window = x11::ProgramWindow()) {
                message = {window, WM_CLOSE, 0, 0};
                return true;
            }
        }
        // A server that dies while we wait ends the process from the connection's error handler.
        if (XPending(display) == 0) {
            if (ScreenChanging) {
                const auto left =
                    std::chrono::ceil<std::chrono::milliseconds>(ScreenSettledAt - Clock::now()).count();
                if (left > 0) {
                    WaitForServerOrSignal(static_cast<int>(left));
                    continue;
                }
                ScreenChanging = false;
                // WM_DISPLAYCHANGE only when the primary monitor has really moved or changed size, not for
                // every change of the outputs.
                if (x11::MeasureScreen() && x11::ProgramWindow()) {
                    message = {x11::ProgramWindow(), WM_DISPLAYCHANGE, 0,
                               PackPoint(x11::PrimaryWidth, x11::PrimaryHeight)};
                    return true;
                }
                continue;
            }
            if (std::exchange(PaintDue, false) && x11::ProgramWindow()) {
                message = {x11::ProgramWindow(), WM_PAINT, 0, 0};
                return true;
            }
            if (EndSignalPipe[0] >= 0) {
                WaitForServerOrSignal(-1);
                continue;
            }
        }
        XEvent event{};
        XNextEvent(display, &event);
        if (x11::ScreenEventBase >= 0 && (event.type == x11::ScreenEventBase + RRScreenChangeNotify ||
                                          event.type == x11::ScreenEventBase + RRNotify)) {
            // Keeps Xlib's idea of the screen size current, for DisplayWidth and DisplayHeight.
            XRRUpdateConfiguration(&event);
            ScreenChanging = true;
            ScreenSettledAt = Clock::now() + ScreenSettleTime;
            continue;
        }
        if (Translate(event, message)) {
            return true;
        }
    }
}

void TranslateMessage(const Message&) {} // no character messages: the program reads none

std::intptr_t DispatchMessage(const Message& message) {
    return SendMessage(message.Window, message.Number, message.WParam, message.LParam);
}

std::intptr_t DefWindowProc(WindowHandle window, std::uint32_t message, std::uintptr_t, std::intptr_t) {
    if (message == WM_CLOSE && window) {
        DestroyWindow(window, false);
    }
    return 0;
}

std::intptr_t SendMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                          std::intptr_t lParam) {
    if (!window || window->Destroyed || !window->Procedure) {
        return 0;
    }
    return window->Procedure(window, message, wParam, lParam);
}

void PostQuitMessage(std::int32_t exitCode) {
    QuitPosted = true;
    QuitCode = exitCode;
}

} // namespace platform
