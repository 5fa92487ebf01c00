// The Windows backend against real Win32 and GDI (run under Wine on a virtual display): the floating-point
// mode, the window class and messages, the surfaces' row layout, clipped copies, text defaults, the locale's
// decimal separator, the fatal report, the paced sleep and the screen saver's saved speed (its dialog is
// answered end to end, in wine_e2e.py).

#include "platform/win32_windows.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstring>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/platform.h"

namespace {

std::uint16_t ControlWord() {
    std::uint16_t control = 0;
    __asm__ volatile("fnstcw %0" : "=m"(control));
    return control;
}

void SetControlWord(std::uint16_t control) {
    __asm__ volatile("fldcw %0" : : "m"(control));
}

// True when long double keeps a 64-bit significand: 1 + 2^-60 is then not 1.
bool ComputesInExtended() {
    volatile long double one = 1.0L;
    volatile long double tiny = 0x1p-60L;
    volatile long double sum = one + tiny;
    return sum - one != 0.0L;
}

TEST(Win32Precision, ConnectingSetsExtendedPrecisionAndRoundingToNearest) {
    // 53-bit significand, rounding toward zero: what another runtime or a thread start might leave behind.
    SetControlWord(0x0E7F);
    ASSERT_FALSE(ComputesInExtended());

    ASSERT_TRUE(platform::ConnectWindowSystem());
    EXPECT_EQ(ControlWord() & 0x0F00, 0x0300);
    EXPECT_EQ(ControlWord() & 0x003F, 0x003F) << "the exception masks are kept";
    EXPECT_TRUE(ComputesInExtended());
    // Three quarters of the last place of 1 is rounded up to a whole one, not cut off.
    volatile long double one = 1.0L;
    volatile long double sum = one + 0x3p-65L;
    EXPECT_TRUE(sum - one == 0x1p-63L);
}

TEST(Win32Precision, TheSimulationThreadComputesInExtendedPrecisionToo) {
    // The worker sets no mode of its own, so a std::thread must start in extended precision, as the Linux
    // build's threads do; otherwise the Windows motion would differ.
    ASSERT_TRUE(platform::ConnectWindowSystem());
    bool extended = false;
    std::uint16_t control = 0;
    std::thread([&] {
        extended = ComputesInExtended();
        control = ControlWord();
    }).join();
    EXPECT_TRUE(extended) << std::hex << "x87 control word of a new thread: 0x" << control;
}

// ---- Window class, window and messages

struct Received {
    platform::WindowHandle Window;
    std::uint32_t Number;
    std::uintptr_t WParam;
    std::intptr_t LParam;
};
std::vector<Received> Messages;
constexpr std::uint32_t TestMessage = WM_APP + 7;
constexpr const char* TestClass = "CopperTrowelBackendTest";

std::intptr_t RecordingProcedure(platform::WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                 std::intptr_t lParam) {
    if (message == TestMessage || message == WM_DESTROY || message == WM_CLOSE) {
        Messages.push_back(Received{window, message, wParam, lParam});
    }
    if (message == TestMessage) {
        return static_cast<std::intptr_t>(wParam) + 1;
    }
    return platform::DefWindowProc(window, message, wParam, lParam);
}

platform::WindowClass TestWindowClass() {
    platform::WindowClass windowClass{};
    windowClass.Size = sizeof windowClass;
    windowClass.Procedure = RecordingProcedure;
    windowClass.Cursor = platform::LoadCursor(platform::StockCursor::Arrow);
    windowClass.ClassName = TestClass;
    return windowClass;
}

TEST(Win32Window, ClassWindowAndMessagesReachTheProgramsProcedure) {
    Messages.clear();
    const platform::ModuleHandle module = platform::GetModuleHandle();
    ASSERT_TRUE(platform::RegisterClass(TestWindowClass()));

    WNDCLASSEXA registered{};
    registered.cbSize = sizeof registered;
    ASSERT_TRUE(GetClassInfoExA(reinterpret_cast<HINSTANCE>(module), TestClass, &registered));
    EXPECT_EQ(registered.hCursor, LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)));
    EXPECT_EQ(registered.style, 0u);

    const platform::WindowHandle window =
        platform::CreateWindowEx(WS_EX_TOPMOST, TestClass, "", WS_POPUP, 0, 0, 200, 100, module);
    ASSERT_NE(window, nullptr);
    const auto hwnd = reinterpret_cast<HWND>(window);
    platform::ShowWindow(window, SW_SHOWMAXIMIZED);
    EXPECT_TRUE(GetWindowLongA(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(hwnd, GWL_STYLE)) & (WS_POPUP | WS_CAPTION | WS_BORDER),
              static_cast<DWORD>(WS_POPUP));
    EXPECT_EQ(GetWindowTextLengthA(hwnd), 0);

    // Sent: straight to the procedure, pointer-sized values intact, the result handed back.
    const auto wParam = static_cast<std::uintptr_t>(UINTPTR_MAX - 5);
    const auto lParam = static_cast<std::intptr_t>(INTPTR_MIN + 3);
    EXPECT_EQ(platform::SendMessage(window, TestMessage, wParam, lParam),
              static_cast<std::intptr_t>(wParam) + 1);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Window, window);
    EXPECT_EQ(Messages[0].WParam, wParam);
    EXPECT_EQ(Messages[0].LParam, lParam);

    // Posted: through the message loop.
    Messages.clear();
    ASSERT_TRUE(PostMessageA(hwnd, TestMessage, 41, -2));
    platform::Message message{};
    do {
        ASSERT_TRUE(platform::GetMessage(message));
        platform::TranslateMessage(message);
        platform::DispatchMessage(message);
    } while (message.Number != TestMessage);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].WParam, 41u);
    EXPECT_EQ(Messages[0].LParam, -2);

    // The class cannot go while its window exists; closing through the default procedure destroys the window,
    // which reaches the program's procedure as WM_DESTROY.
    EXPECT_FALSE(platform::UnregisterClass(TestClass, module));
    Messages.clear();
    ASSERT_TRUE(PostMessageA(hwnd, WM_CLOSE, 0, 0));
    while (IsWindow(hwnd) && platform::GetMessage(message)) {
        platform::DispatchMessage(message);
    }
    ASSERT_EQ(Messages.size(), 2u);
    EXPECT_EQ(Messages[0].Number, static_cast<std::uint32_t>(WM_CLOSE));
    EXPECT_EQ(Messages[1].Number, static_cast<std::uint32_t>(WM_DESTROY));
    EXPECT_TRUE(platform::UnregisterClass(TestClass, module));

    // The quit message ends the loop with its code.
    platform::PostQuitMessage(3);
    EXPECT_FALSE(platform::GetMessage(message));
    EXPECT_EQ(message.WParam, 3u);

    // Registered again after the removal, the class works as before.
    ASSERT_TRUE(platform::RegisterClass(TestWindowClass()));
    EXPECT_TRUE(platform::UnregisterClass(TestClass, module));
}

