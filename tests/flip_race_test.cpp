// The flip's completion, reached through tarvel_probe.dll, with the two ways
// of ending a flip started at the same instant on two threads: a second button press on
// the host's thread and a report on the monitor's.  One of them must end the
// flip and the other find nothing to do, round after round.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "foreground_probe.h"
#include "support/fake_host.h"
#include "support/foreground_switcher.h"
#include "support/key_recorder.h"
#include "support/stdout_capture.h"

namespace {

using namespace std::chrono_literals;

constexpr uint64_t kDeviceId = 42;
constexpr int32_t kIdle = 0;
constexpr int32_t kShowing = 2;

// Runs both ends of the flip at once and waits for both.
void EndFromBothThreadsAtOnce()
{
    std::atomic<int> ready{0};
    auto together = [&ready] {
        ready.fetch_add(1);
        while (ready.load() < 2) {
        }
    };
    std::thread host([&] {
        together();
        PrEndFlipFromHost();
    });
    std::thread monitor([&] {
        wchar_t name[] = L"Notepad.exe";
        together();
        PrOnForegroundChanged(name, 0, PrFlipNumber());
    });
    host.join();
    monitor.join();
}

TEST(FlipRace, SecondPressAndReportAtOnce_EndTheFlipExactlyOnce)
{
    constexpr int kRounds = 24;
    KeyRecorder keys;
    ASSERT_TRUE(keys.Installed());
    ForegroundSwitcher desktop;
    ASSERT_TRUE(desktop.SwitchTo(L"start.exe"));  // named as the watch starts
    FakePointingDevice device(5);
    FakeApplication application;
    application.AddDevice(kDeviceId, &device);
    HostContext context;
    context.SetDevice(&device);
    context.SetApplication(&application);
    context.SetDeviceId(kDeviceId);
    StdoutCapture output;

    for (int round = 0; round < kRounds; ++round) {
        ASSERT_EQ(PrStartFlip(TbContextRecord(context.Bridge())), 0);
        ASSERT_EQ(PrFlipPhase(), kShowing);

        EndFromBothThreadsAtOnce();

        ASSERT_EQ(PrFlipPhase(), kIdle) << "round " << round;
        ASSERT_EQ(keys.Count(VK_LWIN, false), static_cast<size_t>(round + 1)) << "round " << round;
    }
    Monitor::Destroy();

    const std::vector<int> sets = device.SetCalls();
    EXPECT_EQ(std::count(sets.begin(), sets.end(), 1), kRounds);
    EXPECT_EQ(std::count(sets.begin(), sets.end(), 5), kRounds);
    EXPECT_EQ(keys.Count(VK_LWIN, true), static_cast<size_t>(kRounds));
    EXPECT_TRUE(keys.WaitFor(VK_LWIN, false, kRounds, 1s));
    EXPECT_EQ(keys.Count(VK_LWIN, false), static_cast<size_t>(kRounds));
}

}  // namespace
