// tarvel-host.exe in its default mode, driven as a user drives it: mouse
// buttons injected with SendInput, the end asked for as Ctrl+C would.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>

#include "host_process.h"
#include "support/app_switcher_folder.h"
#include "support/foreground_switcher.h"
#include "support/key_recorder.h"

namespace {

constexpr DWORD kGenerous = 5000;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Counts, on a hook thread of its own, the side-button presses that reach the
// low-level mouse hooks installed before it (tarvel-host's comes later, so it
// is asked first and a press it swallows never gets here).
class SideButtonObserver {
public:
    SideButtonObserver()
    {
        s_instance = this;
        HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        m_thread = std::thread([this, ready] { Run(ready); });
        WaitForSingleObject(ready, INFINITE);
        CloseHandle(ready);
    }
    ~SideButtonObserver()
    {
        PostThreadMessageW(m_threadId, WM_QUIT, 0, 0);
        m_thread.join();
        s_instance = nullptr;
    }

    std::atomic<int> xbutton1{0};
    std::atomic<int> xbutton2{0};
    bool Installed() const { return m_installed; }

private:
    void Run(HANDLE ready) noexcept
    {
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
        m_threadId = GetCurrentThreadId();
        HHOOK hook = SetWindowsHookExW(WH_MOUSE_LL, &Observe, GetModuleHandleW(nullptr), 0);
        m_installed = hook != nullptr;
        SetEvent(ready);
        while (GetMessageW(&message, nullptr, 0, 0) > 0)
            DispatchMessageW(&message);
        if (hook != nullptr)
            UnhookWindowsHookEx(hook);
    }

    static LRESULT CALLBACK Observe(int code, WPARAM message, LPARAM data) noexcept
    {
        if (code == HC_ACTION && message == WM_XBUTTONDOWN && s_instance != nullptr) {
            const WORD button = HIWORD(reinterpret_cast<const MSLLHOOKSTRUCT*>(data)->mouseData);
            ++(button == XBUTTON1 ? s_instance->xbutton1 : s_instance->xbutton2);
        }
        return CallNextHookEx(nullptr, code, message, data);
    }

    static inline SideButtonObserver* s_instance = nullptr;
    bool m_installed = false;
    DWORD m_threadId = 0;
    std::thread m_thread;
};

void Click(DWORD downFlag, DWORD upFlag, DWORD data)
{
    INPUT inputs[2]{};
    inputs[0].type = inputs[1].type = INPUT_MOUSE;
    inputs[0].mi.dwFlags = downFlag;
    inputs[1].mi.dwFlags = upFlag;
    inputs[0].mi.mouseData = inputs[1].mi.mouseData = data;
    SendInput(2, inputs, sizeof(INPUT));
}

void ClickSideButton(WORD button) { Click(MOUSEEVENTF_XDOWN, MOUSEEVENTF_XUP, button); }

// What a user's Ctrl+C leads to inside the host: its main loop ends.
void AskToEnd(const HostProcess& host) { PostThreadMessageW(host.MainThreadId(), WM_QUIT, 0, 0); }

// Asks the stand-in dwmapi.dll in the prefix's system folder (the flip
// tests' fixture puts it there; Wine's own always answers off) to answer
// "on" to the host started next, which inherits this environment.
class CompositionOn {
public:
    CompositionOn() { SetEnvironmentVariableW(L"TARVEL_TEST_COMPOSITION", L"on"); }
    ~CompositionOn() { SetEnvironmentVariableW(L"TARVEL_TEST_COMPOSITION", nullptr); }
};

// Sets the pointer speed for the test and puts the old one back after.  Wine
// keeps each process's own copy of the speed once read, so what the host
// does to it is read by the host itself (its lines), not by this process.
class PointerSpeedForTest {
public:
    explicit PointerSpeedForTest(int speed) : m_old(Read()) { Write(speed); }
    ~PointerSpeedForTest() { Write(m_old); }

private:
    static int Read()
    {
        int speed = 0;
        SystemParametersInfoW(SPI_GETMOUSESPEED, 0, &speed, 0);
        return speed;
    }

