// The in-memory platform. Its surfaces are the plain-memory ones (memory_surface.cpp), watched from here.

#include "platform/headless.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <new>

#include "platform/memory_surface.h"

namespace platform {

struct WindowObject {
    headless::WindowState State{};
    WindowProcedure Procedure = nullptr;
    std::vector<std::uint8_t> Picture;
};

struct CursorObject {
    int Id;
};
struct ModuleObject {
    int Id;
};
struct BrushObject {
    std::uint32_t Colour;
};

} // namespace platform

namespace {

using namespace platform;

platform::CursorObject ArrowCursor{32512};
platform::ModuleObject ProgramModule{1};

// Everything below is guarded by Lock: the main thread, the simulation thread and the test thread all reach
// it.
std::mutex Lock;
std::condition_variable MessageArrived;
std::int32_t ScreenW = 640, ScreenH = 480;
bool NoDisplay = false;
std::uint64_t SurfaceByteLimit = std::uint64_t{1} << 32;
char Separator = '.';
ScreenSaverHost HostKind = ScreenSaverHost::Both;
std::unique_ptr<WindowObject> TheWindow;
// The host's window (made by the test) and the screen's root window, as HostWindow hands them out.
WindowObject TheHost;
std::uintptr_t HostId = 0;
WindowObject RootWindow;
WindowClass TheClass{};
std::deque<Message> Queue;
std::vector<std::unique_ptr<BrushObject>> Brushes;
// The window needs painting: WM_PAINT is delivered when no other message waits, until DefWindowProc handles
// one.
bool PaintPending = false;
std::function<void(const CopyRect&)> CopyObserver;
bool QuitPosted = false;
std::int32_t QuitCode = 0;
bool LoopEntered = false;
bool LoopWaiting = false;
bool LoopEnded = false;
std::vector<headless::TextCall> Texts;
std::vector<CopyRect> Copies;
std::vector<std::string> Calls;
std::int32_t OpenContexts = 0;
std::int32_t SurfacesLive = 0;
std::int32_t SurfacesMade = 0;

void Log(std::string entry) {
    std::lock_guard guard(Lock);
    Calls.push_back(std::move(entry));
}

void Post(std::uint32_t number, std::uintptr_t wParam, std::int32_t x, std::int32_t y) {
    {
        std::lock_guard guard(Lock);
        const auto lParam = static_cast<std::intptr_t>((static_cast<std::uint32_t>(y) & 0xFFFFu) << 16 |
                                                       (static_cast<std::uint32_t>(x) & 0xFFFFu));
        Queue.push_back(Message{TheWindow.get(), number, wParam, lParam});
    }
    MessageArrived.notify_all();
}

} // namespace

