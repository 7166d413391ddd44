// CForegroundMonitor: watches which executable owns the foreground window and
// tells registered callbacks, by file name, when it changes.
//
// One monitor per process, made on first use.  Its own thread installs an
// out-of-context EVENT_SYSTEM_FOREGROUND hook and sleeps in its message loop;
// a foreground switch arms a one-shot 700 ms timer, so a burst of switches
// costs one look-up, and when the timer fires the foreground executable's
// name is compared (ordinal, case-sensitive) with the last one and, if it
// differs, handed to every registration in the order they were made.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "common/unique_handle.h"
#include "foreground/callback_list.h"
#include "foreground/foreground_callback.h"
#include "strings/bstr.h"

class CForegroundMonitor {
public:
    // The process-wide monitor, created and started on first use (which waits
    // up to 200 ms for its thread).  On the monitor's thread the pointer stays
    // valid until the callback that asked for it returns, even if the host
    // destroys the monitor meanwhile.
    static CForegroundMonitor* GetInstance();
    // Stops and frees the monitor, if there is one; registrations are dropped
    // uncalled.  Waits up to 200 ms for the thread.
    static void DestroyInstance();

    // Adds (callback, context) and calls it at once, on this thread, with the
    // current foreground name.  An existing pair is left alone and not called.
    // Raises CAtlException(E_OUTOFMEMORY) when the name cannot be allocated;
    // the registration stays.
    void RegisterCallback(ForegroundCallback callback, uintptr_t context);
    // Removes (callback, context) if registered; never calls it.  A callback
    // may remove its own registration while it is being called.
    void UnregisterCallback(ForegroundCallback callback, uintptr_t context);

    CForegroundMonitor(const CForegroundMonitor&) = delete;
    CForegroundMonitor& operator=(const CForegroundMonitor&) = delete;

private:
    class WalkHold;
    class ImmediateCall;
    friend class MonitorReference;

    using Name = std::shared_ptr<CBstr>;

    CForegroundMonitor();
    ~CForegroundMonitor();
    void AddReference() noexcept;
    void Release() noexcept;

    HRESULT Start();
    HRESULT Stop();
    // What destruction means to the host: stop, drop the registrations
    // uncalled, release the name.  The memory goes with the last reference.
    void Shutdown() noexcept;

    static unsigned __stdcall ThreadProc(void* parameter);
    HRESULT Run();
    HRESULT ResolveInitialName();
    void RunMessageLoop() noexcept;
    static void CALLBACK WinEventProc(HWINEVENTHOOK hook, DWORD event, HWND window, LONG objectId,
                                      LONG childId, DWORD eventThread, DWORD eventTime) noexcept;
    static void CALLBACK TimerProc(HWND window, UINT message, UINT_PTR timerId, DWORD time) noexcept;
    void ArmTimer(UINT elapseMs) noexcept;

    HRESULT CheckForeground();
    void CallEach(const WalkHold& walk, const Name& name);
    bool AddRegistration(ForegroundCallback callback, uintptr_t context, const Name& name);
    bool IsRegistered(ForegroundCallback callback, uintptr_t context);

    static HRESULT GetForegroundProcessName(BSTR* name);
    static HRESULT GetProcessName(DWORD processId, BSTR* name);

    // m_lock guards the state that the host's thread and the monitor thread
    // share: m_registrations (the entries, their holds), m_currentName (which
    // name is current; its text belongs to whoever was handed it),
    // m_dispatchCallback and m_immediateCalls.  It is held only for short
    // sections and never while a callback runs, so a callback may re-enter
    // (UnregisterCallback, GetInstance, RegisterCallback) from either thread
    // and may wait on the host without deadlock.  Instead of the lock:
    // - a walk calls the entries it held at its start (WalkHold), skipping
    //   those removed meanwhile, so removals cannot pull an entry from under it
    //   and registrations made meanwhile are not called twice;
    // - every call gets a reference to its name (Name), so a name replaced by
    //   the other thread stays valid, and writable, until the call returns;
    // - each call uses the callback read under the lock, never the shared
    //   m_dispatchCallback, so a walk cannot redirect an immediate call;
    // - while a RegisterCallback's immediate call runs (m_immediateCalls > 0),
    //   a check on the monitor thread is put off by a short timer rather than
    //   read a name that the callback may be writing, or call the new
    //   registration at the same time on another thread.
    // The monitor itself is reference-counted (m_references): the thread holds
    // a reference, so one that outlives Stop's 200 ms finds its events, lock
    // and emptied state intact and ends by itself.
    std::mutex m_lock;
    CallbackList m_registrations;
    UniqueHandle m_thread;  // host's thread only
    DWORD m_threadId = 0;   // host's thread only
    UniqueHandle m_readyEvent;
    UniqueHandle m_stopEvent;
    UniqueThreadTimer m_pendingTimer;  // monitor thread only
    Name m_currentName;
    ForegroundCallback m_dispatchCallback = nullptr;
    unsigned m_immediateCalls = 0;
    std::atomic<long> m_references{1};
};
