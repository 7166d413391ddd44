// The rules of a burst of foreground switches, as a pure unit: no window,
// no thread, no timer.
#include <gtest/gtest.h>

#include "foreground/burst_rules.h"

namespace {

using Step = BurstStep;
constexpr FlipWindow kApp = FlipWindow::Ordinary;
constexpr FlipWindow kSwitcher = FlipWindow::Switcher;
constexpr FlipWindow kTransient = FlipWindow::Transient;

TEST(BurstRules, OrdinarySwitches_SettleFirst_ThePickBehindTheSwitcherIsCheckedAtOnce)
{
    BurstRules rules;
    EXPECT_EQ(rules.OnSwitch(kApp), Step::CheckAfterSettling);
    EXPECT_EQ(rules.OnCheck(true, kApp, true), Step::Nothing) << "the same name";
    EXPECT_EQ(rules.OnCheck(true, kApp, false), Step::Report);
    EXPECT_EQ(rules.OnSwitch(kSwitcher), Step::CheckAfterSettling);
    EXPECT_EQ(rules.OnSwitch(kApp), Step::CheckAtOnce);
    rules.CurrentIsSwitcher = true;  // a check named the switcher
    rules.ShowedSwitcher = false;
    EXPECT_EQ(rules.OnSwitch(kApp), Step::CheckAtOnce);
}

TEST(BurstRules, QuickReturnFromTheSwitcher_IsReportedOnTheSameName)
{
    BurstRules rules;
    rules.OnSwitch(kSwitcher);
    rules.OnSwitch(kApp);
    EXPECT_EQ(rules.OnCheck(true, kApp, true), Step::Report);
    EXPECT_FALSE(rules.CurrentIsSwitcher);
    EXPECT_EQ(rules.OnCheck(true, kSwitcher, true), Step::Report) << "to the switcher on the same name";
    EXPECT_TRUE(rules.CurrentIsSwitcher);
}

TEST(BurstRules, UnnamedOrTransientFront_IgnoredUnlessAfterTheSwitcher_ThenAPickAtTheSecondCheck)
{
    BurstRules rules;
    EXPECT_EQ(rules.OnCheck(false, kApp, false), Step::Nothing);
    EXPECT_EQ(rules.OnCheck(true, kTransient, false), Step::Nothing);
    for (bool named : {false, true}) {
        rules.OnSwitch(kSwitcher);
        EXPECT_EQ(rules.OnCheck(named, kTransient, false), Step::CheckAfterSettling);
        EXPECT_EQ(rules.OnCheck(named, kTransient, false), Step::Report);
        EXPECT_FALSE(rules.CurrentIsSwitcher);
    }
}

TEST(BurstRules, NeverShown_ReportsOnce_WaitsAgainWhileASwitcherShows_AnySwitchDisarms)
{
    BurstRules rules;
    EXPECT_EQ(rules.OnNeverShown(true, false), Step::Nothing) << "not armed";
    rules.NeverShownArmed = true;
    EXPECT_EQ(rules.OnNeverShown(true, true), Step::WaitAgain);
    EXPECT_EQ(rules.OnNeverShown(true, true), Step::WaitAgain);
    EXPECT_EQ(rules.OnNeverShown(true, false), Step::Report) << "the switcher hid with no switch";
    EXPECT_EQ(rules.OnNeverShown(true, false), Step::Nothing);
    rules.NeverShownArmed = true;
    EXPECT_EQ(rules.OnNeverShown(false, false), Step::CheckAtOnce) << "a front changed without an event";
    rules.NeverShownArmed = true;
    rules.OnSwitch(kApp);
    EXPECT_EQ(rules.OnNeverShown(true, false), Step::Nothing);
}

}  // namespace
