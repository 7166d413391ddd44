#include "foreground/foreground_monitor.h"

#include <process.h>
#include <psapi.h>
#include <wchar.h>

#include "common/new.h"

namespace {

constexpr DWORD kStartWaitMs = 200;
constexpr DWORD kStopWaitMs = 200;
constexpr UINT_PTR kTimerId = 666;
// Long enough for a burst of switches (the user cycling through the flip) to
// settle into one look-up.
constexpr UINT kSettleMs = 700;
// How soon a check comes back when a registration's immediate call was running.
constexpr UINT kRetryMs = 50;
// A pick behind the switcher is decisive: checked at once (the timer's
// minimum, about 10 ms), not after the settling delay.
constexpr UINT kPickMs = 0;
constexpr DWORD kPathCapacity = 1024;
// The host's executable decides the monitor thread's stack, as for its own
// threads: the host's device and application objects run on it (and may go
// through COM, the registry or a HID stack), and so do exception dispatch and
// the C runtime's output.  Only the pages it touches are committed.
constexpr unsigned kDefaultStack = 0;

// s_lock guards s_instance (which holds one reference) and s_running, the
// monitors whose threads run; it is held only for short sections.
// s_createLock lets one host thread make the monitor while others wait.
SrwLock s_lock;
SrwLock s_createLock;
CForegroundMonitor* s_instance = nullptr;
CForegroundMonitor* s_running = nullptr;

// The text after the last backslash of a device path; the whole text when it has none.
const wchar_t* FileNamePart(const wchar_t* path)
{
    const wchar_t* slash = wcsrchr(path, L'\\');
    return slash != nullptr ? slash + 1 : path;
}

// A walk's copy of the registrations, freed however the walk ends.
struct Snapshot {
    Registration* pairs = nullptr;
    size_t count = 0;
    ~Snapshot() { delete[] pairs; }
};

CForegroundMonitor* CurrentInstance()
{
    SrwGuard guard(s_lock);
    return s_instance;
}

}  // namespace

CForegroundMonitor* CForegroundMonitor::GetInstance()
{
    if (CForegroundMonitor* own = OfThisThread())
        return own;  // kept alive by this thread's reference
    if (CForegroundMonitor* existing = CurrentInstance())
        return existing;
    SrwGuard creating(s_createLock);
    if (CForegroundMonitor* existing = CurrentInstance())
        return existing;  // another host thread made it meanwhile
    auto* monitor = new (std::nothrow) CForegroundMonitor();
    if (monitor == nullptr)
        ATL::AtlThrow(E_OUTOFMEMORY);
    monitor->Start();  // kept whatever it reports: a monitor that is not running still registers
    SrwGuard guard(s_lock);
    s_instance = monitor;
    return monitor;
}

void CForegroundMonitor::DestroyInstance()
{
    CForegroundMonitor* monitor = nullptr;
    {
        // Taken by one caller only: two host threads destroying at once free it once.
        SrwGuard guard(s_lock);
        monitor = s_instance;
        s_instance = nullptr;
    }
    if (monitor == nullptr)
        return;
    monitor->Shutdown();
    monitor->Release();  // the singleton's reference
}

void CForegroundMonitor::AddReference() noexcept
{
    InterlockedIncrement(&m_references);
}

void CForegroundMonitor::Release() noexcept
{
    if (InterlockedDecrement(&m_references) == 0)
        delete this;
}

HRESULT CForegroundMonitor::Start()
{
    m_readyEvent.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    m_stopEvent.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    m_standstillTimer.reset(CreateWaitableTimerW(nullptr, FALSE, nullptr));
    if (!m_readyEvent || !m_stopEvent || !m_standstillTimer)
        return E_UNEXPECTED;

    AddReference();  // the thread's, let go of when ThreadProc ends
    unsigned threadId = 0;
    // _beginthreadex, not CreateThread: the C runtime holds a reference on
    // this library for as long as the thread runs, so a host that unloads the
    // library early cannot pull the thread's code from under it.
    m_thread.reset(
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, kDefaultStack, ThreadProc, this, 0, &threadId)));
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
        // A monitor destroyed from inside one of its own callbacks cannot wait
        // for itself; its thread ends when the callback returns.
        if (m_threadId != GetCurrentThreadId() &&
            WaitForSingleObject(m_thread.get(), kStopWaitMs) == WAIT_OBJECT_0)
            result = S_OK;
    }
    m_thread.reset();
    m_threadId = 0;
    return result;
}

