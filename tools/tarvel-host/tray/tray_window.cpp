#include "tray_window.h"

#include <wtsapi32.h>

#include <initializer_list>
#include <utility>

#include "pause_key.h"
#include "settings_window.h"
#include "tray_icon.h"
#include "tray_menu.h"

HWND TrayWindow::Create(TrayWindowEvents events)
{
    m_events = std::move(events);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = &TrayWindow::Procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kTrayWindowClass;
    RegisterClassExW(&windowClass);
    m_window = CreateWindowExW(0, kTrayWindowClass, L"Tarvel", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                               GetModuleHandleW(nullptr), this);
    if (m_window == nullptr)
        return nullptr;
    for (UINT message : {m_taskbarCreated, m_showMessage, m_quitMessage, m_settingsMessage})
        ChangeWindowMessageFilterEx(m_window, message, MSGFLT_ALLOW, nullptr);
    WTSRegisterSessionNotification(m_window, NOTIFY_FOR_THIS_SESSION);
    return m_window;
}

void TrayWindow::Destroy()
{
    if (m_window == nullptr)
        return;
    WTSUnRegisterSessionNotification(m_window);
    HWND window = m_window;
    m_window = nullptr;  // WM_DESTROY comes back here
    DestroyWindow(window);
}

LRESULT CALLBACK TrayWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept
{
    if (message == WM_NCCREATE) {
        auto* self = static_cast<TrayWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<TrayWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr && self->m_window == window) {
        // Nothing may leave a window procedure: the system would carry the
        // exception through its own frames, or drop it.
        try {
            return self->Dispatch(message, wParam, lParam);
        } catch (...) {
            return 0;
        }
    }
    // Being destroyed, let go of already.
    if (message == WM_DESTROY)
        PostQuitMessage(0);
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT TrayWindow::Dispatch(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case kTrayPressMessage: m_events.press(wParam); return 0;
    case kTrayIconMessage:
        if (LOWORD(lParam) == WM_RBUTTONUP || LOWORD(lParam) == WM_LBUTTONUP || LOWORD(lParam) == WM_CONTEXTMENU)
            m_events.iconClicked();
        return 0;
    case WM_COMMAND: m_events.command(LOWORD(wParam)); return 0;
    case WM_QUERYENDSESSION: return TRUE;
    case WM_ENDSESSION:
        if (wParam)
            m_events.end();
        return 0;
    case WM_CLOSE: m_events.end(); return 0;
    default:
        if (DispatchShellMessage(message, wParam, lParam))
            return message == WM_POWERBROADCAST ? TRUE : 0;
        return DefWindowProcW(m_window, message, wParam, lParam);
    }
}

// What the system, the shell and other copies tell the instance; false for
// anything else.
bool TrayWindow::DispatchShellMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_TIMER && wParam == TrayIcon::kRetryTimer) {
        m_events.iconRetryTimer();
    } else if (message == WM_POWERBROADCAST) {
        if (wParam == PBT_APMRESUMEAUTOMATIC || wParam == PBT_APMRESUMESUSPEND)
            m_events.hookMayBeGone("after resume");
    } else if (message == WM_WTSSESSION_CHANGE) {
        if (wParam == WTS_SESSION_UNLOCK || wParam == WTS_CONSOLE_CONNECT || wParam == WTS_REMOTE_CONNECT)
            m_events.hookMayBeGone("after unlock");
    } else if (message == WM_DPICHANGED || message == WM_DISPLAYCHANGE) {
        m_events.displayChanged(message == WM_DPICHANGED);
    } else if (message == WM_HOTKEY && wParam == PauseKey::kId) {
        if (!PauseKeyTypedInSettingsWindow(lParam))
            m_events.command(TrayCommandPause);
    } else if (message == m_settingsMessage && message != 0) {
        m_events.settingsAsked();  // "--settings"
    } else if (message == m_taskbarCreated && message != 0) {
        m_events.taskbarCreated();
    } else if (message == m_showMessage && message != 0) {
        m_events.showYourself();  // a second start
    } else if (message == m_quitMessage && message != 0) {
        m_events.end();  // "--quit"
    } else {
        return false;
    }
    return true;
}
