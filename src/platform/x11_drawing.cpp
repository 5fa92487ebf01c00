// Device contexts, copies and text. Each thread draws through a connection of its own: the main thread
// through the main one, any other thread through one it opens on its first GetDC and closes when it ends, so
// no Display is ever used by two threads.

#include <cstdio>
#include <cstring>
#include <new>

#include "platform/x11_internal.h"

namespace {

using namespace x11;
using platform::CopyRect;
using platform::Surface;

DrawingConnection MainDrawing;

// Drawing thread and server in step: after this many device contexts given back without an answer from the
// server, wait for one, so that a server that falls behind holds the thread back instead of piling requests
// up.
constexpr int ReleasesBeforeRoundTrip = 4;

// Everything sent is handled before the connection goes, and so before the main thread may destroy the
// window (requests on two connections are not ordered).
void CloseDrawing(DrawingConnection& drawing) {
    if (!drawing.Connection) {
        return;
    }
    XSync(drawing.Connection, False);
    ReleaseImages(drawing);
    drawing.PutBuffer.reset();
    drawing.PutBufferBytes = 0;
    if (drawing.Font) {
        XFreeFont(drawing.Connection, drawing.Font);
        drawing.Font = nullptr;
    }
    if (drawing.Context) {
        XFreeGC(drawing.Connection, drawing.Context);
        drawing.Context = nullptr;
    }
    if (drawing.OwnsConnection) {
        XCloseDisplay(drawing.Connection);
        drawing.Connection = nullptr;
    }
}

// The connection of a thread other than the main one, closed when the thread ends.
struct ThreadDrawing {
    DrawingConnection* Drawing = nullptr;
    bool Failed = false;
    ~ThreadDrawing() {
        if (Drawing) {
            CloseDrawing(*Drawing);
            delete Drawing;
        }
    }
};
thread_local ThreadDrawing ThisThread;

DrawingConnection* DrawingOfThisThread() {
    if (std::this_thread::get_id() == MainThread) {
        MainDrawing.Connection = MainDisplay;
        return MainDisplay ? &MainDrawing : nullptr;
    }
    if (ThisThread.Drawing || ThisThread.Failed) {
        return ThisThread.Drawing;
    }
    Display* display = XOpenDisplay(DisplayName.c_str());
    auto* drawing = display ? new (std::nothrow) DrawingConnection : nullptr;
    if (!drawing) {
        // Once: the thread goes on without drawing rather than asking again every frame.
        ThisThread.Failed = true;
        std::fprintf(stderr, "coppertrowel: cannot open a drawing connection to display \"%s\"\n",
                     DisplayName.c_str());
        if (display) {
            XCloseDisplay(display);
        }
        return nullptr;
    }
    drawing->Connection = display;
    drawing->OwnsConnection = true;
    ThisThread.Drawing = drawing;
    return drawing;
}

// The graphics context and font, made on first use: black text on white, the "fixed" font, and no exposure
// events for copies (nothing here would read them).
bool Prepare(DrawingConnection& drawing, ::Window window) {
    if (drawing.Context) {
        return true;
    }
    drawing.WindowVisual = VisualOn(drawing.Connection);
    if (!drawing.WindowVisual) {
        return false;
    }
    drawing.UseSharedMemory = SharedMemoryUsable;
    drawing.Font = XLoadQueryFont(drawing.Connection, "fixed");
    XGCValues values{};
    unsigned long mask = GCForeground | GCBackground | GCGraphicsExposures;
    values.foreground = 0;
    values.background = Format.White;
    values.graphics_exposures = False;
    if (drawing.Font) {
        mask |= GCFont;
        values.font = drawing.Font->fid;
    }
    drawing.Context = XCreateGC(drawing.Connection, window, mask, &values);
    return drawing.Context != nullptr;
}

void CopyBetweenSurfaces(Surface& to, const Surface& from, const CopyRect& r) {
    const std::size_t bytes = static_cast<std::size_t>(r.Width) * 3;
    // Within one surface a copy downwards must start at the bottom, or it reads rows it has already written.
    const bool bottomUp = &to == &from && r.Y > r.SourceY;
    for (std::int32_t i = 0; i < r.Height; ++i) {
        const std::int32_t row = bottomUp ? r.Height - 1 - i : i;
        const std::uint8_t* in = from.Pixels.get() + from.Stride * static_cast<std::size_t>(r.SourceY + row) +
                                 3 * std::size_t(r.SourceX);
        std::uint8_t* out = to.Pixels.get() + to.Stride * static_cast<std::size_t>(r.Y + row) +
                            3 * static_cast<std::size_t>(r.X);
        std::memmove(out, in, bytes);
    }
}

} // namespace

