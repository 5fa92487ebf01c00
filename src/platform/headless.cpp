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
#include <utility>

#include "platform/memory_surface.h"

namespace platform {

struct WindowObject {
    headless::WindowState State{};
    WindowProcedure Procedure = nullptr;
    std::vector<std::uint8_t> Picture;
    DeviceContextObject Context; // the window's own, made with it
};

struct CursorObject {};
struct BrushObject {
    std::uint32_t Colour;
};

} // namespace platform

namespace {

using namespace platform;

CursorObject ArrowCursor;

// Everything below is guarded by Lock: the main thread, the simulation thread and the test thread all reach
// it.
std::mutex Lock;
std::condition_variable MessageArrived;
// One run of the program: what Reset forgets.
struct RunState {
    std::int32_t ScreenW = 640, ScreenH = 480;
    bool NoDisplay = false;
    char Separator = '.';
    ScreenSaverHost HostKind = ScreenSaverHost::Both;
    std::int32_t SurfacesLeft = -1; // below 0: no limit
    // The one class (its name, procedure, pointer and brush), the one brush, and what the program did with
    // the window system beyond its window.
    WindowClass TheClass{};
    BrushObject TheBrush{};
    headless::WindowState System{};
    std::unique_ptr<WindowObject> TheWindow;
    // The host's window (made by the test) and the screen's root window, as HostWindow hands them out.
    WindowObject TheHost, RootWindow;
    std::uintptr_t HostId = 0;
    std::deque<Message> Queue;
    // The window needs painting: WM_PAINT is delivered when no other message waits, until DefWindowProc
    // handles one.
    bool PaintPending = false;
    std::function<void(const CopyRect&)> CopyObserver;
    bool QuitPosted = false, LoopWaiting = false, LoopEnded = false;
    std::int32_t QuitCode = 0;
    std::vector<headless::TextCall> Texts;
    std::vector<CopyRect> Copies;
    std::vector<std::string> ToldTexts;
    std::int32_t RefreshRate = 0; // what VREFRESH answers
    std::uint32_t SavedSpeed = 0; // 0: none saved
};
RunState Run;
std::int32_t SurfacesLive = 0;

void Tell(const char* how, const char* text) {
    std::lock_guard guard(Lock);
    Run.ToldTexts.push_back(std::string(how) + " " + text);
}

// A window of the class, width x height, black until something is copied to it.
std::unique_ptr<WindowObject> MakeWindow(std::int32_t width, std::int32_t height) {
    auto window = std::make_unique<WindowObject>();
    window->Context.Window = window.get();
    window->State.Exists = true;
    window->State.Width = width;
    window->State.Height = height;
    window->Procedure = Run.TheClass.Procedure;
    window->Picture.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3, 0);
    return window;
}

bool IsTheClass(const char* className) {
    return Run.TheClass.ClassName && std::strcmp(Run.TheClass.ClassName, className) == 0;
}

// Queues a message for the program's window, a point packed in lParam as Windows packs it; Lock held.
void Post(std::uint32_t number, std::uintptr_t wParam, std::int32_t x, std::int32_t y) {
    const auto lParam = static_cast<std::intptr_t>((static_cast<std::uint32_t>(y) & 0xFFFFu) << 16 |
                                                   (static_cast<std::uint32_t>(x) & 0xFFFFu));
    Run.Queue.push_back(Message{Run.TheWindow.get(), number, wParam, lParam});
    MessageArrived.notify_all();
}

} // namespace

