// tarvel-host.exe started with no arguments, as Explorer or the Run entry
// starts it: in the background with an icon in the notification area.  The
// menu's items are driven by sending the WM_COMMAND each item sends: a test
// cannot open a notification-area menu and pick from it reliably under Wine.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <wtsapi32.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "host_process.h"
#include "support/app_switcher_window.h"
#include "support/foreground_switcher.h"
#include "support/import_patch.h"
#include "support/key_recorder.h"
#include "tray_menu.h"
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

int Occurrences(const std::string& text, const std::string& part)
{
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++count;
    return count;
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
    HWND window = StartTray(tray, "xbutton1");
    ASSERT_NE(window, nullptr) << tray.Output() << tray.Errors();
    EXPECT_TRUE(IconShown(window));
    EXPECT_EQ(Tooltip(window), L"Tarvel: first side button, on") << "nonsense in the registry gives the defaults";

    // Started by the user, it says so in a balloon; started again, the
    // running copy says so again and the second one ends at once.
    EXPECT_TRUE(tray.WaitForOutput("balloon shown: Tarvel is running\n", kGenerous)) << tray.Output();
    const HostRun second = RunHost(L"");
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_EQ(second.output, "") << "a second instance started";
    EXPECT_EQ(FindWindowW(kTrayWindowClass, nullptr), window);
    EXPECT_TRUE(WaitUntil([&] { return Occurrences(tray.Output(), "balloon shown: Tarvel is running\n") == 2; },
                          std::chrono::milliseconds(kGenerous)))
        << "the second start did not make the running copy show itself: " << tray.Output();

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
    EXPECT_TRUE(tray.WaitForOutput("middle pressed", kGenerous)) << tray.Output();
    EXPECT_TRUE(CloseAppSwitcher(WaitForAppSwitcher(std::chrono::milliseconds(kGenerous)),
                                 std::chrono::milliseconds(kGenerous)));
    EXPECT_EQ(Occurrences(tray.Output(), " pressed: "), 1) << "a paused press ran the macro: " << tray.Output();
    EXPECT_EQ(observer.middle.load(), 1);
    SendMessageW(window, WM_COMMAND, TrayCommandPause, 0);

    PostMessageW(window, WM_COMMAND, TrayCommandQuit, 0);
    EXPECT_EQ(tray.WaitForExit(kGenerous), 0) << tray.Output() << tray.Errors();
    EXPECT_FALSE(IconShown(window)) << "the icon outlived the instance";

    HostProcess again;
    window = StartTray(again, "middle");
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
    EXPECT_EQ(ReadString(kRunKey, L"Tarvel"), L"\"" + std::wstring(path) + L"\" --logon");
    EXPECT_EQ(RunHost(L"--autostart off").exitCode, 0);
    EXPECT_EQ(ReadString(kRunKey, L"Tarvel"), std::nullopt);
}

TEST(HostTray, ExcludedApplicationInFront_TheButtonReachesIt_NoFlip)
{
    const CleanRegistry registry;
    ButtonObserver observer;  // before the host's hook, so asked after it
    ASSERT_TRUE(observer.Installed());
    ForegroundSwitcher apps;
    ASSERT_TRUE(apps.SwitchTo(L"notepad.exe"));
    HostProcess tray;
    HWND window = StartTray(tray, "xbutton1");
    ASSERT_NE(window, nullptr) << tray.Output() << tray.Errors();

    // "Off in notepad.exe", picked from the menu.
    SendMessageW(window, WM_COMMAND, TrayCommandExclude, 0);
    wchar_t excluded[64]{};
    DWORD size = sizeof(excluded);
    RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, L"Excluded", RRF_RT_REG_MULTI_SZ, nullptr, excluded, &size);
    EXPECT_STREQ(excluded, L"notepad.exe");
    EXPECT_TRUE(tray.WaitForOutput("the button is left to notepad.exe\n", kGenerous)) << tray.Output();
    ClickSideButton(XBUTTON1);
    EXPECT_TRUE(WaitForCount(observer.xbutton1, 1)) << "the excluded application did not get the button";

    ASSERT_TRUE(apps.SwitchTo(L"calc.exe"));
    EXPECT_TRUE(tray.WaitForOutput("the button flips windows again\n", kGenerous)) << tray.Output();
    ClickSideButton(XBUTTON1);
    EXPECT_TRUE(tray.WaitForOutput("xbutton1 pressed: ", kGenerous)) << tray.Output();
    EXPECT_TRUE(CloseAppSwitcher(WaitForAppSwitcher(std::chrono::milliseconds(kGenerous)),
                                 std::chrono::milliseconds(kGenerous)));
    EXPECT_EQ(Occurrences(tray.Output(), " pressed: "), 1) << "the press in notepad.exe ran the macro";
    EXPECT_EQ(observer.xbutton1.load(), 1) << "outside the excluded application the button was not swallowed";
    EXPECT_EQ(RunHost(L"--quit").exitCode, 0);
    EXPECT_EQ(tray.WaitForExit(kGenerous), 0);
}

