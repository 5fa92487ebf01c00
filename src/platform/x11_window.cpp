// The window class, the cursor and the window: a popup covering the screen and kept above, the way a window
// manager understands it when one runs, and as an override-redirect window when none does.

#include <X11/Xatom.h>
#include <X11/cursorfont.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <vector>

#include "platform/x11_internal.h"

namespace {

using namespace platform;

// The program registers one class, with one brush, and has one window; a second of either is refused.
WindowClass TheClass{};
BrushObject Brush;
std::unique_ptr<WindowObject> TheWindow;
CursorObject Arrow;

bool IsTheClass(const char* name) {
    return name && TheClass.ClassName && std::strcmp(name, TheClass.ClassName) == 0;
}

::Atom AtomNamed(const char* name) {
    return XInternAtom(x11::MainDisplay, name, False);
}

// The 32-bit items of a window's property of the given type; none when it is missing or of another type.
std::vector<unsigned long> Property(::Window window, const char* name, ::Atom type) {
    ::Atom actualType = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<unsigned long> items;
    if (XGetWindowProperty(x11::MainDisplay, window, AtomNamed(name), 0, 4096, False, type, &actualType,
                           &format, &count, &after, &data) == Success &&
        data && actualType == type && format == 32) {
        const auto* values = reinterpret_cast<const unsigned long*>(data);
        items.assign(values, values + count);
    }
    if (data) {
        XFree(data);
    }
    return items;
}

// A window manager that follows the extended hints names a window of its own on the root window, and that
// window names itself the same way; a stale property left by a manager that has gone fails the second test.
bool WindowManagerRunning() {
    const auto manager = Property(DefaultRootWindow(x11::MainDisplay), "_NET_SUPPORTING_WM_CHECK", XA_WINDOW);
    if (manager.empty() || manager[0] == 0) {
        return false;
    }
    // The child may have gone with its manager: ask with an error handler that only notes it.
    XSync(x11::MainDisplay, False);
    auto* previous = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    const auto itself = Property(manager[0], "_NET_SUPPORTING_WM_CHECK", XA_WINDOW);
    XSync(x11::MainDisplay, False);
    XSetErrorHandler(previous);
    return !itself.empty() && itself[0] == manager[0];
}

// Whether the atom list `property` of `window` holds `wanted`.
bool Lists(::Window window, const char* property, ::Atom wanted) {
    const auto atoms = Property(window, property, XA_ATOM);
    return std::find(atoms.begin(), atoms.end(), wanted) != atoms.end();
}

bool CoversPrimary(const WindowObject& window) {
    return window.Width == x11::PrimaryWidth && window.Height == x11::PrimaryHeight;
}

void SetHints(WindowObject& window, const char* className, const char* title, bool managed) {
    Display* display = x11::MainDisplay;
    XTextProperty name{};
    char* titleText = const_cast<char*>(title ? title : "");
    XStringListToTextProperty(&titleText, 1, &name);
    XClassHint classHint{};
    classHint.res_name = const_cast<char*>("coppertrowel");
    classHint.res_class = const_cast<char*>(className);
    XWMHints wmHints{};
    wmHints.flags = InputHint | StateHint;
    wmHints.input = True;
    wmHints.initial_state = NormalState;
    XSizeHints sizeHints{};
    sizeHints.flags = USPosition | USSize;
    XSetWMProperties(display, window.Id, &name, &name, nullptr, 0, &sizeHints, &wmHints, &classHint);
    if (name.value) {
        XFree(name.value);
    }

    ::Atom deleteWindow = AtomNamed("WM_DELETE_WINDOW");
    XSetWMProtocols(display, window.Id, &deleteWindow, 1);
    const long pid = getpid();
    XChangeProperty(display, window.Id, AtomNamed("_NET_WM_PID"), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pid), 1);
    if (!managed) {
        return;
    }
    // No caption and no border: the decorations field of the hints the managers read.
    const long motif[5] = {2 /* the decorations field is set */, 0, 0, 0, 0};
    const ::Atom motifHints = AtomNamed("_MOTIF_WM_HINTS");
    XChangeProperty(display, window.Id, motifHints, motifHints, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(motif), 5);
    // ABOVE before FULLSCREEN: some managers hold the two as exclusive and keep whichever came last.
    window.RequestedStates[0] = AtomNamed("_NET_WM_STATE_ABOVE");
    if (CoversPrimary(window)) {
        window.RequestedStates[1] = AtomNamed("_NET_WM_STATE_FULLSCREEN");
    }
    // Full screen is asked for only once the window is mapped: a manager that finds it in the property as it
    // maps the window may fit it to a monitor of its own choosing, or under its own bars.
    const long above = static_cast<long>(window.RequestedStates[0]);
    XChangeProperty(display, window.Id, AtomNamed("_NET_WM_STATE"), XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&above), 1);
}

