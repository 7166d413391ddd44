#include "foreground_filter.h"

#include <shellapi.h>

#include <algorithm>
#include <cwctype>

namespace {

ForegroundFilter* g_instance = nullptr;  // the WinEvent callback gets no context; main thread only

// The taskbar and its overflow: in front while the user opens the icon's menu.
bool IsTaskbar(HWND window)
{
    wchar_t name[64]{};
    GetClassNameW(window, name, ARRAYSIZE(name));
    for (const wchar_t* taskbar : {L"Shell_TrayWnd", L"Shell_SecondaryTrayWnd", L"NotifyIconOverflowWindow",
                                   L"TopLevelWindowForOverflowXamlIsland"}) {
        if (lstrcmpW(name, taskbar) == 0)
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

std::wstring ExecutableNameOf(HWND window)
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
    std::wstring name(path, size);
    name.erase(0, name.find_last_of(L"\\/") + 1);
    for (wchar_t& c : name)
        c = static_cast<wchar_t>(std::towlower(c));
    return name;
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
        m_frontName = ExecutableNameOf(front);
        DWORD processId = 0;
        GetWindowThreadProcessId(front, &processId);
        if (!m_frontName.empty() && processId != GetCurrentProcessId() && !IsTaskbar(front))
            m_lastApplication = m_frontName;
    }
    const std::wstring& name = m_frontName;
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
