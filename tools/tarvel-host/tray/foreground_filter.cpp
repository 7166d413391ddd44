#include "foreground_filter.h"

#include <shellapi.h>

#include <algorithm>
#include <cwctype>
#include <vector>

#include "foreground/switcher_windows.h"
#include "plugin_library.h"
#include "previous_window.h"
#include "shell_actions.h"

namespace {

ForegroundFilter* g_instance = nullptr;  // the WinEvent callback gets no context; main thread only

// The taskbar and its overflow: in front while the user opens the icon's menu.
// Wine without a desktop shows the icons in a window of its own instead.
bool IsTaskbar(HWND window)
{
    wchar_t name[64]{};
    GetClassNameW(window, name, ARRAYSIZE(name));
    for (const wchar_t* taskbar : {L"Shell_TrayWnd", L"Shell_SecondaryTrayWnd", L"NotifyIconOverflowWindow",
                                   L"TopLevelWindowForOverflowXamlIsland", L"__winex11_standalone_tray"}) {
        if (lstrcmpW(name, taskbar) == 0)
            return true;
    }
    return false;
}

// An app switcher (Tarvel's or a host's own), which a press puts in front
// and which the user never means when excluding an application.
bool IsAppSwitcher(HWND window, const std::wstring& name)
{
    if (name == L"zeltoappswitcher.exe")
        return true;
    wchar_t className[64]{};
    GetClassNameW(window, className, ARRAYSIZE(className));
    return lstrcmpW(className, L"TarvelAppSwitcher") == 0;
}

QUERY_USER_NOTIFICATION_STATE ShellState()
{
    QUERY_USER_NOTIFICATION_STATE state{};
    if (FAILED(SHQueryUserNotificationState(&state)))
        return QUNS_ACCEPTS_NOTIFICATIONS;
    return state;
}

// The window covers the whole monitor it is on (the desktop's own windows,
// which always do, aside).  A maximized window's frame hangs past its
// monitor's edges, and where no taskbar shares that monitor it covers it:
// that is an ordinary window, not a full-screen one.
bool CoversMonitor(HWND window)
{
    wchar_t name[16]{};
    GetClassNameW(window, name, ARRAYSIZE(name));
    if (window == nullptr || IsZoomed(window) || lstrcmpW(name, L"Progman") == 0 || lstrcmpW(name, L"WorkerW") == 0)
        return false;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    RECT bounds{};
    if (!GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONULL), &monitor) ||
        !GetWindowRect(window, &bounds))
        return false;
    return bounds.left <= monitor.rcMonitor.left && bounds.top <= monitor.rcMonitor.top &&
           bounds.right >= monitor.rcMonitor.right && bounds.bottom >= monitor.rcMonitor.bottom;
}

std::wstring Lowered(std::wstring text)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

DWORD ProcessOf(HWND window)
{
    DWORD processId = 0;
    if (window != nullptr)
        GetWindowThreadProcessId(window, &processId);
    return processId;
}

}  // namespace

LetThrough DecideLetThrough(QUERY_USER_NOTIFICATION_STATE shell, bool switcherInFront, bool excluded,
                            bool coversMonitor, bool letThroughFullScreen)
{
    if (switcherInFront)
        return LetThrough::No;
    if (shell == QUNS_RUNNING_D3D_FULL_SCREEN)
        return LetThrough::Game;
    if (shell == QUNS_PRESENTATION_MODE)
        return LetThrough::Presentation;
    if (excluded)
        return LetThrough::Excluded;
    if (shell == QUNS_BUSY && coversMonitor && letThroughFullScreen)
        return LetThrough::FullScreenWindow;
    return LetThrough::No;
}

std::wstring ExecutablePathOf(HWND window)
{
    const DWORD processId = ProcessOf(window);
    if (processId == 0)
        return {};
    UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process)
        return {};
    wchar_t path[MAX_PATH * 2]{};
    DWORD size = ARRAYSIZE(path);
    if (!QueryFullProcessImageNameW(process.get(), 0, path, &size))
        return {};
    return std::wstring(path, size);
}

std::wstring ExecutableNameOf(HWND window)
{
    std::wstring name = ExecutablePathOf(window);
    name.erase(0, name.find_last_of(L"\\/") + 1);
    return Lowered(name);
}

// The window whose process is the application a user sees in `window`: for
// a Store app's frame (ApplicationFrameHost.exe, shared by all of them), the
// app's own window inside it.
static HWND ApplicationWindowOf(HWND window)
{
    if (ExecutableNameOf(window) != L"applicationframehost.exe")
        return window;
    // The app's own window is a child of the frame owned by another process
    // (none while the app is suspended: the frame stands for it then).
    struct Search {
        DWORD frameProcess;
        HWND app;
    } search{ProcessOf(window), nullptr};
    EnumChildWindows(
        window,
        [](HWND child, LPARAM data) -> BOOL {
            auto* search = reinterpret_cast<Search*>(data);
            if (ProcessOf(child) != search->frameProcess)
                search->app = child;
            return search->app == nullptr;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.app != nullptr && !ExecutableNameOf(search.app).empty() ? search.app : window;
}

std::wstring ApplicationTitle(const std::wstring& path)
{
    const std::wstring fileName = path.substr(path.find_last_of(L"\\/") + 1);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0)
        return fileName;
    std::vector<unsigned char> record(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, record.data()))
        return fileName;
    // The record's first language, else US English in UTF-16, the usual one.
    struct Translation {
        WORD language;
        WORD codePage;
    }* translation = nullptr;
    UINT length = 0;
    Translation usEnglish{0x0409, 1200};
    if (!VerQueryValueW(record.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                        &length) ||
        length < sizeof(Translation))
        translation = &usEnglish;
    wchar_t query[64]{};
    wsprintfW(query, L"\\StringFileInfo\\%04x%04x\\FileDescription", translation->language,
              translation->codePage);
    wchar_t* description = nullptr;
    if (!VerQueryValueW(record.data(), query, reinterpret_cast<void**>(&description), &length) || length <= 1)
        return fileName;
    std::wstring title(description);
    while (!title.empty() && iswspace(title.back()))
        title.pop_back();
    return title.empty() ? fileName : title;
}

