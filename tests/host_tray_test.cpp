// tarvel-host.exe started with no arguments, as Explorer or the Run entry
// starts it: in the background with an icon in the notification area.  The
// menu's items are driven by sending the WM_COMMAND each item sends: a test
// cannot open a notification-area menu and pick from it reliably under Wine.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <optional>
#include <string>

#include "host_process.h"
#include "support/app_switcher_window.h"
#include "support/foreground_switcher.h"
#include "support/key_recorder.h"
#include "tray_mode.h"

namespace {

constexpr DWORD kGenerous = 10000;
const wchar_t kSettingsKey[] = L"Software\\Tarvel";
const wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

std::optional<std::wstring> ReadString(const wchar_t* key, const wchar_t* name)
{
    wchar_t text[MAX_PATH]{};
    DWORD size = sizeof(text);
    if (RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(text);
}

// Each test starts without the user's settings and Run value and leaves none.
class CleanRegistry {
public:
    CleanRegistry() { Clean(); }
    ~CleanRegistry() { Clean(); }

private:
    static void Clean()
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey);
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, L"Tarvel");
    }
};

// Whether the notification area holds the instance's icon: a change of
// nothing succeeds only for an icon that is there.  Wine drops an icon with
// its window too, so after the end this shows what the user sees, not that
// the host removed it.
bool IconShown(HWND window)
{
    NOTIFYICONDATAW icon{};
    icon.cbSize = sizeof(icon);
    icon.hWnd = window;
    icon.uID = 1;
    return Shell_NotifyIconW(NIM_MODIFY, &icon) != FALSE;
}

// The tooltip, which the instance's window carries as its title.
std::wstring Tooltip(HWND window)
{
    wchar_t title[128]{};
    GetWindowTextW(window, title, ARRAYSIZE(title));
    return title;
}

// Starts the background mode and waits until it says it runs on `button`.
HWND StartTray(HostProcess& tray, const std::string& button)
{
    if (!tray.Start(L"") || !tray.WaitForOutput("in the notification area, \"Tarvel\" runs on " + button, kGenerous))
        return nullptr;
    return FindWindowW(kTrayWindowClass, nullptr);
}

TEST(HostTray, MenuChangesButtonAndPause_KeptAcrossARestart_OneInstanceOnly)
{
    const CleanRegistry registry;
    const DWORD nonsense = 7;
    RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKey, L"Button", REG_SZ, L"left", 10);
    RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKey, L"Paused", REG_DWORD, &nonsense, sizeof(nonsense));
    ButtonObserver observer;  // before the host's hook, so asked after it
    ASSERT_TRUE(observer.Installed());
    HostProcess tray;
    HWND window = StartTray(tray, "XBUTTON1");
    ASSERT_NE(window, nullptr) << tray.Output() << tray.Errors();
    EXPECT_TRUE(IconShown(window));
    EXPECT_EQ(Tooltip(window), L"Tarvel: first side button, on") << "nonsense in the registry gives the defaults";

    const HostRun second = RunHost(L"");
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_EQ(second.output, "") << "a second instance started";
    EXPECT_EQ(FindWindowW(kTrayWindowClass, nullptr), window);

    // Paused, the middle button passes through; on again, it runs the macro
    // (which, composition being off, starts the host's app switcher) and is
    // swallowed.
    SendMessageW(window, WM_COMMAND, TrayCommandMiddle, 0);
    SendMessageW(window, WM_COMMAND, TrayCommandPause, 0);
    EXPECT_EQ(Tooltip(window), L"Tarvel: middle button, paused");
    EXPECT_EQ(ReadString(kSettingsKey, L"Button"), L"middle");
    Click(MOUSEEVENTF_MIDDLEDOWN, MOUSEEVENTF_MIDDLEUP, 0);
    EXPECT_TRUE(WaitForCount(observer.middle, 1)) << "paused, the button was swallowed";
    SendMessageW(window, WM_COMMAND, TrayCommandPause, 0);
    Click(MOUSEEVENTF_MIDDLEDOWN, MOUSEEVENTF_MIDDLEUP, 0);
    EXPECT_TRUE(tray.WaitForOutput("middle button pressed", kGenerous)) << tray.Output();
    EXPECT_TRUE(CloseAppSwitcher(WaitForAppSwitcher(std::chrono::milliseconds(kGenerous)),
                                 std::chrono::milliseconds(kGenerous)));
    EXPECT_EQ(CountLines(tray.Output()), 2) << "a paused press ran the macro: " << tray.Output();
    EXPECT_EQ(observer.middle.load(), 1);
    SendMessageW(window, WM_COMMAND, TrayCommandPause, 0);

    PostMessageW(window, WM_COMMAND, TrayCommandQuit, 0);
    EXPECT_EQ(tray.WaitForExit(kGenerous), 0) << tray.Output() << tray.Errors();
    EXPECT_FALSE(IconShown(window)) << "the icon outlived the instance";

    HostProcess again;
    window = StartTray(again, "middle button");
    ASSERT_NE(window, nullptr) << again.Output() << again.Errors();
    EXPECT_EQ(Tooltip(window), L"Tarvel: middle button, paused");
    EXPECT_EQ(RunHost(L"--quit").exitCode, 0);
    EXPECT_EQ(again.WaitForExit(kGenerous), 0);
    EXPECT_EQ(RunHost(L"--quit").exitCode, 1) << "none runs";
}

