// The page's backend: the canvas is the screen, at the device's pixels; a copy to the window puts the
// rectangle on the canvas; a left click and a change of the page's size come back as messages, taken by the
// page's loop on each animation frame. The page's side is web_library.js.

#include <emscripten/emscripten.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <vector>

#include "platform/memory_surface.h"

// The page's side (web_library.js).
extern "C" {
bool web_connect();
std::int32_t web_canvas_width();
std::int32_t web_canvas_height();
void web_size_canvas(std::int32_t width, std::int32_t height);
void web_put_pixels(const std::uint8_t* rgba, std::int32_t x, std::int32_t y, std::int32_t width,
                    std::int32_t height);
void web_fill(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height, std::uint32_t colour);
void web_text(std::int32_t x, std::int32_t y, const char* text, std::int32_t length);
char web_decimal_separator();
void web_report(const char* text);
void web_animate(bool (*frame)());
}

namespace platform {
struct WindowObject {
    DeviceContextObject Context;
    std::int32_t Width = 0, Height = 0;
};
struct BrushObject {
    std::uint32_t Colour;
};
struct CursorObject {};
} // namespace platform

namespace {
using namespace platform;

WindowObject Window;
WindowProcedure Procedure = nullptr;
BrushObject Brush{};
CursorObject Arrow;
std::deque<Message> Queue;
// The rows of a copy converted to the canvas's layout, a strip of about a megabyte at a time.
std::vector<std::uint8_t> Strip;
constexpr std::size_t StripBytes = 1 << 20;

void Queued(std::uint32_t number, std::uintptr_t wParam, std::intptr_t lParam) {
    Queue.push_back(Message{&Window, number, wParam, lParam});
}
} // namespace

// The page's events: a left click on the canvas, and a change of its size in device pixels (at most one
// waiting: the program follows the size the page has when it gets to it).
extern "C" EMSCRIPTEN_KEEPALIVE void web_left_button(std::int32_t x, std::int32_t y) {
    Queued(WM_LBUTTONDOWN, 0, static_cast<std::intptr_t>((y & 0xFFFF) << 16 | (x & 0xFFFF)));
}

extern "C" EMSCRIPTEN_KEEPALIVE void web_resized() {
    if (std::none_of(Queue.begin(), Queue.end(),
                     [](const Message& m) { return m.Number == WM_DISPLAYCHANGE; })) {
        Queued(WM_DISPLAYCHANGE, 0, 0);
    }
}

bool memory_surface::CopyToWindow(WindowObject& window, const Surface& from, std::int32_t x, std::int32_t y,
                                  std::int32_t width, std::int32_t height, std::int32_t sourceX,
                                  std::int32_t sourceY) {
    CopyRect rect{};
    if (!ClipCopy(x, y, width, height, sourceX, sourceY, from.Width, from.Height, window.Width, window.Height,
                  rect)) {
        return false;
    }
    const std::size_t rowBytes = 4 * static_cast<std::size_t>(rect.Width);
    const std::int32_t stripRows = static_cast<std::int32_t>(std::max<std::size_t>(1, StripBytes / rowBytes));
    Strip.resize(rowBytes * static_cast<std::size_t>(std::min(stripRows, rect.Height)));
    for (std::int32_t top = 0; top < rect.Height; top += stripRows) {
        const std::int32_t rows = std::min(stripRows, rect.Height - top);
        std::uint8_t* to = Strip.data();
        for (std::int32_t r = 0; r < rows; ++r) {
            const std::uint8_t* pixel =
                Row(from, rect.SourceY + top + r) + 3 * static_cast<std::size_t>(rect.SourceX);
            for (std::int32_t i = 0; i < rect.Width; ++i, pixel += 3, to += 4) {
                to[0] = pixel[2];
                to[1] = pixel[1];
                to[2] = pixel[0];
                to[3] = 255;
            }
        }
        web_put_pixels(Strip.data(), rect.X, rect.Y + top, rect.Width, rows);
    }
    return true;
}

