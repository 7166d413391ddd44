// The system's windows that a flip brings up, and what the Windows key must
// do on this version of Windows.  The flip and the foreground monitor both ask
// here, so that they never disagree about a window.
#pragma once

#include <windows.h>

enum class FlipWindow {
    Ordinary,   // an application's window: a pick
    Transient,  // Explorer's window during switches (ForegroundStaging): neither shown nor picked
    Switcher,   // Task View or Alt+Tab of Windows 10 and 11: stays open without the key
    Flip3D,     // Windows 7's flip in dwm.exe: closes when the key goes up
};

// Reads the window's class; only for the classes above does it look up the
// window's process, whose image name must match too (UWP apps have
// CoreWindows of their own).
FlipWindow ClassifyFlipWindow(HWND window);

inline bool ShowsTheFlip(FlipWindow kind)
{
    return kind == FlipWindow::Switcher || kind == FlipWindow::Flip3D;
}

// Windows 10 and later, whose switcher stays open without the Windows key:
// the key goes up as soon as Tab has.  Windows 7 to 8.1 need it held.
bool SwitcherStaysOpenWithoutKey();
