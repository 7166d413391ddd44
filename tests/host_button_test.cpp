// tarvel-host.exe in its console mode, driven as a user drives it: mouse
// buttons injected with SendInput, the end asked for as Ctrl+C would.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>

#include "host_process.h"
#include "support/app_switcher_window.h"
#include "support/foreground_switcher.h"
#include "support/key_recorder.h"

namespace {

constexpr DWORD kGenerous = 5000;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// What a user's Ctrl+C leads to inside the host: its main loop ends.
void AskToEnd(const HostProcess& host) { PostThreadMessageW(host.MainThreadId(), WM_QUIT, 0, 0); }

constexpr std::chrono::milliseconds kKeyWait(kGenerous);

TEST(HostButtonMode, ChosenButton_RunsTheMacroAndIsSwallowed_OthersPassThrough)
{
    ButtonObserver observer;
    ASSERT_TRUE(observer.Installed());
    HostProcess host;
    ASSERT_TRUE(host.Start(L"--console"));
    ASSERT_TRUE(host.WaitForOutput("runs on xbutton1", kGenerous)) << host.Output() << host.Errors();

    // Wine's desktop has no composition, so the press opens the host's app
    // switcher (from Pluggins\ of its host folder tarvel-host\), titled with
    // the prompt from the host's string table.
    ClickSideButton(XBUTTON1);
    EXPECT_TRUE(host.WaitForOutput(", Execute returned 1, pointer speed now ", kGenerous)) << host.Output();
    const HWND switcher = WaitForAppSwitcher(kKeyWait);
    ASSERT_NE(switcher, nullptr) << "no app switcher opened";
    EXPECT_EQ(WindowTitle(switcher), L"Choose the application to switch to");
    EXPECT_TRUE(CloseAppSwitcher(switcher, kKeyWait));
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
    ButtonObserver observer;
    ASSERT_TRUE(observer.Installed());
    HostProcess host;
    ASSERT_TRUE(host.Start(L"--button middle"));
    ASSERT_TRUE(host.WaitForOutput("runs on middle", kGenerous)) << host.Output() << host.Errors();

    ClickSideButton(XBUTTON1);
    EXPECT_TRUE(WaitForCount(observer.xbutton1, 1)) << "an unchosen button was swallowed";
    Click(MOUSEEVENTF_MIDDLEDOWN, MOUSEEVENTF_MIDDLEUP, 0);
    EXPECT_TRUE(host.WaitForOutput("middle pressed: pointer speed ", kGenerous)) << host.Output();
    EXPECT_FALSE(Contains(host.Output(), "xbutton1 pressed")) << host.Output();
    // That press opened the app switcher, which must not outlive the test.
    EXPECT_TRUE(CloseAppSwitcher(WaitForAppSwitcher(kKeyWait), kKeyWait));

    AskToEnd(host);
    EXPECT_EQ(host.WaitForExit(kGenerous), 0) << host.Output() << host.Errors();
}

TEST(HostButtonMode, PluginThatThrowsFromExecute_HostSaysSoAndKeepsRunning)
{
    HostProcess host;
    ASSERT_TRUE(host.Start(L"host_throwing_plugin.dll"));
    ASSERT_TRUE(host.WaitForOutput("runs on xbutton1", kGenerous)) << host.Output() << host.Errors();
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
    // the test gets no event): started without a console to join, the host
    // opens one, which this process joins to raise the event, ignoring
    // Ctrl+C meanwhile.
    FreeConsole();
    HostProcess host;
    ASSERT_TRUE(host.Start(L"--console"));
    ASSERT_TRUE(host.WaitForOutput("runs on xbutton1", kGenerous)) << host.Output() << host.Errors();
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
        ASSERT_TRUE(host.Start(L"--console"));
        const std::string ready = "runs on xbutton1 (pointer speed " + std::to_string(speed) + ")";
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
    EXPECT_TRUE(host.WaitForOutput("xbutton1 pressed: pointer speed 14, Execute returned 1, pointer speed now 2\n",
                                   kGenerous))
        << host.Output();
    EXPECT_TRUE(keys.WaitFor(VK_TAB, false, 1, kKeyWait));
    EXPECT_EQ(keys.Count(VK_LWIN, true), 1u);
    EXPECT_TRUE(keys.WaitFor(VK_LWIN, false, 1, kKeyWait)) << "no key is held while the flip shows";

    ASSERT_TRUE(apps.SwitchTo(L"calc.exe"));
    EXPECT_TRUE(host.WaitForOutput("Foreground changed (calc.exe)\n", kGenerous)) << host.Output();

    ClickSideButton(XBUTTON1);
    EXPECT_TRUE(keys.WaitFor(VK_LWIN, true, 2, kKeyWait));
    ClickSideButton(XBUTTON1);
    // The speed the second flip found is the one the completion put back; the
    // third press ended that flip and put it back again.
    EXPECT_TRUE(host.WaitForOutput("Foreground changed (calc.exe)\n"
                                   "xbutton1 pressed: pointer speed 14, Execute returned 1, pointer speed now 2\n"
                                   "Foreground changed ()\n"
                                   "xbutton1 pressed: pointer speed 2, Execute returned 0, pointer speed now 14\n",
                                   kGenerous))
        << host.Output();
    EXPECT_TRUE(keys.WaitFor(VK_LWIN, false, 2, kKeyWait));

    AskToEnd(host);
    EXPECT_EQ(host.WaitForExit(kGenerous), 0) << host.Output() << host.Errors();
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