TEST(Win32Window, ScreenMetricsAreTheVirtualDisplays) {
    EXPECT_EQ(platform::GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CXSCREEN));
    EXPECT_GT(platform::GetSystemMetrics(SM_CXSCREEN), 0);
    EXPECT_GT(platform::GetSystemMetrics(SM_CYSCREEN), 0);
}

// ---- Surfaces

struct SurfaceDeleter {
    void operator()(platform::Surface* surface) const { platform::ReleaseSurface(surface); }
};
using SurfacePtr = std::unique_ptr<platform::Surface, SurfaceDeleter>;

SurfacePtr MakeSurface(std::int32_t width, std::int32_t height) {
    return SurfacePtr(platform::CreateSurface(width, height));
}

COLORREF PixelSeenByGdi(platform::Surface* surface, int x, int y) {
    return GetPixel(reinterpret_cast<HDC>(platform::SurfaceDC(surface)), x, y);
}

TEST(Win32Surface, RowsArePaddedAndRowZeroIsTheTopRowGdiSees) {
    for (const std::int32_t width : {1, 2, 3, 4, 5, 1304}) {
        SCOPED_TRACE("width " + std::to_string(width));
        const std::int32_t height = 7;
        SurfacePtr surface = MakeSurface(width, height);
        ASSERT_NE(surface, nullptr);
        EXPECT_EQ(platform::SurfaceWidth(surface.get()), width);
        EXPECT_EQ(platform::SurfaceHeight(surface.get()), height);
        const std::ptrdiff_t stride = (width * 3 + 3) / 4 * 4;
        for (std::int32_t y = 0; y + 1 < height; ++y) {
            const std::ptrdiff_t step =
                platform::SurfaceRow(surface.get(), y + 1) - platform::SurfaceRow(surface.get(), y);
            EXPECT_EQ(step < 0 ? -step : step, stride);
        }
        EXPECT_EQ(platform::SurfaceRow(surface.get(), -1), nullptr);
        EXPECT_EQ(platform::SurfaceRow(surface.get(), height), nullptr);

        // Written through the row addresses, seen by GDI at the same coordinates.
        std::uint8_t* top = platform::SurfaceRow(surface.get(), 0);
        top[0] = 10, top[1] = 20, top[2] = 30; // blue, green, red
        std::uint8_t* last = platform::SurfaceRow(surface.get(), height - 1) + 3 * (width - 1);
        last[0] = 40, last[1] = 50, last[2] = 60;
        if (width > 1) {
            EXPECT_EQ(PixelSeenByGdi(surface.get(), 0, 0), RGB(30, 20, 10));
        }
        EXPECT_EQ(PixelSeenByGdi(surface.get(), width - 1, height - 1), RGB(60, 50, 40));
    }
}