namespace headless {

void Reset(std::int32_t screenWidth, std::int32_t screenHeight) {
    std::lock_guard guard(Lock);
    ScreenW = screenWidth;
    ScreenH = screenHeight;
    NoDisplay = false;
    SurfaceByteLimit = std::uint64_t{1} << 32;
    Separator = '.';
    HostKind = ScreenSaverHost::Both;
    TheWindow.reset();
    TheHost = WindowObject{};
    HostId = 0;
    TheClass = WindowClass{};
    Queue.clear();
    Brushes.clear();
    PaintPending = false;
    CopyObserver = nullptr;
    QuitPosted = false;
    QuitCode = 0;
    LoopEntered = false;
    LoopWaiting = false;
    LoopEnded = false;
    Texts.clear();
    Copies.clear();
    Calls.clear();
    OpenContexts = 0;
    SurfacesMade = 0;
}

void SetNoDisplay(bool noDisplay) {
    std::lock_guard guard(Lock);
    NoDisplay = noDisplay;
}

void SetSurfaceByteLimit(std::uint64_t bytes) {
    std::lock_guard guard(Lock);
    SurfaceByteLimit = bytes;
}

void SetScreenSaverHost(platform::ScreenSaverHost host) {
    std::lock_guard guard(Lock);
    HostKind = host;
}

void SetDecimalSeparator(char separator) {
    std::lock_guard guard(Lock);
    Separator = separator;
}

void InjectLeftClick(std::int32_t x, std::int32_t y) {
    Post(WM_LBUTTONDOWN, 1, x, y);
}
void InjectRightClick(std::int32_t x, std::int32_t y) {
    Post(WM_RBUTTONDOWN, 2, x, y);
}
void InjectMiddleClick(std::int32_t x, std::int32_t y) {
    Post(WM_MBUTTONDOWN, 0x10, x, y);
}
void InjectMouseMove(std::int32_t x, std::int32_t y) {
    Post(WM_MOUSEMOVE, 0, x, y);
}
void InjectKey(std::uint32_t virtualKey) {
    Post(WM_KEYDOWN, virtualKey, 0, 0);
}
void InjectClose() {
    Post(WM_CLOSE, 0, 0, 0);
}

void ChangeScreen(std::int32_t width, std::int32_t height) {
    {
        std::lock_guard guard(Lock);
        ScreenW = width;
        ScreenH = height;
    }
    Post(WM_DISPLAYCHANGE, 24, width, height);
}

std::uintptr_t MakeHostWindow(std::int32_t width, std::int32_t height) {
    std::lock_guard guard(Lock);
    TheHost = WindowObject{};
    TheHost.State.Exists = true;
    TheHost.State.Width = width;
    TheHost.State.Height = height;
    HostId += 0x1234;
    return HostId;
}

void ResizeHostWindow(std::int32_t width, std::int32_t height) {
    bool inside = false;
    {
        std::lock_guard guard(Lock);
        TheHost.State.Width = width;
        TheHost.State.Height = height;
        inside = TheWindow && TheWindow->State.InHost;
    }
    if (inside) {
        Post(WM_DISPLAYCHANGE, 24, width, height);
    }
}

void DestroyHostWindow() {
    bool inside = false;
    {
        std::lock_guard guard(Lock);
        TheHost.State.Exists = false;
        TheHost.State.Destroyed = true;
        inside = TheWindow && TheWindow->State.InHost && !TheWindow->State.Destroyed;
        if (inside) {
            TheWindow->State.Destroyed = true;
            TheWindow->State.Visible = false;
        }
    }
    if (inside) {
        Post(WM_DESTROY, 0, 0, 0);
    }
}

void InjectPaint() {
    {
        std::lock_guard guard(Lock);
        if (!TheWindow) {
            return;
        }
        std::fill(TheWindow->Picture.begin(), TheWindow->Picture.end(), std::uint8_t{0});
        PaintPending = true;
    }
    MessageArrived.notify_all();
}

void SetWindowCopyObserver(std::function<void(const platform::CopyRect&)> observer) {
    std::lock_guard guard(Lock);
    CopyObserver = std::move(observer);
}

bool BrushColour(const void* brush, std::uint32_t& colour) {
    std::lock_guard guard(Lock);
    for (const auto& made : Brushes) {
        if (made.get() == brush) {
            colour = made->Colour;
            return true;
        }
    }
    return false;
}

bool WaitForMessageLoop(std::chrono::milliseconds timeout) {
    std::unique_lock guard(Lock);
    return MessageArrived.wait_for(guard, timeout, [] { return LoopEntered; });
}

bool WaitForIdle(std::chrono::milliseconds timeout) {
    std::unique_lock guard(Lock);
    return MessageArrived.wait_for(
        guard, timeout, [] { return (Queue.empty() && !PaintPending && LoopWaiting) || LoopEnded; });
}

std::vector<TextCall> TextCalls() {
    std::lock_guard guard(Lock);
    return Texts;
}

std::vector<CopyRect> WindowCopies() {
    std::lock_guard guard(Lock);
    return Copies;
}

void TakeDrawingLogs(std::vector<TextCall>& texts, std::vector<CopyRect>& copies) {
    std::lock_guard guard(Lock);
    texts.swap(Texts);
    Texts.clear();
    copies.swap(Copies);
    Copies.clear();
}

std::vector<std::string> CallLog() {
    std::lock_guard guard(Lock);
    return Calls;
}

WindowState Window() {
    std::lock_guard guard(Lock);
    return TheWindow ? TheWindow->State : WindowState{};
}

WindowClass RegisteredClass() {
    std::lock_guard guard(Lock);
    return TheClass;
}

bool IsArrowCursor(CursorHandle cursor) {
    return cursor == &ArrowCursor;
}

std::vector<std::uint8_t> WindowPicture() {
    std::lock_guard guard(Lock);
    return TheWindow ? TheWindow->Picture : std::vector<std::uint8_t>{};
}

std::int32_t OpenDeviceContexts() {
    std::lock_guard guard(Lock);
    return OpenContexts;
}

std::int32_t LiveSurfaces() {
    std::lock_guard guard(Lock);
    return SurfacesLive;
}

} // namespace headless

