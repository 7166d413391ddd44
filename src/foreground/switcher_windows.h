// The system's windows that a flip brings up, known to the foreground monitor
// and the flip alike, so that they never disagree about a window.  Plain C++
// over <windows.h>: a program built with another compiler may use it too.
#pragma once

#include <windows.h>

enum class FlipWindow {
    Ordinary,   // an application's window: a pick
    Transient,  // Explorer's window during switches (ForegroundStaging): neither shown nor picked
    Switcher,   // the system's switcher: Task View, Alt+Tab, Flip3D
};

// Reads the window's class; only for a known class does it look up the
// window's process, whose image name must match too (UWP apps have
// CoreWindows of their own).
FlipWindow ClassifyFlipWindow(HWND window);

// Whether a visible (and not cloaked) top-level window of a switcher's
// class, in its process, exists now, in front or not.
bool SwitcherWindowShows();