namespace headless {

void Reset(std::int32_t screenWidth, std::int32_t screenHeight, bool display,
           platform::ScreenSaverHost host) {
    std::lock_guard guard(Lock);
    Run = RunState{};
    Run.ScreenW = screenWidth;
    Run.ScreenH = screenHeight;
    Run.NoDisplay = !display;
    Run.HostKind = host;
}

void SetSurfacesLeft(std::int32_t surfaces) {
    std::lock_guard guard(Lock);
    Run.SurfacesLeft = surfaces;
}

void SetDecimalSeparator(char separator) {
    std::lock_guard guard(Lock);
    Run.Separator = separator;
}

void Inject(std::uint32_t number, std::uintptr_t wParam, std::int32_t x, std::int32_t y) {
    std::lock_guard guard(Lock);
    Post(number, wParam, x, y);
}

void ChangeScreen(std::int32_t width, std::int32_t height) {
    std::lock_guard guard(Lock);
    Run.ScreenW = width;
    Run.ScreenH = height;
    Post(WM_DISPLAYCHANGE, 24, width, height);
}

std::uintptr_t MakeHostWindow(std::int32_t width, std::int32_t height) {
    std::lock_guard guard(Lock);
    Run.TheHost = WindowObject{};
    Run.TheHost.State.Exists = true;
    Run.TheHost.State.Width = width;
    Run.TheHost.State.Height = height;
    Run.HostId += 0x1234;
    return Run.HostId;
}

void ResizeHostWindow(std::int32_t width, std::int32_t height) {
    std::lock_guard guard(Lock);
    Run.TheHost.State.Width = width;
    Run.TheHost.State.Height = height;
    if (Run.TheWindow && Run.TheWindow->State.InHost) {
        Post(WM_DISPLAYCHANGE, 24, width, height);
    }
}

void DestroyHostWindow() {
    std::lock_guard guard(Lock);
    Run.TheHost.State.Exists = false;
    Run.TheHost.State.Destroyed = true;
    if (Run.TheWindow && Run.TheWindow->State.InHost && !Run.TheWindow->State.Destroyed) {
        Run.TheWindow->State.Destroyed = true;
        Run.TheWindow->State.Visible = false;
        Post(WM_DESTROY, 0, 0, 0);
    }
}

void InjectPaint() {
    std::lock_guard guard(Lock);
    if (Run.TheWindow) {
        std::fill(Run.TheWindow->Picture.begin(), Run.TheWindow->Picture.end(), std::uint8_t{0});
        Run.PaintPending = true;
        MessageArrived.notify_all();
    }
}

void SetWindowCopyObserver(std::function<void(const platform::CopyRect&)> observer) {
    std::lock_guard guard(Lock);
    Run.CopyObserver = std::move(observer);
}

bool WaitForIdle(std::chrono::milliseconds timeout) {
    std::unique_lock guard(Lock);
    return MessageArrived.wait_for(guard, timeout, [] {
        return (Run.Queue.empty() && !Run.PaintPending && Run.LoopWaiting) || Run.LoopEnded;
    });
}

std::vector<TextCall> TextCalls() {
    std::lock_guard guard(Lock);
    return Run.Texts;
}

std::vector<CopyRect> WindowCopies() {
    std::lock_guard guard(Lock);
    return Run.Copies;
}

void TakeDrawingLogs(std::vector<TextCall>& texts, std::vector<CopyRect>& copies) {
    std::lock_guard guard(Lock);
    texts = std::exchange(Run.Texts, {});
    copies = std::exchange(Run.Copies, {});
}

std::vector<std::string> Told() {
    std::lock_guard guard(Lock);
    return Run.ToldTexts;
}

WindowState Window() {
    std::lock_guard guard(Lock);
    WindowState state = Run.TheWindow ? Run.TheWindow->State : WindowState{};
    state.Connected = Run.System.Connected;
    state.ScreenInvalidated = Run.System.ScreenInvalidated;
    state.Moves = Run.System.Moves;
    state.ClassRegistered = Run.TheClass.ClassName != nullptr;
    state.ArrowCursor = Run.TheClass.Cursor == &ArrowCursor;
    state.ClassColour = Run.TheClass.BackgroundBrush ? Run.TheBrush.Colour : 0; // the one brush there is
    return state;
}

std::vector<std::uint8_t> WindowPicture() {
    std::lock_guard guard(Lock);
    return Run.TheWindow ? Run.TheWindow->Picture : std::vector<std::uint8_t>{};
}

std::int32_t LiveSurfaces() {
    std::lock_guard guard(Lock);
    return SurfacesLive;
}

} // namespace headless

