// Windows removes a low-level hook that was slow even once, without telling
// its program (LowLevelHooksTimeout, Windows 7 and later), and users of such
// tools find hooks dead after sleep, a locked session or heavy load.  The
// watchdog notices: every few seconds it compares the system's last input
// (GetLastInputInfo) with the last event the hooks saw; input they never saw
// means the hook is gone, and the tray installs it again (as it does after
// resume and unlock anyway).  While nobody touches the machine the check is
// one timer tick every few seconds and two reads.
#pragma once

#include <windows.h>

namespace hook_watchdog {

constexpr UINT_PTR kTimer = 2;  // a timer of the tray's window
constexpr UINT kPeriodMs = 3000;
// How long a live hook may take to see an event: the system gives up on a
// hook after at most a second.
constexpr DWORD kGraceMs = 1000;

// Whether the hooks missed input: the system's last input came after the
// hooks' last event and long enough ago that a live hook would have seen it.
// Ticks wrap after 49.7 days; the differences are taken modulo 2^32.
bool MissedInput(DWORD lastInputTick, DWORD lastHookEventTick, DWORD nowTick);

// The system's last input, GetTickCount() time; `fallback` when unknown.
DWORD LastInputTick(DWORD fallback);

}  // namespace hook_watchdog
