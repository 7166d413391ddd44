#include "foreground_recorder.h"

#include <cwctype>
#include <mutex>

#include "foreground_probe.h"
#include "support/foreground_switcher.h"

namespace {

std::mutex g_lock;  // guards everything below
std::vector<ForegroundReport> g_calls;
DWORD g_testThread = 0;

}  // namespace

void ForegroundRecorder::Clear()
{
    std::lock_guard guard(g_lock);
    g_calls.clear();
    g_testThread = GetCurrentThreadId();
}

std::vector<ForegroundReport> ForegroundRecorder::All()
{
    std::lock_guard guard(g_lock);
    return g_calls;
}

std::vector<ForegroundReport> ForegroundRecorder::Reports(bool onThisThread)
{
    std::vector<ForegroundReport> selected;
    for (const ForegroundReport& call : All()) {
        if ((call.ThreadId == TestThread()) == onThisThread)
            selected.push_back(call);
    }
    return selected;
}

std::vector<std::wstring> ForegroundRecorder::NamesFor(uintptr_t context)
{
    std::vector<std::wstring> names;
    for (const ForegroundReport& call : Reports()) {
        if (call.Context == context)
            names.push_back(call.Name);
    }
    return names;
}

bool ForegroundRecorder::WaitForReports(size_t count, std::chrono::milliseconds limit)
{
    return WaitUntil([count] { return Reports().size() >= count; }, limit);
}

DWORD ForegroundRecorder::TestThread()
{
    std::lock_guard guard(g_lock);
    return g_testThread;
}

void ForegroundRecorder::Add(const wchar_t* name, uintptr_t context)
{
    ForegroundReport call{name, context, GetCurrentThreadId(), std::chrono::steady_clock::now()};
    std::lock_guard guard(g_lock);
    g_calls.push_back(std::move(call));
}

void RecordForeground(wchar_t* name, uintptr_t context)
{
    ForegroundRecorder::Add(name, context);
}

void RecordAndLowercase(wchar_t* name, uintptr_t context)
{
    ForegroundRecorder::Add(name, context);
    for (wchar_t* character = name; *character != L'\0'; ++character)
        *character = static_cast<wchar_t>(std::towlower(*character));
}

void RecordAndUnregister(wchar_t* name, uintptr_t context)
{
    ForegroundRecorder::Add(name, context);
    if (GetCurrentThreadId() != ForegroundRecorder::TestThread())
        CForegroundMonitor::GetInstance()->UnregisterCallback(RecordAndUnregister, context);
}
