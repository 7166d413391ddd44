#include "flip/flip_state.h"

#include <wchar.h>

#include "common/scope_exit.h"
#include "common/unique_handle.h"
#include "flip/composition.h"
#include "flip/diagnostic_line.h"
#include "flip/flip_keys.h"
#include "foreground/foreground_monitor.h"
#include "host/host.h"

FlipState g_flipState;

namespace {

// The name written for a flip ended by the host.  Never written to.
wchar_t g_noName[] = L"";

// How long a Destroy waits for a completion on the monitor thread.  A slow
// device answers well within it; a host that holds a lock of its own around
// Destroy, which its device also takes, gets its thread back before Windows
// would call its window hung (5 s).
constexpr DWORD kCompletionWaitMs = 3000;
// How long a Destroy waits for the monitor thread otherwise: a Destroy under
// the loader lock (a host's static destructor) waits for a thread that
// cannot end until it returns.
constexpr DWORD kStopWaitMs = 200;
// A flip whose keys were swallowed (a game, an elevated window in front, a
// policy, a remote session) shows nothing and brings no foreground switch;
// it ends by itself after this, unless a switcher's window shows.  Task View
// takes up to two or three seconds at the first use after logon on a slow
// or virtual machine; with no key held, waiting longer costs nothing but a
// setting lowered a little longer.
constexpr DWORD kNeverShowedMs = 4000;
// The session's one flip, across processes (Local\: this session's namespace).
constexpr wchar_t kSessionFlipName[] = L"Local\\Tarvel.Flip";

LONG Phase()
{
    return InterlockedCompareExchange(&g_flipState.Phase, FlipIdle, FlipIdle);
}

void SetPhase(FlipPhase phase)
{
    InterlockedExchange(&g_flipState.Phase, phase);
}

bool MovePhase(FlipPhase from, FlipPhase to)
{
    return InterlockedCompareExchange(&g_flipState.Phase, to, from) == from;
}

// False when a process of this session shows a flip now.  A refused
// creation means either that a process with other rights (an elevated host)
// made the object for its own account, or that this process may make none
// (a restricted or low-integrity token): opening it tells the two apart.
// Without the object (it does not exist, or no memory for it) the flip goes
// on unguarded across processes.
bool ClaimSessionFlip()
{
    UniqueHandle claim(CreateEventW(nullptr, TRUE, FALSE, kSessionFlipName));
    if (claim) {
        if (GetLastError() == ERROR_ALREADY_EXISTS)
            return false;
        g_flipState.SessionClaim = claim.release();
        return true;
    }
    if (GetLastError() != ERROR_ACCESS_DENIED)
        return true;
    UniqueHandle existing(OpenEventW(SYNCHRONIZE, FALSE, kSessionFlipName));
    return !existing && GetLastError() == ERROR_FILE_NOT_FOUND;
}

void ReleaseSessionFlip()
{
    UniqueHandle claim(g_flipState.SessionClaim);
    g_flipState.SessionClaim = nullptr;
}

IApplication* CurrentApplication()
{
    return static_cast<IApplication*>(
        InterlockedCompareExchangePointer(reinterpret_cast<void* volatile*>(&g_flipState.Application), nullptr,
                                          nullptr));
}

// Runs `call` on the host's objects unless a Destroy gave up waiting for this
// completion: from its return on the host may free them.  A call under way
// then is the host's own code and returns to it.
template <typename Call>
void CallHost(Call call)
{
    if (InterlockedCompareExchange(&g_flipState.HostCalls, HostCallUnderWay, HostCallsOpen) != HostCallsOpen)
        return;
    ScopeExit leave([] { InterlockedCompareExchange(&g_flipState.HostCalls, HostCallsOpen, HostCallUnderWay); });
    call();
}

bool IsSetting(LONG value)
{
    return value >= 1 && value <= 10;
}

// Puts the saved setting back on `device` when it is a pointing device and
// the saved value is a setting; otherwise nothing is restored.
void PutSettingBack(IDevice* device)
{
    auto* pointing = dynamic_cast<IPointingDevice*>(device);
    const LONG saved = g_flipState.SavedSetting;
    if (pointing == nullptr || !IsSetting(saved))
        return;
    pointing->SetSetting(saved);
    g_flipState.SavedSetting = 0;
}

// Lowers the setting only when it can come back: the completion finds the
// device again through the application, and puts back only a setting (1 to
// 10).  Lowered otherwise, the user's device would stay at 1 for good, and
// the next flip would save that 1 as the user's own value.  A value the last
// flip could not put back (its device was gone for a moment) is never lost:
// for that device it stays the value to restore; for another one it goes
// back first, and while it cannot, this device is left alone.  `lowering`
// is set as the device is asked to lower it (which may throw).
void LowerSetting(const MacroContext& context, uint64_t lastDeviceId, bool& lowering)
{
    auto* pointing = dynamic_cast<IPointingDevice*>(context.Device);
    if (pointing == nullptr || context.Application == nullptr)
        return;
    if (IsSetting(g_flipState.SavedSetting) && lastDeviceId != context.DeviceId) {
        PutSettingBack(context.Application->GetDevice(lastDeviceId));
        if (IsSetting(g_flipState.SavedSetting))
            return;
    }
    if (!IsSetting(g_flipState.SavedSetting)) {
        const int saved = pointing->GetSetting();
        if (!IsSetting(saved))
            return;
        g_flipState.SavedSetting = saved;
    }
    lowering = true;
    pointing->SetSetting(1);
}

// At completion the device is found again through the host.
void RestoreSetting(uint64_t deviceId)
{
    IApplication* application = CurrentApplication();
    IDevice* device = nullptr;
    if (application != nullptr)
        CallHost([&] { device = application->GetDevice(deviceId); });
    if (device != nullptr)
        CallHost([&] { PutSettingBack(device); });
}

// The watch ends with the flip; a monitor made since holds no watch of this
// flip, and none is made for this.
void EndWatch(unsigned flip) noexcept
{
    MonitorReference monitor(CForegroundMonitor::Acquire(false));
    if (monitor)
        monitor->EndWatch(flip);
}

unsigned CurrentFlip()
{
    return static_cast<unsigned>(InterlockedCompareExchange(&g_flipState.Flip, 0, 0));
}

// The switcher keeps the flip shown.  So do dwm.exe's windows below Windows
// 8 (Flip3D's own among them); from 8 on, dwm.exe owns the stand-ins of hung
// programs, and picking one is a pick.  Over 8 characters, the terminator
// included: "dwm.exe" exactly.
bool KeepsTheFlip(const wchar_t* name, FlipWindow kind)
{
    return kind == FlipWindow::Switcher || (RunningWindowsVersion() < kWindows8 && wcsncmp(name, L"dwm.exe", 8) == 0);
}

// Runs in the thread that moved the flip from Showing to Completing.  The
// flip finishes however the restore went: a host device that throws still
// gets its exception back, but only after the registration is gone and the
// flip is idle again; otherwise no later press could start a flip.  The
// line comes last, so that an output that blocks (a full pipe, a console in
// selection mode) cannot hold the pointer slow.
void CompleteFlip(unsigned flip, const wchar_t* name)
{
    g_flipState.CompletingThread = GetCurrentThreadId();
    ScopeExit end([flip, name] {
        // A key-up that did not go in keeps the watch: the next report sends it again.
        if (!KeyUpsOwed())
            EndWatch(flip);
        g_flipState.CompletingThread = 0;
        ReleaseSessionFlip();
        SetPhase(FlipIdle);
        WriteForegroundLine(name);
    });
    RestoreSetting(g_flipState.DeviceId);
}

// Puts back what a start did, before any key went down: the setting (if
// lowered), the watch, the session's claim.
void UndoStart(const MacroContext& context, unsigned flip, bool lowered) noexcept
{
    EndWatch(flip);
    try {
        if (lowered)
            PutSettingBack(context.Device);  // left to restore if it throws
    } catch (...) {
        // The first exception is the one the host gets.
    }
    ReleaseSessionFlip();
    SetPhase(FlipIdle);
}

}  // namespace

