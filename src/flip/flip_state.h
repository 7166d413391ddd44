// The window flip's process-wide state and its completion.
//
// A flip belongs to the library, not to one handler: any handler's Execute may
// end a flip that another started.  It is driven from two threads: the host's
// (Execute, Destroy, and the registration's immediate call inside Execute)
// and the foreground monitor's (a report that another application is in front).
#pragma once

#include <windows.h>

#include <stdint.h>

class IApplication;
struct MacroContext;

enum FlipPhase : LONG {
    FlipIdle,        // no flip
    FlipStarting,    // Windows key about to be held, callback registered, its first call not yet swallowed
    FlipShowing,     // the next call other than for dwm.exe ends the flip
    FlipCompleting,  // one thread is restoring the setting and releasing the key
};

struct FlipState {
    // The guard of the flip, changed only with Interlocked operations: only
    // the host's thread moves it out of Idle, and the one thread whose
    // compare-exchange moves it from Showing to Completing owns the
    // completion, so a flip is completed exactly once when a second button
    // press and a monitor report meet.  No lock is held across the host's
    // calls: the loser simply returns.  SavedSetting and DeviceId are written
    // before the phase is published and read after it is claimed.
    volatile LONG Phase;
    LONG SavedSetting;  // the setting before it was lowered to 1; 0: nothing to restore
    uint64_t DeviceId;  // the device that started the flip; also the registration's context
    // From the latest Execute with composition on; not owned.  Read on the
    // monitor thread, so it is exchanged with Interlocked operations.
    IApplication* volatile Application;
    // Whether this library holds the Windows key down now.
    volatile LONG KeyHeld;
};

// Zero when the library is loaded (constant-initialised, nothing runs at load).
extern FlipState g_flipState;

bool FlipActive();
// A flip is shown: its first call has come (or was found not to come).
bool FlipShown();
// Lowers the device setting, registers OnForegroundChanged with the monitor
// and holds the Windows key down while tapping Tab.  Whatever throws on the
// way (the host's device, memory) leaves no flip behind and is rethrown.
void StartFlip(const MacroContext& context);
// The second button press, and Destroy during a flip: ends the flip from the
// host's thread.
void EndFlipFromHost();
// Releases the Windows key if this library holds it: the host is exiting.
void ReleaseHeldKeyAtExit();
void RememberApplication(IApplication* application);

// The monitor's callback: swallows its first call after a flip started, then
// ends the flip on the first report of an application other than dwm.exe.
void OnForegroundChanged(wchar_t* name, uintptr_t context);

// Lowercases A to Z in place; returns `text`.
wchar_t* MakeLower(wchar_t* text);