namespace platform {

bool ConnectWindowSystem() {
    std::lock_guard guard(Lock);
    Run.System.Connected = true;
    if (Run.NoDisplay) {
        std::fputs("coppertrowel: no display to open (headless platform told to have none)\n", stderr);
        return false;
    }
    return true;
}

std::int32_t GetSystemMetrics(std::int32_t index) {
    std::lock_guard guard(Lock);
    return index == SM_CXSCREEN ? Run.ScreenW : index == SM_CYSCREEN ? Run.ScreenH : 0;
}

ModuleHandle GetModuleHandle() {
    return nullptr; // one program, nothing to tell apart
}

CursorHandle LoadCursor(StockCursor cursor) {
    return cursor == StockCursor::Arrow ? &ArrowCursor : nullptr;
}

BrushHandle CreateSolidBrush(std::uint32_t colour) {
    std::lock_guard guard(Lock);
    Run.TheBrush.Colour = colour;
    return &Run.TheBrush;
}

bool RegisterClass(const WindowClass& windowClass) {
    std::lock_guard guard(Lock);
    if (Run.TheClass.ClassName) {
        return false;
    }
    Run.TheClass = windowClass;
    return true;
}

bool UnregisterClass(const char* className, ModuleHandle) {
    std::lock_guard guard(Lock);
    if (!IsTheClass(className)) {
        return false;
    }
    Run.TheClass = WindowClass{};
    return true;
}

WindowHandle CreateWindowEx(std::uint32_t exStyle, const char* className, const char* title,
                            std::uint32_t style, std::int32_t x, std::int32_t y, std::int32_t width,
                            std::int32_t height, ModuleHandle) {
    std::lock_guard guard(Lock);
    if (!IsTheClass(className) || width <= 0 || height <= 0) {
        return nullptr;
    }
    Run.TheWindow = MakeWindow(width, height);
    Run.TheWindow->State.ExStyle = exStyle;
    Run.TheWindow->State.Style = style;
    Run.TheWindow->State.Title = title;
    Run.TheWindow->State.X = x;
    Run.TheWindow->State.Y = y;
    return Run.TheWindow.get();
}

bool ShowWindow(WindowHandle window, std::int32_t) {
    std::lock_guard guard(Lock);
    if (!window) {
        return false;
    }
    window->State.Visible = true;
    return true;
}

bool MoveWindow(WindowHandle window, std::int32_t x, std::int32_t y, std::int32_t width,
                std::int32_t height) {
    std::lock_guard guard(Lock);
    if (!window || width <= 0 || height <= 0) {
        return false;
    }
    ++Run.System.Moves;
    window->State.X = x;
    window->State.Y = y;
    window->State.Width = width;
    window->State.Height = height;
    // What the window showed is gone: the program must put its picture back.
    window->Picture.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3, 0);
    return true;
}

bool InvalidateRect(WindowHandle window, bool) {
    std::lock_guard guard(Lock);
    Run.System.ScreenInvalidated |= window == nullptr;
    return true;
}

ScreenSaverHost ScreenSaverHostKind() {
    std::lock_guard guard(Lock);
    return Run.HostKind;
}

WindowHandle HostWindow(std::uintptr_t id) {
    std::lock_guard guard(Lock);
    if (id == 0) {
        Run.RootWindow.State.Exists = true;
        return &Run.RootWindow;
    }
    return id == Run.HostId && Run.TheHost.State.Exists ? &Run.TheHost : nullptr;
}

bool GetClientRect(WindowHandle window, Rect& rect) {
    std::lock_guard guard(Lock);
    if (!window || !window->State.Exists || window->State.Destroyed) {
        return false;
    }
    rect = window == &Run.RootWindow ? Rect{0, 0, Run.ScreenW, Run.ScreenH}
                                     : Rect{0, 0, window->State.Width, window->State.Height};
    return true;
}

WindowHandle CreateWindowIn(WindowHandle host, const char* className, std::int32_t width, std::int32_t height,
                            ModuleHandle) {
    std::lock_guard guard(Lock);
    if (!host || !host->State.Exists || !IsTheClass(className) || width <= 0 || height <= 0) {
        return nullptr;
    }
    Run.TheWindow = MakeWindow(width, height);
    Run.TheWindow->State.Visible = true;
    Run.TheWindow->State.InHost = true;
    Run.TheWindow->State.Style = WS_CHILD | WS_VISIBLE;
    return Run.TheWindow.get();
}

bool FillRect(DeviceContext dc, const Rect& rect, BrushHandle brush) {
    if (!dc || !dc->Window || !brush) {
        return false;
    }
    std::lock_guard guard(Lock);
    WindowObject& window = *dc->Window;
    const std::int32_t left = std::max(rect.Left, 0), top = std::max(rect.Top, 0);
    const std::int32_t right = std::min(rect.Right, window.State.Width);
    const std::int32_t bottom = std::min(rect.Bottom, window.State.Height);
    const std::uint8_t pixel[3] = {static_cast<std::uint8_t>(brush->Colour >> 16),
                                   static_cast<std::uint8_t>(brush->Colour >> 8),
                                   static_cast<std::uint8_t>(brush->Colour)};
    for (std::int32_t y = top; y < bottom; ++y) {
        for (std::int32_t x = left; x < right; ++x) {
            std::memcpy(window.Picture.data() + (static_cast<std::size_t>(y) * window.State.Width + x) * 3,
                        pixel, 3);
        }
    }
    return true;
}

bool GetMessage(Message& message) {
    std::unique_lock guard(Lock);
    Run.LoopWaiting = Run.Queue.empty() && !Run.QuitPosted && !Run.PaintPending;
    MessageArrived.notify_all();
    MessageArrived.wait(guard, [] { return !Run.Queue.empty() || Run.QuitPosted || Run.PaintPending; });
    Run.LoopWaiting = false;
    if (!Run.Queue.empty()) {
        message = Run.Queue.front();
        Run.Queue.pop_front();
        return true;
    }
    // As on Windows: posted messages first, then the quit, and a paint only when nothing else waits.
    if (!Run.QuitPosted) {
        message = Message{Run.TheWindow.get(), WM_PAINT, 0, 0};
        return true;
    }
    Run.LoopEnded = true;
    MessageArrived.notify_all();
    message = Message{nullptr, WM_QUIT, static_cast<std::uintptr_t>(Run.QuitCode), 0};
    return false;
}

