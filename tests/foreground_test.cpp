// CForegroundMonitor through real foreground switches: copies of the helper
// program under chosen names come to the front, the monitor's thread sees the
// foreground event, and its 700 ms check reports to the flip's watch.  Timing
// is judged by order and count; "nothing reported" is shown by a later switch
// whose report comes alone.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "foreground_probe.h"
#include "foreground_recorder.h"
#include "support/foreground_switcher.h"
#include "support/import_patch.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Names = std::vector<std::wstring>;

constexpr uint32_t kFirst = 1;
constexpr uint32_t kSecond = 2;

// Longer than the monitor's 700 ms delay, so that the check of a switch has
// run before the next one on any sane machine.
constexpr auto kSettle = 1200ms;

class Watch : public ::testing::Test {
protected:
    void SetUp() override
    {
        ForegroundRecorder::Clear();
        // The watch adopts the window in front; there must be one.
        ASSERT_TRUE(switcher.SwitchTo(L"base.exe"));
    }
    void TearDown() override { Monitor::Destroy(); }

    // Switches, waits for the check, then switches to `sentinel`: a monitor
    // that reported nothing for the first switch reports the sentinel alone.
    void SwitchThenSentinel(const std::function<void()>& switches, const std::wstring& sentinel = L"sentinel.exe")
    {
        switches();
        std::this_thread::sleep_for(kSettle);
        const size_t before = ForegroundRecorder::Reports().size();
        ASSERT_TRUE(switcher.SwitchTo(sentinel));
        ASSERT_TRUE(ForegroundRecorder::WaitForReports(before + 1));
    }

    ForegroundSwitcher switcher;
};

TEST_F(Watch, Switch_ReportsTheNewNameOnce_OnTheMonitorThread_WithTheWatchsFlip)
{
    Monitor::StartWatch(RecordForeground, kFirst);
    EXPECT_TRUE(ForegroundRecorder::Reports().empty()) << "starting a watch reports nothing";
    ASSERT_TRUE(switcher.SwitchTo(L"notepad.exe"));
    ASSERT_TRUE(ForegroundRecorder::WaitForReports(1));
    std::this_thread::sleep_for(kSettle);
    const auto reports = ForegroundRecorder::Reports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].Name, L"notepad.exe");
    EXPECT_EQ(reports[0].Flip, kFirst);
    EXPECT_NE(reports[0].ThreadId, GetCurrentThreadId()) << "reports come on the monitor's thread";
}

TEST_F(Watch, SameFileName_NoReport_ForASecondWindowAnotherFolderOrAQuickRoundTrip)
{
    Monitor::StartWatch(RecordForeground, kFirst);
    ForegroundWindowProcess& second = switcher.StartAnother(L"base.exe");
    ASSERT_TRUE(second.Started());
    SwitchThenSentinel([&] { ASSERT_TRUE(switcher.SwitchTo(L"base.exe", L"elsewhere")); });
    SwitchThenSentinel([&] {
        // Away and back again well within the delay: the check sees no change.
        ASSERT_TRUE(switcher.SwitchTo(L"other.exe"));
        ASSERT_TRUE(switcher.SwitchTo(L"sentinel.exe"));
    }, L"base.exe");
    EXPECT_EQ(ForegroundRecorder::NamesFor(kFirst), (Names{L"sentinel.exe", L"base.exe"}));
}

TEST_F(Watch, NamesDifferingOnlyInCase_AreAChange)
{
    Monitor::StartWatch(RecordForeground, kFirst);
    ASSERT_TRUE(switcher.SwitchTo(L"DWM.EXE"));
    ASSERT_TRUE(ForegroundRecorder::WaitForReports(1));
    ASSERT_TRUE(switcher.SwitchTo(L"dwm.exe"));
    ASSERT_TRUE(ForegroundRecorder::WaitForReports(2));
    EXPECT_EQ(ForegroundRecorder::NamesFor(kFirst), (Names{L"DWM.EXE", L"dwm.exe"}));
}

