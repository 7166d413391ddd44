// What a soak watches for growth: the process's open handles and its private
// bytes (committed memory of its own).  Header-only, so that benchmarks can
// print the same figures.
#pragma once

#include <windows.h>

#include <psapi.h>

#include <cstdio>

struct ProcessFigures {
    DWORD handles = 0;
    SIZE_T privateBytes = 0;
};

// The process's open kernel handles.  Wine 8 answers 0 to
// GetProcessHandleCount, so when it does, each handle value is probed with
// GetHandleInformation instead (handle values are multiples of 4, handed out
// lowest first, so a long run of closed ones means the end of the table).
inline DWORD CountOpenHandles()
{
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count != 0)
        return count;
    DWORD closedRun = 0;
    for (uintptr_t value = 4; closedRun < 4096; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
            ++count;
            closedRun = 0;
        } else {
            ++closedRun;
        }
    }
    return count;
}

inline ProcessFigures MeasureProcess()
{
    ProcessFigures figures;
    figures.handles = CountOpenHandles();
    // Private bytes: Windows fills PrivateUsage and PagefileUsage alike, Wine 8
    // only PagefileUsage (its committed private pages).
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof(memory);
    if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                             sizeof(memory)))
        figures.privateBytes = memory.PrivateUsage != 0 ? memory.PrivateUsage : memory.PagefileUsage;
    return figures;
}

inline void PrintFigures(const char* what, const ProcessFigures& before, const ProcessFigures& after)
{
    std::printf("%s: handles %lu -> %lu, private bytes %llu -> %llu (%+lld)\n", what,
                static_cast<unsigned long>(before.handles), static_cast<unsigned long>(after.handles),
                static_cast<unsigned long long>(before.privateBytes),
                static_cast<unsigned long long>(after.privateBytes),
                static_cast<long long>(after.privateBytes) - static_cast<long long>(before.privateBytes));
    std::fflush(stdout);
}