void TranslateMessage(const Message&) {}

std::intptr_t DispatchMessage(const Message& message) {
    std::unique_lock guard(Lock);
    // A message queued for a window of an earlier start-up goes nowhere.
    const bool current = message.Window && message.Window == Run.TheWindow.get();
    guard.unlock();
    return current ? SendMessage(message.Window, message.Number, message.WParam, message.LParam) : 0;
}

std::intptr_t DefWindowProc(WindowHandle window, std::uint32_t message, std::uintptr_t, std::intptr_t) {
    if (message == WM_PAINT) {
        // Validates the window: no more WM_PAINT until it loses its picture again.
        std::lock_guard guard(Lock);
        Run.PaintPending = false;
        return 0;
    }
    if (message != WM_CLOSE || !window) {
        return 0;
    }
    // Closing destroys the window, and destruction reaches the window procedure as WM_DESTROY.
    {
        std::lock_guard guard(Lock);
        if (window->State.Destroyed) {
            return 0;
        }
        window->State.Destroyed = true;
        window->State.Visible = false;
    }
    SendMessage(window, WM_DESTROY, 0, 0);
    return 0;
}

// The procedure is read under the lock and called outside it: it calls back into the platform.
std::intptr_t SendMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                          std::intptr_t lParam) {
    std::unique_lock guard(Lock);
    const WindowProcedure procedure = window ? window->Procedure : nullptr;
    guard.unlock();
    return procedure ? procedure(window, message, wParam, lParam) : 0;
}

void PostQuitMessage(std::int32_t exitCode) {
    std::lock_guard guard(Lock);
    Run.QuitPosted = true;
    Run.QuitCode = exitCode;
    MessageArrived.notify_all();
}

DeviceContext GetDC(WindowHandle window) {
    return window ? &window->Context : nullptr;
}

void ReleaseDC(WindowHandle, DeviceContext) {}

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
    Run.Copies.push_back(rect);
    if (Run.CopyObserver) {
        const std::function<void(const CopyRect&)> observer = Run.CopyObserver;
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
    Run.Texts.push_back(headless::TextCall{x, y, std::string(text, static_cast<std::size_t>(length))});
    return true;
}

namespace {
// Surfaces are counted while they live, and refused once the test's count of surfaces left is used up, as
// memory that cannot be had.
bool AdmitSurface() {
    std::lock_guard guard(Lock);
    if (Run.SurfacesLeft == 0) {
        return false;
    }
    Run.SurfacesLeft -= Run.SurfacesLeft > 0 ? 1 : 0;
    ++SurfacesLive;
    return true;
}

void SurfaceReleased() {
    std::lock_guard guard(Lock);
    --SurfacesLive;
}

const bool SurfacesWatched =
    (memory_surface::Admit = AdmitSurface, memory_surface::Released = SurfaceReleased, true);

} // namespace

char DecimalSeparator() {
    std::lock_guard guard(Lock);
    return Run.Separator;
}

void ReportFatal(const char* text) {
    Tell("ReportFatal", text);
    std::fprintf(stderr, "%s\n", text);
}

bool ReportInformation(const char* text) {
    Tell("ReportInformation", text);
    std::fprintf(stdout, "%s\n", text);
    return true;
}

std::int32_t GetDeviceCaps(DeviceContext, std::int32_t index) {
    std::lock_guard guard(Lock);
    return index == VREFRESH ? Run.RefreshRate : 0;
}

bool ReadSavedSpeed(std::uint32_t& stepsPerSecond) {
    std::lock_guard guard(Lock);
    stepsPerSecond = Run.SavedSpeed ? Run.SavedSpeed : stepsPerSecond;
    return Run.SavedSpeed != 0;
}

void ShowSettings(WindowHandle, std::uint32_t speed, std::uint32_t slowest, std::uint32_t fastest) {
    Tell("ShowSettings",
         (std::to_string(speed) + " from " + std::to_string(slowest) + " to " + std::to_string(fastest))
             .c_str());
}

} // namespace platform

namespace headless {

void SetRefreshRate(std::int32_t hertz) {
    std::lock_guard guard(Lock);
    Run.RefreshRate = hertz;
}

void SetSavedSpeed(std::uint32_t stepsPerSecond) {
    std::lock_guard guard(Lock);
    Run.SavedSpeed = stepsPerSecond;
}

} // namespace headless