TEST(HostTray, AutostartOnAndOff_WriteAndRemoveTheRunValue)
{
    const CleanRegistry registry;
    wchar_t path[MAX_PATH]{};
    GetFullPathNameW(L"tarvel-host.exe", MAX_PATH, path, nullptr);
    EXPECT_EQ(RunHost(L"--autostart on").exitCode, 0);
    EXPECT_EQ(ReadString(kRunKey, L"Tarvel"), L"\"" + std::wstring(path) + L"\"");
    EXPECT_EQ(RunHost(L"--autostart off").exitCode, 0);
    EXPECT_EQ(ReadString(kRunKey, L"Tarvel"), std::nullopt);
}

// The background mode during a flip (composition on, an application in
// front for the foreground monitor), ended in one of the ways it can be.
class HostTrayFlipping : public ::testing::Test {
protected:
    void StartFlip()
    {
        ASSERT_TRUE(keys.Installed());
        ASSERT_TRUE(apps.SwitchTo(L"notepad.exe"));
        window = StartTray(tray, "XBUTTON1");
        ASSERT_NE(window, nullptr) << tray.Output() << tray.Errors();
        ClickSideButton(XBUTTON1);
        ASSERT_TRUE(tray.WaitForOutput("pointer speed 13, Execute returned 1, pointer speed now 2\n", kGenerous))
            << tray.Output();
        ASSERT_TRUE(keys.WaitFor(VK_LWIN, true, 1, std::chrono::milliseconds(kGenerous)));
    }

    // The key up once, the exact speed back, the icon gone.
    void ExpectPutBack()
    {
        EXPECT_TRUE(tray.WaitForOutput("plug-in unloaded, pointer speed 13\n", kGenerous)) << tray.Output();
        EXPECT_TRUE(keys.WaitFor(VK_LWIN, false, 1, std::chrono::milliseconds(kGenerous))) << "the key is down";
        EXPECT_EQ(keys.Count(VK_LWIN, false), 1u);
        EXPECT_FALSE(IconShown(window));
    }

    const CleanRegistry registry;
    const PointerSpeedForTest speed{13};
    const CompositionOn composition;
    KeyRecorder keys;
    ForegroundSwitcher apps;
    HWND window = nullptr;
    HostProcess tray;  // last: ended before the rest
};

TEST_F(HostTrayFlipping, QuitFromTheCommandLine_EndsItCleanly)
{
    ASSERT_NO_FATAL_FAILURE(StartFlip());
    EXPECT_EQ(RunHost(L"--quit").exitCode, 0);
    EXPECT_EQ(tray.WaitForExit(kGenerous), 0) << tray.Output() << tray.Errors();
    ExpectPutBack();
}

TEST_F(HostTrayFlipping, SessionEnding_EverythingPutBackBeforeTheSystemEndsIt)
{
    ASSERT_NO_FATAL_FAILURE(StartFlip());
    EXPECT_TRUE(SendMessageW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF));
    SendMessageW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    // The system may end the process as soon as WM_ENDSESSION has returned:
    // so does the test (unless it has already ended by itself).
    tray.WaitForExit(0);
    ExpectPutBack();
}

}  // namespace
