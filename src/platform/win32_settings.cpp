// The screen saver's settings on Windows: a small modal dialog with a speed slider, and the speed kept where
// Windows keeps a user's settings, as a DWORD "Speed" under HKEY_CURRENT_USER\Software\coppertrowel. The
// dialog is laid out here in memory, so the backend needs no resource of the program's.

#include "platform/win32_windows.h"

#include <commctrl.h>

#include <cstddef>
#include <vector>

#include "platform/platform.h"

namespace {

constexpr const char* SettingsKey = "Software\\coppertrowel";
constexpr const char* SpeedValue = "Speed";
// The fastest speed the program takes on its command line; anything beyond it, or 0, was not saved by it.
constexpr DWORD FastestSaved = 1000000;
constexpr WORD SliderId = 100;

// What the dialog shows; main thread only, set before the dialog opens.
struct SettingsShown {
    DWORD Speed, Slowest, Fastest;
};
SettingsShown Shown{};

// A dialog template as DialogBoxIndirect reads it: WORDs, strings in UTF-16, each control on a DWORD
// boundary.
std::vector<WORD> Template;
constexpr std::size_t ControlCount = 4; // the WORD after the dialog's two style DWORDs

void Append(const wchar_t* text) {
    do {
        Template.push_back(static_cast<WORD>(*text));
    } while (*text++);
}

void AppendDwords(DWORD style, DWORD extendedStyle) {
    for (const DWORD value : {style, extendedStyle}) {
        Template.push_back(LOWORD(value));
        Template.push_back(HIWORD(value));
    }
}

// One control in dialog units; `systemClass` is one of the system's predefined classes (0x80 button, 0x82
// static), 0 for the class named.
void AppendControl(WORD id, DWORD style, short x, short y, short width, short height, WORD systemClass,
                   const wchar_t* className, const wchar_t* text) {
    if (Template.size() % 2 != 0) {
        Template.push_back(0);
    }
    AppendDwords(style | WS_CHILD | WS_VISIBLE, 0);
    for (const short value : {x, y, width, height}) {
        Template.push_back(static_cast<WORD>(value));
    }
    Template.push_back(id);
    if (systemClass != 0) {
        Template.push_back(0xFFFF);
        Template.push_back(systemClass);
    } else {
        Append(className);
    }
    Append(text);
    Template.push_back(0); // no creation data
    ++Template[ControlCount];
}

void MakeTemplate() {
    Template.clear();
    AppendDwords(DS_MODALFRAME | DS_SETFONT | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU, 0);
    Template.push_back(0); // controls, counted as they are added
    for (const short value : {0, 0, 200, 78}) {
        Template.push_back(static_cast<WORD>(value));
    }
    Template.push_back(0); // no menu
    Template.push_back(0); // the system's dialog class
    Append(L"coppertrowel");
    Template.push_back(8);
    Append(L"MS Shell Dlg");
    AppendControl(0xFFFF, SS_LEFT, 8, 8, 184, 10, 0x82, nullptr, L"Speed of the balls:");
    AppendControl(SliderId, TBS_HORZ | TBS_NOTICKS | WS_TABSTOP, 8, 20, 184, 16, 0, TRACKBAR_CLASSW, L"");
    AppendControl(0xFFFF, SS_LEFT, 8, 38, 60, 10, 0x82, nullptr, L"slower");
    AppendControl(0xFFFF, SS_RIGHT, 132, 38, 60, 10, 0x82, nullptr, L"faster");
    AppendControl(IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, 88, 56, 50, 14, 0x80, nullptr, L"OK");
    AppendControl(IDCANCEL, BS_PUSHBUTTON | WS_TABSTOP, 142, 56, 50, 14, 0x80, nullptr, L"Cancel");
}

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
    MakeTemplate();
    // With no window named, the settings belong to the window in front, which is what opened them.
    ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(Template.data()),
                              owner ? reinterpret_cast<HWND>(owner) : ::GetForegroundWindow(),
                              SettingsProcedure, 0);
}

} // namespace platform
