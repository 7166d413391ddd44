// What a button press costs inside tarvel.dll against the platform calls it
// cannot do without, made directly in the same run, side by side:
//  - Execute starting a flip vs. asking dwmapi.dll, reading and setting the
//    device, looking up the foreground executable, sending the keys in one
//    SendInput call (four on Windows 10 and later, three on 7 to 8.1) and
//    setting the timer of a flip that never shows;
//  - a second press ending the flip vs. asking dwmapi.dll, the diagnostic
//    line, finding the device again and setting it back, and (on 7 to 8.1)
//    the Windows key going up.
// Run once as each version: scripts/bench.sh also runs a copy of this
// program that Wine reports as Windows 10.
// The completion's two fixed 50 ms pauses are taken out where they are made:
// tarvel.dll's import of Sleep is patched, for the run, with a function that
// returns at once.  (Timing them apart and taking their median off would
// measure Sleep's jitter under Wine, which is larger than the whole completion.)
// The plug-in is driven through tarvel-bridge.dll and reaches the device
// through it; the direct calls reach the same device object's own functions.
#include <windows.h>

#include <psapi.h>

#include <cstdio>
#include <vector>

#include "bench_clock.h"
#include "bench_host.h"
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

OSVERSIONINFOW SystemVersion()
{
    using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
    auto read = reinterpret_cast<RtlGetVersionFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    if (read != nullptr)
        read(&info);
    return info;
}

const bool g_windows10 = SystemVersion().dwMajorVersion >= 10;
HANDLE g_neverShowedTimer = CreateWaitableTimerW(nullptr, FALSE, nullptr);

INPUT Key(WORD key, WORD scan, DWORD flags)
{
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.wScan = scan;
    input.ki.dwFlags = flags | (key == VK_LWIN ? KEYEVENTF_EXTENDEDKEY : 0);
    return input;
}

void StartFlipDirectly(BenchMouse& mouse)
{
    SystemCompositionEnabled();
    mouse.GetSetting();
    mouse.SetSetting(1);
    LookUpForeground();
    INPUT keys[] = {Key(VK_LWIN, 0x5B, 0), Key(VK_TAB, 0x0F, 0), Key(VK_TAB, 0x0F, KEYEVENTF_KEYUP),
                    Key(VK_LWIN, 0x5B, KEYEVENTF_KEYUP)};
    SendInput(g_windows10 ? 4 : 3, keys, sizeof(INPUT));
    GetForegroundWindow();
    LARGE_INTEGER due{};
    due.QuadPart = -15000000LL;
    SetWaitableTimer(g_neverShowedTimer, &due, 0, nullptr, nullptr, FALSE);
}

void EndFlipDirectly(BenchMouse& mouse)
{
    SystemCompositionEnabled();
    std::wprintf(L"Foreground changed (%ls)\n", L"");
    std::fflush(stdout);
    mouse.SetSetting(kBenchSetting);
    INPUT up = Key(VK_LWIN, 0x5B, KEYEVENTF_KEYUP);
    if (!g_windows10)
        SendInput(1, &up, sizeof(INPUT));
    ReadForegroundClass();
}

// In place of the completion's pauses.
void WINAPI NoPause(DWORD) {}

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

    const ImportPatch noPauses(plugin.Module(), "kernel32.dll", "Sleep", reinterpret_cast<void*>(&NoPause));
    if (!noPauses.Applied()) {
        std::printf("  tarvel.dll's import of Sleep was not found: the pauses cannot be left out\n");
        return 1;
    }
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
    const OSVERSIONINFOW version = SystemVersion();
    std::printf("  as Windows %lu.%lu: %d keys at a press; medians of %d rounds\n", version.dwMajorVersion,
                version.dwMinorVersion, g_windows10 ? 4 : 3, kRounds);
    PrintRatio("Execute starting a flip", Median(samples.executeStart), Median(samples.directStart), "directly", 1.2);
    PrintRatio("second press ending it, pauses patched out", Median(samples.executeEnd), Median(samples.directEnd),
               "directly", 1.2);
    return 0;
}
