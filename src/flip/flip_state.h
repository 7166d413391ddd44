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
    FlipStarting,    // one press is lowering the setting, registering and pressing the keys
    FlipShowing,     // keys pressed (and on 10 and later the key up again); the next
                     // report of an application ends the flip, and so does a
                     // report that nothing switched since the press
    FlipCompleting,  // one thread is restoring the setting and releasing the key
};

enum KeyState : LONG {
    KeyUp,           // this library holds no key
    KeyHeldForFlip,  // down while the flip shows (Windows 7 to 8.1)
    KeyUpOwed,       // a key-up did not go in: sent again at the next chance
};

struct FlipState {
    // The guard of the flip, changed only with Interlocked operations.  One
    // press owns a start (Idle to Starting) until its keys are down, so a
    // second press, a re-entered Execute or a report meanwhile finds nothing
    // to end; one thread owns a completion (Showing to Completing), so a
    // second press and a report that meet end the flip once.  No lock is held
    // across the host's calls: whoever loses simply returns.  SavedSetting,
    // DeviceId and CompletingThread are written by the owner of the phase.
    volatile LONG Phase;
    // The user's setting from before it was lowered to 1; 0: nothing to
    // restore.  Left set when it could not be put back: the next press keeps
    // it as the value to restore, and never saves the lowered 1 instead.
    LONG SavedSetting;
    uint64_t DeviceId;  // the device that started the flip; also the registration's context
    volatile DWORD CompletingThread;  // the thread that owns a completion
    // From the latest Execute with composition on; not owned.  Read on the
    // monitor thread, so it is exchanged with Interlocked operations.
    IApplication* volatile Application;
    // Whether this library holds the Windows key down now (a KeyState).
    // Whoever moves it to KeyUp sends the one key-up of the flip.
    volatile LONG Key;
};

// Zero when the library is loaded (constant-initialised, nothing runs at load).
extern FlipState g_flipState;

// Starts a flip if none is under way: lowers the device setting, registers
// OnForegroundChanged with the monitor and holds the Windows key down while
// tapping Tab.  False, with nothing done, when a flip is starting, showing or
// ending.  Whatever throws on the way (the host's device, memory) leaves no
// flip behind and is rethrown.
bool StartFlip(const MacroContext& context);
// The second button press, and Destroy during a flip: ends a shown flip from
// the host's thread.  False when there was none to end here.
bool EndFlipFromHost();
// Sends Escape when the system's switcher is in front: a second press closes
// it as Windows+Tab would.
void CloseSwitcherIfInFront();
// Returns once no other thread is completing a flip inside the host's
// objects, answering messages sent to this thread meanwhile.
void WaitForCompletionElsewhere();
// Releases the Windows key if this library holds it: the host is exiting.
void ReleaseHeldKeyAtExit();
// Sends again a key-up that did not go in, unless a flip holds the key.
void SettleOwedKey();
void RememberApplication(IApplication* application);

// The monitor's callback.  Reports that come while no flip shows (the
// registration's own call among them) are ignored; dwm.exe and the system
// switcher keep the flip shown; any other application ends it.  Every report
// first sends again a key-up that did not go in.
void OnForegroundChanged(wchar_t* name, uintptr_t context);

// Lowercases A to Z in place; returns `text`.
wchar_t* MakeLower(wchar_t* text);