// Task View belongs to explorer.exe, which users exclude for File Explorer's
// Back: the button must still close it.
TEST(HostTray, ExcludedApplicationWithTheSwitcherInFront_TheButtonFlipsAllTheSame)
{
    const CleanRegistry registry;
    ForegroundSwitcher apps;
    ForegroundWindowProcess& explorer = apps.StartSwitcher(L"explorer.exe", L"MultitaskingViewFrame");
    ASSERT_TRUE(explorer.Started());
    HostProcess tray;
    HWND window = StartTray(tray, "xbutton1");
    ASSERT_NE(window, nullptr) << tray.Output() << tray.Errors();
    SendMessageW(window, WM_COMMAND, TrayCommandExclude, 0);  // "Off in explorer.exe"
    ASSERT_TRUE(tray.WaitForOutput("the button is left to explorer.exe\n", kGenerous)) << tray.Output();
    EXPECT_EQ(Tooltip(window), L"Tarvel: first side button, let through to explorer.exe (excluded)");

    ASSERT_TRUE(explorer.ShowSwitcher());
    EXPECT_TRUE(tray.WaitForOutput("the button flips windows again\n", kGenerous)) << tray.Output();
    EXPECT_EQ(Tooltip(window), L"Tarvel: first side button, on");
    ClickSideButton(XBUTTON1);
    EXPECT_TRUE(tray.WaitForOutput("xbutton1 pressed: ", kGenerous)) << "the switcher did not get the press";
    EXPECT_TRUE(CloseAppSwitcher(WaitForAppSwitcher(std::chrono::milliseconds(kGenerous)),
                                 std::chrono::milliseconds(kGenerous)));
    EXPECT_EQ(RunHost(L"--quit").exitCode, 0);
    EXPECT_EQ(tray.WaitForExit(kGenerous), 0);
}

// A frameless, topmost window of this process at a known place, in front,
// that counts the first side button's downs and ups it receives.
class ButtonTarget {
public:
    static constexpr POINT kCenter{700, 475};
    static inline std::atomic<int> downs{0};
    static inline std::atomic<int> ups{0};

    ButtonTarget()
    {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
            if ((message == WM_XBUTTONDOWN || message == WM_XBUTTONUP) && GET_XBUTTON_WPARAM(wParam) == XBUTTON1)
                ++(message == WM_XBUTTONDOWN ? downs : ups);
            return DefWindowProcW(window, message, wParam, lParam);
        };
        windowClass.lpszClassName = L"TarvelTestButtonTarget";
        RegisterClassW(&windowClass);
        m_thread = std::thread([this] {
            MSG message;
            m_window = CreateWindowExW(WS_EX_TOPMOST, L"TarvelTestButtonTarget", L"", WS_POPUP | WS_VISIBLE,
                                       kCenter.x - 100, kCenter.y - 75, 200, 150, nullptr, nullptr, nullptr, nullptr);
            SetForegroundWindow(m_window);
            while (GetMessageW(&message, nullptr, 0, 0) > 0)
                DispatchMessageW(&message);
            DestroyWindow(m_window);
        });
    }
    ~ButtonTarget()
    {
        PostMessageW(m_window, WM_QUIT, 0, 0);
        m_thread.join();
    }
    bool InFront() const
    {
        return WaitUntil([&] { return m_window != nullptr && GetForegroundWindow() == m_window; },
                         std::chrono::milliseconds(kGenerous));
    }

