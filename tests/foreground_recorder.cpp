#include "foreground_recorder.h"

#include <mutex>

#include "support/foreground_switcher.h"

namespace {

std::mutex g_lock;  // guards g_reports
std::vector<ForegroundReport> g_reports;

}  // namespace

void ForegroundRecorder::Clear()
{
    std::lock_guard guard(g_lock);
    g_reports.clear();
}

std::vector<ForegroundReport> ForegroundRecorder::Reports()
{
    std::lock_guard guard(g_lock);
    return g_reports;
}

std::vector<std::wstring> ForegroundRecorder::NamesFor(uint32_t flip)
{
    std::vector<std::wstring> names;
    for (const ForegroundReport& report : Reports()) {
        if (report.Flip == flip)
            names.push_back(report.Name);
    }
    return names;
}

bool ForegroundRecorder::WaitForReports(size_t count, std::chrono::milliseconds limit)
{
    return WaitUntil([count] { return Reports().size() >= count; }, limit);
}

void ForegroundRecorder::Add(const wchar_t* name, uint32_t flip)
{
    ForegroundReport report{name, flip, GetCurrentThreadId(), std::chrono::steady_clock::now()};
    std::lock_guard guard(g_lock);
    g_reports.push_back(std::move(report));
}

void RecordForeground(wchar_t* name, int32_t, uint32_t flip)
{
    ForegroundRecorder::Add(name, flip);
}
