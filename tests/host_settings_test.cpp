// The "Tarvel settings" window of the running tarvel-host, driven through its
// controls as the keyboard or the mouse would, and the pause key it sets.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "host_process.h"
#include "pause_key.h"
#include "settings_window_ids.h"
#include "support/foreground_switcher.h"
#include "tray_menu.h"
#include "tray_mode.h"

namespace {

constexpr DWORD kGenerous = 10000;
HWND FindSettingsWindow()
{
    HWND found = nullptr;
    // Shown once its controls hold the current choices.
    WaitUntil([&] { return (found = FindWindowW(nullptr, L"Tarvel settings")) != nullptr && IsWindowVisible(found); },
              std::chrono::milliseconds(kGenerous));
    return found;
}

std::wstring ControlText(HWND dialog, int id)
{
    wchar_t text[256]{};
    GetDlgItemTextW(dialog, id, text, 256);
    return text;
}

void Press(HWND dialog, int id) { SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

// Ctrl+Alt+`key`, typed.
void TypeWithCtrlAlt(WORD key)
{
    INPUT inputs[6]{};
    const WORD keys[] = {VK_CONTROL, VK_MENU, key};
    for (int i = 0; i < 3; ++i) {
        inputs[i].type = inputs[5 - i].type = INPUT_KEYBOARD;
        inputs[i].ki.wVk = inputs[5 - i].ki.wVk = keys[i];
        inputs[5 - i].ki.dwFlags = KEYEVENTF_KEYUP;
    }
    SendInput(6, inputs, sizeof(INPUT));
}

std::wstring Tooltip(HWND tray)
{
    wchar_t title[128]{};
    GetWindowTextW(tray, title, 128);
    return title;
}

TEST(HostSettings, SettingsWindowApplied_TheNextPressFollowsTheHoldTime_PauseKeyTakenIsSaidThenPauses)
{
    const TarvelSettingsForTest settings;
    settings.Set(L"PauseKey", L"Ctrl+Alt+Tab");  // a key the hot-key box cannot show
    settings.Set(L"DesktopDrag", 1);
    ButtonObserver observer;  // before the host's hook, so asked after it
    ASSERT_TRUE(observer.Installed());
    HostProcess tray;
    ASSERT_TRUE(StartInBackground(tray)) << tray.Output() << tray.Errors();
    HWND trayWindow = FindWindowW(kTrayWindowClass, nullptr);

    // A second start with --settings opens the running copy's window.
    EXPECT_EQ(RunHost(L"--settings").exitCode, 0);
    HWND dialog = FindSettingsWindow();
    ASSERT_NE(dialog, nullptr) << "no settings window";
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_APPLY))) << "Apply enabled with nothing to apply";
    Press(dialog, IDC_FULL_SCREEN);  // ticked and unticked: still nothing to apply
    Press(dialog, IDC_FULL_SCREEN);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_APPLY))) << "OK would clear the key the box cannot show";
    // Before Windows 10 (as Wine says it is) the drag is off, as the menu shows it.
    if (!IsWindowEnabled(GetDlgItem(dialog, IDC_DESKTOP_DRAG)))
        EXPECT_EQ(SendDlgItemMessageW(dialog, IDC_DESKTOP_DRAG, BM_GETCHECK, 0, 0), BST_UNCHECKED) << "ticked but off";
    // The long press chosen (a radio button's click needs the pointer on it under Wine).
    SendDlgItemMessageW(dialog, IDC_CLICK_FLIPS, BM_SETCHECK, BST_UNCHECKED, 0);
    SendDlgItemMessageW(dialog, IDC_HOLD_FLIPS, BM_SETCHECK, BST_CHECKED, 0);
    SetDlgItemTextW(dialog, IDC_HOLD_MS, L"400");
    // A key another program holds: the window says so.
    ASSERT_TRUE(RegisterHotKey(nullptr, 1, MOD_CONTROL | MOD_ALT, 'O'));
    SendDlgItemMessageW(dialog, IDC_PAUSE_KEY, HKM_SETHOTKEY, MAKEWORD('O', HOTKEYF_CONTROL | HOTKEYF_ALT), 0);
    Press(dialog, IDC_APPLY);
    EXPECT_TRUE(tray.WaitForOutput("settings applied", kGenerous)) << tray.Output();
    EXPECT_NE(ControlText(dialog, IDC_PAUSE_STATUS).find(L"taken by another program"), std::wstring::npos)
        << "the taken key was not reported in the window";
    UnregisterHotKey(nullptr, 1);

    // The next press follows the hold time: a short click is the button's own.
    ClickSideButton(XBUTTON1);
    EXPECT_TRUE(WaitForCount(observer.xbutton1, 1)) << "the short click did not get through";
    EXPECT_EQ(tray.Output().find(" pressed: "), std::string::npos) << "the short click flipped: " << tray.Output();
    DWORD holdMs = 0, size = sizeof(holdMs);
    RegGetValueW(HKEY_CURRENT_USER, L"Software\\Tarvel", L"HoldMs", RRF_RT_REG_DWORD, nullptr, &holdMs, &size);
    EXPECT_EQ(holdMs, 400u);

    // A menu change while the window is open shows there, and its OK keeps it;
    // a time out of range is refused beside its box and keeps the window open.
    SendMessageW(trayWindow, WM_COMMAND, TrayCommandFullScreen, 0);
    EXPECT_EQ(SendDlgItemMessageW(dialog, IDC_FULL_SCREEN, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    SetDlgItemTextW(dialog, IDC_CORNER_MS, L"0");
    Press(dialog, IDOK);
    EXPECT_NE(ControlText(dialog, IDC_CORNER_STATUS).find(L"from 50 to 5000"), std::wstring::npos);
    SetDlgItemTextW(dialog, IDC_CORNER_MS, L"150");

    // A free key, with OK: registered, the window closes, and the key pauses.
    SendDlgItemMessageW(dialog, IDC_PAUSE_KEY, HKM_SETHOTKEY, MAKEWORD('P', HOTKEYF_CONTROL | HOTKEYF_ALT), 0);
    Press(dialog, IDOK);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }, std::chrono::milliseconds(kGenerous)))
        << "OK did not close the window";
    DWORD fullScreen = 1;
    RegGetValueW(HKEY_CURRENT_USER, L"Software\\Tarvel", L"FullScreenKeepsButton", RRF_RT_REG_DWORD, nullptr,
                 &fullScreen, &size);
    EXPECT_EQ(fullScreen, 0u) << "OK put back the choice the window showed before the menu changed it";
    // Wine hands typed keys, a hot key's included, to the thread in front;
    // with the window closed there may be none, and the key would be lost.
    ForegroundSwitcher apps;
    ASSERT_TRUE(apps.SwitchTo(L"notepad.exe"));
    TypeWithCtrlAlt('P');
    EXPECT_TRUE(WaitUntil([&] { return Tooltip(trayWindow) == L"Tarvel: first side button, paused"; },
                          std::chrono::milliseconds(kGenerous)))
        << "the pause key did not pause";
    TypeWithCtrlAlt('P');
    EXPECT_TRUE(WaitUntil([&] { return Tooltip(trayWindow) == L"Tarvel: first side button, on"; },
                          std::chrono::milliseconds(kGenerous)));

    // Pressed in its own box, the pause key is entered there and does not pause.
    EXPECT_EQ(RunHost(L"--settings").exitCode, 0);
    dialog = FindSettingsWindow();
    // Typed keys go to the thread in front (see above): wait for the window.
    ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == dialog; }, std::chrono::milliseconds(kGenerous)));
    SendDlgItemMessageW(dialog, IDC_PAUSE_KEY, HKM_SETHOTKEY, 0, 0);
    SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, IDC_PAUSE_KEY)), TRUE);
    // The hot key as Windows delivers it: Wine drops some typed keys while a
    // window of another process has just come to the front.
    PostMessageW(trayWindow, WM_HOTKEY, PauseKey::kId, MAKELPARAM(MOD_CONTROL | MOD_ALT, 'P'));
    EXPECT_TRUE(WaitUntil([&] { return LOWORD(SendDlgItemMessageW(dialog, IDC_PAUSE_KEY, HKM_GETHOTKEY, 0, 0)) ==
                                       MAKEWORD('P', HOTKEYF_CONTROL | HOTKEYF_ALT); },
                          std::chrono::milliseconds(kGenerous)))
        << "the box did not take the pause key";
    EXPECT_EQ(Tooltip(trayWindow), L"Tarvel: first side button, on");
    EXPECT_EQ(RunHost(L"--quit").exitCode, 0);
    EXPECT_EQ(tray.WaitForExit(kGenerous), 0);
}

}  // namespace
