// CForegroundMonitor through real foreground switches: copies of the helper
// program under chosen names come to the front, the monitor's thread sees the
// foreground event, and its 700 ms check reports to the callbacks.  Timing is
// judged by order and count; "nothing reported" is shown by a later switch
// whose report comes alone.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <set>
#include <thread>

#include "foreground_probe.h"
#include "foreground_recorder.h"
#include "support/foreground_switcher.h"
#include "support/import_patch.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Names = std::vector<std::wstring>;

constexpr uintptr_t kFirst = 1;
constexpr uintptr_t kSecond = 2;
constexpr uintptr_t kThird = 3;

// Longer than the monitor's 700 ms delay, so that the check of a switch has
// run before the next one on any sane machine.
constexpr auto kSettle = 1200ms;

class Monitor : public ::testing::Test {
protected:
    void SetUp() override
    {
        ForegroundRecorder::Clear();
        // The monitor's thread reads the foreground at start; there must be one.
        ASSERT_TRUE(switcher.SwitchTo(L"base.exe"));
    }
    void TearDown() override { CForegroundMonitor::DestroyInstance(); }

    static CForegroundMonitor& TheMonitor() { return *CForegroundMonitor::GetInstance(); }

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

TEST_F(Monitor, Registration_CallsTheNewCallbackAtOnceWithTheForegroundName_AndNoOther)
{
    CForegroundMonitor& monitor = TheMonitor();
    monitor.RegisterCallback(RecordForeground, kFirst);
    monitor.RegisterCallback(RecordForeground, kSecond);
    monitor.RegisterCallback(RecordForeground, kFirst);  // an existing pair: nothing
    monitor.RegisterCallback(nullptr, kThird);            // no callback: nothing

    const auto calls = ForegroundRecorder::All();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].Name, L"base.exe");
    EXPECT_EQ(calls[0].Context, kFirst);
    EXPECT_EQ(calls[1].Context, kSecond);
    EXPECT_EQ(calls[0].ThreadId, GetCurrentThreadId()) << "the immediate call is on the registering thread";
}

TEST_F(Monitor, Switch_ReportsTheNewNameOnceToEachRegistration_InRegistrationOrder)
{
    CForegroundMonitor& monitor = TheMonitor();
    monitor.RegisterCallback(RecordForeground, kSecond);
    monitor.RegisterCallback(RecordForeground, kFirst);
    monitor.UnregisterCallback(RecordForeground, kThird);  // not registered: nothing
    monitor.UnregisterCallback(nullptr, kFirst);            // no callback: nothing

    ASSERT_TRUE(switcher.SwitchTo(L"notepad.exe"));
    ASSERT_TRUE(ForegroundRecorder::WaitForReports(2));
    std::this_thread::sleep_for(kSettle);
    const auto reports = ForegroundRecorder::Reports();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].Context, kSecond);
    EXPECT_EQ(reports[1].Context, kFirst);
    EXPECT_EQ(reports[0].Name, L"notepad.exe");
    EXPECT_EQ(reports[1].Name, L"notepad.exe");
    EXPECT_EQ(reports[0].ThreadId, reports[1].ThreadId);
    EXPECT_NE(reports[0].ThreadId, GetCurrentThreadId()) << "reports come on the monitor's thread";
}

