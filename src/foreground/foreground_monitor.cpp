#include "foreground/foreground_monitor.h"

#include <process.h>
#include <psapi.h>
#include <wchar.h>

#include "common/new.h"
#include "common/system_dwmapi.h"
#include "foreground/switcher_windows.h"
#include "strings/atl_exception.h"

namespace {

constexpr DWORD kStartWaitMs = 200;
// Thread messages of the monitor thread: a foreground switch (wParam: the
// window), posted by its own hook procedure; a watch started (wParam: the
// flip), posted by a host thread.
constexpr UINT kSwitchMessage = WM_APP + 1;
constexpr UINT kWatchMessage = WM_APP + 2;
// Long enough for a burst of switches (the user cycling through the flip) to
// settle into one look-up.
constexpr UINT kSettleMs = 700;
// The host's executable decides the monitor thread's stack, as for its own
// threads: the host's device and application objects run on it (and may go
// through COM, the registry or a HID stack), and so do exception dispatch and
// the C runtime's output.  Only the pages it touches are committed.
constexpr unsigned kDefaultStack = 0;

// s_lock guards s_instance, which holds one reference.  A monitor is made
// under it, so a second host thread waits for the first one's (at most 200 ms).
SrwLock s_lock;
CForegroundMonitor* s_instance = nullptr;

// The text after the last backslash of a device path; the whole text when it has none.
const wchar_t* FileNamePart(const wchar_t* path)
{
    const wchar_t* slash = wcsrchr(path, L'\\');
    return slash != nullptr ? slash + 1 : path;
}

// The earlier of two due times (0: none).
ULONGLONG Earlier(ULONGLONG first, ULONGLONG second)
{
    return first == 0 || (second != 0 && second < first) ? second : first;
}

}  // namespace

CForegroundMonitor* CForegroundMonitor::Acquire(bool create)
{
    SrwGuard guard(s_lock);
    if (s_instance == nullptr && create) {
        s_instance = new (std::nothrow) CForegroundMonitor();
        if (s_instance == nullptr)
            ATL::AtlThrow(E_OUTOFMEMORY);
        s_instance->Start();  // kept however it went: a monitor whose thread is not up takes watches, and reports nothing
    }
    if (s_instance != nullptr)
        InterlockedIncrement(&s_instance->m_references);
    return s_instance;
}

void CForegroundMonitor::Release() noexcept
{
    if (InterlockedDecrement(&m_references) == 0)
        delete this;
}

bool CForegroundMonitor::DestroyInstance(DWORD waitMs)
{
    CForegroundMonitor* monitor = nullptr;
    {
        // Taken by one caller only: two host threads destroying at once free it once.
        SrwGuard guard(s_lock);
        monitor = s_instance;
        s_instance = nullptr;
    }
    if (monitor == nullptr)
        return true;
    {
        SrwGuard guard(monitor->m_lock);
        monitor->m_watch = {};  // dropped unreported
    }
    const bool ended = monitor->Stop(waitMs);
    monitor->Release();  // the singleton's reference
    return ended;
}

void CForegroundMonitor::Start()
{
    m_readyEvent.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    m_stopEvent.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!m_readyEvent || !m_stopEvent)
        return;
    InterlockedIncrement(&m_references);  // the thread's, let go of when ThreadProc ends
    unsigned threadId = 0;
    // _beginthreadex, not CreateThread: the C runtime holds a reference on
    // this library for as long as the thread runs, so a host that unloads the
    // library early cannot pull the thread's code from under it.
    m_thread.reset(
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, kDefaultStack, ThreadProc, this, 0, &threadId)));
    if (!m_thread) {
        Release();
        return;
    }
    m_threadId = threadId;
    // A thread that is merely slow is not stopped: once up, it works as usual.
    WaitForSingleObject(m_readyEvent.get(), kStartWaitMs);
}