TEST(Win32Surface, FillPutsTheColourInEveryPixelInBlueGreenRedOrder) {
    SurfacePtr surface = MakeSurface(653, 5);
    ASSERT_NE(surface, nullptr);
    platform::FillSurface(surface.get(), 0x399702); // red 2, green 151, blue 57
    for (std::int32_t y = 0; y < 5; ++y) {
        const std::uint8_t* row = platform::SurfaceRow(surface.get(), y);
        for (std::int32_t x = 0; x < 653; ++x) {
            ASSERT_EQ(row[3 * x], 57) << x << "," << y;
            ASSERT_EQ(row[3 * x + 1], 151) << x << "," << y;
            ASSERT_EQ(row[3 * x + 2], 2) << x << "," << y;
        }
    }
}

TEST(Win32Surface, ImpossibleSizesGiveNoSurfaceInsteadOfACrash) {
    EXPECT_EQ(platform::CreateSurface(0, 10), nullptr);
    EXPECT_EQ(platform::CreateSurface(10, 0), nullptr);
    EXPECT_EQ(platform::CreateSurface(-5, 10), nullptr);
    EXPECT_EQ(platform::CreateSurface(32792, 32792), nullptr); // 3 GB: beyond what GDI can address
    EXPECT_EQ(platform::CreateSurface(INT32_MAX, INT32_MAX), nullptr);
    platform::ReleaseSurface(nullptr);
    EXPECT_EQ(platform::SurfaceDC(nullptr), nullptr);
    EXPECT_EQ(platform::SurfaceRow(nullptr, 0), nullptr);
}

// ---- Copies and text

void Paint(platform::Surface* surface, std::uint8_t value) {
    for (std::int32_t y = 0; y < platform::SurfaceHeight(surface); ++y) {
        std::memset(platform::SurfaceRow(surface, y), value,
                    3 * static_cast<std::size_t>(platform::SurfaceWidth(surface)));
    }
}

