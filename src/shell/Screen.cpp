#include "shell/Screen.h"

#include "rendering/Composition.h"
#include "rendering/SpriteRuns.h"
#include "rendering/SpriteTables.h"
#include "rendering/Surfaces.h"
#include "shell/ProgramMode.h"
#include "simulation/SimulationThread.h"
#include "simulation/World.h"

std::int32_t ScreenWidth;
std::int32_t ScreenHeight;
platform::WindowHandle MainWindow;
std::atomic<bool> Running{false};
std::atomic<bool> WindowPictureLost{false};
std::int32_t RenderPeriod;
std::uint16_t LightLevel;
platform::DeviceContext WindowDC;
platform::WindowHandle Host;
platform::BrushHandle BackgroundBrush;
bool BallsStarted = false;

namespace {
// Screens wider than this are refused: beyond it the sprite sampling and the surfaces outgrow what a display
// can have.
constexpr std::int32_t LargestScreenSide = 32768;
// A narrower screen gives a sprite of a single pixel, too small to sample a disc into.
constexpr std::int32_t NarrowestScreen = 27;

std::string SizeText() {
    return std::to_string(ScreenWidth) + "x" + std::to_string(ScreenHeight);
}
} // namespace

void MeasureScreen() {
    if (InHostWindow()) {
        // A host's window that has gone measures 0 x 0: the program rests until the teardown reaches it.
        platform::Rect inside{};
        if (!platform::GetClientRect(Host, inside)) {
            inside = platform::Rect{};
        }
        ScreenWidth = inside.Right - inside.Left;
        ScreenHeight = inside.Bottom - inside.Top;
    } else {
        ScreenWidth = platform::GetSystemMetrics(SM_CXSCREEN);
        ScreenHeight = platform::GetSystemMetrics(SM_CYSCREEN);
    }
    ComputeScale();
}

std::string ScreenRefusal() {
    if (ScreenWidth < NarrowestScreen || ScreenHeight < 1) {
        return "coppertrowel: the screen (" + SizeText() + ") is too small: it must be at least " +
               std::to_string(NarrowestScreen) + " pixels wide";
    }
    if (ScreenWidth > LargestScreenSide || ScreenHeight > LargestScreenSide) {
        return "coppertrowel: the screen (" + SizeText() + ") is too large: neither side may exceed " +
               std::to_string(LargestScreenSide) + " pixels";
    }
    // The world must be taller than one ball (ScreenHeight / Scale > 24). At exactly one ball the two
    // vertical bounds coincide, and a ball that starts beyond them is mirrored back and forth across them for
    // ever without ever coming on screen.
    if (640 * static_cast<std::int64_t>(ScreenHeight) <= 24 * static_cast<std::int64_t>(ScreenWidth)) {
        return "coppertrowel: the screen (" + SizeText() +
               ") is too flat: its height must be more than 24/640 of its width";
    }
    return {};
}

std::string SurfacesRefusal() {
    return "coppertrowel: not enough memory for two " + std::to_string(ScreenWidth + 2 * ShadowOffset) + "x" +
           std::to_string(ScreenHeight + 2 * ShadowOffset) + " drawing surfaces";
}

bool BuildProgramForScreen() {
    ComputeBallSize();
    BuildSpriteTables();
    ComputeWorldBounds();
    LightLevel = 300;
    CreateSurfaces();
    if (!BackBuffer) {
        return false;
    }
    // The host shows its own window; the program's child in it is visible from its creation.
    if (!BallsStarted && !InHostWindow()) {
        platform::ShowWindow(MainWindow, SW_SHOWMAXIMIZED);
    }
    RenderPeriod = 10;
    if (BallsStarted) {
        // The balls keep their place and speed in the world; the world's height follows the screen, and a
        // ball it no longer holds comes back in as the motion would bring it.
        ResetBackBuffer();
        BringBallsInside();
        PlaceBallsOnScreen();
    } else {
        InitBalls();
        BallsStarted = true;
    }
    // The whole picture goes to the window now: a loss reported before it is made good by it.
    WindowPictureLost = false;
    PresentAll();
    return true;
}

void PaintBackgroundOnly() {
    const platform::DeviceContext dc = platform::GetDC(MainWindow);
    platform::FillRect(dc, platform::Rect{0, 0, ScreenWidth, ScreenHeight}, BackgroundBrush);
    platform::ReleaseDC(MainWindow, dc);
}

void ReleaseDynamicArrays() {
    ReleaseSpriteRuns();
    std::vector<SpritePixel>().swap(ShadowEdgePixels);
    std::vector<SpritePixel>().swap(ShadowFullPixels);
    std::vector<SpritePixel>().swap(BodyEdgePixels);
    std::vector<SpritePixel>().swap(BodyFullPixels);
    std::vector<std::uint8_t*>().swap(BackBufferRows);
    std::vector<std::uint8_t*>().swap(BackgroundRows);
}
