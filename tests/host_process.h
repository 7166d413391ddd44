// tarvel-host.exe run as a child process, as a user runs it: its standard
// output and error are collected through pipes while it runs.
#pragma once

#include <windows.h>

#include <atomic>
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

    // Starts "tarvel-host.exe <arguments>" from the current folder (or
    // `program`).  `creationFlags` go to CreateProcessW.
    bool Start(const std::wstring& arguments, DWORD creationFlags = 0,
               const std::wstring& program = L"tarvel-host.exe");
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

// Injects a press and release of a mouse button, as the user's mouse would.
void Click(DWORD downFlag, DWORD upFlag, DWORD data);
inline void ClickSideButton(WORD button) { Click(MOUSEEVENTF_XDOWN, MOUSEEVENTF_XUP, button); }

// tarvel-host's settings under HKEY_CURRENT_USER\Software\Tarvel: none
// while the test runs (the defaults) but those it sets, none after it.
class TarvelSettingsForTest {
public:
    TarvelSettingsForTest() { Clear(); }
    ~TarvelSettingsForTest() { Clear(); }
    void Set(const wchar_t* name, DWORD value) const;
    // REG_SZ, or REG_MULTI_SZ for a text of NUL-separated items ending in two NULs.
    void Set(const wchar_t* name, const std::wstring& text, DWORD type = REG_SZ) const;

private:
    static void Clear();
};

// Starts tarvel-host in the background without its balloon ("--logon") and
// waits until it runs on the first side button.
bool StartInBackground(HostProcess& host);
// How often `part` occurs in `text`.
int Occurrences(const std::string& text, const std::string& part);

// Input as the user's mouse makes it: xdotool (Linux, found on the PATH of
// the Xvfb session) with `arguments` ("click 8" is the first side button,
// "mousedown 8", "mouseup 8"), through the X server to the Wine window
// under the pointer.  False when it could not be run or did not end.
bool Xdotool(const std::wstring& arguments);

// Asks the stand-in dwmapi.dll in the prefix's system folder (the flip
// tests' fixture puts it there; Wine's own always answers off) to answer
// "on" to the host started next, which inherits this environment.
class CompositionOn {
public:
    CompositionOn() { SetEnvironmentVariableW(L"TARVEL_TEST_COMPOSITION", L"on"); }
    ~CompositionOn() { SetEnvironmentVariableW(L"TARVEL_TEST_COMPOSITION", nullptr); }
};

// Sets the pointer speed for the test and puts the old one back after.  Wine
// keeps each process's own copy of the speed once read, so what the host
// does to it is read by the host itself (its lines), not by this process.
class PointerSpeedForTest {
public:
    explicit PointerSpeedForTest(int speed) : m_old(Read()) { Write(speed); }
    ~PointerSpeedForTest() { Write(m_old); }
    PointerSpeedForTest(const PointerSpeedForTest&) = delete;
    PointerSpeedForTest& operator=(const PointerSpeedForTest&) = delete;

private:
    static int Read();
    static void Write(int speed);
    int m_old;
};

// The same for the wheel's scroll lines a notch.
class WheelLinesForTest {
public:
    explicit WheelLinesForTest(unsigned lines) : m_old(Read()) { Write(lines); }
    ~WheelLinesForTest() { Write(m_old); }
    WheelLinesForTest(const WheelLinesForTest&) = delete;
    WheelLinesForTest& operator=(const WheelLinesForTest&) = delete;

private:
    static unsigned Read();
    static void Write(unsigned lines);
    unsigned m_old;
};

// Counts, on a hook thread of its own, the button presses (and the first
// side button's ups) that reach the
// low-level mouse hooks installed before it (tarvel-host's comes later, so it
// is asked first and a press it swallows never gets here).  One at a time.
class ButtonObserver {
public:
    ButtonObserver();   // returns once the hook is installed (or failed)
    ~ButtonObserver();  // removes the hook and ends the thread
    ButtonObserver(const ButtonObserver&) = delete;
    ButtonObserver& operator=(const ButtonObserver&) = delete;

    std::atomic<int> xbutton1{0};  // downs
    std::atomic<int> xbutton2{0};
    std::atomic<int> middle{0};
    std::atomic<int> xbutton1Up{0};
    std::atomic<int> middleUp{0};
    bool Installed() const { return m_installed; }

private:
    void Run(HANDLE ready) noexcept;
    static LRESULT CALLBACK Observe(int code, WPARAM message, LPARAM data) noexcept;

    static inline ButtonObserver* s_instance = nullptr;
    bool m_installed = false;  // written by the hook thread before it signals ready
    DWORD m_threadId = 0;      // likewise
    std::thread m_thread;
};

// Waits (generously) until `counter` has reached `value`.
bool WaitForCount(const std::atomic<int>& counter, int value);