private:
    std::atomic<HWND> m_window{nullptr};
    std::thread m_thread;
};

// xdotool through the X server, as a user's mouse: Wine starts a Unix
// program given by its path, but hands back no process to wait for (the
// caller waits for what it does).  False when it could not be started.
bool Xdotool(const std::wstring& arguments)
{
    std::wstring commandLine = L"xdotool " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(L"Z:\\usr\\bin\\xdotool", commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return false;
    for (HANDLE handle : {process.hThread, process.hProcess}) {
        if (handle != nullptr)
            CloseHandle(handle);
    }
    return true;
}

// A real side button (through the X server) over an excluded window: another
// application comes to the front between its down and its up, and the window
// still gets both halves.
TEST(HostTray, RealSideButtonOverAnExcludedWindow_ItGetsTheDownAndTheUp_ThoughTheFrontChangesBetween)
{
    const CleanRegistry registry;
    const wchar_t excluded[] = L"host_tray_test.exe\0";
    RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKey, L"Excluded", REG_MULTI_SZ, excluded, sizeof(excluded));
    const ButtonTarget target;
    ASSERT_TRUE(target.InFront());
    HostProcess tray;
    ASSERT_NE(StartTray(tray, "xbutton1"), nullptr) << tray.Output() << tray.Errors();
    ASSERT_TRUE(tray.WaitForOutput("the button is left to host_tray_test.exe\n", kGenerous)) << tray.Output();

    const std::wstring at = std::to_wstring(ButtonTarget::kCenter.x) + L" " + std::to_wstring(ButtonTarget::kCenter.y);
    ASSERT_TRUE(Xdotool(L"mousemove " + at + L" mousedown 8"));
    ASSERT_TRUE(WaitForCount(ButtonTarget::downs, 1)) << "the down did not reach the excluded window";
    ForegroundSwitcher apps;
    ASSERT_TRUE(apps.SwitchTo(L"notepad.exe"));
    ASSERT_TRUE(tray.WaitForOutput("the button flips windows again\n", kGenerous)) << tray.Output();
    ASSERT_TRUE(Xdotool(L"mousemove " + at + L" mouseup 8"));
    EXPECT_TRUE(WaitForCount(ButtonTarget::ups, 1)) << "the up was swallowed: the window waits for it";
    EXPECT_EQ(ButtonTarget::downs.load(), 1);
    EXPECT_EQ(tray.Output().find(" pressed: "), std::string::npos) << "the press ran the macro";
    EXPECT_EQ(RunHost(L"--quit").exitCode, 0);
    EXPECT_EQ(tray.WaitForExit(kGenerous), 0);
}

// The pop-up menu shown now (one at a time on a desktop), or null.
HWND ShownMenu()
{
    HWND menu = FindWindowW(L"#32768", nullptr);
    return menu != nullptr && IsWindowVisible(menu) ? menu : nullptr;
}

std::wstring CentreOf(HWND window)
{
    RECT area{};
    GetWindowRect(window, &area);
    return std::to_wstring((area.left + area.right) / 2) + L" " + std::to_wstring((area.top + area.bottom) / 2);
}

