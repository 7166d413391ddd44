// The running Windows, and whether its desktop composition is on.
#pragma once

#include <windows.h>

// The version of the Windows that runs, as major * 0x100 + minor (0x0601 for
// 7, 0x0603 for 8.1, 0x0A00 for 10 and 11), whatever a compatibility mode or
// the host's manifest makes GetVersionEx and RtlGetVersion say.
DWORD RunningWindowsVersion();
inline constexpr DWORD kWindows8 = 0x0602;
inline constexpr DWORD kWindows10 = 0x0A00;

// Always true from Windows 8 on.  On Vista and 7, true when "dwmapi.dll" from
// the system folder answers that composition is on; false when the library or
// its entry point is missing, or it answers off.
bool IsCompositionEnabled();