void CForegroundMonitor::Shutdown() noexcept
{
    Stop();
    CBstr released;
    SrwGuard guard(m_lock);
    m_registrations.RemoveAll();
    released.Str = m_currentName.Detach();
}

CForegroundMonitor* CForegroundMonitor::OfThisThread() noexcept
{
    const DWORD self = GetCurrentThreadId();
    SrwGuard guard(s_lock);
    for (CForegroundMonitor* monitor = s_running; monitor != nullptr; monitor = monitor->m_nextRunning) {
        if (monitor->m_runningThreadId == self)
            return monitor;
    }
    return nullptr;
}

unsigned __stdcall CForegroundMonitor::ThreadProc(void* parameter)
{
    auto* monitor = static_cast<CForegroundMonitor*>(parameter);
    {
        SrwGuard guard(s_lock);
        monitor->m_runningThreadId = GetCurrentThreadId();
        monitor->m_nextRunning = s_running;
        s_running = monitor;
    }
    monitor->Run();
    {
        SrwGuard guard(s_lock);
        CForegroundMonitor** link = &s_running;
        while (*link != monitor)
            link = &(*link)->m_nextRunning;
        *link = monitor->m_nextRunning;
    }
    monitor->Release();  // the reference Start took for this thread
    return 0;
}

void CForegroundMonitor::Run() noexcept
{
    // Out of context: no code goes into other processes, and the events come
    // to this thread's queue, so this thread installs, pumps and removes.
    UniqueWinEventHook hook(SetWinEventHook(EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND, nullptr,
                                            WinEventProc, 0, 0, WINEVENT_OUTOFCONTEXT));
    if (!hook)
        return;
    // A foreground that cannot be named now (none, or a process we may not
    // open) leaves the name null: the first name read later is a change.
    try {
        CBstr name;
        FlipWindow kind = FlipWindow::Ordinary;
        if (SUCCEEDED(GetForegroundProcessName(&name, &kind)))
            AdoptCurrentName(name, kind == FlipWindow::Switcher);
    } catch (...) {
    }
    SetEvent(m_readyEvent.get());

    RunMessageLoop();

    m_pendingTimer.reset();
    CBstr released;
    SrwGuard guard(m_lock);
    released.Str = m_currentName.Detach();
}

void CForegroundMonitor::RunMessageLoop() noexcept
{
    const HANDLE waits[] = {m_stopEvent.get(), m_standstillTimer.get()};
    for (;;) {
        const DWORD woken = MsgWaitForMultipleObjects(2, waits, FALSE, INFINITE, QS_ALLINPUT);
        if (woken == WAIT_OBJECT_0 + 1) {
            try {
                ReportStandstill();
            } catch (...) {
                // No memory for the name or the walk, or a callback threw.
            }
            continue;
        }
        // Anything but input ends the loop: the stop event, or a failed wait,
        // which would otherwise come back at once, for ever.
        if (woken != WAIT_OBJECT_0 + 2)
            return;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
    }
}

void CALLBACK CForegroundMonitor::WinEventProc(HWINEVENTHOOK, DWORD, HWND window, LONG, LONG, DWORD,
                                               DWORD) noexcept
{
    if (CForegroundMonitor* monitor = OfThisThread()) {
        const bool pick = monitor->NoteSwitch(window);
        if (pick)
            monitor->m_pendingTimer.reset();  // the pick shortens a delay under way
        monitor->ArmTimer(pick ? kPickMs : kSettleMs);
    }
}

// A burst may show the switcher and end where it began (a quick Escape, a
// click on the window the user came from): the check has to know, or it
// would see no change and report nothing.  An ordinary window after the
// switcher is the user's pick: checked at once.
bool CForegroundMonitor::NoteSwitch(HWND window) noexcept
{
    const FlipWindow kind = ClassifyFlipWindow(window);
    bool pick = false;
    {
        SrwGuard guard(m_lock);
        m_standstillArmed = false;  // a switch came: the flip showed, or the user moved on
        pick = kind == FlipWindow::Ordinary && (m_burstShowedSwitcher || m_currentIsSwitcher);
    }
    if (kind == FlipWindow::Switcher)
        m_burstShowedSwitcher = true;
    return pick;
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
    CForegroundMonitor* monitor = OfThisThread();
    if (monitor == nullptr)
        return;
    monitor->m_pendingTimer.reset();  // the delay fires once
    try {
        monitor->CheckForeground();
    } catch (...) {
        // Out of memory for the name or the walk (CAtlException), or a host
        // callback that threw: the check is dropped and the next switch tries
        // again.  Nothing may leave a timer procedure.
    }
}

