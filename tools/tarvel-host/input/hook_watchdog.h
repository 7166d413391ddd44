// Windows removes a low-level hook that was slow even once, without telling
// its program (LowLevelHooksTimeout, Windows 7 and later), and users of such
// tools find hooks dead after sleep, a locked session or heavy load.  The
// watchdog notices from the mouse alone: the hook's thread registers for Raw
// Input of the mouse (RIDEV_INPUTSINK, so also while other windows are in
// front) and hands each mouse report to OnMouseInput with the last event the
// hook saw.  Raw Input needs no clock: while nobody moves the mouse nothing
// runs at all.
#pragma once

#include <windows.h>

// Whether a Raw Input report of `type` whose extra information is
// `extraInfo` is mouse input the hook must see: pen and touch, which
// Windows turns into mouse input with their signature (0xFF5157xx) in the
// extra information and which mouse hooks may never see, do not count, nor
// tarvel-host's own replays.  Precision touchpads report without a device
// handle, and so does any program's SendInput: both reach the hook, and count.
bool CountsForWatchdog(DWORD type, ULONG_PTR extraInfo);

class HookWatchdog {
public:
    // How long a live hook may take to see an event: the system gives up on
    // a hook after at most a second.
    static constexpr DWORD kGraceMs = 1000;

    // Real mouse input arrived at `now` (GetTickCount() time); the hook last
    // saw an event at `lastHookEvent`.  True when the hook has missed input:
    // mouse input came at least kGraceMs ago and the hook has seen nothing
    // since.  Ticks wrap after 49.7 days; differences are taken modulo 2^32.
    bool OnMouseInput(DWORD now, DWORD lastHookEvent);
    // The hook was installed again, its event tick then `lastHookEvent`: no
    // second time until it has seen an event since, so that input no hook can
    // see (an elevated window in front, the secure desktop) does not rebuild
    // it on every move.
    void Reinstalled(DWORD lastHookEvent);

private:
    bool m_pending = false;  // input came at m_pendingSince that the hook has not matched yet
    DWORD m_pendingSince = 0;
    bool m_waitingForHook = false;  // reinstalled, and the hook has seen nothing since
    DWORD m_hookEventAtReinstall = 0;
};