namespace platform {

bool ConnectWindowSystem() {
    Log("ConnectWindowSystem");
    std::lock_guard guard(Lock);
    if (NoDisplay) {
        std::fputs("coppertrowel: no display to open (headless platform told to have none)\n", stderr);
        return false;
    }
    return true;
}

std::int32_t GetSystemMetrics(std::int32_t index) {
    std::lock_guard guard(Lock);
    return index == SM_CXSCREEN ? ScreenW : index == SM_CYSCREEN ? ScreenH : 0;
}

ModuleHandle GetModuleHandle() {
    return &ProgramModule;
}

CursorHandle LoadCursor(StockCursor cursor) {
    return cursor == StockCursor::Arrow ? &ArrowCursor : nullptr;
}

BrushHandle CreateSolidBrush(std::uint32_t colour) {
    std::lock_guard guard(Lock);
    Brushes.push_back(std::make_unique<BrushObject>(BrushObject{colour}));
    return Brushes.back().get();
}

bool RegisterClass(const WindowClass& windowClass) {
    Log(std::string("RegisterClass ") + windowClass.ClassName);
    std::lock_guard guard(Lock);
    if (TheClass.Size != 0) {
        return false;
    }
    TheClass = windowClass;
    return true;
}

bool UnregisterClass(const char* className, ModuleHandle) {
    Log(std::string("UnregisterClass ") + className);
    std::lock_guard guard(Lock);
    if (TheClass.Size == 0 || std::strcmp(TheClass.ClassName, className) != 0) {
        return false;
    }
    TheClass = WindowClass{};
    return true;
}

WindowHandle CreateWindowEx(std::uint32_t exStyle, const char* className, const char* title,
                            std::uint32_t style, std::int32_t x, std::int32_t y, std::int32_t width,
                            std::int32_t height, ModuleHandle) {
    Log(std::string("CreateWindowEx ") + className);
    std::lock_guard guard(Lock);
    if (TheClass.Size == 0 || std::strcmp(TheClass.ClassName, className) != 0 || width <= 0 || height <= 0) {
        return nullptr;
    }
    auto window = std::make_unique<WindowObject>();
    window->State = headless::WindowState{true,  false, false, exStyle, style,  className,
                                          title, x,     y,     width,   height, false};
    window->Procedure = TheClass.Procedure;
    window->Picture.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3, 0);
    TheWindow = std::move(window);
    return TheWindow.get();
}

bool ShowWindow(WindowHandle window, std::int32_t command) {
    Log("ShowWindow " + std::to_string(command));
    std::lock_guard guard(Lock);
    if (!window) {
        return false;
    }
    window->State.Visible = true;
    return true;
}

bool MoveWindow(WindowHandle window, std::int32_t x, std::int32_t y, std::int32_t width,
                std::int32_t height) {
    Log("MoveWindow " + std::to_string(width) + "x" + std::to_string(height));
    std::lock_guard guard(Lock);
    if (!window || width <= 0 || height <= 0) {
        return false;
    }
    window->State.X = x;
    window->State.Y = y;
    window->State.Width = width;
    window->State.Height = height;
    // What the window showed is gone: the program must put its picture back.
    window->Picture.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3, 0);
    return true;
}

bool InvalidateRect(WindowHandle window, bool) {
    Log(window ? "InvalidateRect window" : "InvalidateRect screen");
    return true;
}

ScreenSaverHost ScreenSaverHostKind() {
    std::lock_guard guard(Lock);
    return HostKind;
}

WindowHandle HostWindow(std::uintptr_t id) {
    Log("HostWindow " + std::to_string(id));
    std::lock_guard guard(Lock);
    if (id == 0) {
        RootWindow.State.Exists = true;
        return &RootWindow;
    }
    return id == HostId && TheHost.State.Exists ? &TheHost : nullptr;
}

