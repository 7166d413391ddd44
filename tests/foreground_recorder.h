// What foreground callbacks were called with, for the monitor's tests.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

struct ForegroundReport {
    std::wstring Name;
    uintptr_t Context = 0;
    DWORD ThreadId = 0;
    std::chrono::steady_clock::time_point At;
};

// Every call of the recording callbacks below, in the order they came.
class ForegroundRecorder {
public:
    // Forgets every call; the calling thread becomes the test's thread.
    static void Clear();
    static DWORD TestThread();
    static std::vector<ForegroundReport> All();
    // Calls made on other threads than the test's (change reports), or on the
    // test's thread (the immediate calls of RegisterCallback) when `onThisThread`.
    static std::vector<ForegroundReport> Reports(bool onThisThread = false);
    // The names of the change reports for `context`, in order.
    static std::vector<std::wstring> NamesFor(uintptr_t context);
    // Waits until there are `count` change reports in all.
    static bool WaitForReports(size_t count, std::chrono::milliseconds limit = std::chrono::seconds(10));

    static void Add(const wchar_t* name, uintptr_t context);
};

// ForegroundCallback that records its call.
void RecordForeground(wchar_t* name, uintptr_t context);
// Records its call, then lowercases the name in place (as the flip's callback does).
void RecordAndLowercase(wchar_t* name, uintptr_t context);
// Records its call; off the test's thread (a change report) it also removes its
// own registration, like the flip's completion.
void RecordAndUnregister(wchar_t* name, uintptr_t context);