TEST_F(Monitor, SameFileName_NoReport_ForASecondWindowAnotherFolderOrAQuickRoundTrip)
{
    TheMonitor().RegisterCallback(RecordForeground, kFirst);
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

TEST_F(Monitor, NamesDifferingOnlyInCase_AreAChange)
{
    TheMonitor().RegisterCallback(RecordForeground, kFirst);
    ASSERT_TRUE(switcher.SwitchTo(L"DWM.EXE"));
    ASSERT_TRUE(ForegroundRecorder::WaitForReports(1));
    ASSERT_TRUE(switcher.SwitchTo(L"dwm.exe"));
    ASSERT_TRUE(ForegroundRecorder::WaitForReports(2));
    EXPECT_EQ(ForegroundRecorder::NamesFor(kFirst), (Names{L"DWM.EXE", L"dwm.exe"}));
}

TEST_F(Monitor, NameLowercasedByACallback_TheNextCheckOfTheSameApplicationReportsAChange)
{
    TheMonitor().RegisterCallback(RecordAndLowercase, kFirst);
    ASSERT_TRUE(switcher.SwitchTo(L"Notepad.EXE"));
    ASSERT_TRUE(ForegroundRecorder::WaitForReports(1));
    // Another window of the same executable: only the callback's change of the
    // monitor's own name makes this a change.
    ASSERT_TRUE(switcher.StartAnother(L"Notepad.EXE").Started());
    ASSERT_TRUE(ForegroundRecorder::WaitForReports(2));
    EXPECT_EQ(ForegroundRecorder::NamesFor(kFirst), (Names{L"Notepad.EXE", L"Notepad.EXE"}));
}

TEST_F(Monitor, BurstOfSwitches_OneCheckAfterTheFirst_ALaterSwitchArmsANewDelay)
{
    TheMonitor().RegisterCallback(RecordForeground, kFirst);
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

TEST_F(Monitor, CallbackThatUnregistersItselfMidWalk_TheOthersAreStillCalledOnce)
{
    CForegroundMonitor& monitor = TheMonitor();
    monitor.RegisterCallback(RecordForeground, kFirst);
    monitor.RegisterCallback(RecordAndUnregister, kSecond);
    monitor.RegisterCallback(RecordForeground, kThird);
    ASSERT_TRUE(switcher.SwitchTo(L"one.exe"));
    ASSERT_TRUE(ForegroundRecorder::WaitForReports(3));
    ASSERT_TRUE(switcher.SwitchTo(L"two.exe"));
    ASSERT_TRUE(ForegroundRecorder::WaitForReports(5));
    std::this_thread::sleep_for(kSettle);

    Names order;
    for (const ForegroundReport& report : ForegroundRecorder::Reports())
        order.push_back(std::to_wstring(report.Context) + L":" + report.Name);
    EXPECT_EQ(order, (Names{L"1:one.exe", L"2:one.exe", L"3:one.exe", L"1:two.exe", L"3:two.exe"}));
}

TEST_F(Monitor, RegistrationBetweenASwitchAndItsCheck_TakesTheNewName_AndTheCheckCallsNobody)
{
    CForegroundMonitor& monitor = TheMonitor();
    monitor.RegisterCallback(RecordForeground, kFirst);
    SwitchThenSentinel([&] {
        ASSERT_TRUE(switcher.SwitchTo(L"new.exe"));
        monitor.RegisterCallback(RecordForeground, kSecond);  // well within the 700 ms
    });
    const auto immediate = ForegroundRecorder::Reports(true);
    ASSERT_EQ(immediate.size(), 2u);
    EXPECT_EQ(immediate[1].Name, L"new.exe");
    EXPECT_EQ(ForegroundRecorder::NamesFor(kFirst), (Names{L"sentinel.exe"}));
    EXPECT_EQ(ForegroundRecorder::NamesFor(kSecond), (Names{L"sentinel.exe"}));
}

TEST_F(Monitor, Destruction_DropsRegistrationsUncalled_AndTheNextGetInstanceStartsAFreshMonitor)
{
    TheMonitor().RegisterCallback(RecordForeground, kFirst);
    TheMonitor().RegisterCallback(RecordForeground, kSecond);
    CForegroundMonitor::DestroyInstance();
    CForegroundMonitor::DestroyInstance();  // none left: nothing happens
    EXPECT_EQ(ForegroundRecorder::All().size(), 2u) << "destruction calls nobody";

    ASSERT_TRUE(switcher.SwitchTo(L"unseen.exe"));
    std::this_thread::sleep_for(kSettle);
    TheMonitor().RegisterCallback(RecordForeground, kThird);
    ASSERT_TRUE(switcher.SwitchTo(L"seen.exe"));
    ASSERT_TRUE(ForegroundRecorder::WaitForReports(1));
    std::this_thread::sleep_for(kSettle);
    const auto reports = ForegroundRecorder::Reports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].Context, kThird);
    EXPECT_EQ(reports[0].Name, L"seen.exe");
    EXPECT_EQ(ForegroundRecorder::Reports(true).back().Name, L"unseen.exe");
}

