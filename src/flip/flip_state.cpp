#include "flip/flip_state.h"

#include <wchar.h>

#include "common/scope_exit.h"
#include "common/unique_handle.h"
#include "flip/composition.h"
#include "flip/diagnostic_line.h"
#include "foreground/foreground_monitor.h"
#include "foreground/switcher_windows.h"
#include "host/host.h"

FlipState g_flipState;

namespace {

// The name written for a flip ended by the host.  Never written to.
wchar_t g_noName[] = L"";

// How often a Destroy looks again whether a completion is over: a completion
// has no handle to wait on, and lasts as long as the host's calls.
constexpr DWORD kCompletionPollMs = 10;
// How long a Destroy waits for a completion on another thread.  A slow
// device answers well within it; a host that holds a lock of its own around
// Destroy, which its device also takes, gets its thread back before Windows
// would call its window hung (5 s).
constexpr ULONGLONG kCompletionWaitMs = 3000;
// A flip whose keys were swallowed (a game, an elevated window in front, a
// policy, a remote session) shows nothing and brings no foreground switch;
// it ends by itself after this, unless a switcher's window shows.  Task View
// takes up to two or three seconds at the first use after logon on a slow
// or virtual machine; with no key held, waiting longer costs nothing but a
// setting lowered a little longer.
constexpr DWORD kNeverShowedMs = 4000;
// The session's one flip, across processes (Local\: this session's namespace).
constexpr wchar_t kSessionFlipName[] = L"Local\\Tarvel.Flip";

// The keys the plug-in sends, by bit.  Scan codes as a keyboard sends them
// (some games read those, not the virtual keys); the right-hand Ctrl and Alt
// and the Windows keys are extended keys (E0).
struct KeyCode {
    WORD vk;
    WORD scan;
    bool extended;
};
enum KeyBit { LShift, RShift, LCtrl, RCtrl, LAlt, RAlt, LWin, RWin, Tab, EscapeKey, EnterKey, MaskKey, KeyCount };
constexpr KeyCode kKeys[KeyCount] = {
    {VK_LSHIFT, 0x2A, false}, {VK_RSHIFT, 0x36, false}, {VK_LCONTROL, 0x1D, false}, {VK_RCONTROL, 0x1D, true},
    {VK_LMENU, 0x38, false},  {VK_RMENU, 0x38, true},   {VK_LWIN, 0x5B, true},      {VK_RWIN, 0x5C, true},
    {VK_TAB, 0x0F, false},    {VK_ESCAPE, 0x01, false}, {VK_RETURN, 0x1C, false},   {0xE8, 0, false},
};
constexpr int kModifiers = RWin + 1;  // Shift, Ctrl, Alt and Windows, left and right
// A Windows or Alt key that goes up with no other key since its down opens
// the Start menu or the window's menu bar.  A tap of an unassigned key (E8)
// before the lift, and after the put-back for the user's own release, makes
// each a combination that does nothing.
constexpr LONG kMaskedModifiers = 1L << LAlt | 1L << RAlt | 1L << LWin | 1L << RWin;

// The sticky shortcut of each version's switcher, which stays open with
// every key up: Task View on 10 and 11; Alt+Tab's window on 8 and 8.1 (their
// Windows+Tab lists only full-screen apps); the 3-D flip on Vista and 7.
constexpr KeyBit kWindows10Keys[] = {LWin, Tab};
constexpr KeyBit kWindows8Keys[] = {LCtrl, LAlt, Tab};
constexpr KeyBit kWindows7Keys[] = {LCtrl, LWin, Tab};

// One step's events, sent in one call.
class KeyEvents {
public:
    void Add(int bit, bool down)
    {
        INPUT& input = m_inputs[m_count];
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = kKeys[bit].vk;
        input.ki.wScan = kKeys[bit].scan;
        input.ki.dwFlags = (kKeys[bit].extended ? KEYEVENTF_EXTENDEDKEY : 0) | (down ? 0 : KEYEVENTF_KEYUP);
        m_bits[m_count++] = bit;
    }
    void Tap(int bit)
    {
        Add(bit, true);
        Add(bit, false);
    }
    void AddEach(LONG bits, bool down)
    {
        for (int bit = 0; bit < KeyCount; ++bit) {
            if (bits & (1L << bit))
                Add(bit, down);
        }
    }
    // Sends the events; from the keys down before, returns those down after.
    // SendInput answers how many went in, in order; UIPI (an elevated window
    // in front) drops them without a word, which no count shows.
    LONG Send(LONG downBefore)
    {
        const UINT sent = m_count ? SendInput(m_count, m_inputs, sizeof(INPUT)) : 0;
        LONG down = downBefore;
        for (UINT i = 0; i < sent; ++i) {
            const LONG bit = 1L << m_bits[i];
            down = (m_inputs[i].ki.dwFlags & KEYEVENTF_KEYUP) ? down & ~bit : down | bit;
        }
        return down;
    }

private:
    static constexpr int kMost = 2 * kModifiers + 2 * 3 + 2 * 2;
    INPUT m_inputs[kMost] = {};
    int m_bits[kMost] = {};
    UINT m_count = 0;
};

LONG HeldModifiers()
{
    LONG held = 0;
    for (int bit = 0; bit < kModifiers; ++bit) {
        if (GetAsyncKeyState(kKeys[bit].vk) & 0x8000)
            held |= 1L << bit;
    }
    return held;
}

// Sends `keys` down in order and up in reverse, in one call, with the
// modifiers the user holds (a host's binding such as Shift+button) lifted
// before and put back after: the switcher opens as for the bare shortcut
// (Shift would run the 3-D flip backwards), and the user's keys end as they
// were.  A key-up that did not go in is owed.
template <size_t N>
void SendShortcut(const KeyBit (&keys)[N])
{
    const LONG held = HeldModifiers();
    const bool masked = (held & kMaskedModifiers) != 0;
    KeyEvents events;
    if (masked)
        events.Tap(MaskKey);
    events.AddEach(held, false);
    for (size_t i = 0; i < N; ++i)
        events.Add(keys[i], true);
    for (size_t i = N; i-- > 0;)
        events.Add(keys[i], false);
    events.AddEach(held, true);
    if (masked)
        events.Tap(MaskKey);
    if (const LONG owed = events.Send(held) & ~held)
        InterlockedOr(&g_flipState.OwedKeyUps, owed);
}

void SendFlipKeys()
{
    const DWORD version = RunningWindowsVersion();
    if (version >= kWindows10)
        SendShortcut(kWindows10Keys);
    else if (version >= kWindows8)
        SendShortcut(kWindows8Keys);
    else
        SendShortcut(kWindows7Keys);
}

bool KeyUpsOwed()
{
    return InterlockedCompareExchange(&g_flipState.OwedKeyUps, 0, 0) != 0;
}

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

// False when a process of this session shows a flip now.  One that runs
// with other rights (an elevated host) made the object for its own account:
// this process may not open it, and the refusal says that it exists.
// Without the object otherwise (no memory for it) the flip goes on
// unguarded across processes.
bool ClaimSessionFlip()
{
    UniqueHandle claim(CreateEventW(nullptr, TRUE, FALSE, kSessionFlipName));
    if (claim ? GetLastError() == ERROR_ALREADY_EXISTS : GetLastError() == ERROR_ACCESS_DENIED)
        return false;
    g_flipState.SessionClaim = claim.release();
    return true;
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

// Runs in the thread that moved the flip from Showing to Completing.  The
// flip finishes however the restore went: a host device that throws still
// gets its exception back, but only after the registration is gone and the
// flip is idle again; otherwise no later press could start a flip.  The
// line comes last, so that an output that blocks (a full pipe, a console in
// selection mode) cannot hold the pointer slow.
void CompleteFlip(uintptr_t context, const wchar_t* name)
{
    g_flipState.CompletingThread = GetCurrentThreadId();
    ScopeExit end([context, name] {
        // A key-up that did not go in keeps the registration: the next report sends it again.
        if (!KeyUpsOwed())
            Unregister(context);
        g_flipState.CompletingThread = 0;
        ReleaseSessionFlip();
        SetPhase(FlipIdle);
        WriteForegroundLine(name);
    });
    RestoreSetting(context);
}

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
    if (!ClaimSessionFlip()) {
        SetPhase(FlipIdle);  // another process's flip: this press changes nothing
        return false;
    }
    InterlockedExchange(&g_flipState.HostCalls, HostCallsOpen);
    SettleOwedKeys();
    const uint64_t lastDeviceId = g_flipState.DeviceId;
    Unregister(lastDeviceId);  // one kept for a key-up; this flip makes its own
    g_flipState.DeviceId = context.DeviceId;
    bool lowered = false;
    // A start that fails before the keys are sent leaves no flip: the
    // setting goes back, the registration (if made) goes.
    ScopeExit undo([&context, &lowered] {
        Unregister(context.DeviceId);
        try {
            if (lowered)
                PutSettingBack(context.Device);  // left to restore if it throws
        } catch (...) {
            // The first exception is the one the host gets.
        }
        ReleaseSessionFlip();
        SetPhase(FlipIdle);
    });
    LowerSetting(context, lastDeviceId, lowered);
    // Registration first: its immediate call, ignored while starting, then
    // names the application that was in front before the flip appeared.
    CForegroundMonitor* monitor = CForegroundMonitor::GetInstance();
    monitor->RegisterCallback(OnForegroundChanged, context.DeviceId);
    undo.Release();
    SendFlipKeys();
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

void SettleSwitcherIfInFront()
{
    constexpr KeyBit kClose[] = {EscapeKey};
    constexpr KeyBit kSettle[] = {EnterKey};
    if (ClassifyFlipWindow(GetForegroundWindow()) != FlipWindow::Switcher)
        return;
    if (RunningWindowsVersion() >= kWindows10)
        SendShortcut(kClose);
    else
        SendShortcut(kSettle);
}

void WaitForCompletionElsewhere()
{
    UniqueHandle completing;
    const ULONGLONG deadline = GetTickCount64() + kCompletionWaitMs;
    while (Phase() == FlipCompleting) {
        const DWORD owner = g_flipState.CompletingThread;  // 0 for the moment after its claim
        // A completion on this very thread (a host object that destroys a
        // handler from inside it) is up the stack: waiting would never end.
        if (owner == GetCurrentThreadId())
            return;
        if (GetTickCount64() >= deadline) {
            InterlockedExchange(&g_flipState.HostCalls, HostCallsClosed);
            return;
        }
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

void SettleOwedKeys()
{
    const LONG owed = InterlockedExchange(&g_flipState.OwedKeyUps, 0);
    if (owed == 0)
        return;
    KeyEvents ups;
    ups.AddEach(owed, false);
    if (const LONG still = ups.Send(owed))
        InterlockedOr(&g_flipState.OwedKeyUps, still);
}

void ReleaseAtExit()
{
    SettleOwedKeys();
    ReleaseSessionFlip();
}

void OnForegroundChanged(wchar_t* name, uintptr_t context)
{
    SettleOwedKeys();
    // Starting: the registration's own call, or a switch from before the
    // flip's keys; idle or completing: a late report.  Nothing to do but
    // drop a registration that was kept for a key-up now sent.
    if (Phase() != FlipShowing) {
        if (Phase() == FlipIdle && !KeyUpsOwed())
            Unregister(context);
        return;
    }
    if (name == nullptr)
        name = g_noName;
    MakeLower(name);
    if (IsWindowManager(name) || CForegroundMonitor::GetInstance()->SwitcherInFront()) {
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
