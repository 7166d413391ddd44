#include "foreground/foreground_monitor.h"

#include <psapi.h>
#include <process.h>

#include <cwchar>
#include <utility>
#include <vector>

namespace {

constexpr DWORD kStartWaitMs = 200;
constexpr DWORD kStopWaitMs = 200;
constexpr UINT_PTR kTimerId = 666;
// Long enough for a burst of switches (the user cycling through the flip) to
// settle into one look-up.
constexpr UINT kSettleMs = 700;
// How soon a check comes back when a registration's immediate call was running.
constexpr UINT kRetryMs = 50;
constexpr DWORD kPathCapacity = 1024;

bool SameName(const CBstr& current, const CBstr& fresh)
{
    return current.Str != nullptr && std::wcscmp(current.Str, fresh.Str) == 0;
}

// The text after the last backslash of a device path; the whole text when it has none.
const wchar_t* FileNamePart(const wchar_t* path)
{
    const wchar_t* slash = std::wcsrchr(path, L'\\');
    return slash != nullptr ? slash + 1 : path;
}

}  // namespace

// One reference to a monitor, let go of on destruction.
class MonitorReference {
public:
    explicit MonitorReference(CForegroundMonitor* adopted) noexcept : m_monitor(adopted) {}
    ~MonitorReference()
    {
        if (m_monitor != nullptr)
            m_monitor->Release();
    }
    MonitorReference(MonitorReference&& other) noexcept : m_monitor(std::exchange(other.m_monitor, nullptr)) {}
    MonitorReference& operator=(MonitorReference&& other) noexcept
    {
        std::swap(m_monitor, other.m_monitor);
        return *this;
    }

private:
    CForegroundMonitor* m_monitor;
};

// What a monitor thread knows of itself.  The hook and timer procedures get no
// context from the platform, and the singleton may by now be another monitor.
struct MonitorThreadContext {
    CForegroundMonitor* Monitor;  // kept alive by the thread's own reference
    // Monitors that GetInstance handed to the callback running now, kept alive
    // until it returns (the host may destroy one meanwhile).
    std::vector<MonitorReference> Borrowed;
};

namespace {

thread_local MonitorThreadContext* t_context = nullptr;

std::mutex s_instanceLock;                 // guards s_instance
CForegroundMonitor* s_instance = nullptr;  // holds one reference

// Lets go, when a callback returns, of the monitors GetInstance lent it.
class BorrowScope {
public:
    BorrowScope() noexcept : m_mark(t_context != nullptr ? t_context->Borrowed.size() : 0) {}
    ~BorrowScope()
    {
        if (t_context != nullptr)
            t_context->Borrowed.erase(t_context->Borrowed.begin() + m_mark, t_context->Borrowed.end());
    }
    BorrowScope(const BorrowScope&) = delete;
    BorrowScope& operator=(const BorrowScope&) = delete;

private:
    size_t m_mark;
};

}  // namespace

// The entries a walk calls: held from its start until it ends.
class CForegroundMonitor::WalkHold {
public:
    explicit WalkHold(CForegroundMonitor& monitor) noexcept : m_monitor(monitor) {}
    ~WalkHold()
    {
        std::lock_guard guard(m_monitor.m_lock);
        for (CallbackEntry* entry : m_entries)
            m_monitor.m_registrations.Release(entry);
    }
    WalkHold(const WalkHold&) = delete;
    WalkHold& operator=(const WalkHold&) = delete;

    // Under m_lock.
    void HoldAll() { m_entries = m_monitor.m_registrations.HoldAll(); }
    const std::vector<CallbackEntry*>& Entries() const { return m_entries; }

private:
    CForegroundMonitor& m_monitor;
    std::vector<CallbackEntry*> m_entries;
};

// Counts a registration's immediate call while it runs (see m_immediateCalls);
// AddRegistration counted it in.
class CForegroundMonitor::ImmediateCall {
public:
    explicit ImmediateCall(CForegroundMonitor& monitor) noexcept : m_monitor(monitor) {}
    ~ImmediateCall()
    {
        std::lock_guard guard(m_monitor.m_lock);
        --m_monitor.m_immediateCalls;
    }
    ImmediateCall(const ImmediateCall&) = delete;
    ImmediateCall& operator=(const ImmediateCall&) = delete;

private:
    CForegroundMonitor& m_monitor;
};

CForegroundMonitor* CForegroundMonitor::GetInstance()
{
    std::lock_guard guard(s_instanceLock);
    if (s_instance == nullptr)
        s_instance = new CForegroundMonitor();
    if (t_context != nullptr) {
        t_context->Borrowed.reserve(t_context->Borrowed.size() + 1);
        s_instance->AddReference();
        t_context->Borrowed.emplace_back(s_instance);
    }
    return s_instance;
}