// The icon's menu takes the foreground for Tarvel's own window, which stays
// in front after the menu has closed until the user clicks elsewhere.  The
// application picked in the menu keeps the very next press all the same:
// a real one, from the X server, over that application's window.
TEST(HostTray, ApplicationExcludedFromTheMenu_KeepsTheNextPressWithoutAClick)
{
    const CleanRegistry registry;
    ButtonObserver observer;  // before the host's hook, so asked after it
    ASSERT_TRUE(observer.Installed());
    ForegroundSwitcher apps;
    ASSERT_TRUE(apps.SwitchTo(L"notepad.exe"));
    const std::wstring notepad = CentreOf(GetForegroundWindow());
    HostProcess tray;
    HWND window = StartTray(tray, "xbutton1");
    ASSERT_NE(window, nullptr) << tray.Output() << tray.Errors();

    // A click on the icon, as the shell reports it; Escape, typed over the
    // menu, closes it; the pick sends its command to the window afterwards.
    PostMessageW(window, kTrayIconMessage, 1, WM_RBUTTONUP);
    ASSERT_TRUE(WaitUntil([] { return ShownMenu() != nullptr; }, std::chrono::milliseconds(kGenerous)));
    ASSERT_TRUE(Xdotool(L"mousemove " + CentreOf(ShownMenu()) + L" key Escape"));
    ASSERT_TRUE(WaitUntil([] { return ShownMenu() == nullptr; }, std::chrono::milliseconds(kGenerous)));
    SendMessageW(window, WM_COMMAND, TrayCommandExclude, 0);
    ASSERT_EQ(ForegroundProcessId(), tray.ProcessId()) << "Tarvel's own window is not in front after its menu";

    ASSERT_TRUE(Xdotool(L"mousemove " + notepad + L" click 8"));
    EXPECT_TRUE(WaitForCount(observer.xbutton1, 1)) << "the application excluded in the menu did not get the press";
    EXPECT_EQ(Occurrences(tray.Output(), " pressed: "), 0) << "the press ran the macro: " << tray.Output();
    if (HWND list = WaitForAppSwitcher(std::chrono::milliseconds(0)))  // a press that was taken after all
        CloseAppSwitcher(list, std::chrono::milliseconds(kGenerous));
    EXPECT_EQ(RunHost(L"--quit").exitCode, 0);
    EXPECT_EQ(tray.WaitForExit(kGenerous), 0);
}

// What "Restart as administrator" starts: the new copy ends the running one
// and takes its place (here without the elevation, which Wine lacks).
TEST(HostTray, ReplaceStart_EndsTheRunningCopyAndTakesItsPlace)
{
    const CleanRegistry registry;
    HostProcess first;
    ASSERT_NE(StartTray(first, "xbutton1"), nullptr) << first.Output() << first.Errors();
    HostProcess second;
    ASSERT_TRUE(second.Start(L"--replace"));
    EXPECT_EQ(first.WaitForExit(kGenerous), 0) << first.Output() << first.Errors();
    EXPECT_TRUE(second.WaitForOutput("in the notification area, \"Tarvel\" runs on xbutton1", kGenerous))
        << second.Output() << second.Errors();
    EXPECT_EQ(RunHost(L"--quit").exitCode, 0);
    EXPECT_EQ(second.WaitForExit(kGenerous), 0) << second.Output() << second.Errors();
}

// Windows removes a slow hook silently; after an unlock the host installs it
// again, which puts it ahead of every hook installed since.
TEST(HostTray, SessionUnlocked_TheHookIsInstalledAgainAheadOfLaterHooks)
{
    const CleanRegistry registry;
    HostProcess tray;
    HWND window = StartTray(tray, "xbutton1");
    ASSERT_NE(window, nullptr) << tray.Output() << tray.Errors();
    ButtonObserver later;  // after the host's hook, so asked before it
    ASSERT_TRUE(later.Installed());
    ClickSideButton(XBUTTON1);
    ASSERT_TRUE(WaitForCount(later.xbutton1, 1));
    ASSERT_TRUE(tray.WaitForOutput("xbutton1 pressed: ", kGenerous)) << tray.Output();
    EXPECT_TRUE(CloseAppSwitcher(WaitForAppSwitcher(std::chrono::milliseconds(kGenerous)),
                                 std::chrono::milliseconds(kGenerous)));

    SendMessageW(window, WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK, 0);
    EXPECT_TRUE(tray.WaitForOutput("installed the mouse hook again (after unlock)\n", kGenerous)) << tray.Output();
    ClickSideButton(XBUTTON1);
    EXPECT_TRUE(WaitUntil([&] { return Occurrences(tray.Output(), " pressed: ") == 2; },
                          std::chrono::milliseconds(kGenerous)))
        << tray.Output();
    EXPECT_TRUE(CloseAppSwitcher(WaitForAppSwitcher(std::chrono::milliseconds(kGenerous)),
                                 std::chrono::milliseconds(kGenerous)));
    EXPECT_EQ(later.xbutton1.load(), 1) << "a hook installed later still comes first: the host's was not renewed";
    EXPECT_EQ(RunHost(L"--quit").exitCode, 0);
    EXPECT_EQ(tray.WaitForExit(kGenerous), 0);
}

