// tarvel-host's input figures, run as a user runs it in the background.
// 1. How soon after the hold time a long press's flip starts: HoldMs set, a
//    side-button down injected, and the flip's first key (the Windows key,
//    composition on through the stand-in dwmapi) seen by a low-level
//    keyboard hook.  The figure is the time from the down to that key, less
//    the hold time: median, least and most.  Goal: median within 20 ms.  A
//    second long press ends each flip (tarvel-host's line says so).
// 2. Idle with all four hot corners on, the pointer still: the wake-ups of
//    each of its threads in 30 s (context switches of its Linux tasks under
//    Wine).  Goal: 0 for the hook's thread and none added by the corners.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "bench_clock.h"
#include "host_process.h"
#include "linux_tasks.h"
#include "support/foreground_switcher.h"
#include "support/key_recorder.h"

namespace {

constexpr DWORD kHoldMs = 200;
constexpr int kPresses = 15;
constexpr std::chrono::seconds kLimit(5);
const wchar_t kSettingsKey[] = L"Software\\Tarvel";

void SideButton(DWORD flag)
{
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flag;
    input.mi.mouseData = XBUTTON1;
    SendInput(1, &input, sizeof(input));
}

// Each task's context switches.
std::map<std::string, long long> TaskSwitches(const std::string& process)
{
    std::map<std::string, long long> tasks;
    for (const std::string& task : LinuxTasks(process))
        tasks[task] = LinuxContextSwitches(process, task);
    return tasks;
}

// The presses tarvel-host reported as ending a flip.
size_t FlipsEnded(const HostProcess& tray)
{
    const std::string output = tray.Output();
    size_t count = 0;
    for (size_t at = output.find("Execute returned 0"); at != std::string::npos;
         at = output.find("Execute returned 0", at + 1))
        ++count;
    return count;
}

void IdleWithCorners()
{
    const wchar_t corners[] = L"top-left\0top-right\0bottom-left\0bottom-right\0";
    RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKey, L"Corners", REG_MULTI_SZ, corners, sizeof(corners));
    HostProcess tray;
    if (!tray.Start(L"--logon") || !tray.WaitForOutput("in the notification area", 10000)) {
        std::printf("idle: could not start\n");
        return;
    }
    std::this_thread::sleep_for(std::chrono::seconds(2));  // past its start
    const std::string process = LinuxProcessNamed("tarvel-host");
    const auto before = TaskSwitches(process);
    std::this_thread::sleep_for(std::chrono::seconds(30));
    const auto after = TaskSwitches(process);
    std::printf("idle 30 s, four hot corners on, pointer still: tarvel-host (Linux process %s) wake-ups by thread:",
                process.empty() ? "not found" : process.c_str());
    for (const auto& [task, switches] : after) {
        const auto was = before.find(task);
        std::printf(" %s=%lld", task.c_str(), was == before.end() ? -1 : switches - was->second);
    }
    std::printf("\n");
    RunHost(L"--quit");
    tray.WaitForExit(10000);
}

}  // namespace

int main()
{
    RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey);
    RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKey, L"HoldMs", REG_DWORD, &kHoldMs, sizeof(kHoldMs));
    const CompositionOn composition;
    KeyRecorder keys;
    ForegroundSwitcher apps;
    HostProcess tray;
    if (!keys.Installed() || !apps.SwitchTo(L"notepad.exe") || !tray.Start(L"--logon") ||
        !tray.WaitForOutput("in the notification area", 10000)) {
        std::printf("long press: could not start (%s)\n", tray.Output().c_str());
        return 1;
    }
    std::vector<double> late;
    for (int press = 0; press < kPresses; ++press) {
        keys.Clear();
        const auto down = std::chrono::steady_clock::now();
        SideButton(MOUSEEVENTF_XDOWN);
        const bool flipped = keys.WaitFor(VK_LWIN, true, 1, kLimit);
        SideButton(MOUSEEVENTF_XUP);
        if (!flipped)
            break;
        for (const KeyEvent& key : keys.Events()) {
            if (key.vk == VK_LWIN && key.down) {
                late.push_back(std::chrono::duration<double, std::milli>(key.when - down).count() - kHoldMs);
                break;
            }
        }
        // Held again: ends the flip, with no key (no switcher shows here).
        const size_t ended = FlipsEnded(tray);
        SideButton(MOUSEEVENTF_XDOWN);
        for (const auto until = std::chrono::steady_clock::now() + kLimit;
             FlipsEnded(tray) == ended && std::chrono::steady_clock::now() < until;)
            Sleep(5);
        SideButton(MOUSEEVENTF_XUP);
    }
    RunHost(L"--quit");
    tray.WaitForExit(10000);
    if (late.empty())
        std::printf("long press: no flip seen\n");
    else
    std::printf("long press (HoldMs %lu): flip's first key after the hold time: median %.1f ms, least %.1f, "
                "most %.1f (%zu presses); goal median <= 20 ms\n",
                kHoldMs, Median(late), *std::min_element(late.begin(), late.end()),
                *std::max_element(late.begin(), late.end()), late.size());
    IdleWithCorners();
    RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey);
    return late.empty() ? 1 : 0;
}
