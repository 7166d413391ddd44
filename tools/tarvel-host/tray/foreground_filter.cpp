#include "foreground_filter.h"

#include <shellapi.h>

#include <algorithm>
#include <cwctype>
#include <vector>

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

// What a click on the icon, a press or a switch puts in front, which the user
// never means when excluding an application: the system's switcher (Task
// View and Alt+Tab of 10 and 11, Explorer's window during a switch, Flip3D
// of 7) and an app switcher (Tarvel's or a host's own).
bool IsSwitcher(HWND window, const std::wstring& name)
{
    if (name == L"dwm.exe" || name == L"zeltoappswitcher.exe")
        return true;
    wchar_t className[64]{};
    GetClassNameW(window, className, ARRAYSIZE(className));
    if (lstrcmpW(className, L"TarvelAppSwitcher") == 0)
        return true;
    if (name != L"explorer.exe")
        return false;
    for (const wchar_t* switcher : {L"XamlExplorerHostIslandWindow", L"Windows.UI.Core.CoreWindow",
                                    L"MultitaskingViewFrame", L"ForegroundStaging"}) {
        if (lstrcmpW(className, switcher) == 0)
            return true;
    }
    return false;
}

bool FullScreenRuns()
{
    QUERY_USER_NOTIFICATION_STATE state{};
    if (FAILED(SHQueryUserNotificationState(&state)))
        return false;
    return state == QUNS_BUSY || state == QUNS_RUNNING_D3D_FULL_SCREEN || state == QUNS_PRESENTATION_MODE;
}

}  // namespace

std::wstring ExecutablePathOf(HWND window)
{
    DWORD processId = 0;
    if (window == nullptr || GetWindowThreadProcessId(window, &processId) == 0)
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
    for (wchar_t& c : name)
        c = static_cast<wchar_t>(std::towlower(c));
    return name;
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
    m_hook.reset(SetWinEventHook(EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND, nullptr, &OnForeground, 0, 0,
                                 WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS));
}

ForegroundFilter::~ForegroundFilter()
{
    m_hook.reset();
    g_instance = nullptr;
}

void ForegroundFilter::Update(const std::vector<std::wstring>& excluded)
{
    HWND front = GetForegroundWindow();
    if (front != m_front) {
        m_front = front;
        const std::wstring path = ExecutablePathOf(front);
        m_frontName = ExecutableNameOf(front);
        DWORD processId = 0;
        GetWindowThreadProcessId(front, &processId);
        m_frontOurs = processId == GetCurrentProcessId() || IsTaskbar(front);
        if (!m_frontName.empty() && !m_frontOurs && !IsSwitcher(front, m_frontName) &&
            m_frontName != m_lastApplication) {
            m_lastApplication = m_frontName;
            m_lastTitle = ApplicationTitle(path);
        }
    }
    m_pressName = m_frontOurs ? m_lastApplication : m_frontName;
    const std::wstring& name = m_pressName;
    m_excluded = !name.empty() && std::find(excluded.begin(), excluded.end(), name) != excluded.end();
    m_fullScreen = FullScreenRuns();
}

void CALLBACK ForegroundFilter::OnForeground(HWINEVENTHOOK, DWORD, HWND, LONG, LONG, DWORD, DWORD) noexcept
{
    if (g_instance == nullptr)
        return;
    try {
        g_instance->m_changed();
    } catch (...) {
        // Nothing may leave a WinEvent callback; the watchdog's tick updates it again.
    }
}