// The message box the process `processId` shows, once it shows one; null
// after a generous wait.
HWND FindMessageBox(DWORD processId)
{
    struct Search {
        DWORD processId;
        HWND box;
    } search{processId, nullptr};
    const auto find = [](HWND window, LPARAM data) -> BOOL {
        auto* search = reinterpret_cast<Search*>(data);
        DWORD owner = 0;
        wchar_t name[16]{};
        GetWindowThreadProcessId(window, &owner);
        GetClassNameW(window, name, ARRAYSIZE(name));
        if (owner == search->processId && lstrcmpW(name, L"#32770") == 0 && IsWindowVisible(window))
            search->box = window;
        return search->box == nullptr;
    };
    WaitUntil([&] { return !EnumWindows(find, reinterpret_cast<LPARAM>(&search)) || search.box != nullptr; },
              std::chrono::milliseconds(kGenerous));
    return search.box;
}

// The text of the message box the process `processId` shows (its static
// controls' texts), once it shows one; the box is then closed with `answer`.
std::wstring TakeMessageBox(DWORD processId, WPARAM answer = IDOK)
{
    HWND box = FindMessageBox(processId);
    if (box == nullptr)
        return {};
    std::wstring text;
    const auto collect = [](HWND child, LPARAM data) -> BOOL {
        wchar_t part[1024]{};
        GetWindowTextW(child, part, ARRAYSIZE(part));
        *reinterpret_cast<std::wstring*>(data) += part;
        return TRUE;
    };
    EnumChildWindows(box, collect, reinterpret_cast<LPARAM>(&text));
    PostMessageW(box, WM_COMMAND, answer, 0);
    return text;
}

// Run from inside a ZIP, Explorer extracts tarvel-host.exe alone; a package
// can also lose tarvel.dll, or the app switcher's folder.  Either way a
// message box says what to do, naming what is missing.
TEST(HostTray, StartedWithoutItsDllsOrSwitcher_AMessageBoxSaysWhatToDo_ExitCodeTwo)
{
    struct Case {
        const wchar_t* folder;
        std::vector<const wchar_t*> files;
        const wchar_t* missing;
    };
    for (const Case& test : {Case{L"host_alone", {L"tarvel-host.exe"}, L"tarvel-bridge.dll"},
                             Case{L"host_without_plugin", {L"tarvel-host.exe", L"tarvel-bridge.dll"}, L"tarvel.dll"},
                             Case{L"host_without_switcher", {L"tarvel-host.exe", L"tarvel-bridge.dll", L"tarvel.dll"},
                                  L"tarvel-host\\Pluggins has no ZeltoAppSwitcher.exe"}}) {
        SCOPED_TRACE(std::string(test.folder, test.folder + lstrlenW(test.folder)));
        const std::wstring folder = std::wstring(test.folder) + L"_" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(folder.c_str(), nullptr);
        for (const wchar_t* file : test.files)
            ASSERT_TRUE(CopyFileW(file, (folder + L"\\" + file).c_str(), FALSE));
        {
            HostProcess host;
            ASSERT_TRUE(host.Start(L"", 0, folder + L"\\tarvel-host.exe"));
            const std::wstring text = TakeMessageBox(host.ProcessId());
            EXPECT_NE(text.find(test.missing), std::wstring::npos) << "no message box naming the file";
            EXPECT_LT(text.find(L"Extract the whole ZIP first"), text.find(test.missing))
                << "the message does not lead with what to do: " << text;
            EXPECT_EQ(host.WaitForExit(kGenerous), 2) << host.Errors();
        }
        for (const wchar_t* file : test.files)
            DeleteFileW((folder + L"\\" + file).c_str());
        RemoveDirectoryW(folder.c_str());
    }
}