TEST_F(Watch, BurstOfSwitches_OneCheckAfterTheFirst_ALaterSwitchArmsANewDelay)
{
    Monitor::StartWatch(RecordForeground, kFirst);
    ForegroundWindowProcess& b = switcher.Window(L"b.exe");
    ForegroundWindowProcess& c = switcher.Window(L"c.exe");
    ForegroundWindowProcess& d = switcher.Window(L"d.exe");
    ASSERT_TRUE(switcher.SwitchTo(L"base.exe"));
    std::this_thread::sleep_for(kSettle);
    ForegroundRecorder::Clear();

    const auto first = Clock::now();
    ASSERT_TRUE(b.BringToFront());
    std::this_thread::sleep_until(first + 300ms);
    ASSERT_TRUE(c.BringToFront());
    std::this_thread::sleep_until(first + 600ms);
    ASSERT_TRUE(d.BringToFront());
    const auto last = Clock::now();
    ASSERT_TRUE(ForegroundRecorder::WaitForReports(1));
    const auto burstReport = ForegroundRecorder::Reports()[0].At;
    EXPECT_GE(burstReport - first, 600ms) << "the check waits for the delay";
    // An extended delay would end at least 700 ms after the last switch.
    EXPECT_LT(burstReport - last, 650ms) << "later switches do not extend the delay";

    ASSERT_TRUE(switcher.SwitchTo(L"e.exe"));
    const auto later = Clock::now();
    ASSERT_TRUE(ForegroundRecorder::WaitForReports(2));
    EXPECT_GE(ForegroundRecorder::Reports()[1].At - later, 600ms) << "a new delay, not an old one";
    std::this_thread::sleep_for(kSettle);
    EXPECT_EQ(ForegroundRecorder::NamesFor(kFirst), (Names{L"d.exe", L"e.exe"}));
}

TEST_F(Watch, StartedBetweenASwitchAndItsCheck_AdoptsTheNewFront_AndOnlyItsOwnEndEndsIt)
{
    Monitor::StartWatch(RecordForeground, kFirst);
    SwitchThenSentinel([&] {
        ASSERT_TRUE(switcher.SwitchTo(L"new.exe"));
        Monitor::StartWatch(RecordForeground, kSecond);  // well within the 700 ms
        Monitor::EndWatch(kFirst);                       // another flip's end: the watch stays
    });
    EXPECT_EQ(ForegroundRecorder::NamesFor(kSecond), (Names{L"sentinel.exe"}));
    EXPECT_TRUE(ForegroundRecorder::NamesFor(kFirst).empty());

    Monitor::EndWatch(kSecond);
    SwitchThenSentinel([&] { Monitor::StartWatch(RecordForeground, kFirst); }, L"base.exe");
    EXPECT_EQ(ForegroundRecorder::NamesFor(kSecond), (Names{L"sentinel.exe"})) << "an ended watch hears nothing";
}

TEST_F(Watch, Destruction_DropsTheWatchUnreported_AndTheNextStartMakesAFreshMonitor)
{
    Monitor::StartWatch(RecordForeground, kFirst);
    Monitor::Destroy();
    Monitor::Destroy();  // none left: nothing happens
    ASSERT_TRUE(switcher.SwitchTo(L"unseen.exe"));
    std::this_thread::sleep_for(kSettle);
    EXPECT_TRUE(ForegroundRecorder::Reports().empty());

    Monitor::StartWatch(RecordForeground, kSecond);
    ASSERT_TRUE(switcher.SwitchTo(L"seen.exe"));
    ASSERT_TRUE(ForegroundRecorder::WaitForReports(1));
    EXPECT_EQ(ForegroundRecorder::NamesFor(kSecond), (Names{L"seen.exe"}));
}

// Test doubles below: Wine cannot be made to fail these platform calls, nor
// does it refuse any access right, so the imports of the module that holds
// the monitor's code are patched for the length of one test.

HANDLE WINAPI RealOpenProcess(DWORD access, BOOL inherit, DWORD processId)
{
    static const auto real = reinterpret_cast<decltype(&OpenProcess)>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "OpenProcess")));
    return real(access, inherit, processId);
}

// As a process with higher rights than ours answers: the limited query right only.
HANDLE WINAPI OpenProcessAsElevated(DWORD access, BOOL inherit, DWORD processId)
{
    if ((access & ~(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE)) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return RealOpenProcess(access, inherit, processId);
}

HANDLE WINAPI OpenNoProcess(DWORD, BOOL, DWORD)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
}