void CForegroundMonitor::DestroyInstance()
{
    CForegroundMonitor* monitor = nullptr;
    {
        std::lock_guard guard(s_instanceLock);
        monitor = s_instance;
    }
    if (monitor == nullptr)
        return;
    monitor->Shutdown();
    {
        std::lock_guard guard(s_instanceLock);
        if (s_instance == monitor)
            s_instance = nullptr;
    }
    monitor->Release();  // the singleton's reference
}

CForegroundMonitor::CForegroundMonitor()
{
    Start();
}

CForegroundMonitor::~CForegroundMonitor() = default;

void CForegroundMonitor::AddReference() noexcept
{
    m_references.fetch_add(1, std::memory_order_relaxed);
}

void CForegroundMonitor::Release() noexcept
{
    if (m_references.fetch_sub(1, std::memory_order_acq_rel) == 1)
        delete this;
}

HRESULT CForegroundMonitor::Start()
{
    m_readyEvent.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    m_stopEvent.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!m_readyEvent || !m_stopEvent)
        return E_UNEXPECTED;

    AddReference();  // the thread's, let go of when ThreadProc ends
    unsigned threadId = 0;
    m_thread.reset(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, ThreadProc, this, 0, &threadId)));
    if (!m_thread) {
        Release();
        return E_UNEXPECTED;
    }
    m_threadId = threadId;
    // A thread that is merely slow is not stopped: once up, it works as usual.
    return WaitForSingleObject(m_readyEvent.get(), kStartWaitMs) == WAIT_OBJECT_0 ? S_OK : E_UNEXPECTED;
}

HRESULT CForegroundMonitor::Stop()
{
    HRESULT result = E_UNEXPECTED;
    if (m_thread) {
        SetEvent(m_stopEvent.get());
        if (WaitForSingleObject(m_thread.get(), kStopWaitMs) == WAIT_OBJECT_0)
            result = S_OK;
    }
    // The events stay open until the last reference goes: a thread that
    // outlived the wait still has to see the stop event signalled.
    m_thread.reset();
    m_threadId = 0;
    std::lock_guard guard(s_instanceLock);
    if (s_instance == this)
        s_instance = nullptr;
    return result;
}

void CForegroundMonitor::Shutdown() noexcept
{
    Stop();
    Name released;
    std::lock_guard guard(m_lock);
    m_registrations.RemoveAll();
    released = std::move(m_currentName);
}

unsigned __stdcall CForegroundMonitor::ThreadProc(void* parameter)
{
    MonitorThreadContext context{static_cast<CForegroundMonitor*>(parameter), {}};
    MonitorReference own(context.Monitor);  // the reference Start took for this thread
    t_context = &context;
    HRESULT result = E_UNEXPECTED;
    try {
        result = context.Monitor->Run();
    } catch (const ATL::CAtlException& error) {
        result = error;
    } catch (...) {
        result = E_OUTOFMEMORY;
    }
    t_context = nullptr;
    context.Borrowed.clear();
    return static_cast<unsigned>(result);
}

HRESULT CForegroundMonitor::Run()
{
    // Out of context: no code goes into other processes, and the events come
    // to this thread's queue, so this thread installs, pumps and removes.
    UniqueWinEventHook hook(SetWinEventHook(EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND, nullptr,
                                            WinEventProc, 0, 0, WINEVENT_OUTOFCONTEXT));
    if (!hook)
        return E_UNEXPECTED;
    const HRESULT resolved = ResolveInitialName();
    if (FAILED(resolved))
        return resolved;
    SetEvent(m_readyEvent.get());

    RunMessageLoop();

    m_pendingTimer.reset();
    Name released;
    std::lock_guard guard(m_lock);
    released = std::move(m_currentName);
    return S_OK;
}

HRESULT CForegroundMonitor::ResolveInitialName()
{
    Name name = std::make_shared<CBstr>();
    const HRESULT resolved = GetForegroundProcessName(&*name);
    if (FAILED(resolved))
        return resolved;
    std::lock_guard guard(m_lock);
    m_currentName.swap(name);
    return resolved;
}

void CForegroundMonitor::RunMessageLoop() noexcept
{
    const HANDLE stop = m_stopEvent.get();
    for (;;) {
        const DWORD woken = MsgWaitForMultipleObjects(1, &stop, FALSE, INFINITE, QS_ALLINPUT);
        // Anything but input ends the loop: the stop event, or a failed wait,
        // which would otherwise come back at once, for ever.
        if (woken != WAIT_OBJECT_0 + 1)
            return;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
    }
}

void CALLBACK CForegroundMonitor::WinEventProc(HWINEVENTHOOK, DWORD, HWND, LONG, LONG, DWORD, DWORD) noexcept
{
    if (t_context != nullptr)
        t_context->Monitor->ArmTimer(kSettleMs);
}

