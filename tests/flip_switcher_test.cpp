// The flip behind the switcher of Windows 10 and 11, which stays open without
// the Windows key and whose windows belong to explorer.exe, like the desktop
// and every Explorer window.  This program runs as Windows 10 (see flip.cmake).  A stand-in (helpers/foreground_window.cpp) named
// explorer.exe shows a window of a switcher class and an ordinary one.
#include "flip_fixture.h"

namespace {

constexpr wchar_t kExplorer[] = L"explorer.exe";
constexpr wchar_t kWindows11[] = L"XamlExplorerHostIslandWindow";
constexpr wchar_t kWindows10TaskView[] = L"Windows.UI.Core.CoreWindow";
constexpr wchar_t kWindows10AltTab[] = L"MultitaskingViewFrame";
const std::string kExplorerLine = LineFor("explorer.exe");
const std::vector<Key> kWindows10Keys = {{VK_LWIN, true}, {VK_TAB, true}, {VK_TAB, false}, {VK_LWIN, false}};
const std::string kEscapeDownUp = std::to_string(VK_ESCAPE) + " down\n" + std::to_string(VK_ESCAPE) + " up\n";

class FlipSwitcher : public FlipFixture {
protected:
    // A flip from start.exe, its keys all sent before Execute returned, then
    // the Windows 11 switcher in front: reported.
    ForegroundWindowProcess& FlipBehindTheSwitcher()
    {
        ForegroundWindowProcess& switcher = desktop.StartSwitcher(kExplorer, kWindows11);
        EXPECT_TRUE(desktop.SwitchTo(L"start.exe"));
        EXPECT_EQ(Press(), 1);
        EXPECT_EQ(InjectedKeys(), kWindows10Keys) << "the Windows key is still down";
        EXPECT_TRUE(switcher.ShowSwitcher());
        EXPECT_TRUE(output->WaitFor(kExplorerLine, kReportLimit));
        return switcher;
    }

    // The flip ended: the line came after the restore and the one key-up.
    void ExpectEnded(size_t setCalls = 2)
    {
        EXPECT_EQ(device.Setting(), 5);
        EXPECT_EQ(device.SetCalls().size(), setCalls);
        EXPECT_EQ(WindowsUps(), 1u) << "one key-up per flip";
        EXPECT_FALSE(Held());
    }
};

TEST_F(FlipSwitcher, FromAnotherApplication_TheSwitcherKeepsTheFlipWithTheKeyUp_ThePickEndsIt)
{
    FlipBehindTheSwitcher();
    // Held open for longer than a second: nothing more happens.
    EXPECT_FALSE(keys.WaitFor(VK_LWIN, false, 2, 1500ms));
    EXPECT_EQ(device.Setting(), 1);
    EXPECT_EQ(output->Lines(), std::vector<std::string>{kExplorerLine});

    SwitchAndWaitForLine(L"notepad.exe", LineFor("notepad.exe"));
    ExpectEnded();
}

TEST_F(FlipSwitcher, ExplorersTransientWindowLeftInFrontAfterTheSwitcher_EndsTheFlipAtTheNextCheck)
{
    // All that is left once the switcher closed: no later switch comes.
    ForegroundWindowProcess& staging = desktop.StartSwitcher(kExplorer, L"ForegroundStaging", L"staging");
    FlipBehindTheSwitcher();
    ASSERT_TRUE(staging.ShowSwitcher());
    EXPECT_TRUE(output->WaitFor(kExplorerLine, kReportLimit, 2)) << "the setting stays lowered";
    ExpectEnded();
}

TEST_F(FlipSwitcher, SwitcherShownBehindAnotherWindow_KeepsTheFlipWhileItShows_ItsHidingEndsItWithinTheBound)
{
    // No switch ever reports it: its window shows, though not in front.
    ForegroundWindowProcess& switcher = desktop.StartSwitcher(kExplorer, kWindows10AltTab);
    ASSERT_TRUE(desktop.SwitchTo(L"start.exe"));
    ASSERT_EQ(Press(), 1);
    EXPECT_FALSE(output->WaitFor(LineFor("start.exe"), 6s)) << "ended as a flip that never showed";
    EXPECT_EQ(device.Setting(), 1);

    switcher.Stop();  // closed back to the same window: no switch
    EXPECT_TRUE(output->WaitFor(LineFor("start.exe"), 4s + kReportLimit)) << "the setting stays lowered";
    ExpectEnded();
}

TEST_F(FlipSwitcher, FromAnExplorerWindow_ThroughTheSwitcher_BackToExplorer_EndsTheFlip)
{
    ForegroundWindowProcess& switcher = desktop.StartSwitcher(kExplorer, kWindows10TaskView);
    ASSERT_EQ(Press(), 1);

    ASSERT_TRUE(switcher.ShowSwitcher());
    ASSERT_TRUE(output->WaitFor(kExplorerLine, kReportLimit));
    ASSERT_TRUE(switcher.BringToFront());
    ASSERT_TRUE(output->WaitFor(kExplorerLine, kReportLimit, 2)) << "the pick of an Explorer window";
    ExpectEnded();
}

TEST_F(FlipSwitcher, QuickReturn_SwitcherAndBackWithinOneDelay_EndsTheFlip)
{
    ForegroundWindowProcess& switcher = desktop.StartSwitcher(kExplorer, kWindows10AltTab);
    ForegroundWindowProcess& start = desktop.Window(L"start.exe");
    ASSERT_TRUE(start.BringToFront());
    ASSERT_EQ(Press(), 1);

    // Both switches go out at once: the burst ends where it began.
    switcher.RequestSwitcher();
    ASSERT_TRUE(switcher.WaitRaised());
    ASSERT_TRUE(start.BringToFront());
    ASSERT_TRUE(output->WaitFor(LineFor("start.exe"), kReportLimit));
    ExpectEnded();
}

TEST_F(FlipSwitcher, SecondPressWithTheSwitcherInFront_EndsTheFlipAndClosesTheSwitcher)
{
    ForegroundWindowProcess& switcher = FlipBehindTheSwitcher();

    EXPECT_EQ(Press(), 0);
    ExpectEnded();
    EXPECT_TRUE(WaitUntil([&] { return switcher.ReceivedKeys().find(kEscapeDownUp) != std::string::npos; }, kReportLimit))
        << "received: " << switcher.ReceivedKeys();

    // With anything else in front a second press sends nothing new.
    ASSERT_TRUE(desktop.SwitchTo(L"notepad.exe"));
    ASSERT_EQ(Press(), 1);
    EXPECT_EQ(Press(), 0);
    EXPECT_EQ(InjectedKeys().back(), (Key{VK_LWIN, false}));
}

TEST_F(FlipSwitcher, DwmWindowOn10_IsAPick)
{
    // From 8 on dwm.exe owns the stand-ins of hung programs, which Task View lists.
    ASSERT_EQ(Press(), 1);
    SwitchAndWaitForLine(L"dwm.exe", LineFor("dwm.exe"));
    ExpectEnded();
}

TEST_F(FlipSwitcher, SwitcherClassInAnotherProcess_IsAnOrdinaryApplication)
{
    ForegroundWindowProcess& app = desktop.StartSwitcher(L"calculator.exe", kWindows10TaskView);
    ASSERT_TRUE(desktop.SwitchTo(L"start.exe"));
    ASSERT_EQ(Press(), 1);

    ASSERT_TRUE(app.ShowSwitcher());
    ASSERT_TRUE(output->WaitFor(LineFor("calculator.exe"), kReportLimit));
    ExpectEnded();
}

}  // namespace