// The first registration of the hammer test: on the monitor's thread it holds
// the walk open for a while, during which the other thread hammers.
std::atomic<bool> g_walking{false};

void HoldTheWalk(wchar_t* name, uintptr_t context)
{
    ForegroundRecorder::Add(name, context);
    if (GetCurrentThreadId() == ForegroundRecorder::TestThread())
        return;
    g_walking = true;
    std::this_thread::sleep_for(300ms);
    g_walking = false;
}

// Runs `body` on a thread of its own until destruction, which joins it.
class Hammer {
public:
    explicit Hammer(std::function<void()> body)
        : m_thread([this, body] {
              m_threadId = GetCurrentThreadId();
              while (!m_stop)
                  body();
          })
    {
    }
    ~Hammer()
    {
        m_stop = true;
        m_thread.join();
    }
    DWORD ThreadId() const { return m_threadId; }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<DWORD> m_threadId{0};
    std::thread m_thread;
};

TEST_F(Monitor, RegistrationsHammeredFromAnotherThread_WhileTheMonitorWalks_NoLostOrDoubledCall)
{
    constexpr uintptr_t kVictims = 10;      // contexts 10..19, removed and added again mid-walk
    constexpr uintptr_t kNewFrom = 100000;  // one new context per round, added and removed mid-walk
    CForegroundMonitor& monitor = TheMonitor();
    monitor.RegisterCallback(HoldTheWalk, kFirst);
    for (uintptr_t victim = kVictims; victim < 2 * kVictims; ++victim)
        monitor.RegisterCallback(RecordForeground, victim);
    monitor.RegisterCallback(RecordForeground, kThird);

    std::atomic<uintptr_t> rounds{0};
    // Set around each round, so that the next switch waits for the round to
    // end: mid-switch there may be no foreground window, hence no immediate call.
    std::atomic<bool> busy{false};
    Names expected;
    {
        Hammer hammer([&] {
            busy = true;
            if (!g_walking) {
                busy = false;
                std::this_thread::sleep_for(1ms);
                return;
            }
            const uintptr_t round = rounds;
            const uintptr_t victim = kVictims + round % kVictims;
            monitor.UnregisterCallback(RecordForeground, victim);
            monitor.RegisterCallback(RecordForeground, victim);
            monitor.RegisterCallback(RecordForeground, kNewFrom + round);
            monitor.UnregisterCallback(RecordForeground, kNewFrom + round);
            ++rounds;
            busy = false;
        });
        for (int i = 0; i < 4; ++i) {
            const std::wstring name = i % 2 == 0 ? L"x.exe" : L"y.exe";
            expected.push_back(name);
            ASSERT_TRUE(switcher.SwitchTo(name));
            ASSERT_TRUE(WaitUntil([&] { return ForegroundRecorder::NamesFor(kThird).size() >= expected.size(); }, 10s));
            ASSERT_TRUE(WaitUntil([] { return !g_walking; }, 10s));
            ASSERT_TRUE(WaitUntil([&] { return !busy; }, 10s));
        }
        std::this_thread::sleep_for(kSettle);
        EXPECT_GT(rounds.load(), 50u);

        // Within one walk: each registration at most once, none made after it began.
        int walks = 0;
        std::set<uintptr_t> calledInWalk;
        size_t immediateCalls = 0;
        for (const ForegroundReport& call : ForegroundRecorder::Reports()) {
            if (call.ThreadId == hammer.ThreadId()) {
                ++immediateCalls;
                continue;
            }
            if (call.Context == kFirst) {
                ++walks;
                calledInWalk.clear();
            }
            EXPECT_TRUE(calledInWalk.insert(call.Context).second) << "called twice in one walk: " << call.Context;
            EXPECT_LT(call.Context, kNewFrom) << "a registration made after the walk began was called by it";
        }
        EXPECT_EQ(walks, 4);
        EXPECT_EQ(immediateCalls, 2 * rounds.load()) << "each registration had its one immediate call";
    }
    EXPECT_EQ(ForegroundRecorder::NamesFor(kThird), expected) << "no report lost or doubled";
}