void CForegroundMonitor::ArmTimer(UINT elapseMs) noexcept
{
    if (m_pendingTimer)
        return;  // a switch while armed neither restarts nor extends the delay
    // Without a window the platform picks the identifier; the one it returns
    // is the one to kill.
    m_pendingTimer.reset(SetTimer(nullptr, kTimerId, elapseMs, TimerProc));
}

void CALLBACK CForegroundMonitor::TimerProc(HWND, UINT, UINT_PTR, DWORD) noexcept
{
    if (t_context == nullptr)
        return;
    CForegroundMonitor* monitor = t_context->Monitor;
    monitor->m_pendingTimer.reset();  // the delay fires once
    try {
        monitor->CheckForeground();
    } catch (...) {
        // Out of memory for the name (CAtlException) or for the walk: the
        // check is dropped with the current name and the registrations as they
        // were, and the next switch tries again.  Nothing may leave a timer
        // procedure.
    }
}

HRESULT CForegroundMonitor::CheckForeground()
{
    Name fresh = std::make_shared<CBstr>();
    const HRESULT resolved = GetForegroundProcessName(&*fresh);
    if (FAILED(resolved))
        return resolved;

    WalkHold walk(*this);
    {
        std::lock_guard guard(m_lock);
        if (m_immediateCalls > 0) {
            ArmTimer(kRetryMs);
            return resolved;
        }
        if (m_currentName && SameName(*m_currentName, *fresh))
            return resolved;
        walk.HoldAll();  // the last step that can fail: nothing has changed yet
        m_currentName = fresh;
    }
    CallEach(walk, fresh);
    return resolved;
}

void CForegroundMonitor::CallEach(const WalkHold& walk, const Name& name)
{
    for (CallbackEntry* entry : walk.Entries()) {
        ForegroundCallback callback = nullptr;
        uintptr_t context = 0;
        {
            std::lock_guard guard(m_lock);
            if (!entry->Linked)
                continue;  // removed since the walk began
            callback = entry->Callback;
            context = entry->Context;
            m_dispatchCallback = callback;
        }
        BorrowScope borrowed;
        callback(name->Str, context);
    }
}

void CForegroundMonitor::RegisterCallback(ForegroundCallback callback, uintptr_t context)
{
    if (callback == nullptr || IsRegistered(callback, context))
        return;
    Name name = std::make_shared<CBstr>();
    HRESULT resolved = E_UNEXPECTED;
    try {
        resolved = GetForegroundProcessName(&*name);
    } catch (...) {
        AddRegistration(callback, context, nullptr);  // the registration stays
        throw;
    }
    if (!AddRegistration(callback, context, SUCCEEDED(resolved) ? name : nullptr) || FAILED(resolved))
        return;
    ImmediateCall running(*this);
    callback(name->Str, context);
}

bool CForegroundMonitor::IsRegistered(ForegroundCallback callback, uintptr_t context)
{
    std::lock_guard guard(m_lock);
    return m_registrations.Find(callback, context) != nullptr;
}

// Appends the pair unless another thread registered it meanwhile; with a name,
// makes it current and counts the immediate call that follows.
bool CForegroundMonitor::AddRegistration(ForegroundCallback callback, uintptr_t context, const Name& name)
{
    Name replaced;
    std::lock_guard guard(m_lock);
    if (m_registrations.Find(callback, context) != nullptr)
        return false;
    m_registrations.Append(callback, context);
    if (name) {
        replaced = std::exchange(m_currentName, name);
        m_dispatchCallback = callback;
        ++m_immediateCalls;
    }
    return true;
}

void CForegroundMonitor::UnregisterCallback(ForegroundCallback callback, uintptr_t context)
{
    if (callback == nullptr)
        return;
    std::lock_guard guard(m_lock);
    if (CallbackEntry* entry = m_registrations.Find(callback, context))
        m_registrations.Remove(entry);
}

HRESULT CForegroundMonitor::GetForegroundProcessName(BSTR* name)
{
    DWORD processId = 0;  // stays 0 without a foreground window, which no process has
    if (HWND window = GetForegroundWindow())
        GetWindowThreadProcessId(window, &processId);
    return GetProcessName(processId, name);
}

HRESULT CForegroundMonitor::GetProcessName(DWORD processId, BSTR* name)
{
    // The limited right is all GetProcessImageFileNameW needs, and unlike
    // PROCESS_QUERY_INFORMATION it is granted on a process with higher rights
    // than ours, such as an elevated window picked in the flip.
    UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process)
        return E_UNEXPECTED;
    wchar_t path[kPathCapacity + 1] = L"";
    if (GetProcessImageFileNameW(process.get(), path, kPathCapacity) == 0)
        path[0] = L'\0';  // an unreadable path gives the empty name
    path[kPathCapacity] = L'\0';
    process.reset();

    CBstr result;
    result = FileNamePart(path);
    *name = result.Detach();
    return S_OK;
}
