// CForegroundMonitor: watches which executable owns the foreground window and
// tells registered callbacks, by file name, when it changes.
//
// One monitor per process, made on first use.  Its own thread installs an
// out-of-context EVENT_SYSTEM_FOREGROUND hook and sleeps in its message loop;
// a foreground switch arms a one-shot 700 ms timer, so a burst of switches
// costs one look-up, and when the timer fires the foreground executable's
// name is compared (ordinal, case-sensitive) with the last one and, if it
// differs, handed to every registration in the order they were made.
//
// Windows 10 and 11 show their switcher (Task View, Alt+Tab) in explorer.exe,
// the process of the desktop and of every Explorer window, and Windows 7 its
// Flip3D in dwm.exe (see switcher_windows.h): a move between the
// switcher and an ordinary window is reported as a change even when the file
// name stays, and so is a burst that showed the switcher and ended on the
// window it started from.  The pick behind the switcher is checked at once,
// not after the delay; Explorer's transient window, or a foreground nobody
// can name, is reported only when a second check after the switcher still
// finds it.
#pragma once

#include <windows.h>

#include <oleauto.h>
#include <stdint.h>

#include "common/srw_lock.h"
#include "common/unique_handle.h"
#include "foreground/callback_list.h"
#include "foreground/foreground_callback.h"
#include "foreground/switcher_windows.h"
#include "strings/bstr.h"

class CForegroundMonitor {
public:
    // The process-wide monitor, created and started on first use (which waits
    // up to 200 ms for its thread).  On a monitor's own thread, that thread's
    // monitor, even when the host has destroyed it or made another meanwhile:
    // the thread keeps its monitor alive, and never starts a second one.
    static CForegroundMonitor* GetInstance();
    // Stops and frees the monitor, if there is one; registrations are dropped
    // uncalled.  Waits up to 200 ms for the thread.
    static void DestroyInstance();

    // Adds (callback, context) and calls it at once, on this thread, with the
    // current foreground name.  An existing pair is left alone and not called.
    // Raises CAtlException(E_OUTOFMEMORY) when memory is short; a registration
    // that was added stays.
    void RegisterCallback(ForegroundCallback callback, uintptr_t context);
    // Removes (callback, context) if registered; never calls it.  A callback
    // may remove its own registration while it is being called.
    void UnregisterCallback(ForegroundCallback callback, uintptr_t context);
    // Whether the window last named (the name just handed to a callback) is
    // the system's switcher or Flip3D.
    bool SwitcherInFront();
    // Unless a foreground switch comes within `withinMs` and while the window
    // in front now is still there then, calls every registration once more
    // with the current name, on the monitor thread: a flip that never showed
    // (its keys swallowed) is ended by that report.
    void ReportIfNoSwitch(DWORD withinMs);

    CForegroundMonitor(const CForegroundMonitor&) = delete;
    CForegroundMonitor& operator=(const CForegroundMonitor&) = delete;

private:
    CForegroundMonitor() = default;
    ~CForegroundMonitor() = default;
    void AddReference() noexcept;
    void Release() noexcept;

    HRESULT Start();
    HRESULT Stop();
    // What destruction means to the host: stop, drop the registrations
    // uncalled, release the name.  The memory goes with the last reference.
    void Shutdown() noexcept;

    static CForegroundMonitor* OfThisThread() noexcept;
    static unsigned __stdcall ThreadProc(void* parameter);
    void Run() noexcept;
    void RunMessageLoop() noexcept;
    static void CALLBACK WinEventProc(HWINEVENTHOOK hook, DWORD event, HWND window, LONG objectId,
                                      LONG childId, DWORD eventThread, DWORD eventTime) noexcept;
    static void CALLBACK TimerProc(HWND window, UINT message, UINT_PTR timerId, DWORD time) noexcept;
    void ArmTimer(UINT elapseMs) noexcept;
    bool NoteSwitch(HWND window) noexcept;  // true for a pick behind the switcher
    void ReportStandstill();
    void SetStandstillTimer(DWORD dueMs) noexcept;

    HRESULT CheckForeground();
    bool TakeUnnamedAsPick();
    void CallEach(const Registration* pairs, size_t count, wchar_t* name);
    bool IsRegistered(ForegroundCallback callback, uintptr_t context);
    void AddRegistration(ForegroundCallback callback, uintptr_t context);
    unsigned AdoptCurrentName(CBstr& name, bool switcher) noexcept;
    unsigned AdoptLocked(CBstr& name, bool switcher) noexcept;  // under m_lock
    // Counts a registration's immediate call out when it ends (see m_immediateCalls).
    struct ImmediateCall {
        CForegroundMonitor& monitor;
        ~ImmediateCall();
    };
    void KeepCallersName(unsigned generation, CBstr& name) noexcept;

    // The foreground's file name and what kind of window it is.
    static HRESULT GetForegroundProcessName(BSTR* name, FlipWindow* kind);
    static HRESULT GetProcessName(DWORD processId, BSTR* name);

    // m_lock guards what the host's thread and the monitor thread share:
    // m_registrations, m_currentName, m_currentIsSwitcher, m_nameGeneration
    // m_immediateCalls, m_standstillArmed and m_standstillWindow.
    // It is held only for short sections and never while a callback runs, so
    // a callback may re-enter (UnregisterCallback, GetInstance) from either
    // thread and may wait on the host without deadlock.  Names are never
    // shared: each call gets a copy of its own, which becomes the current
    // name afterwards if nothing newer came meanwhile (a callback may change
    // the name it is given, and the next comparison sees the change).
    SrwLock m_lock;
    CallbackList m_registrations;
    CBstr m_currentName;            // null until a name could be read
    bool m_currentIsSwitcher = false;  // the window named by m_currentName is the switcher
    unsigned m_nameGeneration = 0;  // counts changes of m_currentName
    unsigned m_immediateCalls = 0;  // RegisterCallback calls running now
    bool m_standstillArmed = false;   // ReportIfNoSwitch waits, and no switch came yet
    HWND m_standstillWindow = nullptr;  // the window in front when it was asked

    // The host's thread only (Start, Stop).
    UniqueHandle m_thread;
    DWORD m_threadId = 0;
    // Closed with the last reference: a thread that outlived Stop's wait must
    // still find its stop event signalled.
    UniqueHandle m_readyEvent;
    UniqueHandle m_stopEvent;
    UniqueHandle m_standstillTimer;  // a waitable timer: set on any thread, waited on by the loop
    // The monitor thread only.
    UniqueThreadTimer m_pendingTimer;
    bool m_burstShowedSwitcher = false;  // since the last check
    bool m_unnamedChecked = false;  // an unnamed foreground after the switcher was checked once

    // The singleton holds one reference, a running thread another.
    volatile LONG m_references = 1;
    // Links the monitors whose threads run, so that code on such a thread
    // finds its own monitor (both guarded by the singleton's lock).
    CForegroundMonitor* m_nextRunning = nullptr;
    DWORD m_runningThreadId = 0;
};
