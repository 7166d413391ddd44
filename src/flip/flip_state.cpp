#include "flip/flip_state.h"

#include <wchar.h>

#include "common/unique_handle.h"
#include "flip/diagnostic_line.h"
#include "foreground/foreground_monitor.h"
#include "host/host.h"

FlipState g_flipState;

namespace {

// The name written for a flip ended by the host.  Never written to.
wchar_t g_noName[] = L"";

// Around the key-up: the flip settles on the chosen window before the key
// goes, and the window gets its focus before the next input.
constexpr DWORD kReleasePauseMs = 50;
// How often a Destroy looks again whether a completion is over: a completion
// has no handle to wait on, and lasts about 100 ms plus the host's calls.
constexpr DWORD kCompletionPollMs = 10;

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

void SendKey(BYTE key, DWORD flags)
{
    keybd_event(key, 0, flags, 0);
}

void PressFlipKeys()
{
    InterlockedExchange(&g_flipState.KeyHeld, 1);
    SendKey(VK_LWIN, 0);
    SendKey(VK_TAB, 0);
    SendKey(VK_TAB, KEYEVENTF_KEYUP);
}

bool KeyHeld()
{
    return InterlockedCompareExchange(&g_flipState.KeyHeld, 0, 0) != 0;
}

// The flip's one key-up, by whichever thread gets there first.
void ReleaseWindowsKeyNow()
{
    if (InterlockedExchange(&g_flipState.KeyHeld, 0) != 0)
        SendKey(VK_LWIN, KEYEVENTF_KEYUP);
}

// Nothing to pause for when the key went up already (the switcher came).
void ReleaseWindowsKeyAtEnd()
{
    if (!KeyHeld())
        return;
    Sleep(kReleasePauseMs);
    ReleaseWindowsKeyNow();
    Sleep(kReleasePauseMs);
}

IApplication* CurrentApplication()
{
    return static_cast<IApplication*>(
        InterlockedCompareExchangePointer(reinterpret_cast<void* volatile*>(&g_flipState.Application), nullptr,
                                          nullptr));
}

bool IsSetting(LONG value)
{
    return value >= 1 && value <= 10;
}

// Lowers the setting only when it can come back: the completion finds the
// device again through the application, and puts back only a setting (1 to
// 10).  Lowered otherwise, the user's device would stay at 1 for good, and
// the next flip would save that 1 as the user's own value.
void LowerSetting(const MacroContext& context)
{
    auto* pointing = dynamic_cast<IPointingDevice*>(context.Device);
    if (pointing == nullptr || context.Application == nullptr)
        return;
    const int saved = pointing->GetSetting();
    if (!IsSetting(saved))
        return;
    g_flipState.SavedSetting = saved;
    pointing->SetSetting(1);
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

// At completion the device is found again through the host.
void RestoreSetting(uint64_t deviceId)
{
    if (IApplication* application = CurrentApplication())
        PutSettingBack(application->GetDevice(deviceId));
}

// The registration ends with the flip.  Never throws: it runs while a host
// exception may be on its way out.
void Unregister(uintptr_t context) noexcept
{
    try {
        CForegroundMonitor::GetInstance()->UnregisterCallback(OnForegroundChanged, context);
    } catch (...) {
        // No monitor could be made, so none holds the registration.
    }
}

bool IsWindowManager(const wchar_t* name)
{
    // Over 8 characters, the terminator included: "dwm.exe" exactly.
    return wcsncmp(name, L"dwm.exe", 8) == 0;
}

// Finishes a flip however the restore went: a host device that throws still
// gets its exception back, but only after the registration is gone, the
// Windows key is up and the flip is idle again; otherwise the key would stay
// down and no later press could start a flip.  The line comes last, so that
// an output that blocks (a full pipe, a console in selection mode) cannot
// hold the key down or the pointer slow.
class FlipEnd {
public:
    FlipEnd(uintptr_t context, const wchar_t* name) noexcept : m_context(context), m_name(name) {}
    ~FlipEnd()
    {
        Unregister(m_context);
        ReleaseWindowsKeyAtEnd();
        g_flipState.CompletingThread = 0;
        SetPhase(FlipIdle);
        WriteForegroundLine(m_name);
    }
    FlipEnd(const FlipEnd&) = delete;
    FlipEnd& operator=(const FlipEnd&) = delete;

private:
    uintptr_t m_context;
    const wchar_t* m_name;
};

// Runs in the thread that moved the flip from Showing to Completing.
void CompleteFlip(uintptr_t context, const wchar_t* name)
{
    g_flipState.CompletingThread = GetCurrentThreadId();
    FlipEnd end(context, name);
    RestoreSetting(context);
}

// Undoes a start that failed before the keys went down: the setting goes
// back, the registration (if made) goes, and the flip is idle.
class StartUndo {
public:
    explicit StartUndo(const MacroContext& context) noexcept : m_context(context) {}
    ~StartUndo()
    {
        if (m_done)
            return;
        Unregister(m_context.DeviceId);
        try {
            PutSettingBack(m_context.Device);
        } catch (...) {
            // The first exception is the one the host gets.
        }
        g_flipState.SavedSetting = 0;
        SetPhase(FlipIdle);
    }
    void Done() noexcept { m_done = true; }
    StartUndo(const StartUndo&) = delete;
    StartUndo& operator=(const StartUndo&) = delete;

private:
    const MacroContext& m_context;
    bool m_done = false;
};

// Answers what other threads send to this one (a host object on the monitor
// thread may call into the host's windows); posted messages stay queued for
// the host's own loop.  False once `thread` (when there is one) has ended.
bool AnswerSentMessagesWhile(HANDLE thread, DWORD waitMs)
{
    if (MsgWaitForMultipleObjects(thread ? 1 : 0, &thread, FALSE, waitMs, QS_SENDMESSAGE) == WAIT_OBJECT_0 &&
        thread != nullptr)
        return false;
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    return true;
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
    g_flipState.DeviceId = context.DeviceId;
    g_flipState.SavedSetting = 0;
    StartUndo undo(context);
    LowerSetting(context);
    // Registration first: its immediate call, ignored while starting, then
    // names the application that was in front before the flip appeared.
    CForegroundMonitor::GetInstance()->RegisterCallback(OnForegroundChanged, context.DeviceId);
    undo.Done();
    PressFlipKeys();
    // Shown only now that the keys are down: a report cannot end the flip
    // before its keys are pressed, which would leave the key down for good.
    SetPhase(FlipShowing);
    return true;
}

bool EndFlipFromHost()
{
    if (!MovePhase(FlipShowing, FlipCompleting))
        return false;  // none shown, or another thread is starting or ending it
    CompleteFlip(static_cast<uintptr_t>(g_flipState.DeviceId), g_noName);
    return true;
}

void CloseSwitcherIfInFront()
{
    if (!CForegroundMonitor::IsSystemSwitcher(GetForegroundWindow()))
        return;
    SendKey(VK_ESCAPE, 0);
    SendKey(VK_ESCAPE, KEYEVENTF_KEYUP);
}

void WaitForCompletionElsewhere()
{
    UniqueHandle completing;
    while (Phase() == FlipCompleting) {
        const DWORD owner = g_flipState.CompletingThread;  // 0 for the moment after its claim
        // A completion on this very thread (a host object that destroys a
        // handler from inside it) is up the stack: waiting would never end.
        if (owner == GetCurrentThreadId())
            return;
        // A thread that the system ended mid-completion (the host is exiting,
        // and Destroy runs from a library's detach) never finishes it.
        if (!completing && owner != 0) {
            completing.reset(OpenThread(SYNCHRONIZE, FALSE, owner));
            if (!completing)
                return;
        }
        if (!AnswerSentMessagesWhile(completing.get(), kCompletionPollMs))
            return;
    }
}

void ReleaseHeldKeyAtExit()
{
    ReleaseWindowsKeyNow();
}

void OnForegroundChanged(wchar_t* name, uintptr_t context)
{
    // Starting: the registration's own call, or a switch from before the
    // flip's keys; idle or completing: a late report.  Nothing to do.
    if (Phase() != FlipShowing)
        return;
    if (name == nullptr)
        name = g_noName;
    MakeLower(name);
    if (IsWindowManager(name)) {
        WriteForegroundLine(name);  // the flip that shows while the key is held
        return;
    }
    if (CForegroundMonitor::GetInstance()->SwitcherInFront()) {
        // The system switcher stays open without the key, and a key held
        // while the user browses it turns their typing into shortcuts; a
        // key-up sent later to an elevated window they pick could be lost.
        ReleaseWindowsKeyNow();
        WriteForegroundLine(name);
        return;
    }
    if (!MovePhase(FlipShowing, FlipCompleting)) {
        WriteForegroundLine(name);  // the other thread is completing this flip
        return;
    }
    CompleteFlip(context, name);
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
