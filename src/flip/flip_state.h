// The window flip's process-wide state and its completion.
//
// A flip belongs to the library, not to one handler: any handler's Execute may
// end a flip that another started.  It is driven from two threads: the host's
// (Execute, Destroy, and the registration's immediate call inside Execute)
// and the foreground monitor's (a report that another application is in front).
// No key is ever held while a flip shows: each press sends the switcher's
// sticky shortcut, every key released again, in one SendInput call.
#pragma once

#include <windows.h>

#include <stdint.h>

#include "foreground/burst_rules.h"

class IApplication;
struct MacroContext;

enum FlipPhase : LONG {
    FlipIdle,        // no flip
    FlipStarting,    // one press is lowering the setting, starting the watch and sending the keys
    FlipShowing,     // keys sent; the next report of an application ends the flip,
                     // and so does a report that nothing switched since the press
    FlipCompleting,  // one thread is restoring the setting
};

// Whether the flip's end may call the host's objects.
enum HostCalls : LONG {
    HostCallsOpen,
    HostCallUnderWay,
    HostCallsClosed,  // a Destroy gave up waiting: the host may free its objects
};

struct FlipState {
    // The guard of the flip, changed only with Interlocked operations.  One
    // press owns a start (Idle to Starting) until its keys are sent, so a
    // second press, a re-entered Execute or a report meanwhile finds nothing
    // to end; one thread owns a completion (Showing to Completing), so a
    // second press and a report that meet end the flip once.  No lock is held
    // across the host's calls: whoever loses simply returns.  SavedSetting,
    // DeviceId, Flip, CompletingThread and SessionClaim are written by the
    // owner of the phase.
    volatile LONG Phase;
    // The user's setting from before it was lowered to 1; 0: nothing to
    // restore.  Left set when it could not be put back: the next press keeps
    // it as the value to restore, and never saves the lowered 1 instead.
    LONG SavedSetting;
    uint64_t DeviceId;  // the device that started the flip
    // Counts flips; the number of the latest is its watch's, and a report
    // for any other number is dropped.
    volatile LONG Flip;
    volatile DWORD CompletingThread;  // the thread that owns a completion
    // From the latest Execute with composition on; not owned.  Read on the
    // monitor thread, so it is exchanged with Interlocked operations.
    IApplication* volatile Application;
    // Keys whose down went in and whose up did not (bits of the key table in
    // flip_state.cpp): sent again at the next chance.
    volatile LONG OwedKeyUps;
    volatile LONG HostCalls;  // a HostCalls
    // The session's one flip (a named event), owned while a flip of this
    // process starts or shows; closed by every end and by the process's end.
    HANDLE SessionClaim;
};

// Zero when the library is loaded (constant-initialised, nothing runs at load).
extern FlipState g_flipState;

// Starts a flip if none is under way in this session: lowers the device
// setting, starts the monitor's watch with OnForegroundChanged and sends the
// switcher's shortcut.  False, with nothing done, when a flip is starting,
// showing or ending here or in another process, and when the shortcut's
// key-downs did not go in (UIPI refuses input into an elevated window in
// front): that press is undone before it returns.  Whatever throws on the
// way (the host's device, memory) leaves no flip behind and is rethrown.
bool StartFlip(const MacroContext& context);
// The second button press, and Destroy during a flip: ends a shown flip from
// the host's thread, sending first the key-ups owed.  False when there was
// none to end here.
bool EndFlipFromHost();
// Destroy's end: stops the monitor, waiting up to 3 s for a completion on
// its thread; past that bound the completion calls the host no more.
void StopMonitorForDestroy();
// The library leaves the process: owed key-ups go out, the session's flip is free.
void ReleaseAtExit();
void RememberApplication(IApplication* application);

// The watch's report.  Reports for another flip, or while none shows, are
// dropped; the system's switcher keeps the flip shown, and so does dwm.exe
// below Windows 8 (from 8 on it owns the stand-ins of hung windows, which the
// user may pick); any other application ends it.  Every report first sends
// again key-ups that did not go in.
void OnForegroundChanged(wchar_t* name, FlipWindow kind, unsigned flip);

// Lowercases A to Z in place; returns `text`.
wchar_t* MakeLower(wchar_t* text);
