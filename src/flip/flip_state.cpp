#include "flip/flip_state.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <exception>

#include "foreground/foreground_monitor.h"
#include "host/host.h"

FlipState g_flipState;

namespace {

// The name of the direct call from Execute.  Never written: MakeLower leaves
// an empty string untouched.
wchar_t g_noName[] = L"";

void SendKey(BYTE key, DWORD flags)
{
    keybd_event(key, 0, flags, 0);
}

void PressFlipKeys()
{
    SendKey(VK_LWIN, 0);
    SendKey(VK_TAB, 0);
    SendKey(VK_TAB, KEYEVENTF_KEYUP);
}

void ReleaseWindowsKey()
{
    Sleep(50);
    SendKey(VK_LWIN, KEYEVENTF_KEYUP);
    Sleep(50);
}

void LowerSetting(IDevice* device)
{
    auto* pointing = dynamic_cast<IPointingDevice*>(device);
    if (pointing == nullptr)
        return;
    g_flipState.SavedSetting.store(pointing->GetSetting());
    pointing->SetSetting(1);
}

void RestoreSetting(uint64_t deviceId)
{
    IApplication* application = g_flipState.Application.load();
    if (application == nullptr)
        return;
    auto* pointing = dynamic_cast<IPointingDevice*>(application->GetDevice(deviceId));
    const int32_t saved = g_flipState.SavedSetting.load();
    if (pointing == nullptr || saved < 1 || saved > 10)
        return;
    pointing->SetSetting(saved);
    g_flipState.SavedSetting.store(0);
}

// Moves Starting to Showing.  True when this call was the flip's first one
// (swallowed) or there is no flip at all (a late report: nothing to do).
bool SwallowOrIgnore()
{
    FlipPhase phase = g_flipState.Phase.load();
    for (;;) {
        if (phase == FlipPhase::Idle)
            return true;
        if (phase != FlipPhase::Starting)
            return false;
        if (g_flipState.Phase.compare_exchange_weak(phase, FlipPhase::Showing))
            return true;
    }
}

void WriteDiagnostic(const wchar_t* name)
{
    // %ls: a wide string whichever printf family the runtime maps wprintf to.
    wprintf(L"Foreground changed (%ls)\n", name);
    fflush(stdout);
}

bool IsWindowManager(const wchar_t* name)
{
    // Over 8 characters, the terminator included: "dwm.exe" exactly.
    return wcsncmp(name, L"dwm.exe", 8) == 0;
}

// Runs in the thread that won the completion.  A host device that throws
// still gets its exception back, but only after the flip has ended: otherwise
// the Windows key would stay down and the flip would never end again.
void CompleteFlip(uintptr_t context)
{
    std::exception_ptr hostFailure;
    try {
        RestoreSetting(context);
    } catch (...) {
        hostFailure = std::current_exception();
    }
    CForegroundMonitor::GetInstance()->UnregisterCallback(OnForegroundChanged, context);
    ReleaseWindowsKey();
    g_flipState.Phase.store(FlipPhase::Idle);
    if (hostFailure)
        std::rethrow_exception(hostFailure);
}

}  // namespace

void StartFlip(const MacroContext& context)
{
    g_flipState.DeviceId.store(context.DeviceId);
    LowerSetting(context.Device);
    g_flipState.Phase.store(FlipPhase::Starting);
    // Registration first: its immediate call (swallowed) then reports the
    // application that was in front before the flip appeared.
    CForegroundMonitor::GetInstance()->RegisterCallback(OnForegroundChanged, context.DeviceId);
    PressFlipKeys();
}

void EndFlipFromHost()
{
    OnForegroundChanged(g_noName, g_flipState.DeviceId.load());
}

void OnForegroundChanged(wchar_t* name, uintptr_t context)
{
    if (SwallowOrIgnore())
        return;
    if (name == nullptr)
        name = g_noName;
    MakeLower(name);
    WriteDiagnostic(name);
    if (IsWindowManager(name))
        return;
    FlipPhase showing = FlipPhase::Showing;
    if (!g_flipState.Phase.compare_exchange_strong(showing, FlipPhase::Completing))
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
