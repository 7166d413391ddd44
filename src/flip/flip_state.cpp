#include "flip/flip_state.h"

#include <wchar.h>

#include "common/unique_handle.h"
#include "flip/diagnostic_line.h"
#include "flip/switcher_windows.h"
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
// How long a Destroy waits for a completion on another thread.  A slow
// device answers well within it; a host that holds a lock of its own around
// Destroy, which its device also takes, gets its thread back before Windows
// would call its window hung (5 s), and the completion then goes on.
constexpr ULONGLONG kCompletionWaitMs = 3000;
// A flip whose keys were swallowed (a game, an elevated window in front, a
// policy, a remote session) shows nothing and brings no foreground switch;
// it ends by itself after this.  Flip3D and the switcher of 10 and 11 take
// a few hundred milliseconds to come, Task View after logon up to a second;
// for no longer than this is the pointer slowed in a flip nobody sees.
constexpr DWORD kNeverShowedMs = 1500;

// Scan codes, as a keyboard sends them: some games read those, not the
// virtual keys.  The Windows key is an extended key (E0 5B).
constexpr WORD kWindowsScan = 0x5B;
constexpr WORD kTabScan = 0x0F;
constexpr WORD kEscapeScan = 0x01;

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

INPUT Key(WORD key, WORD scan, DWORD flags)
{
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.wScan = scan;
    input.ki.dwFlags = flags | (key == VK_LWIN ? KEYEVENTF_EXTENDEDKEY : 0);
    return input;
}

// One step's events in one call.  SendInput answers how many went in, in
// order; UIPI (an elevated window in front) drops them without a word.
UINT Send(const INPUT* inputs, UINT count)
{
    return SendInput(count, const_cast<INPUT*>(inputs), sizeof(INPUT));
}

void SetKey(KeyState state)
{
    InterlockedExchange(&g_flipState.Key, state);
}

// On 10 and later the switcher stays open without the key, which goes up at
// once: held, it would turn the user's typing into shortcuts, and a key-up
// sent later to an elevated window they picked would be dropped.
void PressFlipKeys()
{
    const bool keyUpNow = SwitcherStaysOpenWithoutKey();
    const INPUT keys[] = {Key(VK_LWIN, kWindowsScan, 0), Key(VK_TAB, kTabScan, 0),
                          Key(VK_TAB, kTabScan, KEYEVENTF_KEYUP), Key(VK_LWIN, kWindowsScan, KEYEVENTF_KEYUP)};
    const UINT count = keyUpNow ? 4 : 3;
    // Recorded after the call, from what went in: no report acts on the key
    // while the flip is starting, and a press that inserted nothing (a secure
    // desktop) must not forget a key-up still owed from before.
    const UINT sent = Send(keys, count);
    if (sent == 0)
        return;
    if (!keyUpNow)
        SetKey(KeyHeldForFlip);
    else
        SetKey(sent == count ? KeyUp : KeyUpOwed);
}

// Whoever takes the key out of a held state sends its one key-up; a key-up
// that did not go in leaves it owed, to be sent again at the next chance.
void SendWindowsKeyUp()
{
    const INPUT up = Key(VK_LWIN, kWindowsScan, KEYEVENTF_KEYUP);
    if (Send(&up, 1) != 1)
        InterlockedCompareExchange(&g_flipState.Key, KeyUpOwed, KeyUp);
}

bool KeyDown()
{
    return InterlockedCompareExchange(&g_flipState.Key, KeyUp, KeyUp) != KeyUp;
}

// The flip's one key-up, by whichever thread gets there first.
void ReleaseWindowsKeyNow()
{
    if (InterlockedExchange(&g_flipState.Key, KeyUp) != KeyUp)
        SendWindowsKeyUp();
}

// Nothing to pause for when the key is up already (Windows 10 and later).
void ReleaseWindowsKeyAtEnd()
{
    if (!KeyDown())
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
        ReleaseWindowsKeyAtEnd();
        // A key-up that did not go in keeps the registration: the next report sends it again.
        if (!KeyDown())
            Unregister(m_context);
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
    StartUndo(const MacroContext& context, const bool& lowered) noexcept : m_context(context), m_lowered(lowered) {}
    ~StartUndo()
    {
        if (m_done)
            return;
        Unregister(m_context.DeviceId);
        try {
            if (m_lowered)
                PutSettingBack(m_context.Device);  // left to restore if it throws
        } catch (...) {
            // The first exception is the one the host gets.
        }
        SetPhase(FlipIdle);
    }
    void Done() noexcept { m_done = true; }
    StartUndo(const StartUndo&) = delete;
    StartUndo& operator=(const StartUndo&) = delete;

private:
    const MacroContext& m_context;
    const bool& m_lowered;
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
    SettleOwedKey();
    const uint64_t lastDeviceId = g_flipState.DeviceId;
    Unregister(lastDeviceId);  // one kept for a key-up; this flip makes its own
    g_flipState.DeviceId = context.DeviceId;
    bool lowered = false;
    StartUndo undo(context, lowered);
    LowerSetting(context, lastDeviceId, lowered);
    // Registration first: its immediate call, ignored while starting, then
    // names the application that was in front before the flip appeared.
    CForegroundMonitor* monitor = CForegroundMonitor::GetInstance();
    monitor->RegisterCallback(OnForegroundChanged, context.DeviceId);
    undo.Done();
    PressFlipKeys();
    // Shown only now that the keys are down: a report cannot end the flip
    // before its keys are pressed, which would leave the key down for good.
    SetPhase(FlipShowing);
    monitor->ReportIfNoSwitch(kNeverShowedMs);
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
    // Not Flip3D: that one settled on its window as the key went up.
    if (ClassifyFlipWindow(GetForegroundWindow()) != FlipWindow::Switcher)
        return;
    const INPUT escape[] = {Key(VK_ESCAPE, kEscapeScan, 0), Key(VK_ESCAPE, kEscapeScan, KEYEVENTF_KEYUP)};
    Send(escape, 2);
}

void WaitForCompletionElsewhere()
{
    UniqueHandle completing;
    const ULONGLONG deadline = GetTickCount64() + kCompletionWaitMs;
    while (Phase() == FlipCompleting && GetTickCount64() < deadline) {
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

void SettleOwedKey()
{
    if (InterlockedCompareExchange(&g_flipState.Key, KeyUp, KeyUpOwed) == KeyUpOwed)
        SendWindowsKeyUp();
}

void OnForegroundChanged(wchar_t* name, uintptr_t context)
{
    SettleOwedKey();
    // Starting: the registration's own call, or a switch from before the
    // flip's keys; idle or completing: a late report.  Nothing to do but
    // drop a registration that was kept for a key-up now sent.
    if (Phase() != FlipShowing) {
        if (Phase() == FlipIdle && !KeyDown())
            Unregister(context);
        return;
    }
    if (name == nullptr)
        name = g_noName;
    MakeLower(name);
    if (IsWindowManager(name)) {
        WriteForegroundLine(name);  // the flip that shows while the key is held
        return;
    }
    if (CForegroundMonitor::GetInstance()->SwitcherInFront()) {
        WriteForegroundLine(name);  // the switcher, or Flip3D: the user has yet to pick
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
