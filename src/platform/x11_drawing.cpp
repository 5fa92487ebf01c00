// Device contexts, copies and text. Each thread draws through a connection of its own: the main thread
// through the main one, any other thread through one it opens on its first GetDC and closes when it ends, so
// no Display is ever used by two threads. A device context names only what it draws on; the connection is
// the calling thread's.

#include <X11/extensions/Xrandr.h>

#include <cmath>
#include <cstdio>

#include "platform/x11_internal.h"

namespace {

using namespace x11;
using platform::CopyRect;
using platform::Surface;

DrawingConnection MainDrawing;

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
    if (drawing.Connection != MainDisplay) {
        XCloseDisplay(drawing.Connection);
        drawing.Connection = nullptr;
    }
}

// The drawing of a thread other than the main one, its connection closed when the thread ends.
struct ThreadDrawing {
    DrawingConnection Drawing;
    bool Failed = false;
    ~ThreadDrawing() { CloseDrawing(Drawing); }
};
thread_local ThreadDrawing ThisThread;

// The calling thread's drawing, if it has one.
DrawingConnection* CurrentDrawing() {
    if (std::this_thread::get_id() == MainThread) {
        return MainDisplay ? &MainDrawing : nullptr;
    }
    return ThisThread.Drawing.Connection ? &ThisThread.Drawing : nullptr;
}

// The calling thread's drawing, another thread's connection opened on its first use.
DrawingConnection* OpenDrawing() {
    if (std::this_thread::get_id() == MainThread) {
        MainDrawing.Connection = MainDisplay;
    } else if (!ThisThread.Drawing.Connection && !ThisThread.Failed) {
        ThisThread.Drawing.Connection = XOpenDisplay(DisplayName.c_str());
        // Told once: the thread goes on without drawing rather than asking again every frame.
        ThisThread.Failed = !ThisThread.Drawing.Connection;
        if (ThisThread.Failed) {
            std::fprintf(stderr, "coppertrowel: cannot open a drawing connection to display \"%s\"\n",
                         DisplayName.c_str());
        }
    }
    return CurrentDrawing();
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
    values.background = WindowPixel(0xFFFFFF);
    values.graphics_exposures = False;
    if (drawing.Font) {
        mask |= GCFont;
        values.font = drawing.Font->fid;
    }
    drawing.Context = XCreateGC(drawing.Connection, window, mask, &values);
    return drawing.Context != nullptr;
}

} // namespace

namespace x11 {

void ReleaseMainDrawing() {
    CloseDrawing(MainDrawing);
}

} // namespace x11

namespace platform {

DeviceContext GetDC(WindowHandle window) {
    if (!window || window->Destroyed) {
        return nullptr;
    }
    DrawingConnection* drawing = OpenDrawing();
    if (!drawing || !Prepare(*drawing, window->Id)) {
        return nullptr;
    }
    ++drawing->OpenContexts;
    window->Context.Window = window;
    return &window->Context;
}

void ReleaseDC(WindowHandle, DeviceContext dc) {
    DrawingConnection* drawing = CurrentDrawing();
    if (!dc || dc->Bitmap || !drawing || drawing->OpenContexts == 0) {
        return;
    }
    --drawing->OpenContexts;
    SendDrawing(*drawing);
    // The main thread draws the first picture only; its images (a whole screen of them) and font need not
    // wait for the end of the run.
    if (drawing == &MainDrawing && drawing->OpenContexts == 0) {
        ReleaseMainDrawing();
    }
}

} // namespace platform

bool memory_surface::CopyToWindow(platform::WindowObject& window, const platform::Surface& from,
                                  std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                                  std::int32_t sourceX, std::int32_t sourceY) {
    DrawingConnection* drawing = CurrentDrawing();
    CopyRect r{};
    return drawing && drawing->Context &&
           ClipCopy(x, y, width, height, sourceX, sourceY, from.Width, from.Height, window.Width,
                    window.Height, r) &&
           PutRectangle(*drawing, window.Id, from, r);
}