bool GetClientRect(WindowHandle window, Rect& rect) {
    std::lock_guard guard(Lock);
    if (!window || !window->State.Exists || window->State.Destroyed) {
        return false;
    }
    rect = window == &RootWindow ? Rect{0, 0, ScreenW, ScreenH}
                                 : Rect{0, 0, window->State.Width, window->State.Height};
    return true;
}

WindowHandle CreateWindowIn(WindowHandle host, const char* className, std::int32_t width, std::int32_t height,
                            ModuleHandle) {
    Log(std::string("CreateWindowIn ") + className);
    std::lock_guard guard(Lock);
    if (!host || !host->State.Exists || TheClass.Size == 0 ||
        std::strcmp(TheClass.ClassName, className) != 0 || width <= 0 || height <= 0) {
        return nullptr;
    }
    auto window = std::make_unique<WindowObject>();
    window->State = headless::WindowState{true, true,  false,  0,   WS_CHILD | WS_VISIBLE, className, "", 0,
                                          0,    width, height, true};
    window->Procedure = TheClass.Procedure;
    window->Picture.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3, 0);
    TheWindow = std::move(window);
    return TheWindow.get();
}

bool FillRect(DeviceContext dc, const Rect& rect, BrushHandle brush) {
    if (!dc || !dc->Window || !brush) {
        return false;
    }
    Log("FillRect " + std::to_string(rect.Right - rect.Left) + "x" + std::to_string(rect.Bottom - rect.Top));
    std::lock_guard guard(Lock);
    WindowObject& window = *dc->Window;
    const std::int32_t left = std::max(rect.Left, 0), top = std::max(rect.Top, 0);
    const std::int32_t right = std::min(rect.Right, window.State.Width);
    const std::int32_t bottom = std::min(rect.Bottom, window.State.Height);
    for (std::int32_t y = top; y < bottom; ++y) {
        for (std::int32_t x = left; x < right; ++x) {
            std::uint8_t* pixel =
                window.Picture.data() + (static_cast<std::size_t>(y) * window.State.Width + x) * 3;
            pixel[0] = static_cast<std::uint8_t>(brush->Colour >> 16);
            pixel[1] = static_cast<std::uint8_t>(brush->Colour >> 8);
            pixel[2] = static_cast<std::uint8_t>(brush->Colour);
        }
    }
    return true;
}

void MessageBox(WindowHandle, const char* text, const char*) {
    Log(std::string("MessageBox ") + text);
}

bool GetMessage(Message& message) {
    std::unique_lock guard(Lock);
    LoopEntered = true;
    LoopWaiting = Queue.empty() && !QuitPosted && !PaintPending;
    MessageArrived.notify_all();
    MessageArrived.wait(guard, [] { return !Queue.empty() || QuitPosted || PaintPending; });
    LoopWaiting = false;
    if (!Queue.empty()) {
        message = Queue.front();
        Queue.pop_front();
        return true;
    }
    // As on Windows: posted messages first, then the quit, and a paint only when nothing else waits.
    if (!QuitPosted) {
        message = Message{TheWindow.get(), WM_PAINT, 0, 0};
        return true;
    }
    LoopEnded = true;
    MessageArrived.notify_all();
    message = Message{nullptr, WM_QUIT, static_cast<std::uintptr_t>(QuitCode), 0};
    return false;
}

void TranslateMessage(const Message&) {}

std::intptr_t DispatchMessage(const Message& message) {
    WindowProcedure procedure = nullptr;
    {
        std::lock_guard guard(Lock);
        if (message.Window && message.Window == TheWindow.get()) {
            procedure = TheWindow->Procedure;
        }
    }
    return procedure ? procedure(message.Window, message.Number, message.WParam, message.LParam) : 0;
}

