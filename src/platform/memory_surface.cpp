#include "platform/memory_surface.h"

#include <cstring>
#include <new>

namespace memory_surface {

bool Copy(platform::Surface& to, const platform::Surface& from, std::int32_t x, std::int32_t y,
          std::int32_t width, std::int32_t height, std::int32_t sourceX, std::int32_t sourceY) {
    platform::CopyRect r{};
    if (!platform::ClipCopy(x, y, width, height, sourceX, sourceY, from.Width, from.Height, to.Width,
                            to.Height, r)) {
        return false;
    }
    // Within one surface a copy downwards must start at the bottom, or it reads rows it has already written.
    const bool bottomUp = &to == &from && r.Y > r.SourceY;
    for (std::int32_t i = 0; i < r.Height; ++i) {
        const std::int32_t row = bottomUp ? r.Height - 1 - i : i;
        std::memmove(Row(to, r.Y + row) + 3 * static_cast<std::size_t>(r.X),
                     Row(from, r.SourceY + row) + 3 * static_cast<std::size_t>(r.SourceX),
                     3 * static_cast<std::size_t>(r.Width));
    }
    return true;
}

} // namespace memory_surface

namespace platform {

bool BitBlt(DeviceContext destination, std::int32_t x, std::int32_t y, std::int32_t width,
            std::int32_t height, DeviceContext source, std::int32_t sourceX, std::int32_t sourceY,
            std::uint32_t rasterOperation) {
    if (!destination || !source || !source->Bitmap || rasterOperation != SRCCOPY) {
        return false;
    }
    const Surface& from = *source->Bitmap;
    return destination->Bitmap
               ? memory_surface::Copy(*destination->Bitmap, from, x, y, width, height, sourceX, sourceY)
               : memory_surface::CopyToWindow(*destination->Window, from, x, y, width, height, sourceX,
                                              sourceY);
}

Surface* CreateSurface(std::int32_t width, std::int32_t height) {
    if (width <= 0 || height <= 0) {
        return nullptr;
    }
    const std::uint64_t stride = (static_cast<std::uint64_t>(width) * 3 + 3) / 4 * 4;
    const std::uint64_t bytes = stride * static_cast<std::uint64_t>(height);
    auto surface = std::unique_ptr<Surface>(new (std::nothrow) Surface);
    if (!surface || bytes > PTRDIFF_MAX || (memory_surface::Admit && !memory_surface::Admit())) {
        return nullptr;
    }
    surface->Width = width;
    surface->Height = height;
    surface->Stride = static_cast<std::size_t>(stride);
    surface->Context.Bitmap = surface.get();
    surface->Pixels.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(bytes)]);
    if (!surface->Pixels) {
        // Admitted, so told of its end like any other.
        ReleaseSurface(surface.release());
        return nullptr;
    }
    return surface.release();
}

void FillSurface(Surface* surface, std::uint32_t colour) {
    if (!surface) {
        return;
    }
    const std::uint8_t pixel[3] = {static_cast<std::uint8_t>(colour >> 16),
                                   static_cast<std::uint8_t>(colour >> 8), static_cast<std::uint8_t>(colour)};
    // One row built pixel by pixel, the others copied from it.
    std::uint8_t* first = memory_surface::Row(*surface, 0);
    for (std::int32_t x = 0; x < surface->Width; ++x) {
        std::memcpy(first + 3 * static_cast<std::size_t>(x), pixel, 3);
    }
    for (std::int32_t y = 1; y < surface->Height; ++y) {
        std::memcpy(memory_surface::Row(*surface, y), first, 3 * static_cast<std::size_t>(surface->Width));
    }
}

std::int32_t SurfaceWidth(const Surface* surface) {
    return surface ? surface->Width : 0;
}

std::int32_t SurfaceHeight(const Surface* surface) {
    return surface ? surface->Height : 0;
}

std::uint8_t* SurfaceRow(Surface* surface, std::int32_t y) {
    return surface && y >= 0 && y < surface->Height ? memory_surface::Row(*surface, y) : nullptr;
}

DeviceContext SurfaceDC(Surface* surface) {
    return surface ? &surface->Context : nullptr;
}

void ReleaseSurface(Surface* surface) {
    if (surface && memory_surface::Released) {
        memory_surface::Released();
    }
    delete surface;
}

} // namespace platform
