// The tap: the window used before the one in front comes to the front, as
// one quick Alt+Tab brings it, with no switcher shown.
#pragma once

#include <windows.h>

// The first window below the one in front, in the order Windows stacks
// them (the order of use), that Alt+Tab would list; null when there is none.
HWND PreviousWindow();
// Brings PreviousWindow() to the front, restored if minimised, without
// waiting on that window's thread; false when there was none or Windows refused.
bool SwitchToPreviousWindow();