// A copy started from another folder (a newer ZIP beside the installed copy)
// says which copy runs and from where, and Yes switches to it.
TEST(HostTray, SecondCopyFromAnotherFolder_SaysWhichCopyRunsAndWhere_YesSwitchesToIt)
{
    const CleanRegistry registry;
    const std::wstring folder = L"other_copy_" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    const std::vector<const wchar_t*> files{L"tarvel-host.exe", L"tarvel-bridge.dll", L"tarvel.dll",
                                            L"tarvel-host\\Pluggins\\ZeltoAppSwitcher.exe"};
    for (const wchar_t* made : {L"", L"tarvel-host", L"tarvel-host\\Pluggins"})
        CreateDirectoryW((folder + made).c_str(), nullptr);
    for (const wchar_t* file : files)
        ASSERT_TRUE(CopyFileW(file, (folder + file).c_str(), FALSE));
    HostProcess first;
    ASSERT_NE(StartTray(first, "xbutton1"), nullptr) << first.Output() << first.Errors();
    HostProcess second;
    ASSERT_TRUE(second.Start(L"", 0, folder + L"tarvel-host.exe"));
    const std::wstring text = TakeMessageBox(second.ProcessId(), IDYES);
    wchar_t running[MAX_PATH]{};
    std::wstring said = text;  // paths compared without regard to case
    CharLowerBuffW(running, GetFullPathNameW(L"tarvel-host.exe", MAX_PATH, running, nullptr));
    CharLowerBuffW(said.data(), static_cast<DWORD>(said.size()));
    EXPECT_NE(said.find(running), std::wstring::npos) << "the running copy's path is not named: " << text;
    EXPECT_NE(text.find(L"--replace"), std::wstring::npos) << text;
    EXPECT_EQ(first.WaitForExit(kGenerous), 0) << "Yes did not end the running copy: " << first.Output();
    EXPECT_TRUE(second.WaitForOutput("in the notification area, \"Tarvel\" runs on xbutton1", kGenerous))
        << second.Output() << second.Errors();
    EXPECT_EQ(RunHost(L"--quit").exitCode, 0);
    EXPECT_EQ(second.WaitForExit(kGenerous), 0) << second.Output() << second.Errors();
    for (const wchar_t* file : files)
        DeleteFileW((folder + file).c_str());
    for (const wchar_t* made : {L"tarvel-host\\Pluggins", L"tarvel-host", L""})
        RemoveDirectoryW((folder + made).c_str());
}

// Wine cannot be made to refuse a low-level hook: the host starts with this
// thread as its debugger, and at the loader's first breakpoint (its imports
// bound) its import of SetWindowsHookExW is pointed at user32's
// GetOpenClipboardWindow, which answers null (no clipboard is open; system
// DLLs sit at one address in every process); then the debugger lets go.
bool StartWithTheHookRefused(HostProcess& host)
{
    HMODULE image = LoadLibraryExW(L"tarvel-host.exe", nullptr, DONT_RESOLVE_DLL_REFERENCES);
    const ImportPatch probe(image, "user32.dll", "SetWindowsHookExW", nullptr);  // finds the entry
    const ULONG_PTR entry = reinterpret_cast<ULONG_PTR>(probe.Slot()) - reinterpret_cast<ULONG_PTR>(image);
    const auto refuse =
        reinterpret_cast<ULONG_PTR>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetOpenClipboardWindow"));
    if (!probe.Applied() || !host.Start(L"", DEBUG_ONLY_THIS_PROCESS))
        return false;
    HANDLE process = nullptr;
    ULONG_PTR base = 0;
    for (DEBUG_EVENT event{}; WaitForDebugEvent(&event, kGenerous);) {
        if (event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT) {
            process = event.u.CreateProcessInfo.hProcess;
            base = reinterpret_cast<ULONG_PTR>(event.u.CreateProcessInfo.lpBaseOfImage);
            CloseHandle(event.u.CreateProcessInfo.hFile);
        } else if (event.dwDebugEventCode == LOAD_DLL_DEBUG_EVENT) {
            CloseHandle(event.u.LoadDll.hFile);
        } else if (event.dwDebugEventCode == EXCEPTION_DEBUG_EVENT) {
            void* slot = reinterpret_cast<void*>(base + entry);
            DWORD old = 0;
            const bool patched = VirtualProtectEx(process, slot, 8, PAGE_READWRITE, &old) &&
                                 WriteProcessMemory(process, slot, &refuse, 8, nullptr);
            ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE);
            return DebugActiveProcessStop(event.dwProcessId) && patched;
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE);
    }
    return false;
}