void SendToManager(const WindowObject& window, const char* type, std::array<long, 5> data) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window.Id;
    event.xclient.message_type = AtomNamed(type);
    event.xclient.format = 32;
    std::copy(data.begin(), data.end(), event.xclient.data.l);
    XSendEvent(x11::MainDisplay, DefaultRootWindow(x11::MainDisplay), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
}

// Asks the manager for the states the window lacks; some managers ignore the property on a window they have
// already mapped. One request per state, ABOVE first, so that a manager holding ABOVE and
// FULLSCREEN as exclusive ends on FULLSCREEN; and nothing once the window is full screen, or such a manager
// would take it out of full screen and back. A manager left to choose the monitor of a full-screen window may
// choose the one at the root's origin: where it takes a list of monitors, it is told the primary one first.
void RequestStates(const WindowObject& window) {
    constexpr long add = 1, fromApplication = 1;
    const ::Atom fullScreen = AtomNamed("_NET_WM_STATE_FULLSCREEN");
    const bool wantsFullScreen = window.RequestedStates[1] == fullScreen;
    if (wantsFullScreen && x11::PrimaryMonitor >= 0 &&
        Lists(DefaultRootWindow(x11::MainDisplay), "_NET_SUPPORTED",
              AtomNamed("_NET_WM_FULLSCREEN_MONITORS"))) {
        const long m = x11::PrimaryMonitor;
        SendToManager(window, "_NET_WM_FULLSCREEN_MONITORS", {m, m, m, m, fromApplication});
    }
    if (wantsFullScreen && Lists(window.Id, "_NET_WM_STATE", fullScreen)) {
        return;
    }
    for (const ::Atom requested : window.RequestedStates) {
        if (requested && !Lists(window.Id, "_NET_WM_STATE", requested)) {
            SendToManager(window, "_NET_WM_STATE",
                          {add, static_cast<long>(requested), 0, fromApplication, 0});
        }
    }
}

// Showing a window is synchronous on Windows: what is drawn right after appears. A window manager maps the
// window when it gets round to it, so wait (a bounded time) for the server to say the window can be seen. A
// manager that is still starting up may drop the request: ask again every half second.
void WaitUntilExposed(const WindowObject& window) {
    using Clock = std::chrono::steady_clock;
    constexpr auto askAgain = std::chrono::milliseconds(500);
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    auto nextRequest = Clock::now() + askAgain;
    XEvent event{};
    while (!XCheckTypedWindowEvent(x11::MainDisplay, window.Id, Expose, &event)) {
        const auto now = Clock::now();
        if (now >= deadline) {
            return;
        }
        if (now >= nextRequest) {
            XMapRaised(x11::MainDisplay, window.Id);
            RequestStates(window);
            XFlush(x11::MainDisplay);
            nextRequest = now + askAgain;
        }
        const auto wait =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::min(deadline, nextRequest) - now);
        pollfd socket{ConnectionNumber(x11::MainDisplay), POLLIN, 0};
        poll(&socket, 1, static_cast<int>(wait.count()) + 1);
        // Reads what arrived (and notices a dead server) without taking anything off the queue.
        XEventsQueued(x11::MainDisplay, QueuedAfterReading);
    }
}

