// Off-screen 24-bit surfaces: plain memory the program addresses row by row. They never go to the server as
// they are; copies to the window convert the rectangles they send.

#include <cstdint>
#include <cstring>
#include <new>

#include "platform/x11_internal.h"

namespace platform {

Surface* CreateSurface(std::int32_t width, std::int32_t height) {
    if (width <= 0 || height <= 0) {
        return nullptr;
    }
    const std::uint64_t stride = (static_cast<std::uint64_t>(width) * 3 + 3) / 4 * 4;
    const std::uint64_t bytes = stride * static_cast<std::uint64_t>(height);
    if (bytes > PTRDIFF_MAX) {
        return nullptr;
    }
    auto* surface = new (std::nothrow) Surface;
    if (!surface) {
        return nullptr;
    }
    surface->Pixels.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(bytes)]);
    if (!surface->Pixels) {
        delete surface;
        return nullptr;
    }
    surface->Width = width;
    surface->Height = height;
    surface->Stride = static_cast<std::size_t>(stride);
    surface->Context.Bitmap = surface;
    return surface;
}

void FillSurface(Surface* surface, std::uint32_t colour) {
    if (!surface) {
        return;
    }
    const std::uint8_t pixel[3] = {static_cast<std::uint8_t>(colour >> 16),
                                   static_cast<std::uint8_t>(colour >> 8), static_cast<std::uint8_t>(colour)};
    // One row built pixel by pixel, the others copied from it.
    std::uint8_t* first = surface->Pixels.get();
    for (std::int32_t x = 0; x < surface->Width; ++x) {
        std::memcpy(first + 3 * static_cast<std::size_t>(x), pixel, 3);
    }
    for (std::int32_t y = 1; y < surface->Height; ++y) {
        std::memcpy(first + surface->Stride * static_cast<std::size_t>(y), first,
                    3 * static_cast<std::size_t>(surface->Width));
    }
}

std::int32_t SurfaceWidth(const Surface* surface) {
    return surface ? surface->Width : 0;
}

std::int32_t SurfaceHeight(const Surface* surface) {
    return surface ? surface->Height : 0;
}

std::uint8_t* SurfaceRow(Surface* surface, std::int32_t y) {
    return surface && y >= 0 && y < surface->Height
               ? surface->Pixels.get() + surface->Stride * static_cast<std::size_t>(y)
               : nullptr;
}

DeviceContext SurfaceDC(Surface* surface) {
    return surface ? &surface->Context : nullptr;
}

void ReleaseSurface(Surface* surface) {
    delete surface;
}

} // namespace platform