// The failed start's message box pumps the window before any icon exists:
// the taskbar's return, a DPI change and a second start come meanwhile.
TEST(HostTray, HookRefused_MessagesWhileItsBoxIsUnansweredNeedNoIcon_AClearMessageAndExitCodeOne)
{
    const CleanRegistry registry;
    HostProcess tray;
    ASSERT_TRUE(StartWithTheHookRefused(tray));
    HWND box = FindMessageBox(tray.ProcessId());
    ASSERT_NE(box, nullptr) << tray.Output() << tray.Errors();
    HWND window = FindWindowW(kTrayWindowClass, nullptr);
    ASSERT_NE(window, nullptr);
    DWORD_PTR answer = 0;
    RECT suggested{0, 0, 640, 480};
    EXPECT_TRUE(SendMessageTimeoutW(window, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0, SMTO_NORMAL, kGenerous,
                                    &answer));
    EXPECT_TRUE(SendMessageTimeoutW(window, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested),
                                    SMTO_NORMAL, kGenerous, &answer));
    EXPECT_EQ(RunHost(L"").exitCode, 0);
    EXPECT_TRUE(SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, kGenerous, &answer))
        << "the second start's message ended it";
    EXPECT_NE(TakeMessageBox(tray.ProcessId()).find(L"mouse hook could not be installed"), std::wstring::npos);
    EXPECT_EQ(tray.WaitForExit(kGenerous), 1) << tray.Output() << tray.Errors();
    EXPECT_NE(tray.Errors().find("Windows did not let it watch the mouse"), std::string::npos) << tray.Errors();
}

// The background mode during a flip (composition on, an application in
// front for the foreground monitor), ended in one of the ways it can be.
class HostTrayFlipping : public ::testing::Test {
protected:
    void StartFlip()
    {
        ASSERT_TRUE(keys.Installed());
        ASSERT_TRUE(apps.SwitchTo(L"notepad.exe"));
        window = StartTray(tray, "xbutton1");
        ASSERT_NE(window, nullptr) << tray.Output() << tray.Errors();
        ClickSideButton(XBUTTON1);
        // What the flip slows unless the user chooses the pointer: one line a notch.
        ASSERT_TRUE(tray.WaitForOutput("scroll lines 5, Execute returned 1, scroll lines now 1\n", kGenerous))
            << tray.Output();
        ASSERT_TRUE(keys.WaitFor(VK_LWIN, true, 1, std::chrono::milliseconds(kGenerous)));
    }

    // The key up once, the lines back, the icon gone.
    void ExpectPutBack()
    {
        EXPECT_TRUE(tray.WaitForOutput("plug-in unloaded, scroll lines 5\n", kGenerous)) << tray.Output();
        EXPECT_TRUE(keys.WaitFor(VK_LWIN, false, 1, std::chrono::milliseconds(kGenerous))) << "the key is down";
        EXPECT_EQ(keys.Count(VK_LWIN, false), 1u);
        EXPECT_FALSE(IconShown(window));
    }

    const CleanRegistry registry;
    const WheelLinesForTest lines{5};
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