    // Wine takes the speed in the integer argument, Windows in the pointer.
    static void Write(int speed)
    {
        SystemParametersInfoW(SPI_SETMOUSESPEED, speed, reinterpret_cast<void*>(static_cast<intptr_t>(speed)), 0);
    }
    int m_old;
};

constexpr std::chrono::milliseconds kKeyWait(kGenerous);

bool WaitForCount(const std::atomic<int>& counter, int value)
{
    for (int i = 0; i < 200 && counter.load() < value; ++i)
        Sleep(50);
    return counter.load() >= value;
}

TEST(HostButtonMode, ChosenButton_RunsTheMacroAndIsSwallowed_OthersPassThrough)
{
    SideButtonObserver observer;
    ASSERT_TRUE(observer.Installed());
    HostProcess host;
    ASSERT_TRUE(host.Start(L""));
    ASSERT_TRUE(host.WaitForOutput("runs on XBUTTON1", kGenerous)) << host.Output() << host.Errors();

    // Wine's desktop has no composition, so the press starts the host's app
    // switcher (the recording stand-in the build puts in Pluggins\) with the
    // prompt from the host's string table.
    const AppSwitcherFolder records;
    const std::wstring switcherFolder = L"Pluggins\\";
    DeleteFileW((switcherFolder + L"received.txt").c_str());
    ClickSideButton(XBUTTON1);
    EXPECT_TRUE(host.WaitForOutput(", Execute returned 1, pointer speed now ", kGenerous)) << host.Output();
    const auto launch = records.WaitForLaunch(switcherFolder, std::chrono::milliseconds(kGenerous));
    ASSERT_TRUE(launch.has_value());
    EXPECT_EQ(launch->arguments, L"\"Choose the application to switch to\"");
    DeleteFileW((switcherFolder + L"received.txt").c_str());
    ClickSideButton(XBUTTON2);
    EXPECT_TRUE(WaitForCount(observer.xbutton2, 1)) << "the observer saw nothing at all";
    EXPECT_EQ(observer.xbutton1.load(), 0) << "the chosen button was not swallowed";

    AskToEnd(host);
    EXPECT_EQ(host.WaitForExit(kGenerous), 0) << host.Output() << host.Errors();
    EXPECT_TRUE(Contains(host.Output(), "ended; handler destroyed, plug-in unloaded")) << host.Output();
    EXPECT_EQ(host.Errors(), "");
}

TEST(HostButtonMode, MiddleButtonChosen_SideButtonsPassThroughUntouched)
{
    SideButtonObserver observer;
    ASSERT_TRUE(observer.Installed());
    HostProcess host;
    ASSERT_TRUE(host.Start(L"--button middle"));
    ASSERT_TRUE(host.WaitForOutput("runs on middle button", kGenerous)) << host.Output() << host.Errors();

    ClickSideButton(XBUTTON1);
    EXPECT_TRUE(WaitForCount(observer.xbutton1, 1)) << "an unchosen button was swallowed";
    Click(MOUSEEVENTF_MIDDLEDOWN, MOUSEEVENTF_MIDDLEUP, 0);
    EXPECT_TRUE(host.WaitForOutput("middle button pressed: pointer speed ", kGenerous)) << host.Output();
    EXPECT_FALSE(Contains(host.Output(), "XBUTTON1 pressed")) << host.Output();
    // That press started the app switcher; its record must not mislead later tests.
    AppSwitcherFolder().WaitForLaunch(L"Pluggins\\", std::chrono::milliseconds(kGenerous));
    DeleteFileW(L"Pluggins\\received.txt");

    AskToEnd(host);
    EXPECT_EQ(host.WaitForExit(kGenerous), 0) << host.Output() << host.Errors();
}

TEST(HostButtonMode, PluginThatThrowsFromExecute_HostSaysSoAndKeepsRunning)
{
    HostProcess host;
    ASSERT_TRUE(host.Start(L"host_throwing_plugin.dll"));
    ASSERT_TRUE(host.WaitForOutput("runs on XBUTTON1", kGenerous)) << host.Output() << host.Errors();
    ClickSideButton(XBUTTON1);
    ClickSideButton(XBUTTON1);
    for (int i = 0; i < 200 && CountLines(host.Errors()) < 2; ++i)
        Sleep(50);
    EXPECT_EQ(CountLines(host.Errors()), 2) << host.Errors();
    EXPECT_TRUE(Contains(host.Errors(), "the plug-in's Execute raised an exception "
                                        "(ATL::CAtlException 0x8007000E); the host goes on"))
        << host.Errors();

    AskToEnd(host);
    EXPECT_EQ(host.WaitForExit(kGenerous), 0) << host.Output() << host.Errors();
    EXPECT_TRUE(Contains(host.Output(), "ended; handler destroyed, plug-in unloaded")) << host.Output();
}

TEST(HostButtonMode, CtrlC_EndsCleanly)
{
    // Ctrl+C as a user types it into the host's own console window.  Under
    // Wine only a console of the host's own reaches it (one inherited from
    // the test gets no event), so join that console to raise the event, and
    // ignore Ctrl+C in this process meanwhile.
    HostProcess host;
    ASSERT_TRUE(host.Start(L"", CREATE_NEW_CONSOLE));
    ASSERT_TRUE(host.WaitForOutput("runs on XBUTTON1", kGenerous)) << host.Output() << host.Errors();
    FreeConsole();
    ASSERT_TRUE(AttachConsole(host.ProcessId())) << GetLastError();
    SetConsoleCtrlHandler(nullptr, TRUE);
    EXPECT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) << GetLastError();

