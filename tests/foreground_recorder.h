// What the watch's reports carried, for the monitor's tests.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

struct ForegroundReport {
    std::wstring Name;
    uint32_t Flip = 0;
    DWORD ThreadId = 0;
    std::chrono::steady_clock::time_point At;
};

// Every report of RecordForeground, in the order they came.
class ForegroundRecorder {
public:
    static void Clear();
    static std::vector<ForegroundReport> Reports();
    // The names reported to the watch of `flip`, in order.
    static std::vector<std::wstring> NamesFor(uint32_t flip);
    // Waits until there are `count` reports in all.
    static bool WaitForReports(size_t count, std::chrono::milliseconds limit = std::chrono::seconds(10));

    static void Add(const wchar_t* name, uint32_t flip);
};

// A watch's report function that records the report.
void RecordForeground(wchar_t* name, int32_t kind, uint32_t flip);
