#pragma once
// What the parts of the Xlib backend share. The main thread's connection (MainDisplay) creates the window and
// receives its events; every other thread that draws opens a connection of its own, so no Display is ever
// used by two threads.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "platform/memory_surface.h"

namespace platform {

struct WindowObject {
    ::Window Id = 0;
    ::Colormap OwnColormap = 0; // created for a visual other than the screen's default
    WindowProcedure Procedure = nullptr;
    // The size the program gave it; the drawing thread clips against it. Changed by MoveWindow only, while
    // no other thread draws.
    std::int32_t Width = 0, Height = 0;
    bool Visible = false;
    bool Destroying = false; // main thread only: WM_DESTROY under way
    bool Destroyed = false;  // main thread only
    // A host's window the program draws in (CreateWindowIn): never mapped, moved, resized or destroyed by
    // the program, its size the host's.
    bool Adopted = false;
    // A topmost window with no window manager to keep it there raises itself whenever it is covered.
    bool RaiseWhenCovered = false;
    // Set when a window manager keeps the window full screen and above: the states to ask for after mapping,
    // ABOVE (or none) first and FULLSCREEN (or none) second, the order they are asked in.
    ::Atom RequestedStates[2] = {0, 0};
    DeviceContextObject Context; // whichever thread asks: each draws through its own connection
};

struct CursorObject {
    ::Cursor Id = 0;
};

struct BrushObject {
    std::uint32_t Colour = 0; // 0x00BBGGRR
};

} // namespace platform

namespace x11 {

// The window's pixel layout: each channel byte of a surface pixel mapped to its bits of a window pixel, for
// any masks of a TrueColor visual.
struct PixelFormat {
    std::uint32_t Red[256], Green[256], Blue[256];
};

// A shared-memory image the server reads the window's rectangles from.
struct SharedImage {
    XImage* Image = nullptr;
    XShmSegmentInfo Segment{};
    // Request number of its last put; the image may be written again once the server has got that far.
    unsigned long PutSerial = 0;
};

// One thread's way of drawing: its connection, graphics context and font, and the images its copies pass
// through. The main thread's uses MainDisplay; every other thread's has a Display of its own.
struct DrawingConnection {
    Display* Connection = nullptr;
    Visual* WindowVisual = nullptr;
    GC Context = nullptr;
    XFontStruct* Font = nullptr;
    bool UseSharedMemory = false;
    SharedImage Images[2];
    int NextImage = 0;
    // Pixels for XPutImage when the server cannot share memory; reused from copy to copy.
    std::unique_ptr<std::uint8_t[]> PutBuffer;
    std::size_t PutBufferBytes = 0;
    int OpenContexts = 0;
    // Batches of drawing sent since the server last answered (SendDrawing).
    int SentSinceAnswer = 0;
};

// Written by ConnectWindowSystem before any other thread exists; read-only afterwards.
extern Display* MainDisplay;
extern std::string DisplayName;
extern std::thread::id MainThread;
extern int WindowDepth;
extern PixelFormat Format;
extern bool SharedMemoryUsable;
// The primary monitor in root coordinates: what the program calls the screen; and its place in the server's
// list of monitors (-1 where the server keeps none), which is how window managers number monitors. Main
// thread only.
extern int PrimaryX, PrimaryY, PrimaryWidth, PrimaryHeight;
extern int PrimaryMonitor;
// The first event number of the RandR extension, -1 without it; its events say the monitors have changed.
extern int ScreenEventBase;

// The host's window the program was handed, 0 for none. Errors naming it are expected, not reported: the host
// may destroy it at any moment, while a drawing connection still draws on it.
extern std::atomic<unsigned long> HostWindowXid;

// Draws in the host's window with its own visual and depth, which may differ from the ones chosen at
// connection: false, told on standard error, for one the conversion cannot write (not TrueColor).
bool AdoptVisual(Visual* visual, int depth);

// From now on SIGTERM and SIGINT, with which a screen-saver host ends its hacks, reach the window procedure
// as WM_CLOSE from GetMessage; the handler only writes a byte to a pipe the message loop watches.
void WatchEndSignals();

// Reads the primary monitor again; true when its position or size has changed.
bool MeasureScreen();

// The window's visual as this connection knows it (each connection has its own Visual records).
Visual* VisualOn(Display* display);

// Attaches a shared segment of the given size to the server; false (and nothing left behind) when the server
// or the system refuses. The segment is marked for removal at once, so it disappears with the last detach.
bool AttachSegment(Display* display, XShmSegmentInfo& segment, std::size_t bytes);
void DetachSegment(Display* display, XShmSegmentInfo& segment);

platform::WindowObject* ProgramWindow(); // nullptr once destroyed
// Destroys the window if still open and releases the main connection's drawing resources (exit only).
void DestroyAllWindows();
void ReleaseMainDrawing(); // the main connection stays

// The pixel rectangle r of the surface, converted to the window's pixels, onto the window.
// Waits, for the shared-memory path, until the server has read what an image holds before it is reused.
bool PutRectangle(DrawingConnection& drawing, ::Window window, const platform::Surface& surface,
                  const platform::CopyRect& r);
void ReleaseImages(DrawingConnection& drawing);
// Sends what a thread has drawn, the end of one batch (a device context given back). The thread must not run
// ahead of a server that falls behind: after a few batches with no answer from the server, it waits for one.
void SendDrawing(DrawingConnection& drawing);

// The vector instructions the conversion uses: the best the processor has (set with Format), or fewer.
enum class VectorInstructions { Plain, Ssse3, Avx2 };
extern VectorInstructions ConvertInstructions;

std::uint32_t WindowPixel(std::uint32_t colour); // colour: 0x00BBGGRR
// Fills Format for a TrueColor visual's channel masks, whatever their widths and places, and finds the
// processor's vector instructions.
void SetPixelFormat(unsigned long redMask, unsigned long greenMask, unsigned long blueMask);
// Converts the rectangle r of the surface into an image of the given bits per pixel and byte order, row by
// row at `stride` bytes; false for a layout it cannot write (bits per pixel not whole bytes). Convert takes
// the fastest way the processor and the layout allow; ConvertReference is the plain one, which every way
// matches.
bool Convert(const platform::Surface& surface, const platform::CopyRect& r, std::uint8_t* out,
             std::size_t stride, int bitsPerPixel, int byteOrder);
bool ConvertReference(const platform::Surface& surface, const platform::CopyRect& r, std::uint8_t* out,
                      std::size_t stride, int bitsPerPixel, int byteOrder);

} // namespace x11
