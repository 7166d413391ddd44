// The support of the foreground tests: the switcher (real processes, real
// windows, the foreground event raised, nothing left behind) and the import patch.
#include <gtest/gtest.h>

#include <windows.h>

#include <psapi.h>

#include <atomic>
#include <thread>

#include "support/foreground_switcher.h"
#include "support/import_patch.h"

namespace {

using namespace std::chrono_literals;

// The file name part of the process's image path, as the platform spells it.
std::wstring ImageFileName(DWORD processId)
{
    UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    wchar_t path[1025] = L"";
    if (process)
        GetProcessImageFileNameW(process.get(), path, 1024);
    const std::wstring text = path;
    return text.substr(text.find_last_of(L'\\') + 1);
}

bool Running(DWORD processId)
{
    UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
    return process && WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

// Counts EVENT_SYSTEM_FOREGROUND events per window on a thread that pumps messages.
class ForegroundEventCounter {
public:
    ForegroundEventCounter()
    {
        s_counter = this;
        m_thread = std::thread([this] { Run(); });
        WaitUntil([this] { return m_ready.load(); }, 5s);
    }
    ~ForegroundEventCounter()
    {
        PostThreadMessageW(m_threadId.load(), WM_QUIT, 0, 0);
        m_thread.join();
        s_counter = nullptr;
    }

    int EventsFrom(DWORD processId) const { return processId == m_lastProcess ? m_count.load() : 0; }
    int Count() const { return m_count.load(); }
    DWORD LastProcess() const { return m_lastProcess.load(); }

private:
    static void CALLBACK Proc(HWINEVENTHOOK, DWORD, HWND window, LONG, LONG, DWORD, DWORD) noexcept
    {
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        s_counter->m_lastProcess = processId;
        ++s_counter->m_count;
    }

    void Run()
    {
        m_threadId = GetCurrentThreadId();
        UniqueWinEventHook hook(SetWinEventHook(EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND,
                                                nullptr, Proc, 0, 0, WINEVENT_OUTOFCONTEXT));
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // makes the queue
        m_ready = true;
        while (GetMessageW(&message, nullptr, 0, 0) > 0)
            DispatchMessageW(&message);
    }

    static inline ForegroundEventCounter* s_counter = nullptr;
    std::thread m_thread;
    std::atomic<DWORD> m_threadId{0};
    std::atomic<bool> m_ready{false};
    std::atomic<int> m_count{0};
    std::atomic<DWORD> m_lastProcess{0};
};

TEST(ForegroundSwitcher, SwitchTo_BringsEachCopyToTheFrontUnderItsOwnName)
{
    ForegroundSwitcher switcher;
    ASSERT_TRUE(switcher.SwitchTo(L"notepad.exe"));
    const DWORD notepad = switcher.Window(L"notepad.exe").ProcessId();
    EXPECT_EQ(ForegroundProcessId(), notepad);
    EXPECT_EQ(ImageFileName(notepad), L"notepad.exe");

    ASSERT_TRUE(switcher.SwitchTo(L"DWM.EXE"));
    ASSERT_TRUE(switcher.SwitchTo(L"dwm.exe"));
    EXPECT_EQ(ImageFileName(switcher.Window(L"DWM.EXE").ProcessId()), L"DWM.EXE");
    EXPECT_EQ(ImageFileName(ForegroundProcessId()), L"dwm.exe");

    ASSERT_TRUE(switcher.SwitchTo(L"notepad.exe"));
    EXPECT_EQ(ForegroundProcessId(), notepad) << "the running copy comes back, no new process";
}

TEST(ForegroundSwitcher, SameNameInTwoFolders_TwoFilesTwoProcesses)
{
    ForegroundSwitcher switcher;
    const std::wstring first = switcher.CopyAs(L"same.exe", L"one");
    const std::wstring second = switcher.CopyAs(L"same.exe", L"two");
    EXPECT_NE(first, second);
    ASSERT_TRUE(switcher.SwitchTo(L"same.exe", L"one"));
    ASSERT_TRUE(switcher.SwitchTo(L"same.exe", L"two"));
    EXPECT_NE(switcher.Window(L"same.exe", L"one").ProcessId(),
              switcher.Window(L"same.exe", L"two").ProcessId());
    EXPECT_EQ(ImageFileName(ForegroundProcessId()), L"same.exe");
}

TEST(ForegroundSwitcher, EachSwitch_RaisesTheForegroundEventForItsWindow)
{
    ForegroundEventCounter events;
    ForegroundSwitcher switcher;
    ASSERT_TRUE(switcher.SwitchTo(L"first.exe"));
    ASSERT_TRUE(switcher.SwitchTo(L"second.exe"));
    const DWORD second = switcher.Window(L"second.exe").ProcessId();
    EXPECT_TRUE(WaitUntil([&] { return events.LastProcess() == second; }, 5s));
    const int before = events.Count();
    ASSERT_TRUE(switcher.SwitchTo(L"first.exe"));
    EXPECT_TRUE(WaitUntil([&] { return events.Count() == before + 1; }, 5s));
    EXPECT_EQ(events.LastProcess(), switcher.Window(L"first.exe").ProcessId());
}

TEST(ForegroundSwitcher, Destruction_EndsEveryProcessAndRemovesTheCopies)
{
    DWORD first = 0;
    DWORD second = 0;
    std::wstring root;
    {
        ForegroundSwitcher switcher;
        root = switcher.Root();
        ASSERT_TRUE(switcher.SwitchTo(L"app.exe"));
        first = switcher.Window(L"app.exe").ProcessId();
        ForegroundWindowProcess& another = switcher.StartAnother(L"app.exe");
        ASSERT_TRUE(another.Started());
        second = another.ProcessId();
        EXPECT_NE(first, second);
        EXPECT_TRUE(Running(first));
        EXPECT_TRUE(Running(second));
    }
    EXPECT_FALSE(Running(first));
    EXPECT_FALSE(Running(second));
    EXPECT_EQ(GetFileAttributesW(root.c_str()), INVALID_FILE_ATTRIBUTES);
}

DWORD WINAPI FixedTickCount()
{
    return 42;
}

// A call of its own, so that the compiler cannot reuse an import address it
// loaded before the patch.
__attribute__((noinline)) DWORD TickCount()
{
    return GetTickCount();
}

TEST(ImportPatch, ReplacesTheModulesImportAndPutsItBack)
{
    const DWORD real = TickCount();
    {
        ImportPatch patch(GetModuleHandleW(nullptr), "kernel32.DLL", "GetTickCount",
                          reinterpret_cast<void*>(&FixedTickCount));
        ASSERT_TRUE(patch.Applied());
        EXPECT_EQ(TickCount(), 42u);
        EXPECT_GE(patch.Original<DWORD(WINAPI*)()>()(), real);
    }
    EXPECT_GE(TickCount(), real);
}

TEST(ImportPatch, UnknownImport_AppliesNothing)
{
    ImportPatch patch(GetModuleHandleW(nullptr), "kernel32.dll", "NoSuchFunction",
                      reinterpret_cast<void*>(&FixedTickCount));
    EXPECT_FALSE(patch.Applied());
    ImportPatch otherDll(GetModuleHandleW(nullptr), "nosuch.dll", "GetTickCount",
                         reinterpret_cast<void*>(&FixedTickCount));
    EXPECT_FALSE(otherDll.Applied());
}

}  // namespace
