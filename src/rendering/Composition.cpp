#include "rendering/Composition.h"

std::uint8_t PixelScratch[3];

void ComposeFrame() {}

void PresentAll() {
    ComposeFrame();
    WindowDC = platform::GetDC(MainWindow);
    platform::BitBlt(WindowDC, 0, 0, platform::SurfaceWidth(BackBuffer), platform::SurfaceHeight(BackBuffer),
                     platform::SurfaceDC(BackBuffer), 0, 0, SRCCOPY);
    platform::ReleaseDC(MainWindow, WindowDC);
}
