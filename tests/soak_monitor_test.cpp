// 100,000 watches started and ended on a running foreground monitor: each
// reads the window in front and posts one message, and must give back all
// it takes.
#include <gtest/gtest.h>

#include "foreground_probe.h"
#include "soak_figures.h"
#include "support/foreground_switcher.h"

namespace {

void Report(wchar_t*, int32_t, uint32_t) {}

void StartAndEnd(uint32_t first, uint32_t count)
{
    for (uint32_t flip = first; flip < first + count; ++flip) {
        Monitor::StartWatch(Report, flip);
        Monitor::EndWatch(flip);
    }
}

TEST(Soak, HundredThousandWatchesStartedAndEnded_NoHandleOrMemoryGrowth)
{
    constexpr uint32_t kWatches = 100000;
    ForegroundSwitcher desktop;
    ASSERT_TRUE(desktop.SwitchTo(L"notepad.exe")) << "a watch reads the application in front";
    // Warm-up: the monitor, its thread and the heap's first blocks.
    StartAndEnd(1, 1000);

    const ProcessFigures before = MeasureProcess();
    StartAndEnd(1001, kWatches);
    const ProcessFigures after = MeasureProcess();
    PrintFigures("100,000 watches started and ended", before, after);
    Monitor::Destroy();

    // No handle may be left behind: every watch opens and closes the same ones.
    EXPECT_LE(after.handles, before.handles);
    // 64 KiB is one step of heap growth, which allocator noise can take; a
    // leak of even one byte per watch would be 100,000 bytes.
    EXPECT_LE(after.privateBytes, before.privateBytes + 64 * 1024);
}

}  // namespace