void RememberApplication(IApplication* application)
{
    InterlockedExchangePointer(reinterpret_cast<void* volatile*>(&g_flipState.Application), application);
}

bool StartFlip(const MacroContext& context)
{
    // The claim comes first: a second press, a re-entered Execute (a device
    // that pumps the host's messages) or a report cannot meet a half-made flip.
    if (!MovePhase(FlipIdle, FlipStarting))
        return false;
    if (!ClaimSessionFlip()) {
        SetPhase(FlipIdle);  // another process's flip: this press changes nothing
        return false;
    }
    InterlockedExchange(&g_flipState.HostCalls, HostCallsOpen);
    SettleOwedKeys();
    const unsigned flip = static_cast<unsigned>(InterlockedIncrement(&g_flipState.Flip));
    const uint64_t lastDeviceId = g_flipState.DeviceId;
    g_flipState.DeviceId = context.DeviceId;
    bool lowered = false;
    // A start that fails before the keys are sent leaves no flip.
    ScopeExit undo([&context, flip, &lowered] { UndoStart(context, flip, lowered); });
    LowerSetting(context, lastDeviceId, lowered);
    {
        // The watch first: it names the application that was in front
        // before the flip appeared.
        MonitorReference monitor(CForegroundMonitor::Acquire());
        monitor->StartWatch(OnForegroundChanged, flip, kNeverShowedMs);
    }
    if (!SendFlipKeys()) {
        SettleOwedKeys();
        return false;  // undone: the next press starts a flip
    }
    undo.Release();
    SetPhase(FlipShowing);
    return true;
}