int CountValue(platform::Surface* surface, std::uint8_t value) {
    int count = 0;
    for (std::int32_t y = 0; y < platform::SurfaceHeight(surface); ++y) {
        const std::uint8_t* row = platform::SurfaceRow(surface, y);
        for (std::int32_t x = 0; x < platform::SurfaceWidth(surface); ++x) {
            count += row[3 * x] == value && row[3 * x + 1] == value && row[3 * x + 2] == value;
        }
    }
    return count;
}

TEST(Win32Copy, RectanglesAreClippedToSourceAndDestination) {
    SurfacePtr from = MakeSurface(20, 10), to = MakeSurface(20, 10);
    ASSERT_TRUE(from && to);
    Paint(from.get(), 200);
    Paint(to.get(), 0);
    const platform::DeviceContext source = platform::SurfaceDC(from.get());
    const platform::DeviceContext destination = platform::SurfaceDC(to.get());

    // Hanging over the left and top edges of the destination: the part inside, 3 x 2 pixels.
    EXPECT_TRUE(platform::BitBlt(destination, -2, -3, 5, 5, source, 0, 0, SRCCOPY));
    EXPECT_EQ(CountValue(to.get(), 200), 3 * 2);
    EXPECT_EQ(platform::SurfaceRow(to.get(), 0)[0], 200);
    EXPECT_EQ(platform::SurfaceRow(to.get(), 2)[0], 0);

    // Reaching beyond the source's right edge: only what the source has, 2 x 4 pixels more.
    EXPECT_TRUE(platform::BitBlt(destination, 10, 5, 8, 4, source, 18, 0, SRCCOPY));
    EXPECT_EQ(CountValue(to.get(), 200), 6 + 2 * 4);

    // Nothing left to copy, or sizes that would overflow: refused, nothing written.
    Paint(to.get(), 0);
    EXPECT_FALSE(platform::BitBlt(destination, 20, 0, 5, 5, source, 0, 0, SRCCOPY));
    EXPECT_FALSE(platform::BitBlt(destination, 0, 0, 0, 5, source, 0, 0, SRCCOPY));
    EXPECT_FALSE(platform::BitBlt(destination, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, source, INT32_MIN,
                                  INT32_MIN, SRCCOPY));
    EXPECT_FALSE(platform::BitBlt(destination, 0, 0, 5, 5, nullptr, 0, 0, SRCCOPY));
    EXPECT_EQ(CountValue(to.get(), 200), 0);

    // A size that overflows when added to the corner, over the whole of both: exactly the whole surface.
    EXPECT_TRUE(platform::BitBlt(destination, -10, -10, INT32_MAX, INT32_MAX, source, -10, -10, SRCCOPY));
    EXPECT_EQ(CountValue(to.get(), 200), 20 * 10);
}

TEST(Win32Text, DrawsBlackOnAnOpaqueWhiteBoxByDefault) {
    SurfacePtr surface = MakeSurface(60, 30);
    ASSERT_NE(surface, nullptr);
    platform::FillSurface(surface.get(), 0x399702);
    EXPECT_TRUE(platform::TextOutA(platform::SurfaceDC(surface.get()), 2, 2, "123.4", 5));
    EXPECT_GT(CountValue(surface.get(), 255), 20) << "white box";
    EXPECT_GT(CountValue(surface.get(), 0), 10) << "black digits";
    EXPECT_EQ(platform::SurfaceRow(surface.get(), 0)[1], 151) << "nothing drawn above the text's position";

    EXPECT_FALSE(platform::TextOutA(platform::SurfaceDC(surface.get()), 0, 0, nullptr, 3));
    EXPECT_FALSE(platform::TextOutA(nullptr, 0, 0, "1", 1));
}

// ---- Locale and fatal report

TEST(Win32Locale, DecimalSeparatorFollowsTheUsersRegionalSettings) {
    char saved[8] = {};
    ASSERT_GT(GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, saved, sizeof saved), 0);
    ASSERT_TRUE(SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, ","));
    EXPECT_EQ(platform::DecimalSeparator(), ',');
    ASSERT_TRUE(SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, "."));
    EXPECT_EQ(platform::DecimalSeparator(), '.');
    SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, saved);
}