namespace platform {

bool ConnectWindowSystem() {
    Queue.clear();
    return web_connect();
}

std::int32_t GetSystemMetrics(std::int32_t index) {
    return index == SM_CXSCREEN ? web_canvas_width() : index == SM_CYSCREEN ? web_canvas_height() : 0;
}

ModuleHandle GetModuleHandle() {
    return nullptr;
}

CursorHandle LoadCursor(StockCursor) {
    return &Arrow;
}

BrushHandle CreateSolidBrush(std::uint32_t colour) {
    Brush.Colour = colour;
    return &Brush;
}

bool RegisterClass(const WindowClass& windowClass) {
    Procedure = windowClass.Procedure;
    return true;
}

bool UnregisterClass(const char*, ModuleHandle) {
    Procedure = nullptr;
    return true;
}

WindowHandle CreateWindowEx(std::uint32_t, const char*, const char*, std::uint32_t, std::int32_t x,
                            std::int32_t y, std::int32_t width, std::int32_t height, ModuleHandle) {
    if (!Procedure) {
        return nullptr;
    }
    Window.Context.Window = &Window;
    MoveWindow(&Window, x, y, width, height);
    return &Window;
}

bool ShowWindow(WindowHandle window, std::int32_t) {
    return window == &Window;
}

bool MoveWindow(WindowHandle window, std::int32_t, std::int32_t, std::int32_t width, std::int32_t height) {
    if (window != &Window) {
        return false;
    }
    // A canvas given a size is cleared: only when the size changes, and the program draws it whole after.
    if (width != Window.Width || height != Window.Height) {
        Window.Width = width;
        Window.Height = height;
        web_size_canvas(width, height);
    }
    return true;
}

bool InvalidateRect(WindowHandle, bool) {
    return true; // a page has no other windows to repaint
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

bool FillRect(DeviceContext dc, const Rect& rect, BrushHandle brush) {
    if (!dc || !dc->Window || !brush) {
        return false;
    }
    web_fill(rect.Left, rect.Top, rect.Right - rect.Left, rect.Bottom - rect.Top, brush->Colour);
    return true;
}

bool PeekMessage(Message& message) {
    if (Queue.empty()) {
        return false;
    }
    message = Queue.front();
    Queue.pop_front();
    return true;
}

std::intptr_t DispatchMessage(const Message& message) {
    return Procedure ? Procedure(message.Window, message.Number, message.WParam, message.LParam) : 0;
}

std::intptr_t DefWindowProc(WindowHandle window, std::uint32_t message, std::uintptr_t, std::intptr_t) {
    if (message == WM_CLOSE) {
        SendMessage(window, WM_DESTROY, 0, 0);
    }
    return 0;
}

std::intptr_t SendMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                          std::intptr_t lParam) {
    return Procedure ? Procedure(window, message, wParam, lParam) : 0;
}

void PostQuitMessage(std::int32_t exitCode) {
    Queue.push_back(Message{nullptr, WM_QUIT, static_cast<std::uintptr_t>(exitCode), 0});
}

DeviceContext GetDC(WindowHandle window) {
    return window == &Window ? &Window.Context : nullptr;
}

void ReleaseDC(WindowHandle, DeviceContext) {}

bool TextOutA(DeviceContext dc, std::int32_t x, std::int32_t y, const char* text, std::int32_t length) {
    if (!dc || !dc->Window || !text || length < 0) {
        return false;
    }
    web_text(x, y, text, length);
    return true;
}

char DecimalSeparator() {
    return web_decimal_separator();
}

void ReportFatal(const char* text) {
    web_report(text);
}

std::int32_t GetDeviceCaps(DeviceContext, std::int32_t) {
    return 0; // a page is not told the display's refresh rate; its animation frames follow it
}

void RequestAnimationFrames(bool (*frame)()) {
    web_animate(frame);
}

} // namespace platform