    EXPECT_EQ(host.WaitForExit(kGenerous), 0) << host.Output() << host.Errors();
    EXPECT_TRUE(Contains(host.Output(), "ended; handler destroyed, plug-in unloaded")) << host.Output();
    FreeConsole();
    SetConsoleCtrlHandler(nullptr, FALSE);
}

// The host in its default mode with composition on, an application in front
// (the foreground monitor needs one to start) and the keys recorded.
class HostFlipping : public ::testing::Test {
protected:
    void StartHostAtSpeed(int speed)
    {
        m_speed.emplace(speed);
        ASSERT_TRUE(keys.Installed());
        ASSERT_TRUE(apps.SwitchTo(L"notepad.exe"));
        ASSERT_TRUE(host.Start(L""));
        const std::string ready = "runs on XBUTTON1 (pointer speed " + std::to_string(speed) + ")";
        ASSERT_TRUE(host.WaitForOutput(ready, kGenerous)) << host.Output();
    }

    std::optional<PointerSpeedForTest> m_speed;
    const CompositionOn composition;
    KeyRecorder keys;
    ForegroundSwitcher apps;
    HostProcess host;  // last: ended before the rest
};

TEST_F(HostFlipping, AnotherAppComingToFrontOrASecondPress_EndsTheFlip)
{
    ASSERT_NO_FATAL_FAILURE(StartHostAtSpeed(14));

    ClickSideButton(XBUTTON1);
    EXPECT_TRUE(host.WaitForOutput("XBUTTON1 pressed: pointer speed 14, Execute returned 1, pointer speed now 2\n",
                                   kGenerous))
        << host.Output();
    EXPECT_TRUE(keys.WaitFor(VK_TAB, false, 1, kKeyWait));
    EXPECT_EQ(keys.Count(VK_LWIN, true), 1u);
    EXPECT_EQ(keys.Count(VK_LWIN, false), 0u) << "the Windows key is held while the flip shows";

    ASSERT_TRUE(apps.SwitchTo(L"calc.exe"));
    EXPECT_TRUE(host.WaitForOutput("Foreground changed (calc.exe)\n", kGenerous)) << host.Output();
    EXPECT_TRUE(keys.WaitFor(VK_LWIN, false, 1, kKeyWait));
    Sleep(300);  // the completion's last 50 ms pause, so that the next press starts a flip

    ClickSideButton(XBUTTON1);
    EXPECT_TRUE(keys.WaitFor(VK_LWIN, true, 2, kKeyWait));
    ClickSideButton(XBUTTON1);
    // The speed the second flip found is the one the completion put back; the
    // third press ended that flip and put it back again.
    EXPECT_TRUE(host.WaitForOutput("Foreground changed (calc.exe)\n"
                                   "XBUTTON1 pressed: pointer speed 14, Execute returned 1, pointer speed now 2\n"
                                   "Foreground changed ()\n"
                                   "XBUTTON1 pressed: pointer speed 2, Execute returned 0, pointer speed now 14\n",
                                   kGenerous))
        << host.Output();
    EXPECT_TRUE(keys.WaitFor(VK_LWIN, false, 2, kKeyWait));

    AskToEnd(host);
    EXPECT_EQ(host.WaitForExit(kGenerous), 0) << host.Output() << host.Errors();
    EXPECT_FALSE(Contains(host.Output(), "released the Windows key")) << host.Output();
}

TEST_F(HostFlipping, HostEndedDuringAFlip_ReleasesTheWindowsKeyAndPutsTheSpeedBack)
{
    ASSERT_NO_FATAL_FAILURE(StartHostAtSpeed(13));

    ClickSideButton(XBUTTON1);
    ASSERT_TRUE(host.WaitForOutput("Execute returned 1, pointer speed now 2\n", kGenerous)) << host.Output();
    ASSERT_TRUE(keys.WaitFor(VK_LWIN, true, 1, kKeyWait));

    // The plug-in's Destroy ends the flip as a second press would; the host
    // puts back only what a plug-in that does not would leave behind.  Either
    // way the key comes up once and the speed is the user's again, exactly.
    AskToEnd(host);
    EXPECT_EQ(host.WaitForExit(kGenerous), 0) << host.Output() << host.Errors();
    EXPECT_TRUE(Contains(host.Output(), "plug-in unloaded, pointer speed 13\n")) << "an odd speed comes back exactly";
    EXPECT_TRUE(keys.WaitFor(VK_LWIN, false, 1, kKeyWait)) << "the Windows key is still down";
    EXPECT_EQ(keys.Count(VK_LWIN, false), 1u) << host.Output();
}

}  // namespace