TEST(Win32Report, FatalTextGoesToStandardErrorWhenThereIsOne) {
    // With a standard error (as here) no message box may appear: it would wait for a user forever.
    testing::internal::CaptureStderr();
    platform::ReportFatal("coppertrowel: the screen is too small");
    const std::string written = testing::internal::GetCapturedStderr();
    EXPECT_NE(written.find("coppertrowel: the screen is too small"), std::string::npos) << written;
}

// ---- Paced sleep

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

TEST(Win32Sleep, SleepsUntilDueAndAWakeEndsItOnceAtOnce) {
    // Each row would catch: a wake lost or never consumed, a sleep ending early, a sleep that runs to its end
    // despite a wake (a click then waits a whole frame at one frame a second).
    platform::SleepUntil(Clock::now()); // consumes any wake left by an earlier test
    Clock::time_point began = Clock::now();
    platform::SleepUntil(began + milliseconds(50));
    EXPECT_GE(Clock::now() - began, milliseconds(50)) << "the sleep ended before it was due";

    platform::WakeSleeper();
    began = Clock::now();
    platform::SleepUntil(began + std::chrono::seconds(20));
    EXPECT_LT(Clock::now() - began, std::chrono::seconds(5)) << "a pending wake did not end the sleep";
    began = Clock::now();
    platform::SleepUntil(began + milliseconds(50));
    EXPECT_GE(Clock::now() - began, milliseconds(50)) << "the wake was not consumed";

    std::thread waker([] {
        std::this_thread::sleep_for(milliseconds(100));
        platform::WakeSleeper();
    });
    began = Clock::now();
    platform::SleepUntil(began + std::chrono::seconds(20));
    EXPECT_LT(Clock::now() - began, std::chrono::seconds(5)) << "a wake during the sleep did not end it";
    waker.join();

    platform::WakeSleeper();
    platform::SleepUntil(Clock::now() - milliseconds(1)); // due already: returns, and consumes the wake
    began = Clock::now();
    platform::SleepUntil(began + milliseconds(50));
    EXPECT_GE(Clock::now() - began, milliseconds(50)) << "a sleep already due left the wake pending";
}

// ---- Screen saver settings

constexpr const char* SettingsKey = "Software\\coppertrowel";

void SetSaved(DWORD type, const void* data, DWORD size) {
    ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, SettingsKey, "Speed", type, data, size), ERROR_SUCCESS);
}

TEST(Win32Settings, AMissingOrDamagedSavedSpeedIsNoSpeed) {
    // Would catch: a string, a wrong size, a zero or an absurd speed taken as the user's choice.
    RegDeleteKeyA(HKEY_CURRENT_USER, SettingsKey);
    std::uint32_t speed = 0;
    EXPECT_FALSE(platform::ReadSavedSpeed(speed)) << "nothing is saved";
    const DWORD zero = 0, huge = 0xFFFFFFFF, good = 3300;
    const ULONGLONG wide = 3300;
    SetSaved(REG_DWORD, &good, sizeof good);
    ASSERT_TRUE(platform::ReadSavedSpeed(speed));
    EXPECT_EQ(speed, 3300u);
    for (const auto& [type, data, size] : {std::tuple<DWORD, const void*, DWORD>{REG_SZ, "3300", 5},
                                           {REG_QWORD, &wide, sizeof wide},
                                           {REG_BINARY, &good, sizeof good},
                                           {REG_DWORD, &zero, sizeof zero},
                                           {REG_DWORD, &huge, sizeof huge}}) {
        SetSaved(type, data, size);
        speed = 7;
        EXPECT_FALSE(platform::ReadSavedSpeed(speed)) << "type " << type << ", " << size << " bytes";
        EXPECT_EQ(speed, 7u) << "a refused value was still written out";
    }
    RegDeleteKeyA(HKEY_CURRENT_USER, SettingsKey);
}

} // namespace