// Test doubles below: Wine cannot be made to fail these platform calls, nor
// does it refuse any access right, so the imports of this program (which holds
// the monitor's code) are patched for the length of one test.

std::atomic<int> g_failedAllocations{0};

BSTR WINAPI FailingSysAllocString(const OLECHAR*)
{
    ++g_failedAllocations;
    return nullptr;
}

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
    return ImportPatch(CForegroundMonitor::Module(), dll, name, reinterpret_cast<void*>(replacement));
}

TEST_F(Monitor, OutOfMemoryInACheck_DropsTheCheck_TheNameStays_AndTheMonitorGoesOn)
{
    TheMonitor().RegisterCallback(RecordForeground, kFirst);
    {
        ImportPatch failing = PatchOwnImport("oleaut32.dll", "SysAllocString", &FailingSysAllocString);
        ASSERT_TRUE(failing.Applied());
        ASSERT_TRUE(switcher.SwitchTo(L"lost.exe"));
        ASSERT_TRUE(WaitUntil([] { return g_failedAllocations > 0; }, 10s)) << "the check ran";
    }
    // Back to the name before: no change, since the failed check changed nothing.
    SwitchThenSentinel([&] { ASSERT_TRUE(switcher.SwitchTo(L"base.exe")); });
    EXPECT_EQ(ForegroundRecorder::NamesFor(kFirst), (Names{L"sentinel.exe"}));
}

TEST_F(Monitor, OutOfMemoryAtRegistration_RaisesCAtlException_AndTheRegistrationStays)
{
    CForegroundMonitor& monitor = TheMonitor();
    {
        ImportPatch failing = PatchOwnImport("oleaut32.dll", "SysAllocString", &FailingSysAllocString);
        ASSERT_TRUE(failing.Applied());
        try {
            monitor.RegisterCallback(RecordForeground, kFirst);
            ADD_FAILURE() << "no exception";
        } catch (const ATL::CAtlException& error) {
            EXPECT_EQ(static_cast<HRESULT>(error), E_OUTOFMEMORY);
        }
    }
    EXPECT_TRUE(ForegroundRecorder::All().empty());
    ASSERT_TRUE(switcher.SwitchTo(L"later.exe"));
    ASSERT_TRUE(ForegroundRecorder::WaitForReports(1));
    EXPECT_EQ(ForegroundRecorder::NamesFor(kFirst), (Names{L"later.exe"}));
}

TEST_F(Monitor, ForegroundWithHigherRights_IsStillReported)
{
    ImportPatch elevated = PatchOwnImport("kernel32.dll", "OpenProcess", &OpenProcessAsElevated);
    ASSERT_TRUE(elevated.Applied());
    TheMonitor().RegisterCallback(RecordForeground, kFirst);
    ASSERT_EQ(ForegroundRecorder::Reports(true).size(), 1u) << "the immediate call";
    ASSERT_TRUE(switcher.SwitchTo(L"elevated.exe"));
    ASSERT_TRUE(ForegroundRecorder::WaitForReports(1));
    EXPECT_EQ(ForegroundRecorder::NamesFor(kFirst), (Names{L"elevated.exe"}));
}

