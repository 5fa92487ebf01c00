// Windows another program owns: a screen-saver host hands the program its window by number.

#include <cstdio>

#include "platform/x11_internal.h"

namespace platform {

ScreenSaverHost ScreenSaverHostKind() {
    return ScreenSaverHost::XWindow;
}

WindowHandle HostWindow(std::uintptr_t) {
    return nullptr;
}

bool GetClientRect(WindowHandle, Rect&) {
    return false;
}

WindowHandle CreateWindowIn(WindowHandle, const char*, std::int32_t, std::int32_t, ModuleHandle) {
    return nullptr;
}

bool FillRect(DeviceContext, const Rect&, BrushHandle) {
    return false;
}

void MessageBox(WindowHandle, const char* text, const char*) {
    ReportInformation(text);
}

} // namespace platform
