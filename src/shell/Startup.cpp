#include "shell/Startup.h"

#include "rendering/Composition.h"
#include "rendering/SpriteRuns.h"
#include "rendering/SpriteTables.h"
#include "rendering/Surfaces.h"
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

namespace {
constexpr const char* ClassName = "CopperTrowel";

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
    ScreenWidth = platform::GetSystemMetrics(SM_CXSCREEN);
    ScreenHeight = platform::GetSystemMetrics(SM_CYSCREEN);
    ComputeScale();
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
    if (!platform::ConnectWindowSystem()) {
        return 1;
    }

    MeasureScreen();
    if (const std::string refusal = ScreenRefusal(); !refusal.empty()) {
        platform::ReportFatal(refusal.c_str());
        return 1;
    }

    platform::WindowClass windowClass{};
    windowClass.Size = sizeof(platform::WindowClass);
    windowClass.Procedure = MainWndProc;
    windowClass.Cursor = platform::LoadCursor(platform::StockCursor::Arrow);
    // Whatever the window shows before the first picture, and wherever it loses its picture until the next
    // frame puts it back, is the background: nothing white or black ever shows.
    windowClass.BackgroundBrush = platform::CreateSolidBrush(BackgroundColour);
    windowClass.ClassName = ClassName;
    platform::RegisterClass(windowClass);

    MainWindow = platform::CreateWindowEx(WS_EX_TOPMOST, ClassName, "", WS_POPUP, 0, 0, ScreenWidth,
                                          ScreenHeight, platform::GetModuleHandle());

    if (!BuildForScreen()) {
        platform::ReportFatal(SurfacesRefusal().c_str());
        ReleaseDynamicArrays();
        return 1;
    }

    platform::ShowWindow(MainWindow, SW_SHOWMAXIMIZED);
    RenderPeriod = 10;
    InitBalls();
    // The whole picture goes to the window now: a loss reported before it is made good by it.
    WindowPictureLost = false;
    PresentAll();

    StartSimulation();
    Phase = ProgramPhase::Running;

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
