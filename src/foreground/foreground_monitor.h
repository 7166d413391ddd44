// CForegroundMonitor: watches which executable owns the foreground window
// for the flip's one watch, and reports to it, by file name, when that
// changes.
//
// One monitor per process, made on first use.  Its own thread installs an
// out-of-context EVENT_SYSTEM_FOREGROUND hook and sleeps in its message loop;
// a foreground switch arms a one-shot 700 ms timer, so a burst of switches
// costs one look-up, and when the timer fires the foreground executable's
// name is compared (ordinal, case-sensitive) with the current one and, if it
// differs, reported.  The thread alone owns the hook, its timers and the
// rules of a burst (burst_rules.h); host threads reach it by posting one
// message, when a watch starts.
//
// Windows 10 and 11 show their switcher (Task View, Alt+Tab) in explorer.exe,
// the process of the desktop and of every Explorer window, and Windows 7 its
// Flip3D in dwm.exe (see switcher_windows.h): a move between the switcher and
// an ordinary window is reported as a change even when the file name stays,
// and so is a burst that showed the switcher and ended on the window it
// started from.  The pick behind the switcher is checked at once, not after
// the delay; Explorer's transient window, or a foreground nobody can name, is
// reported only when a second check after the switcher still finds it.
#pragma once

#include <windows.h>

#include "common/srw_lock.h"
#include "common/unique_handle.h"
#include "foreground/burst_rules.h"
#include "foreground/switcher_windows.h"

// A report to the watch of flip `flip`, on the monitor thread: the name (the
// monitor's copy for this call, writable) and the kind of window in front.
using WatchReport = void (*)(wchar_t* name, FlipWindow kind, unsigned flip);

class CForegroundMonitor {
public:
    // The process-wide monitor with a reference for the caller, created and
    // started on first use when `create` (which waits up to 200 ms for its
    // thread); null when there is none and none is to be made.  Raises
    // CAtlException(E_OUTOFMEMORY) when none can be made.
    static CForegroundMonitor* Acquire(bool create = true);
    void Release() noexcept;
    // Stops the monitor, if there is one, dropping its watch unreported, and
    // waits up to `waitMs` for its thread, answering messages sent to the
    // caller.  False when the thread still runs (inside a report).
    static bool DestroyInstance(DWORD waitMs);

    // The flip's watch: reads and adopts the window in front as the current
    // name, then reports changes to `report` with `flip`.  Unless a switch
    // comes within `neverShownMs`, the window in front is reported again
    // then (a flip whose keys were swallowed ends by that report).
    void StartWatch(WatchReport report, unsigned flip, DWORD neverShownMs);
    // Ends the watch of `flip`; another flip's watch stays.
    void EndWatch(unsigned flip) noexcept;

    CForegroundMonitor(const CForegroundMonitor&) = delete;
    CForegroundMonitor& operator=(const CForegroundMonitor&) = delete;

private:
    static constexpr DWORD kNameCapacity = 1024;
    struct Watch {
        WatchReport Report = nullptr;  // null: no watch
        unsigned Flip = 0;
        HWND StartWindow = nullptr;  // in front when the watch started
        DWORD NeverShownMs = 0;
    };
    // What a check read of the window in front.
    struct Front {
        wchar_t Name[kNameCapacity + 1] = L"";
        bool Named = false;
        FlipWindow Kind = FlipWindow::Ordinary;
    };

    CForegroundMonitor() = default;
    ~CForegroundMonitor() = default;

    void Start();
    bool Stop(DWORD waitMs) noexcept;
    static unsigned __stdcall ThreadProc(void* parameter);
    void Run() noexcept;
    void RunMessageLoop() noexcept;
    void RunDue() noexcept;
    WindowAttributeQuery CloakQuery() noexcept;
    static void CALLBACK WinEventProc(HWINEVENTHOOK hook, DWORD event, HWND window, LONG objectId,
                                      LONG childId, DWORD eventThread, DWORD eventTime) noexcept;
    void OnSwitch(HWND window) noexcept;
    void OnWatchStarted(unsigned flip) noexcept;
    void OnSettled() noexcept;
    void OnNeverShownBound() noexcept;
    void Take(BurstStep step) noexcept;
    void ReportLocked(Watch& watch, Front& report) noexcept;  // under m_lock: what to report
    void Deliver(const Watch& watch, Front& report) noexcept;
    void Adopt(const Front& front) noexcept;                  // under m_lock
    static void ReadFront(Front& front, HWND* window = nullptr) noexcept;

    // m_lock guards what host threads and the monitor thread share: the
    // watch, the current name and the rules.  It is held only for short
    // sections without platform calls, never while a report runs, so a report
    // may end its watch or destroy the monitor from the monitor thread.
    SrwLock m_lock;
    Watch m_watch;
    wchar_t m_currentName[kNameCapacity + 1] = L"";
    bool m_named = false;  // m_currentName holds a name read from the platform
    BurstRules m_rules;

    // Set once by Start, before the thread runs.
    UniqueHandle m_thread;
    DWORD m_threadId = 0;
    // Closed with the last reference: a thread that outlived Stop's wait must
    // still find its stop event signalled.
    UniqueHandle m_readyEvent;
    UniqueHandle m_stopEvent;
    // The monitor thread only.
    ULONGLONG m_settleDue = 0;      // GetTickCount64 of the check; 0: none
    ULONGLONG m_neverShownDue = 0;  // of the watch's never-shown bound; 0: none
    UniqueModule m_dwmapi;
    bool m_dwmapiTried = false;

    // The singleton holds one reference, a running thread another, and each
    // caller outside the monitor thread one while it uses the monitor.
    volatile LONG m_references = 1;
};

// Holds one reference on a monitor for a scope.
class MonitorReference {
public:
    explicit MonitorReference(CForegroundMonitor* monitor) noexcept : m_monitor(monitor) {}
    ~MonitorReference()
    {
        if (m_monitor != nullptr)
            m_monitor->Release();
    }
    MonitorReference(const MonitorReference&) = delete;
    MonitorReference& operator=(const MonitorReference&) = delete;
    CForegroundMonitor* operator->() const noexcept { return m_monitor; }
    explicit operator bool() const noexcept { return m_monitor != nullptr; }

private:
    CForegroundMonitor* m_monitor;
};
