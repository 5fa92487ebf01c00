#include "shell/Startup.h"

#include <algorithm>
#include <cstdio>

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
ProgramPhase Phase = ProgramPhase::StartingUp;
std::uint16_t RenderPeriod;
std::uint16_t LightLevel;
platform::DeviceContext WindowDC;
std::thread SimulationWorker;
std::thread::id SimulationThreadId;
bool BallsStarted = false;
PointerStart FirstPointer{};

namespace {
constexpr const char* ClassName = "CopperTrowel";

// The host's window the program draws in (Preview, InsideWindow), and the class's brush, which paints a
// window too small for the program.
platform::WindowHandle Host = nullptr;
platform::BrushHandle BackgroundBrush = nullptr;

std::string SizeText() {
    return std::to_string(ScreenWidth) + "x" + std::to_string(ScreenHeight);
}
} // namespace

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

void PaintBackgroundOnly() {
    const platform::DeviceContext dc = platform::GetDC(MainWindow);
    platform::FillRect(dc, platform::Rect{0, 0, ScreenWidth, ScreenHeight}, BackgroundBrush);
    platform::ReleaseDC(MainWindow, dc);
}

void Rest() {
    Phase = ProgramPhase::Resting;
    PaintBackgroundOnly();
}

void ShowFirstPicture() {
    InitBalls();
    BallsStarted = true;
    // The whole picture goes to the window now: a loss reported before it is made good by it.
    WindowPictureLost = false;
    PresentAll();
}

bool BuildForScreen() {
    ComputeBallSize();
    BuildSpriteTables();
    ComputeWorldBounds();
    LightLevel = 300;

    CreateSurfaces();
    if (!BackgroundSurface || !BackBuffer) {
        ReleaseSurfaces();
        return false;
    }
    return true;
}

void StartSimulation() {
    Running = true;
    SimulationWorker = std::thread(SimulationThread);
    SimulationThreadId = SimulationWorker.get_id();
}

int RunProgram() {
    Phase = ProgramPhase::StartingUp;
    BallsStarted = false;
    FirstPointer = PointerStart{};
    if (!platform::ConnectWindowSystem()) {
        return 1;
    }
    if (InHostWindow()) {
        Host = platform::HostWindow(HostWindowId);
        if (!Host) {
            // Both ways a number is written: Windows passes handles in decimal, X11 tools show ids in hex.
            char hex[24];
            std::snprintf(hex, sizeof hex, "0x%llx", static_cast<unsigned long long>(HostWindowId));
            platform::ReportFatal(("coppertrowel: there is no window " + std::to_string(HostWindowId) + " (" +
                                   hex + ") to draw in")
                                      .c_str());
            return 1;
        }
    }

    MeasureScreen();
    // A host's window too small for the program is painted in the background until it grows.
    const std::string refusal = ScreenRefusal();
    if (!refusal.empty() && !InHostWindow()) {
        platform::ReportFatal(refusal.c_str());
        return 1;
    }

    platform::WindowClass windowClass{};
    windowClass.Size = sizeof(platform::WindowClass);
    windowClass.Procedure = MainWndProc;
    // A screen saver shows no pointer over its picture.
    windowClass.Cursor =
        Mode == ProgramMode::ScreenSaver ? nullptr : platform::LoadCursor(platform::StockCursor::Arrow);
    // Whatever the window shows before the first picture, and wherever it loses its picture until the next
    // frame puts it back, is the background: nothing white or black ever shows.
    BackgroundBrush = platform::CreateSolidBrush(BackgroundColour);
    windowClass.BackgroundBrush = BackgroundBrush;
    windowClass.ClassName = ClassName;
    platform::RegisterClass(windowClass);
    RenderPeriod = 10;

    if (InHostWindow()) {
        MainWindow = platform::CreateWindowIn(Host, ClassName, std::max(ScreenWidth, 1),
                                              std::max(ScreenHeight, 1), platform::GetModuleHandle());
        if (!MainWindow) {
            platform::ReportFatal("coppertrowel: cannot draw in the host's window");
            platform::UnregisterClass(ClassName, platform::GetModuleHandle());
            return 1;
        }
    } else {
        MainWindow = platform::CreateWindowEx(WS_EX_TOPMOST, ClassName, "", WS_POPUP, 0, 0, ScreenWidth,
                                              ScreenHeight, platform::GetModuleHandle());
    }

    if (!refusal.empty()) {
        Rest();
    } else {
        if (!BuildForScreen()) {
            platform::ReportFatal(SurfacesRefusal().c_str());
            ReleaseDynamicArrays();
            return 1;
        }
        // The host shows its own window; the program's child in it is visible from its creation.
        if (!InHostWindow()) {
            platform::ShowWindow(MainWindow, SW_SHOWMAXIMIZED);
        }
        ShowFirstPicture();
        StartSimulation();
        Phase = ProgramPhase::Running;
    }

    platform::Message message{};
    while (platform::GetMessage(message)) {
        platform::TranslateMessage(message);
        platform::DispatchMessage(message);
    }

    // The loop can also end without a teardown (a quit posted by something else): never leave the thread
    // running into the release of what it draws with.
    StopSimulation();
    ReleaseDynamicArrays();
    return static_cast<int>(message.WParam);
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