namespace x11 {

void ReleaseMainDrawing() {
    // The main thread draws the first picture only; its images (a whole screen of them) and font need not
    // wait for the end of the run.
    CloseDrawing(MainDrawing);
}

} // namespace x11

namespace platform {

DeviceContext GetDC(WindowHandle window) {
    if (!window || window->Destroyed) {
        return nullptr;
    }
    DrawingConnection* drawing = DrawingOfThisThread();
    if (!drawing || !Prepare(*drawing, window->Id)) {
        return nullptr;
    }
    auto* context = new (std::nothrow) DeviceContextObject{nullptr, window, drawing};
    if (context) {
        ++drawing->OpenContexts;
    }
    return context;
}

void ReleaseDC(WindowHandle, DeviceContext dc) {
    if (!dc || dc->Bitmap || !dc->Connection) {
        return;
    }
    DrawingConnection& drawing = *dc->Connection;
    delete dc;
    --drawing.OpenContexts;
    if (++drawing.ReleasesSinceAnswer >= ReleasesBeforeRoundTrip) {
        XSync(drawing.Connection, False);
        drawing.ReleasesSinceAnswer = 0;
    } else {
        XFlush(drawing.Connection);
    }
    if (&drawing == &MainDrawing && drawing.OpenContexts == 0) {
        ReleaseMainDrawing();
    }
}

bool BitBlt(DeviceContext destination, std::int32_t x, std::int32_t y, std::int32_t width,
            std::int32_t height, DeviceContext source, std::int32_t sourceX, std::int32_t sourceY,
            std::uint32_t rasterOperation) {
    if (!destination || !source || !source->Bitmap || rasterOperation != SRCCOPY) {
        return false;
    }
    const Surface& from = *source->Bitmap;
    CopyRect r{};
    if (destination->Bitmap) {
        Surface& to = *destination->Bitmap;
        if (!ClipCopy(x, y, width, height, sourceX, sourceY, from.Width, from.Height, to.Width, to.Height,
                      r)) {
            return false;
        }
        CopyBetweenSurfaces(to, from, r);
        return true;
    }
    const WindowObject* window = destination->Window;
    if (!window || !destination->Connection ||
        !ClipCopy(x, y, width, height, sourceX, sourceY, from.Width, from.Height, window->Width,
                  window->Height, r)) {
        return false;
    }
    return PutRectangle(*destination->Connection, window->Id, from, r);
}

bool TextOutA(DeviceContext dc, std::int32_t x, std::int32_t y, const char* text, std::int32_t length) {
    if (!dc || !dc->Window || !dc->Connection || !text || length < 0) {
        return false;
    }
    const DrawingConnection& drawing = *dc->Connection;
    if (!drawing.Font) {
        return false;
    }
    // (x, y) is the top-left corner of the text's box; X places text by its baseline. Coordinates beyond 16
    // bits lie outside any window.
    const std::int64_t baseline = std::int64_t{y} + drawing.Font->ascent;
    if (length == 0 || x < -32768 || x > 32767 || baseline < -32768 || baseline > 32767) {
        return true;
    }
    XDrawImageString(drawing.Connection, dc->Window->Id, drawing.Context, x, static_cast<int>(baseline), text,
                     length);
    return true;
}

bool FillRect(DeviceContext dc, const Rect& rect, BrushHandle brush) {
    if (!dc || !dc->Window || !dc->Connection || !dc->Connection->Context || !brush) {
        return false;
    }
    CopyRect clipped{};
    if (!ClipCopy(rect.Left, rect.Top, rect.Right - rect.Left, rect.Bottom - rect.Top, 0, 0,
                  dc->Window->Width, dc->Window->Height, dc->Window->Width, dc->Window->Height, clipped)) {
        return false;
    }
    DrawingConnection& drawing = *dc->Connection;
    XSetForeground(drawing.Connection, drawing.Context,
                   Format.Red[brush->Colour & 0xFF] | Format.Green[(brush->Colour >> 8) & 0xFF] |
                       Format.Blue[(brush->Colour >> 16) & 0xFF]);
    XFillRectangle(drawing.Connection, dc->Window->Id, drawing.Context, clipped.X, clipped.Y,
                   static_cast<unsigned>(clipped.Width), static_cast<unsigned>(clipped.Height));
    // Back to the text's black.
    XSetForeground(drawing.Connection, drawing.Context, 0);
    return true;
}

} // namespace platform