// Drops the record of a window that is gone, so that another may be made (the X11 benchmark makes one a
// size).
void ForgetWindow() {
    if (TheWindow && TheWindow->OwnColormap) {
        XFreeColormap(x11::MainDisplay, TheWindow->OwnColormap);
    }
    TheWindow.reset();
}

// A record for the program's window of the registered class, one window at a time (one that is gone is
// forgotten first); nullptr for any other class, a second window or no size.
std::unique_ptr<WindowObject> NewWindow(const char* className, std::int32_t width, std::int32_t height) {
    if (TheWindow && TheWindow->Destroyed) {
        ForgetWindow();
    }
    if (!x11::MainDisplay || TheWindow || !IsTheClass(className) || width <= 0 || height <= 0) {
        return nullptr;
    }
    auto window = std::make_unique<WindowObject>();
    window->Procedure = TheClass.Procedure;
    window->Width = width;
    window->Height = height;
    return window;
}

} // namespace

namespace x11 {

WindowObject* ProgramWindow() {
    return TheWindow && !TheWindow->Destroyed ? TheWindow.get() : nullptr;
}

void DestroyAllWindows() {
    ReleaseMainDrawing();
    if (TheWindow && !TheWindow->Destroyed && !TheWindow->Adopted) {
        XDestroyWindow(MainDisplay, TheWindow->Id);
    }
    ForgetWindow();
    if (Arrow.Id) {
        XFreeCursor(MainDisplay, Arrow.Id);
        Arrow.Id = 0;
    }
}

} // namespace x11

