// The window flip's process-wide state and its completion.
//
// A flip belongs to the library, not to one handler: any handler's Execute may
// end a flip that another started.  It is driven from two threads: the host's
// (Execute, and the registration's immediate call inside it) and the
// foreground monitor's (a report that another application is in front).
#pragma once

#include <atomic>
#include <cstdint>

class IApplication;
struct MacroContext;

enum class FlipPhase : uint32_t {
    Idle,        // no flip
    Starting,    // Windows key held, callback registered, its first call not yet swallowed
    Showing,     // the next call other than for dwm.exe ends the flip
    Completing,  // one thread is restoring the setting and releasing the key
};

struct FlipState {
    // The guard of the flip: only the host's thread moves it out of Idle, and
    // the one thread whose compare-exchange moves it from Showing to
    // Completing owns the completion, so a flip is completed exactly once
    // when a second button press and a monitor report meet.  No lock is held
    // across the host's calls: the loser simply returns.  The fields below
    // are written before the phase is published and read after it is claimed.
    std::atomic<FlipPhase> Phase{FlipPhase::Idle};
    // The device's setting before it was lowered to 1; 0 when nothing is to be restored.
    std::atomic<int32_t> SavedSetting{0};
    // From the latest Execute with composition on; not owned.
    std::atomic<IApplication*> Application{nullptr};
    // The device that started the current flip; also the registration's context.
    std::atomic<uint64_t> DeviceId{0};

    bool Active() const { return Phase.load() != FlipPhase::Idle; }
    bool FirstCallSeen() const
    {
        const FlipPhase phase = Phase.load();
        return phase == FlipPhase::Showing || phase == FlipPhase::Completing;
    }
};

// Zero when the library is loaded (constant-initialised, nothing runs at load).
extern FlipState g_flipState;

// Lowers the device setting, registers OnForegroundChanged with the monitor
// and holds the Windows key down while tapping Tab.
void StartFlip(const MacroContext& context);
// The second button press: ends a shown flip from the host's thread.
void EndFlipFromHost();

// The monitor's callback: swallows its first call after a flip started, then
// ends the flip on the first report of an application other than dwm.exe.
void OnForegroundChanged(wchar_t* name, uintptr_t context);

// Lowercases A to Z in place; returns `text`.
wchar_t* MakeLower(wchar_t* text);
