// Many button presses at random moments while other applications keep coming
// to the front: the host's thread and the monitor's thread both try to end
// flips, and every flip must still be ended exactly once.
#include "flip_fixture.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <random>
#include <thread>

namespace {

using FlipStress = FlipFixture;

TEST_F(FlipStress, PressesAmidForegroundSwitches_EachFlipEndsExactlyOnce)
{
    constexpr int kPresses = 40;
    // Started here: the switcher itself is not shared between threads.
    std::vector<ForegroundWindowProcess*> windows;
    for (const wchar_t* name : {L"notepad.exe", L"wordpad.exe", L"dwm.exe", L"calc.exe"})
        windows.push_back(&desktop.Window(name));
    for (ForegroundWindowProcess* window : windows)
        ASSERT_TRUE(window->Started());

    std::atomic<bool> stop{false};
    std::thread switching([&] {
        std::mt19937 random(7);
        std::uniform_int_distribution<int> pause(50, 500);
        std::uniform_int_distribution<size_t> pick(0, windows.size() - 1);
        while (!stop.load()) {
            ForegroundWindowProcess* window = windows[pick(random)];
            window->RequestFront();
            window->WaitRaised(std::chrono::seconds(5));
            Sleep(static_cast<DWORD>(pause(random)));
        }
    });

    std::mt19937 random(11);
    // Around the monitor's 700 ms delay, so that either side ends flips.
    std::uniform_int_distribution<int> pause(0, 1400);
    int started = 0;
    for (int press = 0; press < kPresses; ++press) {
        Sleep(static_cast<DWORD>(pause(random)));
        if (Press() == 1)
            ++started;
    }
    stop.store(true);
    switching.join();

    // Let a report still pending arrive and its completion finish, then end
    // whatever flip is left with one more press.
    Sleep(1500);
    if (device.Setting() == 1) {  // a flip still shows
        EXPECT_EQ(Press(), 0);
    }
    Sleep(200);

    const std::vector<int> sets = device.SetCalls();
    const auto lowered = std::count(sets.begin(), sets.end(), 1);
    const auto restored = std::count(sets.begin(), sets.end(), 5);
    EXPECT_GT(started, 1);
    EXPECT_EQ(keys.Count(VK_LWIN, true), static_cast<size_t>(started));
    EXPECT_EQ(keys.Count(VK_LWIN, false), static_cast<size_t>(started));
    EXPECT_EQ(lowered, started);
    EXPECT_EQ(restored, started);
    EXPECT_EQ(device.Setting(), 5);
    const std::vector<std::string> lines = output->Lines();
    const auto direct = std::count(lines.begin(), lines.end(), kEmptyLine);
    std::printf("%d presses, %d flips, %zu lines of which %d for a second press\n", kPresses, started,
                lines.size(), static_cast<int>(direct));
}

}  // namespace
