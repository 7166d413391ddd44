// The tap: the window used before the one in front comes to the front, as
// one quick Alt+Tab brings it, with no switcher shown.
#pragma once

#include <windows.h>

// What Alt+Tab lists: visible top-level application windows, not tool
// windows unless they ask to be, not owned ones unless they ask to be, not
// cloaked ones (other virtual desktops, suspended Store apps, the shell's
// hidden CoreWindows).  Topmost windows are left out: they stay on top of
// the stacking order whether they were used or not.
bool AltTabLists(HWND window);
// The first window below the one in front, in the order Windows stacks
// them (the order of use), that Alt+Tab would list; null when there is none.
HWND PreviousWindow();
// Brings PreviousWindow() to the front, restored if minimised, without
// waiting on that window's thread; false when there was none or Windows refused.
bool SwitchToPreviousWindow();
