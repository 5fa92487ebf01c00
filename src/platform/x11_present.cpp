// Putting a surface rectangle on the window. Surface pixels are 3 bytes (blue, green, red); the window's are
// whatever its visual says, so every copy is converted on the way.
//
// With MIT-SHM the converted pixels go into one of two shared images and the server is told to read them from
// there. An image is written again only once the server has finished its previous put: the server never sees
// half-written pixels (no torn or stale rectangles), and the thread is never more than one copy ahead of it.
// Without MIT-SHM, XPutImage sends the pixels down the socket. Either way the thread's batches of drawing
// keep in step with the server (SendDrawing).

#include <poll.h>

#include <algorithm>
#include <new>

#include "platform/x11_internal.h"

namespace {

using namespace x11;
using platform::CopyRect;
using platform::Surface;

// Batches sent with no answer from the server before the thread waits for one: a server that falls behind
// holds the thread back instead of piling requests up.
constexpr int BatchesBeforeRoundTrip = 4;

void FreeImage(DrawingConnection& drawing, SharedImage& image) {
    if (!image.Image) {
        return;
    }
    DetachSegment(drawing.Connection, image.Segment);
    image.Image->data = nullptr;
    XDestroyImage(image.Image);
    image.Image = nullptr;
    image.PutSerial = 0;
}

// An image at least width x height; it only grows, so the ball rectangles soon stop reallocating.
bool EnsureImage(DrawingConnection& drawing, SharedImage& image, int width, int height) {
    if (image.Image && image.Image->width >= width && image.Image->height >= height) {
        return true;
    }
    if (image.Image) {
        width = std::max(width, image.Image->width);
        height = std::max(height, image.Image->height);
        FreeImage(drawing, image);
    }
    XImage* created =
        XShmCreateImage(drawing.Connection, drawing.WindowVisual, static_cast<unsigned>(WindowDepth), ZPixmap,
                        nullptr, &image.Segment, static_cast<unsigned>(width), static_cast<unsigned>(height));
    if (!created) {
        return false;
    }
    const std::size_t bytes =
        static_cast<std::size_t>(created->bytes_per_line) * static_cast<std::size_t>(height);
    if (!AttachSegment(drawing.Connection, image.Segment, bytes)) {
        XDestroyImage(created);
        return false;
    }
    created->data = image.Segment.shmaddr;
    image.Image = created;
    image.PutSerial = 0;
    // The attachment waited for the server's answer.
    drawing.SentSinceAnswer = 0;
    return true;
}

// Waits until the server has handled the image's last put. Each put asks for a completion event; an error
// instead of it (the window gone) counts as handled too, which is why the wait watches the request numbers
// the server has answered rather than the events alone.
void WaitUntilRead(DrawingConnection& drawing, SharedImage& image) {
    Display* display = drawing.Connection;
    if (image.PutSerial == 0) {
        return;
    }
    while (LastKnownRequestProcessed(display) < image.PutSerial) {
        if (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            continue;
        }
        // An error read by XPending answers the put without leaving an event behind.
        if (LastKnownRequestProcessed(display) >= image.PutSerial) {
            break;
        }
        // Nothing read yet: sleep on the socket. A dead server makes it readable, and Xlib's reading then
        // ends the process through the lost-connection handler.
        pollfd socket{ConnectionNumber(display), POLLIN, 0};
        poll(&socket, 1, 1000);
    }
    // Completion events are all this connection receives; read whatever else has arrived so none pile up.
    while (XEventsQueued(display, QueuedAlready) > 0) {
        XEvent event;
        XNextEvent(display, &event);
    }
    image.PutSerial = 0;
    drawing.SentSinceAnswer = 0;
}

bool PutShared(DrawingConnection& drawing, ::Window window, const Surface& surface, const CopyRect& r) {
    SharedImage& image = drawing.Images[drawing.NextImage];
    WaitUntilRead(drawing, image);
    if (!EnsureImage(drawing, image, r.Width, r.Height)) {
        return false;
    }
    drawing.NextImage ^= 1;
    XImage& pixels = *image.Image;
    if (!Convert(surface, r, reinterpret_cast<std::uint8_t*>(pixels.data),
                 static_cast<std::size_t>(pixels.bytes_per_line), pixels.bits_per_pixel, pixels.byte_order)) {
        return false;
    }
    image.PutSerial = NextRequest(drawing.Connection);
    XShmPutImage(drawing.Connection, window, drawing.Context, &pixels, 0, 0, r.X, r.Y,
                 static_cast<unsigned>(r.Width), static_cast<unsigned>(r.Height), True);
    return true;
}

bool PutThroughSocket(DrawingConnection& drawing, ::Window window, const Surface& surface,
                      const CopyRect& r) {
    XImage* image =
        XCreateImage(drawing.Connection, drawing.WindowVisual, static_cast<unsigned>(WindowDepth), ZPixmap, 0,
                     nullptr, static_cast<unsigned>(r.Width), static_cast<unsigned>(r.Height), 32, 0);
    if (!image) {
        return false;
    }
    const std::size_t bytes =
        static_cast<std::size_t>(image->bytes_per_line) * static_cast<std::size_t>(r.Height);
    if (bytes > drawing.PutBufferBytes) {
        drawing.PutBuffer.reset(new (std::nothrow) std::uint8_t[bytes]);
        drawing.PutBufferBytes = drawing.PutBuffer ? bytes : 0;
    }
    bool put = false;
    if (drawing.PutBuffer &&
        Convert(surface, r, drawing.PutBuffer.get(), static_cast<std::size_t>(image->bytes_per_line),
                image->bits_per_pixel, image->byte_order)) {
        image->data = reinterpret_cast<char*>(drawing.PutBuffer.get());
        // XPutImage has copied the pixels into its requests when it returns: the buffer is free again.
        XPutImage(drawing.Connection, window, drawing.Context, image, 0, 0, r.X, r.Y,
                  static_cast<unsigned>(r.Width), static_cast<unsigned>(r.Height));
        put = true;
    }
    image->data = nullptr;
    XDestroyImage(image);
    return put;
}

} // namespace

namespace x11 {

bool PutRectangle(DrawingConnection& drawing, ::Window window, const Surface& surface, const CopyRect& r) {
    if (drawing.UseSharedMemory) {
        if (PutShared(drawing, window, surface, r)) {
            return true;
        }
        // Refused by the server or the system (segment limits): this connection carries on with requests.
        drawing.UseSharedMemory = false;
        ReleaseImages(drawing);
    }
    return PutThroughSocket(drawing, window, surface, r);
}

void SendDrawing(DrawingConnection& drawing) {
    if (++drawing.SentSinceAnswer >= BatchesBeforeRoundTrip) {
        XSync(drawing.Connection, False);
        drawing.SentSinceAnswer = 0;
    } else {
        XFlush(drawing.Connection);
    }
}

void ReleaseImages(DrawingConnection& drawing) {
    for (SharedImage& image : drawing.Images) {
        FreeImage(drawing, image);
    }
    drawing.NextImage = 0;
}

} // namespace x11
