// Windows another program owns: a screen-saver host hands the program its window by number, or the program
// draws on the root window.

#include <cstdio>

#include "platform/x11_internal.h"

namespace {
// The host's window as HostWindow found it; CreateWindowIn makes the program's record of the same window.
platform::WindowObject HostRecord;
} // namespace

namespace platform {

ScreenSaverHost ScreenSaverHostKind() {
    return ScreenSaverHost::XWindow;
}

WindowHandle HostWindow(std::uintptr_t id) {
    Display* display = x11::MainDisplay;
    if (!display) {
        return nullptr;
    }
    const ::Window window = id ? static_cast<::Window>(id) : DefaultRootWindow(display);
    // A number that names no window is the user's mistake, told by the program, not an X error to report.
    x11::HostWindowXid = window;
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display, window, &attributes)) {
        return nullptr;
    }
    HostRecord = WindowObject{};
    HostRecord.Id = window;
    HostRecord.Width = attributes.width;
    HostRecord.Height = attributes.height;
    return &HostRecord;
}

bool GetClientRect(WindowHandle window, Rect& rect) {
    XWindowAttributes attributes{};
    if (!window || window->Destroyed || !x11::MainDisplay ||
        !XGetWindowAttributes(x11::MainDisplay, window->Id, &attributes)) {
        return false;
    }
    rect = Rect{0, 0, attributes.width, attributes.height};
    return true;
}

} // namespace platform