HRESULT CForegroundMonitor::CheckForeground()
{
    CBstr fresh;
    FlipWindow kind = FlipWindow::Ordinary;
    const HRESULT resolved = GetForegroundProcessName(&fresh, &kind);
    if (FAILED(resolved) || kind == FlipWindow::Transient) {
        if (!TakeUnnamedAsPick())
            return resolved;
        kind = FlipWindow::Ordinary;
        if (FAILED(resolved))
            fresh = L"";
    }
    m_unnamedChecked = false;
    const bool switcher = kind == FlipWindow::Switcher;
    CBstr current;
    current = fresh.Str;  // allocated before anything changes

    Snapshot walk;
    unsigned generation = 0;
    {
        SrwGuard guard(m_lock);
        if (m_immediateCalls > 0) {
            // A registration is calling its callback with a name it made
            // current: a walk now could call that callback twice at once.
            ArmTimer(kRetryMs);
            return resolved;
        }
        // Left the switcher within the burst: a change even on the same window.
        const bool leftSwitcher = m_burstShowedSwitcher && !switcher;
        m_burstShowedSwitcher = false;
        if (m_currentName.Str != nullptr && wcscmp(m_currentName.Str, fresh.Str) == 0 &&
            m_currentIsSwitcher == switcher && !leftSwitcher)
            return resolved;
        walk.pairs = m_registrations.Snapshot(walk.count);  // the last step that can fail
        generation = AdoptLocked(current, switcher);
    }
    CallEach(walk.pairs, walk.count, fresh.Str);
    KeepCallersName(generation, fresh);
    return resolved;
}

// Explorer's window between two others, or a foreground nobody can name (an
// empty virtual desktop, a process we may not open), is no place the user
// went to: the switch that follows it is checked instead.  After the
// switcher, though, it may be all that is left once the switcher closed:
// checked once more, it then counts as a pick, so no flip stays on for ever.
bool CForegroundMonitor::TakeUnnamedAsPick()
{
    if (!m_burstShowedSwitcher && !SwitcherInFront())
        return false;
    if (m_unnamedChecked)
        return true;
    m_unnamedChecked = true;
    ArmTimer(kSettleMs);
    return false;
}

void CForegroundMonitor::CallEach(const Registration* pairs, size_t count, wchar_t* name)
{
    for (size_t i = 0; i < count; ++i) {
        // Removed since the walk began (perhaps by the callback before it): skip.
        if (IsRegistered(pairs[i].Callback, pairs[i].Context))
            pairs[i].Callback(name, pairs[i].Context);
    }
}

bool CForegroundMonitor::IsRegistered(ForegroundCallback callback, uintptr_t context)
{
    SrwGuard guard(m_lock);
    return m_registrations.Find(callback, context) != nullptr;
}

// Makes `name` current, taking it over.  Returns the new generation.
unsigned CForegroundMonitor::AdoptCurrentName(CBstr& name, bool switcher) noexcept
{
    SrwGuard guard(m_lock);
    return AdoptLocked(name, switcher);
}

unsigned CForegroundMonitor::AdoptLocked(CBstr& name, bool switcher) noexcept
{
    BSTR replaced = m_currentName.Detach();
    m_currentName.Str = name.Detach();
    m_currentIsSwitcher = switcher;
    SysFreeString(replaced);
    return ++m_nameGeneration;
}

CForegroundMonitor::ImmediateCall::~ImmediateCall()
{
    SrwGuard guard(monitor.m_lock);
    --monitor.m_immediateCalls;
}

// After the callbacks ran on their own copy: that copy, as they may have
// changed it, becomes the current name, unless a newer one came meanwhile.
void CForegroundMonitor::KeepCallersName(unsigned generation, CBstr& name) noexcept
{
    CBstr replaced;
    SrwGuard guard(m_lock);
    if (m_nameGeneration != generation || m_currentName.Str == nullptr)
        return;
    replaced.Str = m_currentName.Detach();
    m_currentName.Str = name.Detach();
}

