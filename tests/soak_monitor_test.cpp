// 100,000 registrations made and removed on a running foreground monitor: the
// list, the immediate call and the names must give back all they take.
#include <gtest/gtest.h>

#include <atomic>

#include "foreground_probe.h"
#include "soak_figures.h"
#include "support/foreground_switcher.h"

namespace {

std::atomic<int> g_calls{0};

void CountCall(wchar_t*, uintptr_t) { ++g_calls; }

void RegisterAndUnregister(CForegroundMonitor& monitor, int pairs)
{
    for (int i = 0; i < pairs; ++i) {
        monitor.RegisterCallback(CountCall, static_cast<uintptr_t>(i));
        monitor.UnregisterCallback(CountCall, static_cast<uintptr_t>(i));
    }
}

TEST(Soak, HundredThousandRegisterUnregisterPairs_NoHandleOrMemoryGrowth)
{
    constexpr int kPairs = 100000;
    ForegroundSwitcher desktop;
    ASSERT_TRUE(desktop.SwitchTo(L"notepad.exe")) << "the monitor needs a foreground application to name";
    CForegroundMonitor* monitor = CForegroundMonitor::GetInstance();
    ASSERT_NE(monitor, nullptr);
    // Warm-up: the heap's first blocks and the monitor's first name.
    RegisterAndUnregister(*monitor, 1000);

    g_calls = 0;
    const ProcessFigures before = MeasureProcess();
    RegisterAndUnregister(*monitor, kPairs);
    const ProcessFigures after = MeasureProcess();
    PrintFigures("100,000 register/unregister pairs", before, after);
    CForegroundMonitor::DestroyInstance();

    EXPECT_EQ(g_calls.load(), kPairs) << "each registration is called once at once";
    // No handle may be left behind: every pair opens and closes the same ones.
    EXPECT_LE(after.handles, before.handles);
    // 64 KiB is one step of heap growth, which allocator noise can take; a
    // leak of even one byte per pair would be 100,000 bytes.
    EXPECT_LE(after.privateBytes, before.privateBytes + 64 * 1024);
}

}  // namespace