bool EndFlipFromHost()
{
    if (!MovePhase(FlipShowing, FlipCompleting))
        return false;  // none shown, or another thread is starting or ending it
    SettleOwedKeys();
    CompleteFlip(CurrentFlip(), g_noName);
    return true;
}

void StopMonitorForDestroy()
{
    if (CForegroundMonitor::DestroyInstance(Phase() == FlipCompleting ? kCompletionWaitMs : kStopWaitMs))
        return;
    // The monitor thread is still inside a report: past the bound, a
    // completion there calls the host's objects no more.
    if (Phase() == FlipCompleting && g_flipState.CompletingThread != GetCurrentThreadId())
        InterlockedExchange(&g_flipState.HostCalls, HostCallsClosed);
}

void ReleaseAtExit()
{
    SettleOwedKeys();
    ReleaseSessionFlip();
}

void OnForegroundChanged(wchar_t* name, FlipWindow kind, unsigned flip)
{
    SettleOwedKeys();
    // Another flip's report, or a late one (idle or completing), or one from
    // before the flip's keys (starting): nothing to do but end a watch that
    // was kept for a key-up now sent.
    if (flip != CurrentFlip() || Phase() != FlipShowing) {
        if (Phase() == FlipIdle && !KeyUpsOwed())
            EndWatch(flip);
        return;
    }
    if (name == nullptr)
        name = g_noName;
    MakeLower(name);
    if (KeepsTheFlip(name, kind)) {
        WriteForegroundLine(name);  // the switcher, or Flip3D: the user has yet to pick
        return;
    }
    if (!MovePhase(FlipShowing, FlipCompleting)) {
        WriteForegroundLine(name);  // the other thread is completing this flip
        return;
    }
    CompleteFlip(flip, name);
}

wchar_t* MakeLower(wchar_t* text)
{
    if (text == nullptr)
        return text;
    for (wchar_t* character = text; *character != L'\0'; ++character) {
        if (*character >= L'A' && *character <= L'Z')
            *character = static_cast<wchar_t>(*character - L'A' + L'a');
    }
    return text;
}