// Waits on the thread's handle, answering what other threads send to this
// one meanwhile (a host object on the monitor thread may call into the host's
// windows); posted messages stay queued for the host's own loop.
bool CForegroundMonitor::Stop(DWORD waitMs) noexcept
{
    if (!m_thread)
        return true;
    SetEvent(m_stopEvent.get());
    // Destroyed from inside one of its own reports: the thread cannot wait for
    // itself, and ends when the report returns.
    if (m_threadId == GetCurrentThreadId())
        return true;
    HANDLE thread = m_thread.get();
    const ULONGLONG deadline = GetTickCount64() + waitMs;
    for (ULONGLONG now = GetTickCount64(); now < deadline; now = GetTickCount64()) {
        const DWORD woken =
            MsgWaitForMultipleObjects(1, &thread, FALSE, static_cast<DWORD>(deadline - now), QS_SENDMESSAGE);
        if (woken == WAIT_OBJECT_0)
            return true;
        if (woken != WAIT_OBJECT_0 + 1)
            return false;
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    return false;
}

unsigned __stdcall CForegroundMonitor::ThreadProc(void* parameter)
{
    auto* monitor = static_cast<CForegroundMonitor*>(parameter);
    monitor->Run();
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
    SetEvent(m_readyEvent.get());
    RunMessageLoop();
    m_dwmapi.reset();  // here, not with the last reference, which may go under the loader lock
}

// The thread's two timers are due times that bound its wait: none while
// nothing is due, so an idle monitor never wakes, and arming one costs no
// call to the system.
void CForegroundMonitor::RunMessageLoop() noexcept
{
    const HANDLE stop = m_stopEvent.get();
    for (;;) {
        const ULONGLONG due = Earlier(m_settleDue, m_neverShownDue);
        const ULONGLONG now = GetTickCount64();
        const DWORD waitMs = due == 0 ? INFINITE : due > now ? static_cast<DWORD>(due - now) : 0;
        const DWORD woken = MsgWaitForMultipleObjects(1, &stop, FALSE, waitMs, QS_ALLINPUT);
        // Anything but input or a due time ends the loop: the stop event, or
        // a failed wait, which would otherwise come back at once, for ever.
        if (woken != WAIT_OBJECT_0 + 1 && woken != WAIT_TIMEOUT)
            return;
        MSG message;
        while (woken != WAIT_TIMEOUT && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.hwnd == nullptr && message.message == kSwitchMessage)
                OnSwitch(reinterpret_cast<HWND>(message.wParam));
            else if (message.hwnd == nullptr && message.message == kWatchMessage)
                OnWatchStarted(static_cast<unsigned>(message.wParam));
            else
                DispatchMessageW(&message);
        }
        RunDue();  // also amid a stream of messages, which never lets the wait time out
    }
}

void CForegroundMonitor::RunDue() noexcept
{
    const ULONGLONG now = GetTickCount64();
    if (m_settleDue != 0 && m_settleDue <= now) {
        m_settleDue = 0;  // the delay fires once
        OnSettled();
    }
    if (m_neverShownDue != 0 && m_neverShownDue <= now) {
        m_neverShownDue = 0;
        OnNeverShownBound();
    }
}

// Out of context, the event comes on the hook's own thread, inside its loop:
// posted to that loop, it is handled where the monitor is at hand.
void CALLBACK CForegroundMonitor::WinEventProc(HWINEVENTHOOK, DWORD, HWND window, LONG, LONG, DWORD,
                                               DWORD) noexcept
{
    PostThreadMessageW(GetCurrentThreadId(), kSwitchMessage, reinterpret_cast<WPARAM>(window), 0);
}

void CForegroundMonitor::OnSwitch(HWND window) noexcept
{
    const FlipWindow kind = ClassifyFlipWindow(window);
    BurstStep step = BurstStep::Nothing;
    {
        SrwGuard guard(m_lock);
        step = m_rules.OnSwitch(kind);
    }
    m_neverShownDue = 0;
    Take(step);
}

void CForegroundMonitor::OnWatchStarted(unsigned flip) noexcept
{
    DWORD bound = 0;
    {
        SrwGuard guard(m_lock);
        if (m_watch.Report == nullptr || m_watch.Flip != flip)
            return;  // ended before its message came
        m_rules.NeverShownArmed = true;
        bound = m_watch.NeverShownMs;
    }
    m_neverShownDue = GetTickCount64() + bound;
}

void CForegroundMonitor::Take(BurstStep step) noexcept
{
    // A pick behind the switcher is decisive: checked at once, and so it
    // shortens a delay under way.  Otherwise a switch while armed neither
    // restarts nor extends the delay.
    if (step == BurstStep::CheckAtOnce)
        m_settleDue = GetTickCount64();
    else if (step == BurstStep::CheckAfterSettling && m_settleDue == 0)
        m_settleDue = GetTickCount64() + kSettleMs;
}

void CForegroundMonitor::OnSettled() noexcept
{
    Front front;
    ReadFront(front);
    Watch watch;
    BurstStep step = BurstStep::Nothing;
    {
        SrwGuard guard(m_lock);
        const bool same = front.Named && m_named && wcscmp(front.Name, m_currentName) == 0;
        step = m_rules.OnCheck(front.Named, front.Kind, same);
        if (step == BurstStep::Report) {
            Adopt(front);
            ReportLocked(watch, front);
        }
    }
    if (step != BurstStep::Report)
        return Take(step);
    Deliver(watch, front);
}