void CForegroundMonitor::RegisterCallback(ForegroundCallback callback, uintptr_t context)
{
    if (callback == nullptr || IsRegistered(callback, context))
        return;
    CBstr name;
    CBstr current;
    FlipWindow kind = FlipWindow::Ordinary;
    HRESULT resolved = E_UNEXPECTED;
    try {
        resolved = GetForegroundProcessName(&name, &kind);
        if (SUCCEEDED(resolved))
            current = name.Str;
    } catch (...) {
        AddRegistration(callback, context);  // the registration stays
        throw;
    }
    unsigned generation = 0;
    {
        SrwGuard guard(m_lock);
        if (m_registrations.Find(callback, context) != nullptr)
            return;  // another thread registered the pair meanwhile
        m_registrations.Append(callback, context);
        if (FAILED(resolved))
            return;  // registered, but there is no name to call it with
        generation = AdoptLocked(current, kind == FlipWindow::Switcher);
        ++m_immediateCalls;
    }
    ImmediateCall running{*this};
    callback(name.Str, context);
    KeepCallersName(generation, name);
}

void CForegroundMonitor::AddRegistration(ForegroundCallback callback, uintptr_t context)
{
    SrwGuard guard(m_lock);
    if (m_registrations.Find(callback, context) == nullptr)
        m_registrations.Append(callback, context);
}

void CForegroundMonitor::UnregisterCallback(ForegroundCallback callback, uintptr_t context)
{
    if (callback == nullptr)
        return;
    SrwGuard guard(m_lock);
    if (CallbackEntry* entry = m_registrations.Find(callback, context))
        m_registrations.Remove(entry);
}

bool CForegroundMonitor::SwitcherInFront()
{
    SrwGuard guard(m_lock);
    return m_currentIsSwitcher;
}

void CForegroundMonitor::ReportIfNoSwitch(DWORD withinMs)
{
    if (!m_standstillTimer)
        return;  // not started: nothing would wait on it
    {
        SrwGuard guard(m_lock);
        m_standstillWindow = GetForegroundWindow();
        m_standstillArmed = true;
    }
    SetStandstillTimer(withinMs);
}

void CForegroundMonitor::SetStandstillTimer(DWORD dueMs) noexcept
{
    LARGE_INTEGER due{};
    due.QuadPart = -10000LL * dueMs;  // relative, in 100 ns units
    SetWaitableTimer(m_standstillTimer.get(), &due, 0, nullptr, nullptr, FALSE);
}

// The timer of ReportIfNoSwitch fired.  The window is compared as well: Wine
// (and a switch made while the hook was being replaced) can change the
// foreground without an event.
void CForegroundMonitor::ReportStandstill()
{
    CBstr name;
    Snapshot walk;
    unsigned generation = 0;
    // Looked at before the lock: the walk opens processes and loads a system
    // library, and a host that destroys its handler under the loader lock
    // waits for this lock.
    const HWND front = GetForegroundWindow();
    const bool switcherShows = SwitcherWindowShows();
    {
        SrwGuard guard(m_lock);
        if (!m_standstillArmed || m_currentName.Str == nullptr)
            return;
        if (m_immediateCalls > 0) {
            SetStandstillTimer(kRetryMs);  // see CheckForeground
            return;
        }
        m_standstillArmed = false;
        // A switcher that shows without the foreground (or without an event
        // that said so): the flip showed, and the user's pick ends it.
        if (front != m_standstillWindow || switcherShows)
            return;
        name = m_currentName.Str;
        walk.pairs = m_registrations.Snapshot(walk.count);
        generation = m_nameGeneration;
    }
    CallEach(walk.pairs, walk.count, name.Str);
    KeepCallersName(generation, name);
}

HRESULT CForegroundMonitor::GetForegroundProcessName(BSTR* name, FlipWindow* kind)
{
    DWORD processId = 0;  // stays 0 without a foreground window, which no process has
    HWND window = GetForegroundWindow();
    if (window != nullptr)
        GetWindowThreadProcessId(window, &processId);
    const HRESULT resolved = GetProcessName(processId, name);
    *kind = SUCCEEDED(resolved) ? ClassifyFlipWindow(window) : FlipWindow::Ordinary;
    return resolved;
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
