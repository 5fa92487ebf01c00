#include "rendering/Surfaces.h"

platform::Surface* BackgroundSurface;
platform::Surface* BackBuffer;
std::vector<std::uint8_t*> BackgroundRows;
std::vector<std::uint8_t*> BackBufferRows;

namespace {
void FillRowTable(platform::Surface* surface, std::vector<std::uint8_t*>& rows) {
    rows.assign(static_cast<std::size_t>(surface ? platform::SurfaceHeight(surface) : 0), nullptr);
    for (std::int32_t y = 0; y < static_cast<std::int32_t>(rows.size()); ++y) {
        rows[static_cast<std::size_t>(y)] = platform::SurfaceRow(surface, y);
    }
}
} // namespace

void ReleaseSurfaces() {
    platform::ReleaseSurface(BackBuffer);
    BackBuffer = nullptr;
    platform::ReleaseSurface(BackgroundSurface);
    BackgroundSurface = nullptr;
}

void CreateSurfaces() {
    BackgroundSurface =
        platform::CreateSurface(ScreenWidth + 2 * ShadowOffset, ScreenHeight + 2 * ShadowOffset);
    if (BackgroundSurface) {
        platform::FillSurface(BackgroundSurface, BackgroundColour);
    }
    BackBuffer = BackgroundSurface ? platform::CreateSurface(platform::SurfaceWidth(BackgroundSurface),
                                                             platform::SurfaceHeight(BackgroundSurface))
                                   : nullptr;
    // Both or neither: a program left with one surface would draw on what is not there.
    if (!BackBuffer) {
        ReleaseSurfaces();
    }
    FillRowTable(BackgroundSurface, BackgroundRows);
    FillRowTable(BackBuffer, BackBufferRows);

    for (int i = 1; i <= 2; ++i) {
        Balls[i].Red = 255;
        Balls[i].Green = 0;
        Balls[i].Blue = 0;
    }
}