void CForegroundMonitor::Deliver(const Watch& watch, Front& report) noexcept
{
    if (watch.Report == nullptr)
        return;
    try {
        watch.Report(report.Name, report.Kind, watch.Flip);
    } catch (...) {
        // A host object threw in the flip's end, which is over by then.
        // Nothing may leave the monitor's loop.
    }
}

// The never-shown bound of the watch passed.  The window is compared as
// well: Wine (and a switch made while the hook was being replaced) can
// change the foreground without an event.
void CForegroundMonitor::OnNeverShownBound() noexcept
{
    {
        SrwGuard guard(m_lock);
        if (m_watch.Report == nullptr || !m_rules.NeverShownArmed)
            return;  // the flip ended, or a switch came: no walk of the windows
    }
    const HWND front = GetForegroundWindow();
    const bool switcherShows = SwitcherWindowShows(CloakQuery());
    Front report;
    Watch watch;
    BurstStep step = BurstStep::Nothing;
    {
        SrwGuard guard(m_lock);
        if (m_watch.Report != nullptr)
            step = m_rules.OnNeverShown(front == m_watch.StartWindow, switcherShows);
        watch = m_watch;
        if (step == BurstStep::Report)
            ReportLocked(watch, report);
    }
    if (step == BurstStep::WaitAgain)
        m_neverShownDue = GetTickCount64() + watch.NeverShownMs;
    else if (step != BurstStep::Report)
        Take(step);
    else
        Deliver(watch, report);
}

// The current name and kind, copied for a report, and the watch to call.
void CForegroundMonitor::ReportLocked(Watch& watch, Front& report) noexcept
{
    wcscpy(report.Name, m_currentName);
    report.Kind = m_rules.CurrentIsSwitcher ? FlipWindow::Switcher : FlipWindow::Ordinary;
    watch = m_watch;
}

// A front nobody could name that is adopted (a pick after the switcher) has the empty name.
void CForegroundMonitor::Adopt(const Front& front) noexcept
{
    wcscpy(m_currentName, front.Named ? front.Name : L"");
    m_named = true;
}

void CForegroundMonitor::StartWatch(WatchReport report, unsigned flip, DWORD neverShownMs)
{
    Front front;
    HWND window = nullptr;
    ReadFront(front, &window);
    {
        SrwGuard guard(m_lock);
        m_watch = {report, flip, window, neverShownMs};
        m_rules.NeverShownArmed = false;  // until the monitor thread arms its timer
        if (front.Named) {
            Adopt(front);
            m_rules.CurrentIsSwitcher = front.Kind == FlipWindow::Switcher;
        }
    }
    PostThreadMessageW(m_threadId, kWatchMessage, flip, 0);
}

void CForegroundMonitor::EndWatch(unsigned flip) noexcept
{
    SrwGuard guard(m_lock);
    if (m_watch.Flip == flip)
        m_watch = {};  // its never-shown bound, if still due, then finds no watch
}

// The foreground's file name, unless its process cannot be opened (none in
// front, or a process we may not open); an unreadable path gives the empty name.
void CForegroundMonitor::ReadFront(Front& front, HWND* window) noexcept
{
    const HWND foreground = GetForegroundWindow();
    if (window != nullptr)
        *window = foreground;
    DWORD processId = 0;  // stays 0 without a foreground window, which no process has
    if (foreground != nullptr)
        GetWindowThreadProcessId(foreground, &processId);
    // The limited right is all GetProcessImageFileNameW needs, and unlike
    // PROCESS_QUERY_INFORMATION it is granted on a process with higher rights
    // than ours, such as an elevated window picked in the flip.
    UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process)
        return;
    wchar_t path[kNameCapacity + 1] = L"";
    if (GetProcessImageFileNameW(process.get(), path, kNameCapacity) == 0)
        path[0] = L'\0';
    path[kNameCapacity] = L'\0';
    process.reset();
    wcscpy(front.Name, FileNamePart(path));
    front.Named = true;
    front.Kind = ClassifyFlipWindow(foreground);
}

// dwmapi.dll, for the test of cloaked windows, is loaded once, at the first
// never-shown bound (most flips show, and never need it).
WindowAttributeQuery CForegroundMonitor::CloakQuery() noexcept
{
    if (!m_dwmapiTried) {
        m_dwmapiTried = true;
        m_dwmapi.reset(LoadSystemDwmapi());
    }
    return reinterpret_cast<WindowAttributeQuery>(
        reinterpret_cast<void*>(m_dwmapi ? GetProcAddress(m_dwmapi.get(), "DwmGetWindowAttribute") : nullptr));
}
