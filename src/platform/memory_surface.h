#pragma once
// Off-screen surfaces in plain memory, for the backends whose window system has none the program can address
// (X11, headless): 3 bytes a pixel (blue, green, red), rows padded to 4 bytes and stored bottom-up, as a
// Windows bitmap stores them, so that code going round the row addresses shows up in every backend's tests.
// memory_surface.cpp defines the surface functions and BitBlt of platform.h for those backends.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/platform.h"

namespace platform {

// A device context of such a backend: a surface's own, or the one of its window.
struct DeviceContextObject {
    Surface* Bitmap = nullptr;      // the surface it draws on, or
    WindowObject* Window = nullptr; // the window it draws on
};

struct Surface {
    std::int32_t Width = 0, Height = 0;
    std::size_t Stride = 0;
    std::unique_ptr<std::uint8_t[]> Pixels;
    DeviceContextObject Context;
};

} // namespace platform

namespace memory_surface {

// Row y, 0 the top one.
inline std::uint8_t* Row(const platform::Surface& surface, std::int32_t y) {
    return surface.Pixels.get() + surface.Stride * static_cast<std::size_t>(surface.Height - 1 - y);
}

// BitBlt from one surface to another (or within one): clipped to both, overlapping rows copied in the order
// that reads each before it is written. False when nothing is left to copy.
bool Copy(platform::Surface& to, const platform::Surface& from, std::int32_t x, std::int32_t y,
          std::int32_t width, std::int32_t height, std::int32_t sourceX, std::int32_t sourceY);
// BitBlt from a surface to the window, each backend's own: clipped to both.
bool CopyToWindow(platform::WindowObject& window, const platform::Surface& from, std::int32_t x,
                  std::int32_t y, std::int32_t width, std::int32_t height, std::int32_t sourceX,
                  std::int32_t sourceY);

// The headless backend's watch over surfaces, unset in the others: Admit is asked before a surface takes its
// memory (false: refused, as memory that cannot be had), and Released is told of each surface as it goes.
inline bool (*Admit)() = nullptr;
inline void (*Released)() = nullptr;

} // namespace memory_surface