namespace platform {

CursorHandle LoadCursor(StockCursor cursor) {
    if (cursor != StockCursor::Arrow || !x11::MainDisplay) {
        return nullptr;
    }
    if (!Arrow.Id) {
        Arrow.Id = XCreateFontCursor(x11::MainDisplay, XC_left_ptr);
    }
    return &Arrow;
}

BrushHandle CreateSolidBrush(std::uint32_t colour) {
    Brush.Colour = colour;
    return &Brush;
}

bool RegisterClass(const WindowClass& windowClass) {
    if (!windowClass.ClassName || !windowClass.Procedure || TheClass.ClassName) {
        return false;
    }
    TheClass = windowClass;
    return true;
}

bool UnregisterClass(const char* className, ModuleHandle) {
    if (!IsTheClass(className)) {
        return false;
    }
    TheClass = WindowClass{};
    return true;
}

// The program's window is always a topmost popup (WS_EX_TOPMOST, WS_POPUP): no caption, no border, above the
// others.
WindowHandle CreateWindowEx(std::uint32_t, const char* className, const char* title, std::uint32_t,
                            std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                            ModuleHandle) {
    Display* display = x11::MainDisplay;
    // X sizes and positions are 16-bit.
    auto window = width <= 32767 && height <= 32767 ? NewWindow(className, width, height) : nullptr;
    Visual* visual = window ? x11::VisualOn(display) : nullptr;
    if (!visual) {
        return nullptr;
    }
    const bool managed = WindowManagerRunning();
    const ::Window root = DefaultRootWindow(display);

    XSetWindowAttributes attributes{};
    unsigned long mask = CWEventMask | CWBorderPixel | CWColormap | CWOverrideRedirect | CWBackingStore;
    attributes.event_mask =
        ButtonPressMask | PointerMotionMask | KeyPressMask | ExposureMask | StructureNotifyMask;
    attributes.border_pixel = 0;
    // The window has no paint handling: it draws only its frames. The server keeps what another window
    // covers, or uncovering would leave that window's pixels behind until a frame happens to pass over them.
    attributes.backing_store = WhenMapped;
    const bool defaultVisual = visual == DefaultVisual(display, DefaultScreen(display));
    attributes.colormap = defaultVisual ? DefaultColormap(display, DefaultScreen(display))
                                        : XCreateColormap(display, root, visual, AllocNone);
    // Without a manager nothing would keep the popup above the others or free of decorations.
    attributes.override_redirect = managed ? False : True;
    // The server paints the background wherever the window has lost its contents, before the program
    // draws there: the class's colour, so no white or black ever shows.
    if (const BrushObject* brush = TheClass.BackgroundBrush) {
        mask |= CWBackPixel;
        attributes.background_pixel = x11::WindowPixel(brush->Colour);
    }
    if (const CursorObject* cursor = TheClass.Cursor; cursor && cursor->Id) {
        mask |= CWCursor;
        attributes.cursor = cursor->Id;
    }

    window->RaiseWhenCovered = !managed;
    // The program's (0, 0) is the primary monitor's top-left corner, as on Windows.
    window->Id = XCreateWindow(display, root, x11::PrimaryX + x, x11::PrimaryY + y,
                               static_cast<unsigned>(width), static_cast<unsigned>(height), 0,
                               x11::WindowDepth, InputOutput, visual, mask, &attributes);
    // Xlib names the window at once; a refusal comes back later as an X error, through the handler.
    window->OwnColormap = defaultVisual ? 0 : attributes.colormap;
    SetHints(*window, className, title, managed);
    if (window->RaiseWhenCovered) {
        // Windows mapped or raised later are reported here, so the window can put itself back on top.
        XSelectInput(display, root, SubstructureNotifyMask);
    }
    TheWindow = std::move(window);
    return TheWindow.get();
}

WindowHandle CreateWindowIn(WindowHandle host, const char* className, std::int32_t width, std::int32_t height,
                            ModuleHandle) {
    Display* display = x11::MainDisplay;
    auto window = host ? NewWindow(className, width, height) : nullptr;
    XWindowAttributes attributes{};
    if (!window || !XGetWindowAttributes(display, host->Id, &attributes) ||
        !x11::AdoptVisual(attributes.visual, attributes.depth)) {
        return nullptr;
    }
    window->Id = host->Id;
    window->Adopted = true;
    window->Visible = true;
    // Its size, its end and its lost contents; the input is the host's to read.
    XSelectInput(display, window->Id, StructureNotifyMask | ExposureMask);
    x11::WatchEndSignals();
    XFlush(display);
    TheWindow = std::move(window);
    return TheWindow.get();
}

// The program only ever shows its window.
bool ShowWindow(WindowHandle window, std::int32_t) {
    if (!window || window->Destroyed) {
        return false;
    }
    if (window->Adopted) {
        return true; // the host shows it
    }
    const bool wasVisible = window->Visible;
    XMapRaised(x11::MainDisplay, window->Id);
    RequestStates(*window);
    window->Visible = true;
    if (!wasVisible) {
        WaitUntilExposed(*window);
        // Managed now: a manager that was still starting up may have taken the first requests too early.
        RequestStates(*window);
        XFlush(x11::MainDisplay);
    }
    return wasVisible;
}

// The window follows the screen: with no manager it moves itself; a manager keeping it full screen fits it
// to the monitor it is told, so the request goes again with the primary monitor as it is now.
bool MoveWindow(WindowHandle window, std::int32_t x, std::int32_t y, std::int32_t width,
                std::int32_t height) {
    if (!window || window->Destroyed || width <= 0 || height <= 0 || width > 32767 || height > 32767) {
        return false;
    }
    window->Width = width;
    window->Height = height;
    if (window->Adopted) {
        return true; // the host's size, which the program follows
    }
    XMoveResizeWindow(x11::MainDisplay, window->Id, x11::PrimaryX + x, x11::PrimaryY + y,
                      static_cast<unsigned>(width), static_cast<unsigned>(height));
    if (window->Visible && CoversPrimary(*window)) {
        RequestStates(*window);
    }
    XFlush(x11::MainDisplay);
    return true;
}

bool InvalidateRect(WindowHandle, bool) {
    // The server repaints whatever a window uncovers by itself: there is nothing to ask for.
    return true;
}

} // namespace platform