std::intptr_t DefWindowProc(WindowHandle window, std::uint32_t message, std::uintptr_t, std::intptr_t) {
    if (message == WM_PAINT) {
        // Validates the window: no more WM_PAINT until it loses its picture again.
        std::lock_guard guard(Lock);
        PaintPending = false;
        return 0;
    }
    if (message != WM_CLOSE || !window) {
        return 0;
    }
    // Closing destroys the window, and destruction reaches the window procedure as WM_DESTROY.
    WindowProcedure procedure = nullptr;
    {
        std::lock_guard guard(Lock);
        if (window->State.Destroyed) {
            return 0;
        }
        window->State.Destroyed = true;
        window->State.Visible = false;
        procedure = window->Procedure;
    }
    Log("DestroyWindow");
    if (procedure) {
        procedure(window, WM_DESTROY, 0, 0);
    }
    return 0;
}

std::intptr_t SendMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                          std::intptr_t lParam) {
    WindowProcedure procedure = nullptr;
    {
        std::lock_guard guard(Lock);
        procedure = window ? window->Procedure : nullptr;
    }
    return procedure ? procedure(window, message, wParam, lParam) : 0;
}

void PostQuitMessage(std::int32_t exitCode) {
    Log("PostQuitMessage " + std::to_string(exitCode));
    {
        std::lock_guard guard(Lock);
        QuitPosted = true;
        QuitCode = exitCode;
    }
    MessageArrived.notify_all();
}

DeviceContext GetDC(WindowHandle window) {
    std::lock_guard guard(Lock);
    if (!window) {
        return nullptr;
    }
    ++OpenContexts;
    return new DeviceContextObject{nullptr, window};
}

void ReleaseDC(WindowHandle, DeviceContext dc) {
    if (!dc || dc->Bitmap) {
        return;
    }
    std::lock_guard guard(Lock);
    --OpenContexts;
    delete dc;
}

} // namespace platform

bool memory_surface::CopyToWindow(platform::WindowObject& window, const platform::Surface& from,
                                  std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                                  std::int32_t sourceX, std::int32_t sourceY) {
    std::unique_lock guard(Lock);
    const std::int32_t toWidth = window.State.Width, toHeight = window.State.Height;
    CopyRect rect{};
    if (!ClipCopy(x, y, width, height, sourceX, sourceY, from.Width, from.Height, toWidth, toHeight, rect)) {
        return false;
    }
    for (std::int32_t r = 0; r < rect.Height; ++r) {
        std::memmove(window.Picture.data() +
                         (static_cast<std::size_t>(rect.Y + r) * static_cast<std::size_t>(toWidth) +
                          static_cast<std::size_t>(rect.X)) *
                             3,
                     memory_surface::Row(from, rect.SourceY + r) + static_cast<std::size_t>(rect.SourceX) * 3,
                     static_cast<std::size_t>(rect.Width) * 3);
    }
    Copies.push_back(rect);
    if (CopyObserver) {
        const std::function<void(const CopyRect&)> observer = CopyObserver;
        guard.unlock();
        observer(rect);
    }
    return true;
}

namespace platform {

bool TextOutA(DeviceContext dc, std::int32_t x, std::int32_t y, const char* text, std::int32_t length) {
    if (!dc || !dc->Window || !text || length < 0) {
        return false;
    }
    std::lock_guard guard(Lock);
    Texts.push_back(headless::TextCall{x, y, std::string(text, static_cast<std::size_t>(length))});
    return true;
}

namespace {
// Surfaces are numbered from 1 in order of creation, counted while they live, and refused beyond the byte
// limit, as memory that cannot be had.
bool AdmitSurface(Surface& surface, std::uint64_t bytes) {
    std::lock_guard guard(Lock);
    if (bytes > SurfaceByteLimit) {
        return false;
    }
    surface.Number = ++SurfacesMade;
    ++SurfacesLive;
    return true;
}

void SurfaceReleased(const Surface& surface) {
    Log("ReleaseSurface " + std::to_string(surface.Number));
    std::lock_guard guard(Lock);
    --SurfacesLive;
}

const bool SurfacesWatched =
    (memory_surface::Admit = AdmitSurface, memory_surface::Released = SurfaceReleased, true);

} // namespace

char DecimalSeparator() {
    std::lock_guard guard(Lock);
    return Separator;
}

void ReportFatal(const char* text) {
    Log(std::string("ReportFatal ") + text);
    std::fprintf(stderr, "%s\n", text);
}

bool ReportInformation(const char* text) {
    Log(std::string("ReportInformation ") + text);
    std::fprintf(stdout, "%s\n", text);
    return true;
}

} // namespace platform