ForegroundFilter::ForegroundFilter(std::function<void()> changed) : m_changed(std::move(changed))
{
    g_instance = this;
    // Out of context: the callback runs on this thread while it pumps.
    m_foregroundHook.reset(SetWinEventHook(EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND, nullptr, &OnEvent, 0,
                                           0, WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS));
}

ForegroundFilter::~ForegroundFilter()
{
    m_locationHook.reset();
    m_foregroundHook.reset();
    g_instance = nullptr;
}

void ForegroundFilter::Update(const std::vector<std::wstring>& excluded, bool letThroughFullScreen)
{
    HWND front = GetForegroundWindow();
    if (front != m_front) {
        m_front = front;
        m_switcherInFront = ClassifyFlipWindow(front) != FlipWindow::Ordinary;
        const HWND application = ApplicationWindowOf(front);
        m_frontName = ExecutableNameOf(application);
        const DWORD processId = ProcessOf(front);
        m_frontOurs = processId == GetCurrentProcessId() || IsTaskbar(front);
        if (!m_frontOurs && !m_switcherInFront)
            TakeAsLastApplication(front);
        WatchFrontWindow(processId == GetCurrentProcessId() ? nullptr : front);
    }
    m_pressName = m_frontOurs ? m_lastApplication : m_frontName;
    const bool isExcluded =
        !m_pressName.empty() && std::find(excluded.begin(), excluded.end(), m_pressName) != excluded.end();
    const QUERY_USER_NOTIFICATION_STATE shell = ShellState();
    m_letThrough = DecideLetThrough(shell, m_switcherInFront, isExcluded, shell == QUNS_BUSY && CoversMonitor(front),
                                    letThroughFullScreen);
}

bool ForegroundFilter::TakeAsLastApplication(HWND window)
{
    const HWND application = ApplicationWindowOf(window);
    const std::wstring name = ExecutableNameOf(application);
    if (name.empty() || IsAppSwitcher(window, name))
        return false;
    if (name != m_lastApplication) {
        m_lastApplication = name;
        m_lastTitle = ApplicationTitle(ExecutablePathOf(application));
    }
    return true;
}

void ForegroundFilter::ReadLastApplication()
{
    for (HWND window = GetTopWindow(nullptr); window != nullptr; window = GetWindow(window, GW_HWNDNEXT)) {
        wchar_t className[16]{};
        GetClassNameW(window, className, ARRAYSIZE(className));
        if (IsWindowVisible(window) && (lstrcmpW(className, L"Progman") == 0 || lstrcmpW(className, L"WorkerW") == 0))
            break;  // the desktop: no application above it
        // The application in front as Alt+Tab would name it: not a window of
        // another virtual desktop, a cloaked shell window or a topmost overlay.
        if (!AltTabLists(window) || IsIconic(window) || ProcessOf(window) == GetCurrentProcessId() ||
            IsTaskbar(window) || ClassifyFlipWindow(window) != FlipWindow::Ordinary)
            continue;
        if (TakeAsLastApplication(window))
            return;
    }
    m_lastApplication.clear();
    m_lastTitle.clear();
}

bool ForegroundFilter::Refresh(const std::vector<std::wstring>& excluded, bool letThroughFullScreen)
{
    Update(excluded, letThroughFullScreen);
    const std::wstring name = m_letThrough == LetThrough::Excluded ? m_pressName : L"";
    if (m_letThrough == m_told && name == m_toldName)
        return false;
    m_told = m_letThrough;
    m_toldName = name;
    if (m_letThrough == LetThrough::No)
        Say("tarvel-host: %s\n", "the button flips windows again");
    else if (m_letThrough == LetThrough::Excluded)
        Say("tarvel-host: the button is left to %s\n", Narrow(name));
    else
        Say("tarvel-host: %s\n", "the button is left to the full-screen application");
    return true;
}

void ForegroundFilter::WatchFrontWindow(HWND window)
{
    DWORD processId = 0;
    const DWORD threadId = window != nullptr ? GetWindowThreadProcessId(window, &processId) : 0;
    if (threadId == m_locationThread && (m_locationHook || threadId == 0))
        return;
    m_locationThread = threadId;
    m_locationHook.reset();
    if (threadId != 0)
        m_locationHook.reset(SetWinEventHook(EVENT_OBJECT_LOCATIONCHANGE, EVENT_OBJECT_LOCATIONCHANGE, nullptr,
                                             &OnEvent, processId, threadId, WINEVENT_OUTOFCONTEXT));
}

void CALLBACK ForegroundFilter::OnEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG, DWORD,
                                        DWORD) noexcept
{
    if (g_instance == nullptr)
        return;
    // Of the moves, only the window in front's own (not its caret, nor the pointer's).
    if (event == EVENT_OBJECT_LOCATIONCHANGE && (window != g_instance->m_front || object != OBJID_WINDOW))
        return;
    try {
        g_instance->m_changed();
    } catch (...) {
        // Nothing may leave a WinEvent callback; the next change updates it again.
    }
}
