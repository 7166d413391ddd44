#include "tray_icon.h"

#include <commctrl.h>

#include "tray_icons.h"

TrayIcon::TrayIcon(HWND window, UINT callbackMessage, NotifyIconFunction notify)
    : m_window(window), m_callbackMessage(callbackMessage), m_notify(notify)
{
}

void TrayIcon::Show(bool paused, const std::wstring& tooltip)
{
    const bool imageChanged = !m_image || paused != m_paused;
    m_paused = paused;
    m_tooltip = tooltip;
    if (imageChanged)
        LoadIconImage();
    if (!m_shown || !Send(NIM_MODIFY, NIF_ICON | NIF_TIP))
        Add();
}

void TrayIcon::ShowBalloon(const std::wstring& title, const std::wstring& text)
{
    m_balloonTitle = title;
    m_balloonText = text;
    m_balloonWaiting = true;
    FlushBalloon();
}

void TrayIcon::OnTaskbarCreated()
{
    // A DPI change sends this too: the image at the new size.
    LoadIconImage();
    m_shown = false;
    Add();
}

void TrayIcon::OnRetryTimer()
{
    if (!m_retryPending)
        return;  // queued before the timer was killed
    if (m_shown || m_retriesLeft-- <= 0) {
        StopRetrying();
        return;
    }
    Add();
}

void TrayIcon::OnDpiChanged()
{
    LoadIconImage();
    if (m_shown)
        Send(NIM_MODIFY, NIF_ICON);
}

void TrayIcon::Remove()
{
    StopRetrying();
    m_balloonWaiting = false;
    // Also when the record says it is not there: a record can be wrong, and
    // a left-over icon stays in the notification area until hovered.
    NOTIFYICONDATAW data = Data(0);
    m_notify(NIM_DELETE, &data);
    m_shown = false;
}

NOTIFYICONDATAW TrayIcon::Data(UINT flags) const
{
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof(data);
    data.hWnd = m_window;
    data.uID = kId;
    data.uFlags = flags | NIF_MESSAGE;
    data.uCallbackMessage = m_callbackMessage;
    data.hIcon = m_image.get();
    lstrcpynW(data.szTip, m_tooltip.c_str(), ARRAYSIZE(data.szTip));
    return data;
}

bool TrayIcon::Send(DWORD action, UINT flags)
{
    NOTIFYICONDATAW data = Data(flags);
    return m_notify(action, &data) != FALSE;
}

void TrayIcon::Add()
{
    m_shown = Send(NIM_ADD, NIF_ICON | NIF_TIP) || Send(NIM_MODIFY, NIF_ICON | NIF_TIP);
    if (m_shown) {
        StopRetrying();
        FlushBalloon();
    } else if (!m_retryPending && m_retriesLeft > 0) {
        m_retryPending = SetTimer(m_window, kRetryTimer, kRetryMs, nullptr) != 0;
    }
}

void TrayIcon::StopRetrying()
{
    if (m_retryPending)
        KillTimer(m_window, kRetryTimer);
    m_retryPending = false;
}

void TrayIcon::LoadIconImage()
{
    // LoadIconMetric picks the image of the size the shell asks for at the
    // current DPI (20 px at 125 %, 24 at 150 %...) from the icon's sizes.
    const int id = m_paused ? IDI_TARVEL_PAUSED : IDI_TARVEL;
    HICON image = nullptr;
    if (FAILED(LoadIconMetric(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), LIM_SMALL, &image)))
        image = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON,
                                              GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    m_image.reset(image);
}

void TrayIcon::FlushBalloon()
{
    if (!m_balloonWaiting || !m_shown)
        return;
    NOTIFYICONDATAW data = Data(NIF_INFO);
    lstrcpynW(data.szInfoTitle, m_balloonTitle.c_str(), ARRAYSIZE(data.szInfoTitle));
    lstrcpynW(data.szInfo, m_balloonText.c_str(), ARRAYSIZE(data.szInfo));
    data.dwInfoFlags = NIIF_INFO;
    m_balloonWaiting = !m_notify(NIM_MODIFY, &data);
}

bool TrayIcon::ShellShowsBalloons()
{
    QUERY_USER_NOTIFICATION_STATE shell{};
    return SUCCEEDED(SHQueryUserNotificationState(&shell)) && shell == QUNS_ACCEPTS_NOTIFICATIONS;
}
