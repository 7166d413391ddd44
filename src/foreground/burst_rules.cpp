#include "foreground/burst_rules.h"

// An ordinary window after the switcher is the user's pick: checked at once.
// Any switch means the flip showed, or the user moved on: the never-shown
// bound no longer applies.
BurstStep BurstRules::OnSwitch(FlipWindow kind)
{
    NeverShownArmed = false;
    const bool pick = kind == FlipWindow::Ordinary && (ShowedSwitcher || CurrentIsSwitcher);
    if (kind == FlipWindow::Switcher)
        ShowedSwitcher = true;
    return pick ? BurstStep::CheckAtOnce : BurstStep::CheckAfterSettling;
}

// Explorer's transient window, or a front nobody can name (an empty virtual
// desktop, a process we may not open), is no place the user went to.  After
// the switcher, though, it may be all that is left once the switcher closed:
// checked once more, it then counts as a pick, so no flip stays on for ever.
// A burst that showed the switcher and ended where it began (a quick Escape,
// a click on the window it started from) is a change even on the same name.
BurstStep BurstRules::OnCheck(bool named, FlipWindow kind, bool same)
{
    if (!named || kind == FlipWindow::Transient) {
        if (!ShowedSwitcher && !CurrentIsSwitcher)
            return BurstStep::Nothing;
        if (!UnnamedChecked) {
            UnnamedChecked = true;
            return BurstStep::CheckAfterSettling;
        }
        kind = FlipWindow::Ordinary;
    }
    UnnamedChecked = false;
    const bool switcher = kind == FlipWindow::Switcher;
    const bool leftSwitcher = ShowedSwitcher && !switcher;
    ShowedSwitcher = false;
    if (same && CurrentIsSwitcher == switcher && !leftSwitcher)
        return BurstStep::Nothing;
    CurrentIsSwitcher = switcher;
    return BurstStep::Report;
}

// A switcher's window that shows without the foreground (Wine, or a switcher
// opened behind the window in front) means the flip showed: the bound waits
// again, so that the flip ends within one bound after that window hides with
// no switch.  A front that changed without an event is checked as a switch.
BurstStep BurstRules::OnNeverShown(bool sameWindow, bool switcherShows)
{
    if (!NeverShownArmed)
        return BurstStep::Nothing;
    if (switcherShows)
        return BurstStep::WaitAgain;
    NeverShownArmed = false;
    return sameWindow ? BurstStep::Report : BurstStep::CheckAtOnce;
}