TEST_F(Monitor, ForegroundThatCannotBeOpened_NoImmediateCall_NoReport_TheRegistrationAndNameStay)
{
    CForegroundMonitor& monitor = TheMonitor();
    {
        ImportPatch refused = PatchOwnImport("kernel32.dll", "OpenProcess", &OpenNoProcess);
        ASSERT_TRUE(refused.Applied());
        monitor.RegisterCallback(RecordForeground, kFirst);
        EXPECT_TRUE(ForegroundRecorder::All().empty());
        monitor.RegisterCallback(RecordForeground, kFirst);  // registered all the same: no call
        ASSERT_TRUE(switcher.SwitchTo(L"closed.exe"));
        std::this_thread::sleep_for(kSettle);
    }
    EXPECT_TRUE(ForegroundRecorder::All().empty());
    SwitchThenSentinel([&] { ASSERT_TRUE(switcher.SwitchTo(L"base.exe")); });
    EXPECT_EQ(ForegroundRecorder::NamesFor(kFirst), (Names{L"sentinel.exe"}));
}

TEST_F(Monitor, StartedWithNothingNameableInFront_ReportsTheFirstApplicationThatComesToTheFront)
{
    {
        ImportPatch refused = PatchOwnImport("kernel32.dll", "OpenProcess", &OpenNoProcess);
        ASSERT_TRUE(refused.Applied());
        TheMonitor().RegisterCallback(RecordForeground, kFirst);  // its thread cannot name base.exe
    }
    ASSERT_TRUE(switcher.SwitchTo(L"first.exe"));
    ASSERT_TRUE(ForegroundRecorder::WaitForReports(1));
    EXPECT_EQ(ForegroundRecorder::NamesFor(kFirst), (Names{L"first.exe"}));
}

// Two host threads ending handlers at the same moment both destroy the
// monitor: it must be stopped and freed once.  The C runtime's heap, where
// the monitor lives, is validated afterwards.
TEST_F(Monitor, DestroyedFromTwoThreadsAtOnce_IsFreedOnce)
{
    for (int round = 0; round < 100; ++round) {
        TheMonitor();
        std::atomic<int> arrived{0};
        auto destroy = [&arrived] {
            ++arrived;
            while (arrived.load() < 2) {
            }
            CForegroundMonitor::DestroyInstance();
        };
        std::thread first(destroy);
        std::thread second(destroy);
        first.join();
        second.join();
    }
    using GetHeapHandle = intptr_t(__cdecl*)();
    const auto heapOf = reinterpret_cast<GetHeapHandle>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ucrtbase.dll"), "_get_heap_handle")));
    ASSERT_NE(heapOf, nullptr);
    EXPECT_TRUE(HeapValidate(reinterpret_cast<HANDLE>(heapOf()), 0, nullptr));
}

TEST_F(Monitor, ThreadThatNeverCameUp_RegistrationsAreStillCalledAtOnce_NothingIsReported)
{
    {
        ImportPatch noHook = PatchOwnImport("user32.dll", "SetWinEventHook", &NoWinEventHook);
        ASSERT_TRUE(noHook.Applied());
        TheMonitor();
    }
    TheMonitor().RegisterCallback(RecordForeground, kFirst);
    ASSERT_TRUE(switcher.SwitchTo(L"unwatched.exe"));
    TheMonitor().RegisterCallback(RecordForeground, kSecond);
    ASSERT_TRUE(switcher.SwitchTo(L"base.exe"));
    std::this_thread::sleep_for(2 * kSettle);
    const auto calls = ForegroundRecorder::All();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].Name, L"base.exe");
    EXPECT_EQ(calls[1].Name, L"unwatched.exe");
    EXPECT_TRUE(ForegroundRecorder::Reports().empty());
}

}  // namespace