HWINEVENTHOOK WINAPI NoWinEventHook(DWORD, DWORD, HMODULE, WINEVENTPROC, DWORD, DWORD, DWORD)
{
    return nullptr;
}

template <typename Function>
ImportPatch PatchOwnImport(const char* dll, const char* name, Function replacement)
{
    return ImportPatch(Monitor::Module(), dll, name, reinterpret_cast<void*>(replacement));
}

TEST_F(Watch, ForegroundWithHigherRights_IsStillReported)
{
    ImportPatch elevated = PatchOwnImport("kernel32.dll", "OpenProcess", &OpenProcessAsElevated);
    ASSERT_TRUE(elevated.Applied());
    Monitor::StartWatch(RecordForeground, kFirst);
    ASSERT_TRUE(switcher.SwitchTo(L"elevated.exe"));
    ASSERT_TRUE(ForegroundRecorder::WaitForReports(1));
    EXPECT_EQ(ForegroundRecorder::NamesFor(kFirst), (Names{L"elevated.exe"}));
}

TEST_F(Watch, ForegroundThatCannotBeOpened_NoReport_TheNameStays)
{
    Monitor::StartWatch(RecordForeground, kFirst);
    {
        ImportPatch refused = PatchOwnImport("kernel32.dll", "OpenProcess", &OpenNoProcess);
        ASSERT_TRUE(refused.Applied());
        ASSERT_TRUE(switcher.SwitchTo(L"closed.exe"));
        std::this_thread::sleep_for(kSettle);
    }
    EXPECT_TRUE(ForegroundRecorder::Reports().empty());
    SwitchThenSentinel([&] { ASSERT_TRUE(switcher.SwitchTo(L"base.exe")); });
    EXPECT_EQ(ForegroundRecorder::NamesFor(kFirst), (Names{L"sentinel.exe"}));
}

// The C runtime's heap, where the monitor lives, validated after a test that
// would free it twice or use it freed.
bool HeapIsSound()
{
    using GetHeapHandle = intptr_t(__cdecl*)();
    const auto heapOf = reinterpret_cast<GetHeapHandle>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ucrtbase.dll"), "_get_heap_handle")));
    return heapOf != nullptr && HeapValidate(reinterpret_cast<HANDLE>(heapOf()), 0, nullptr);
}

// Two host threads ending handlers at the same moment both destroy the
// monitor: it must be stopped and freed once.
TEST_F(Watch, DestroyedFromTwoThreadsAtOnce_IsFreedOnce)
{
    for (int round = 0; round < 100; ++round) {
        Monitor::Start();
        std::atomic<int> arrived{0};
        auto destroy = [&arrived] {
            ++arrived;
            while (arrived.load() < 2) {
            }
            Monitor::Destroy();
        };
        std::thread first(destroy);
        std::thread second(destroy);
        first.join();
        second.join();
    }
    EXPECT_TRUE(HeapIsSound());
}

// A second host thread presses (starts and ends watches) while a handler's
// Destroy takes the monitor down: each call holds its monitor until it returns.
TEST_F(Watch, UsedFromASecondHostThreadWhileDestroyRuns_NoMonitorIsUsedFreed)
{
    std::atomic<bool> stop{false};
    std::atomic<uint32_t> flips{0};
    std::thread presses([&] {
        while (!stop) {
            const uint32_t flip = ++flips;
            Monitor::StartWatch(RecordForeground, flip);
            Monitor::EndWatch(flip);
        }
    });
    const auto deadline = Clock::now() + 30s;
    while (flips.load() < 200 && Clock::now() < deadline)
        Monitor::Destroy();
    stop = true;
    presses.join();
    EXPECT_GE(flips.load(), 200u);
    EXPECT_TRUE(HeapIsSound());
}

TEST_F(Watch, ThreadThatNeverCameUp_TakesWatches_NothingIsReported)
{
    {
        ImportPatch noHook = PatchOwnImport("user32.dll", "SetWinEventHook", &NoWinEventHook);
        ASSERT_TRUE(noHook.Applied());
        Monitor::Start();
    }
    Monitor::StartWatch(RecordForeground, kFirst, 300);
    ASSERT_TRUE(switcher.SwitchTo(L"unwatched.exe"));
    std::this_thread::sleep_for(2 * kSettle);
    EXPECT_TRUE(ForegroundRecorder::Reports().empty());
}

}  // namespace
