// tarvel-host.exe run as a child process, as a user runs it: its standard
// output and error are collected through pipes while it runs.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "common/unique_handle.h"

class HostProcess {
public:
    HostProcess() = default;
    // Ends the process if it still runs and waits for it.
    ~HostProcess();
    HostProcess(const HostProcess&) = delete;
    HostProcess& operator=(const HostProcess&) = delete;

    // Starts "tarvel-host.exe <arguments>" from the current folder.
    // `creationFlags` go to CreateProcessW (CREATE_NEW_PROCESS_GROUP, say).
    bool Start(const std::wstring& arguments, DWORD creationFlags = 0);
    // Waits until standard output holds `text`; false after `timeoutMs`.
    bool WaitForOutput(const std::string& text, DWORD timeoutMs);
    // Waits for the process to end and for its pipes to close; its exit code,
    // or -1 when it was still running after `timeoutMs` (it is then ended).
    int WaitForExit(DWORD timeoutMs);

    std::string Output() const;
    std::string Errors() const;
    DWORD MainThreadId() const { return m_mainThreadId; }
    DWORD ProcessId() const { return m_processId; }

private:
    void ReadPipe(HANDLE pipe, std::string& into) noexcept;

    UniqueHandle m_process;
    DWORD m_mainThreadId = 0;
    DWORD m_processId = 0;
    std::thread m_outputReader;
    std::thread m_errorReader;

    mutable std::mutex m_mutex;      // guards m_output and m_errors, filled by the readers
    std::condition_variable m_grew;  // signalled whenever either grows
    std::string m_output;
    std::string m_errors;
};

struct HostRun {
    int exitCode = -1;
    std::string output;
    std::string errors;
};

// Runs tarvel-host.exe to its end (generous time-out) and returns what it did.
HostRun RunHost(const std::wstring& arguments);

// The number of lines in `text` (a last line without a line break counts).
int CountLines(const std::string& text);