namespace platform {

bool TextOutA(DeviceContext dc, std::int32_t x, std::int32_t y, const char* text, std::int32_t length) {
    const DrawingConnection* drawing = CurrentDrawing();
    if (!dc || !dc->Window || !drawing || !drawing->Font || !text || length < 0) {
        return false;
    }
    // (x, y) is the top-left corner of the text's box; X places text by its baseline. Coordinates beyond 16
    // bits lie outside any window.
    const std::int64_t baseline = std::int64_t{y} + drawing->Font->ascent;
    if (length == 0 || x < -32768 || x > 32767 || baseline < -32768 || baseline > 32767) {
        return true;
    }
    XDrawImageString(drawing->Connection, dc->Window->Id, drawing->Context, x, static_cast<int>(baseline),
                     text, length);
    return true;
}

bool FillRect(DeviceContext dc, const Rect& rect, BrushHandle brush) {
    DrawingConnection* drawing = CurrentDrawing();
    if (!dc || !dc->Window || !drawing || !drawing->Context || !brush) {
        return false;
    }
    CopyRect clipped{};
    if (!ClipCopy(rect.Left, rect.Top, rect.Right - rect.Left, rect.Bottom - rect.Top, 0, 0,
                  dc->Window->Width, dc->Window->Height, dc->Window->Width, dc->Window->Height, clipped)) {
        return false;
    }
    XSetForeground(drawing->Connection, drawing->Context, WindowPixel(brush->Colour));
    XFillRectangle(drawing->Connection, dc->Window->Id, drawing->Context, clipped.X, clipped.Y,
                   static_cast<unsigned>(clipped.Width), static_cast<unsigned>(clipped.Height));
    // Back to the text's black.
    XSetForeground(drawing->Connection, drawing->Context, 0);
    return true;
}

} // namespace platform

namespace {

// The refresh rate of a mode: its dot clock over the dots of a whole frame, blanking included, the lines
// doubled where each is scanned twice and halved where a frame is two interlaced fields.
double ModeRate(const XRRModeInfo& mode) {
    double lines = mode.vTotal;
    lines *= (mode.modeFlags & RR_DoubleScan) ? 2.0 : 1.0;
    lines /= (mode.modeFlags & RR_Interlace) ? 2.0 : 1.0;
    return mode.hTotal && lines > 0.0 ? static_cast<double>(mode.dotClock) / (mode.hTotal * lines) : 0.0;
}

// The rate of the mode of the CRTC that shows the point (x, y) of the root window; 0 where none does.
double RateAt(Display* display, ::Window root, int x, int y) {
    XRRScreenResources* resources = XRRGetScreenResourcesCurrent(display, root);
    double rate = 0.0;
    for (int c = 0; resources && c < resources->ncrtc && rate == 0.0; ++c) {
        XRRCrtcInfo* crtc = XRRGetCrtcInfo(display, resources, resources->crtcs[c]);
        if (crtc && crtc->mode != None && x >= crtc->x && y >= crtc->y &&
            x < crtc->x + static_cast<int>(crtc->width) && y < crtc->y + static_cast<int>(crtc->height)) {
            for (int m = 0; m < resources->nmode; ++m) {
                rate = resources->modes[m].id == crtc->mode ? ModeRate(resources->modes[m]) : rate;
            }
        }
        if (crtc) {
            XRRFreeCrtcInfo(crtc);
        }
    }
    if (resources) {
        XRRFreeScreenResources(resources);
    }
    return rate;
}

} // namespace

namespace platform {

// The monitor the window covers is the one that shows its centre.
std::int32_t GetDeviceCaps(DeviceContext dc, std::int32_t index) {
    const DrawingConnection* drawing = CurrentDrawing();
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (index != VREFRESH || !dc || !dc->Window || !drawing ||
        !XRRQueryExtension(drawing->Connection, &eventBase, &errorBase) ||
        !XRRQueryVersion(drawing->Connection, &major, &minor) || (major == 1 && minor < 3)) {
        return 0;
    }
    Display* display = drawing->Connection;
    const ::Window root = DefaultRootWindow(display);
    int x = 0, y = 0;
    ::Window child = 0;
    if (!XTranslateCoordinates(display, dc->Window->Id, root, dc->Window->Width / 2, dc->Window->Height / 2,
                               &x, &y, &child)) {
        return 0;
    }
    return static_cast<std::int32_t>(std::lround(RateAt(display, root, x, y)));
}

} // namespace platform
