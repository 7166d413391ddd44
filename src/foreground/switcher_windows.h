// The system's windows that a flip brings up, known to the foreground monitor
// and the flip alike, so that they never disagree about a window.  Plain C++
// over <windows.h>: a program built with another compiler may use it too.
#pragma once

#include <windows.h>

#include "foreground/burst_rules.h"

// Reads the window's class; only for a known class does it look up the
// window's process, whose image name must match too (UWP apps have
// CoreWindows of their own).
FlipWindow ClassifyFlipWindow(HWND window);

// DwmGetWindowAttribute, which its caller loads once; null where there is
// none (nothing is cloaked then).
using WindowAttributeQuery = HRESULT(WINAPI*)(HWND, DWORD, void*, DWORD);

// Whether a visible (and not cloaked) top-level window of a switcher's
// class, in its process, exists now, in front or not.
bool SwitcherWindowShows(WindowAttributeQuery dwmGetWindowAttribute);
