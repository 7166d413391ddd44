// The rules of a burst of foreground switches, as one pure unit: what the
// monitor thread does after a switch, a check of the window in front, and
// the never-shown bound of a flip's watch.  No platform call is made here;
// the monitor reads the platform and hands in what it found.
#pragma once

enum class FlipWindow {
    Ordinary,   // an application's window: a pick
    Transient,  // Explorer's window during switches (ForegroundStaging): neither shown nor picked
    Switcher,   // the system's switcher: Task View, Alt+Tab, Flip3D
};

enum class BurstStep {
    Nothing,
    CheckAtOnce,         // the pick behind the switcher: check now (the timer's minimum)
    CheckAfterSettling,  // check once the burst settled (700 ms), unless a check is already due
    Report,              // hand the watch the name now current
    WaitAgain,           // the never-shown bound once more: a switcher's window shows
};

struct BurstRules {
    bool CurrentIsSwitcher = false;  // the window last named is the switcher
    bool ShowedSwitcher = false;     // the switcher came to the front since the last check
    bool UnnamedChecked = false;     // an unnamed front after the switcher was checked once
    bool NeverShownArmed = false;    // a watch waits for its bound, and no switch came yet

    // A foreground switch to a window of `kind`.
    BurstStep OnSwitch(FlipWindow kind);
    // A check found the window in front: `named` when its process could be
    // read, `same` when its name equals the current one.  On Report the
    // caller makes the name current (the empty one when it was unnamed).
    BurstStep OnCheck(bool named, FlipWindow kind, bool same);
    // The never-shown bound passed: `sameWindow` when the window in front is
    // the one the watch started with.
    BurstStep OnNeverShown(bool sameWindow, bool switcherShows);
};
