// The screen saver's settings on Windows: a small modal dialog with a speed slider, and the speed kept where
// Windows keeps a user's settings, as a DWORD "Speed" under HKEY_CURRENT_USER\Software\coppertrowel. The
// dialog is a resource of the program's (packaging/windows/settings.rc).

#include "platform/win32_windows.h"

#include <commctrl.h>

#include "platform/platform.h"

namespace {

constexpr const char* SettingsKey = "Software\\coppertrowel";
constexpr const char* SpeedValue = "Speed";
// The fastest speed the program takes on its command line; anything beyond it, or 0, was not saved by it.
constexpr DWORD FastestSaved = 1000000;
// The dialog and its slider, as packaging/windows/settings.rc numbers them.
constexpr WORD SettingsDialog = 1;
constexpr WORD SliderId = 100;

// What the dialog shows; main thread only, set before the dialog opens.
struct SettingsShown {
    DWORD Speed, Slowest, Fastest;
};
SettingsShown Shown{};

void SaveSpeed(DWORD speed) {
    HKEY key = nullptr;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, SettingsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                          nullptr) != ERROR_SUCCESS) {
        return;
    }
    ::RegSetValueExA(key, SpeedValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&speed), sizeof speed);
    ::RegCloseKey(key);
}

INT_PTR CALLBACK SettingsProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    const HWND slider = ::GetDlgItem(dialog, SliderId);
    if (message == WM_INITDIALOG) {
        // The range in whole LONGs: TBM_SETRANGE would cut it to 16 bits.
        ::SendMessageW(slider, TBM_SETRANGEMIN, FALSE, static_cast<LPARAM>(Shown.Slowest));
        ::SendMessageW(slider, TBM_SETRANGEMAX, FALSE, static_cast<LPARAM>(Shown.Fastest));
        ::SendMessageW(slider, TBM_SETPAGESIZE, 0, static_cast<LPARAM>((Shown.Fastest - Shown.Slowest) / 10));
        ::SendMessageW(slider, TBM_SETPOS, TRUE, static_cast<LPARAM>(Shown.Speed));
        return TRUE;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        if (LOWORD(wParam) == IDOK) {
            SaveSpeed(static_cast<DWORD>(::SendMessageW(slider, TBM_GETPOS, 0, 0)));
        }
        ::EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

} // namespace

namespace platform {

bool ReadSavedSpeed(std::uint32_t& stepsPerSecond) {
    DWORD type = 0, value = 0, size = sizeof value;
    if (::RegGetValueA(HKEY_CURRENT_USER, SettingsKey, SpeedValue, RRF_RT_ANY | RRF_NOEXPAND, &type, &value,
                       &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value || value == 0 || value > FastestSaved) {
        return false;
    }
    stepsPerSecond = value;
    return true;
}

void ShowSettings(WindowHandle owner, std::uint32_t speed, std::uint32_t slowest, std::uint32_t fastest) {
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&controls);
    Shown = SettingsShown{speed, slowest, fastest};
    // With no window named, the settings belong to the window in front, which is what opened them.
    ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(SettingsDialog),
                      owner ? reinterpret_cast<HWND>(owner) : ::GetForegroundWindow(), SettingsProcedure, 0);
}

} // namespace platform
