// A monitor destroyed while its thread is still inside a report: Destroy
// gives up after its wait, the monitor is gone for the host, and the thread
// finishes the report, ends by itself and touches nothing freed.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "foreground_probe.h"
#include "foreground_recorder.h"
#include "support/foreground_switcher.h"

namespace {

using namespace std::chrono_literals;
using Names = std::vector<std::wstring>;

constexpr uint32_t kBlocking = 1;
constexpr uint32_t kFresh = 2;

UniqueHandle g_entered(CreateEventW(nullptr, TRUE, FALSE, nullptr));
UniqueHandle g_gate(CreateEventW(nullptr, TRUE, FALSE, nullptr));
std::atomic<DWORD> g_reportThread{0};
std::atomic<bool> g_finished{false};

// Like the flip's completion: waits on the host (here: the gate), then ends its watch.
void BlockingReport(wchar_t* name, int32_t, uint32_t flip)
{
    ForegroundRecorder::Add(name, flip);
    g_reportThread = GetCurrentThreadId();
    SetEvent(g_entered.get());
    WaitForSingleObject(g_gate.get(), 30000);
    Monitor::EndWatch(flip);
    g_finished = true;
}

ULONGLONG CpuTime100ns(HANDLE thread)
{
    FILETIME created{}, exited{}, kernel{}, user{};
    GetThreadTimes(thread, &created, &exited, &kernel, &user);
    auto value = [](const FILETIME& time) {
        return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    return value(kernel) + value(user);
}

TEST(MonitorLifetime, DestroyedWhileAReportRuns_DestroyGivesUp_TheThreadFinishesAndEndsByItself)
{
    ForegroundRecorder::Clear();
    ForegroundSwitcher switcher;
    ASSERT_TRUE(switcher.SwitchTo(L"base.exe"));
    Monitor::StartWatch(BlockingReport, kBlocking);
    ASSERT_TRUE(switcher.SwitchTo(L"pick.exe"));
    ASSERT_EQ(WaitForSingleObject(g_entered.get(), 10000), WAIT_OBJECT_0);
    UniqueHandle oldThread(OpenThread(SYNCHRONIZE | THREAD_QUERY_LIMITED_INFORMATION, FALSE, g_reportThread));
    ASSERT_TRUE(oldThread);

    const auto destroying = std::chrono::steady_clock::now();
    Monitor::Destroy(200);
    const auto waited = std::chrono::steady_clock::now() - destroying;
    EXPECT_GE(waited, 150ms) << "Destroy waits for the thread";
    EXPECT_LT(waited, 5s) << "and gives up without the report";
    EXPECT_EQ(WaitForSingleObject(oldThread.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));

    // A fresh monitor while the old thread lingers.
    Monitor::StartWatch(RecordForeground, kFresh);
    SetEvent(g_gate.get());
    EXPECT_EQ(WaitForSingleObject(oldThread.get(), 10000), WAIT_OBJECT_0) << "the old thread ends by itself";
    EXPECT_TRUE(g_finished);
    EXPECT_LT(CpuTime100ns(oldThread.get()), 10'000'000u) << "under a second of CPU: it did not spin";

    ASSERT_TRUE(switcher.SwitchTo(L"after.exe"));
    ASSERT_TRUE(ForegroundRecorder::WaitForReports(2));
    std::this_thread::sleep_for(1200ms);
    EXPECT_EQ(ForegroundRecorder::NamesFor(kBlocking), (Names{L"pick.exe"}));
    EXPECT_EQ(ForegroundRecorder::NamesFor(kFresh), (Names{L"after.exe"})) << "the old flip's end left it alone";
    Monitor::Destroy();
}

}  // namespace
