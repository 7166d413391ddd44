#include "flip/flip_state.h"

#include <wchar.h>

#include "flip/diagnostic_line.h"
#include "foreground/foreground_monitor.h"
#include "host/host.h"

FlipState g_flipState;

namespace {

// The name of the direct call from Execute.  Never written: MakeLower leaves
// an empty string untouched.
wchar_t g_noName[] = L"";

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

void ReleaseWindowsKey()
{
    Sleep(50);
    SendKey(VK_LWIN, KEYEVENTF_KEYUP);
    InterlockedExchange(&g_flipState.KeyHeld, 0);
    Sleep(50);
}

IApplication* CurrentApplication()
{
    return static_cast<IApplication*>(
        InterlockedCompareExchangePointer(reinterpret_cast<void* volatile*>(&g_flipState.Application), nullptr,
                                          nullptr));
}

void LowerSetting(IDevice* device)
{
    auto* pointing = dynamic_cast<IPointingDevice*>(device);
    if (pointing == nullptr)
        return;
    g_flipState.SavedSetting = pointing->GetSetting();
    pointing->SetSetting(1);
}

// Puts the saved setting back on `device` when it is a pointing device and
// the saved value is a setting (1 to 10); otherwise nothing is restored.
void PutSettingBack(IDevice* device)
{
    auto* pointing = dynamic_cast<IPointingDevice*>(device);
    const LONG saved = g_flipState.SavedSetting;
    if (pointing == nullptr || saved < 1 || saved > 10)
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

// Moves Starting to Showing.  True when this call was the flip's first one
// (swallowed) or there is no flip at all (a late report: nothing to do).
bool SwallowOrIgnore()
{
    for (;;) {
        const LONG phase = Phase();
        if (phase == FlipIdle)
            return true;
        if (phase != FlipStarting)
            return false;
        if (MovePhase(FlipStarting, FlipShowing))
            return true;
    }
}

bool IsWindowManager(const wchar_t* name)
{
    // Over 8 characters, the terminator included: "dwm.exe" exactly.
    return wcsncmp(name, L"dwm.exe", 8) == 0;
}

// Finishes a flip however the steps before it ended: a host device that
// throws still gets its exception back, but only after the registration is
// gone, the Windows key is up and the flip is idle again; otherwise the key
// would stay down and no later press could start a flip.
class FlipEnd {
public:
    explicit FlipEnd(uintptr_t context) noexcept : m_context(context) {}
    ~FlipEnd()
    {
        Unregister(m_context);
        ReleaseWindowsKey();
        SetPhase(FlipIdle);
    }
    FlipEnd(const FlipEnd&) = delete;
    FlipEnd& operator=(const FlipEnd&) = delete;

private:
    uintptr_t m_context;
};

// Runs in the thread that won the completion.
void CompleteFlip(uintptr_t context)
{
    FlipEnd end(context);
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

}  // namespace

bool FlipActive()
{
    return Phase() != FlipIdle;
}

bool FlipShown()
{
    return Phase() == FlipShowing;
}

void RememberApplication(IApplication* application)
{
    InterlockedExchangePointer(reinterpret_cast<void* volatile*>(&g_flipState.Application), application);
}

void StartFlip(const MacroContext& context)
{
    g_flipState.DeviceId = context.DeviceId;
    g_flipState.SavedSetting = 0;
    StartUndo undo(context);
    LowerSetting(context.Device);
    SetPhase(FlipStarting);
    // Registration first: its immediate call (swallowed) then reports the
    // application that was in front before the flip appeared.
    CForegroundMonitor::GetInstance()->RegisterCallback(OnForegroundChanged, context.DeviceId);
    undo.Done();
    // No immediate call came (nothing nameable was in front): the flip shows
    // all the same, so the next report, the user's pick, ends it.
    MovePhase(FlipStarting, FlipShowing);
    PressFlipKeys();
}

void EndFlipFromHost()
{
    OnForegroundChanged(g_noName, static_cast<uintptr_t>(g_flipState.DeviceId));
}

void ReleaseHeldKeyAtExit()
{
    if (InterlockedExchange(&g_flipState.KeyHeld, 0) != 0)
        SendKey(VK_LWIN, KEYEVENTF_KEYUP);
}

void OnForegroundChanged(wchar_t* name, uintptr_t context)
{
    if (SwallowOrIgnore())
        return;
    if (name == nullptr)
        name = g_noName;
    MakeLower(name);
    WriteForegroundLine(name);
    if (IsWindowManager(name))
        return;
    if (!MovePhase(FlipShowing, FlipCompleting))
        return;  // the other thread is completing this flip
    CompleteFlip(context);
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
