// What a button press costs inside tarvel.dll against the platform calls it
// cannot do without, made directly in the same run, side by side:
//  - Execute starting a flip vs. asking dwmapi.dll (on 7 only), claiming the
//    session's flip (a named event), reading and setting the device, looking
//    up the foreground executable, reading the modifiers, sending the
//    version's shortcut in one SendInput call (four keys on Windows 10 and
//    later, six on 7 to 8.1) and setting the timer of a flip that never shows;
//  - a second press ending the flip vs. the same query, the diagnostic line,
//    finding the device again and setting it back, letting the session's
//    flip go and reading the foreground window's class (the switcher in
//    front would get its key).
// Run once as each version: scripts/bench.sh also runs copies of this
// program that Wine reports as Windows 8.1 and 10.
// The plug-in is driven through tarvel-bridge.dll and reaches the device
// through it; the direct calls reach the same device object's own functions.
#include <windows.h>

#include <psapi.h>

#include <cstdio>
#include <vector>

#include "bench_clock.h"
#include "bench_host.h"
#include "common/running_version.h"
#include "support/foreground_switcher.h"
#include "support/import_patch.h"
#include "support/plugin_loader.h"

namespace {

constexpr int kWarmUp = 5;
constexpr int kRounds = 60;

// Whether the system's switcher is in front starts with its window's class.
void ReadForegroundClass()
{
    wchar_t className[64] = L"";
    GetClassNameW(GetForegroundWindow(), className, 64);
}

void LookUpForeground()
{
    DWORD processId = 0;
    GetWindowThreadProcessId(GetForegroundWindow(), &processId);
    ReadForegroundClass();
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId);
    if (process == nullptr)
        return;
    wchar_t path[1025] = L"";
    GetProcessImageFileNameW(process, path, 1024);
    CloseHandle(process);
}

const DWORD g_version = ReadRunningWindowsVersion();  // as the plug-in reads it
HANDLE g_neverShowedTimer = CreateWaitableTimerW(nullptr, FALSE, nullptr);
HANDLE g_sessionFlip = nullptr;

INPUT Key(WORD key, WORD scan, bool extended, DWORD flags)
{
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.wScan = scan;
    input.ki.dwFlags = flags | (extended ? KEYEVENTF_EXTENDEDKEY : 0);
    return input;
}

// The version's sticky shortcut, every key up: as the plug-in sends it.
UINT ShortcutKeys(INPUT* keys)
{
    const INPUT windows = Key(VK_LWIN, 0x5B, true, 0), tab = Key(VK_TAB, 0x0F, false, 0);
    const INPUT ctrl = Key(VK_LCONTROL, 0x1D, false, 0), alt = Key(VK_LMENU, 0x38, false, 0);
    INPUT down[3] = {ctrl, g_version >= 0x0602 ? alt : windows, tab};
    const INPUT* first = g_version >= 0x0A00 ? down + 1 : down;
    const UINT count = g_version >= 0x0A00 ? 2 : 3;
    for (UINT i = 0; i < count; ++i) {
        keys[i] = first[i];
        keys[2 * count - 1 - i] = first[i];
        keys[2 * count - 1 - i].ki.dwFlags |= KEYEVENTF_KEYUP;
    }
    return 2 * count;
}

void ReadModifiers()
{
    for (int key : {VK_LSHIFT, VK_RSHIFT, VK_LCONTROL, VK_RCONTROL, VK_LMENU, VK_RMENU, VK_LWIN, VK_RWIN})
        GetAsyncKeyState(key);
}

void QueryComposition()
{
    if (g_version < 0x0602)
        SystemCompositionEnabled();
}

void StartFlipDirectly(BenchMouse& mouse)
{
    QueryComposition();
    g_sessionFlip = CreateEventW(nullptr, TRUE, FALSE, L"Local\\TarvelBench.Flip");
    mouse.GetSetting();
    mouse.SetSetting(1);
    LookUpForeground();
    ReadModifiers();
    INPUT keys[6];
    SendInput(ShortcutKeys(keys), keys, sizeof(INPUT));
    GetForegroundWindow();
    LARGE_INTEGER due{};
    due.QuadPart = -15000000LL;
    SetWaitableTimer(g_neverShowedTimer, &due, 0, nullptr, nullptr, FALSE);
}

void EndFlipDirectly(BenchMouse& mouse)
{
    QueryComposition();
    mouse.SetSetting(kBenchSetting);
    CloseHandle(g_sessionFlip);
    std::wprintf(L"Foreground changed (%ls)\n", L"");
    std::fflush(stdout);
    ReadForegroundClass();
}

struct Samples {
    std::vector<double> directStart, executeStart, directEnd, executeEnd;
};

// One round: the direct calls, then the plug-in's, each timed alone.
bool MeasureRound(void* handler, HostContext& context, BenchMouse& mouse, Samples* samples)
{
    Stopwatch directStart;
    StartFlipDirectly(mouse);
    const double directStartTime = directStart.Microseconds();
    Stopwatch directEnd;
    EndFlipDirectly(mouse);
    const double directEndTime = directEnd.Microseconds();

    Stopwatch executeStart;
    const int32_t started = BenchExecute(handler, context);
    const double executeStartTime = executeStart.Microseconds();
    Stopwatch executeEnd;
    const int32_t ended = BenchExecute(handler, context);
    const double executeEndTime = executeEnd.Microseconds();
    if (started != 1 || ended != 0)
        return false;
    if (samples != nullptr) {
        samples->directStart.push_back(directStartTime);
        samples->directEnd.push_back(directEndTime);
        samples->executeStart.push_back(executeStartTime);
        samples->executeEnd.push_back(executeEndTime);
    }
    return true;
}

}  // namespace

int main()
{
    std::printf("flip_bench: a button press inside tarvel.dll vs. the platform calls made directly\n");
    if (!TurnCompositionOn()) {
        std::printf("  composition is off: no flip to measure (scripts/bench.sh installs the stand-in dwmapi.dll)\n");
        return 1;
    }
    ForegroundSwitcher desktop;
    if (!desktop.SwitchTo(L"notepad.exe")) {
        std::printf("  no application came to the front; the monitor needs one\n");
        return 1;
    }
    PluginLoader plugin;
    void* created = plugin.CreateMacro != nullptr ? plugin.CreateMacro(L"Tarvel") : nullptr;
    if (created == nullptr) {
        std::printf("  tarvel.dll not loaded or no handler\n");
        return 1;
    }
    HandlerOwner handler(created);
    BenchMouse mouse;
    BenchHost host(mouse);
    HostContext context;
    SetUpBenchContext(context, mouse, host);

    Samples samples;
    bool ok = true;
    {
        const SilencedOutput quiet;  // the diagnostic line of every completion
        for (int round = 0; ok && round < kWarmUp + kRounds; ++round)
            ok = MeasureRound(handler.get(), context, mouse, round < kWarmUp ? nullptr : &samples);
    }
    if (!ok) {
        std::printf("  a press did not start or end a flip as it should\n");
        return 1;
    }
    INPUT keys[6];
    std::printf("  as Windows %lu.%lu: %u keys at a press; medians of %d rounds\n", g_version >> 8, g_version & 0xFF,
                ShortcutKeys(keys), kRounds);
    PrintRatio("Execute starting a flip", Median(samples.executeStart), Median(samples.directStart), "directly", 1.2);
    PrintRatio("second press ending it", Median(samples.executeEnd), Median(samples.directEnd), "directly", 1.2);
    return 0;
}
