#include "tray_instance.h"

#include <shellapi.h>
#include <wtsapi32.h>

#include <cstdio>

#include "autostart.h"
#include "common/unique_handle.h"
#include "plugin_library.h"
#include "tray_menu.h"
#include "tray_mode.h"
#include "version.h"

namespace {

constexpr UINT WM_BUTTON_PRESSED = WM_APP + 2;

const wchar_t kVersion[] = L"" TARVEL_VERSION_TEXT;

}  // namespace

TrayInstance::TrayInstance(std::unique_ptr<MacroSession> session, TraySettings settings)
    : m_session(std::move(session)), m_settings(std::move(settings))
{
}

bool TrayInstance::Start(bool showBalloon, std::string& error)
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = &TrayInstance::WindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kTrayWindowClass;
    RegisterClassExW(&windowClass);
    // Top-level and never shown: the session's end is sent to top-level windows only.
    m_window = CreateWindowExW(0, kTrayWindowClass, L"Tarvel", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                               GetModuleHandleW(nullptr), this);
    if (m_window == nullptr) {
        error = "cannot create its window (" + DescribeError(GetLastError()) + ")";
        return false;
    }
    // Running as administrator, it would not hear of a restarted taskbar, a
    // second start or "--quit" otherwise (the system filters messages from
    // lower rights).
    for (UINT message : {m_taskbarCreated, m_showMessage, m_quitMessage, m_settingsMessage})
        ChangeWindowMessageFilterEx(m_window, message, MSGFLT_ALLOW, nullptr);
    m_session->SetDevice(m_settings.device == FlipDevice::Wheel ? HostApplication::WheelId
                                                                 : HostApplication::MouseId);
    m_hook = std::make_unique<ButtonHook>(m_window, 0, WM_BUTTON_PRESSED, m_settings.button, m_settings.paused);
    if (!m_hook->Installed()) {
        error = "Tarvel cannot start: Windows did not let it watch the mouse (its mouse hook could not be "
                "installed: " +
                DescribeError(GetLastError()) + "). Start Tarvel again; if this keeps happening, restart Windows.";
        m_hook.reset();
        return false;
    }
    StartPauseKey();
    m_filter = std::make_unique<ForegroundFilter>([this] { RefreshFilter(); });
    RefreshFilter();
    WTSRegisterSessionNotification(m_window, NOTIFY_FOR_THIS_SESSION);
    // Without a notification area yet (early at logon) the icon comes with
    // the taskbar's "TaskbarCreated", or with a retry.
    m_icon = std::make_unique<TrayIcon>(m_window, kTrayIconMessage);
    ShowIcon();
    if (showBalloon)
        ShowBalloon();
    return true;
}

void TrayInstance::End()
{
    if (m_pressing) {
        m_endDeferred = true;
        return;
    }
    m_hook.reset();
    m_filter.reset();
    if (m_icon)
        m_icon->Remove();
    m_icon.reset();
    if (m_session)
        m_session->End();
    if (m_window != nullptr) {
        WTSUnRegisterSessionNotification(m_window);
        HWND window = m_window;
        m_window = nullptr;  // WM_DESTROY comes back here
        DestroyWindow(window);
    }
}

LRESULT CALLBACK TrayInstance::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept
{
    if (message == WM_NCCREATE) {
        auto* self = static_cast<TrayInstance*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<TrayInstance*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr && self->m_window == window) {
        // Nothing may leave a window procedure: the system would carry the
        // exception through its own frames, or drop it.
        try {
            return self->Handle(message, wParam, lParam);
        } catch (...) {
            return 0;
        }
    }
    // Being destroyed by End(), which has let go of it already.
    if (message == WM_DESTROY)
        PostQuitMessage(0);
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT TrayInstance::Handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_BUTTON_PRESSED:
        if (wParam == kHookMissedInput || wParam == kHookNotInPlace)
            ReinstallHook(wParam == kHookMissedInput ? "it missed input" : "it was not in place");
        else
            OnPress(wParam);
        return 0;
    case kTrayIconMessage:
        if (LOWORD(lParam) == WM_RBUTTONUP || LOWORD(lParam) == WM_LBUTTONUP || LOWORD(lParam) == WM_CONTEXTMENU)
            ShowMenu();
        return 0;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam));
        return 0;
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        // The process may be ended as soon as this returns: put everything back now.
        if (wParam)
            End();
        return 0;
    case WM_CLOSE:  // Quit, taskkill
        End();
        return 0;
    default:
        if (HandleShellMessage(message, wParam, lParam))
            return message == WM_POWERBROADCAST ? TRUE : 0;
        return DefWindowProcW(m_window, message, wParam, lParam);
    }
}

// What the system and the shell tell the instance; false for anything else.
// The icon may not exist yet (a start that failed shows its message box
// with this window alive): every message does without it.
bool TrayInstance::HandleShellMessage(UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_TIMER && wParam == TrayIcon::kRetryTimer) {
        if (m_icon)
            m_icon->OnRetryTimer();
    } else if (message == WM_POWERBROADCAST) {
        if (wParam == PBT_APMRESUMEAUTOMATIC || wParam == PBT_APMRESUMESUSPEND)
            ReinstallHook("after resume");
    } else if (message == WM_WTSSESSION_CHANGE) {
        if (wParam == WTS_SESSION_UNLOCK || wParam == WTS_CONSOLE_CONNECT || wParam == WTS_REMOTE_CONNECT)
            ReinstallHook("after unlock");
    } else if (message == WM_DPICHANGED || message == WM_DISPLAYCHANGE) {
        if (message == WM_DPICHANGED && m_icon)
            m_icon->OnDpiChanged();
        ApplyInputChoices();  // the corners moved
    } else if (message == WM_HOTKEY && wParam == PauseKey::kId) {
        TogglePause();
    } else if (message == m_settingsMessage && message != 0) {
        OpenSettings();  // "--settings"
    } else if (message == m_taskbarCreated && message != 0) {
        if (m_icon)
            m_icon->OnTaskbarCreated();
    } else if (message == m_showMessage && message != 0) {
        ShowYourself();  // a second start
    } else if (message == m_quitMessage && message != 0) {
        End();  // "--quit"
    } else {
        return false;
    }
    return true;
}

void TrayInstance::RunMacro()
{
    m_pressing = true;
    try {
        m_session->Press(m_settings.button);
    } catch (...) {
        m_pressing = false;
        throw;
    }
    m_pressing = false;
    if (m_endDeferred)
        End();
}

void TrayInstance::OnCommand(UINT command)
{
    switch (command) {
    case TrayCommandXButton1: SetButton(MouseButton::XButton1); break;
    case TrayCommandXButton2: SetButton(MouseButton::XButton2); break;
    case TrayCommandMiddle: SetButton(MouseButton::Middle); break;
    case TrayCommandSlowWheel: SetDevice(FlipDevice::Wheel); break;
    case TrayCommandSlowPointer: SetDevice(FlipDevice::Pointer); break;
    case TrayCommandExclude: ToggleExclusion(); break;
    case TrayCommandFullScreen: ToggleFullScreen(); break;
    case TrayCommandPause: TogglePause(); break;
    case TrayCommandAutostart: ToggleAutostart(); break;
    case TrayCommandRestartElevated: RestartElevated(m_window); break;
    case TrayCommandAbout:
        Tell(m_window, std::wstring(L"Tarvel ") + kVersion + L"\n\nThe " + MouseButtonDescription(m_settings.button) +
                           L" shows your open windows. Click Tarvel's icon in the notification area for the "
                           L"menu that changes the button (on Windows 10 and 11 the icon may be under the ^ "
                           L"arrow beside the clock).\n\nProgram: " +
                           ThisProgram() + L"\n\nFree software under the MIT License (LICENSE.txt beside it).");
        break;
    case TrayCommandReadme: OpenReadme(m_window); break;
    case TrayCommandSettings: OpenSettings(); break;
    case TrayCommandQuit: End(); break;
    default: break;
    }
}

void TrayInstance::ShowMenu()
{
    if (!m_filter)
        return;  // not started
    RefreshFilter();
    const TrayMenuState state{m_settings, AutostartEnabled(ThisProgram()), m_filter->LastApplication(),
                              m_filter->LastApplicationTitle(), CanRestartElevated()};
    ShowTrayMenu(m_window, state);
}

void TrayInstance::ShowBalloon()
{
    if (!m_icon)
        return;
    m_icon->ShowBalloon(L"Tarvel is running", std::wstring(L"The ") + MouseButtonDescription(m_settings.button) +
                                                  L" shows your open windows. Click this icon for the menu.");
    if (!m_icon->BalloonWaiting())
        Say("tarvel-host: %s\n", "balloon shown: Tarvel is running");
}

void TrayInstance::ShowYourself()
{
    QUERY_USER_NOTIFICATION_STATE shell{};
    const bool balloonsShow =
        SUCCEEDED(SHQueryUserNotificationState(&shell)) && shell == QUNS_ACCEPTS_NOTIFICATIONS;
    if (m_icon && m_icon->Shown() && balloonsShow) {
        ShowBalloon();
        return;
    }
    Say("tarvel-host: %s\n", "no balloon can show: the menu instead");
    ShowMenu();
}

void TrayInstance::ShowIcon()
{
    const std::wstring tooltip = Tooltip();
    // The window's title says the same, for tools that list windows (and the
    // tests, which cannot read a tooltip back from the notification area).
    SetWindowTextW(m_window, tooltip.c_str());
    if (m_icon)
        m_icon->Show(m_settings.paused, tooltip);
}

// The button, and whether it flips: on, paused, or let through and why.
std::wstring TrayInstance::Tooltip() const
{
    std::wstring state = L", on";
    if (m_settings.paused)
        state = L", paused";
    else if (m_letThrough == LetThrough::Game)
        state = L", let through to the full-screen game";
    else if (m_letThrough == LetThrough::Presentation)
        state = L", let through to the presentation";
    else if (m_letThrough == LetThrough::Excluded)
        state = L", let through to " + m_letThroughTo + L" (excluded)";
    else if (m_letThrough == LetThrough::FullScreenWindow)
        state = L", let through to the full-screen window";
    return std::wstring(L"Tarvel: ") + MouseButtonDescription(m_settings.button) + state;
}

void TrayInstance::RefreshFilter()
{
    if (!m_filter || !m_hook)
        return;
    m_filter->Update(m_settings.excluded, m_settings.letThroughFullScreen);
    const LetThrough reason = m_filter->Reason();
    m_hook->SetPassThrough(reason != LetThrough::No);
    const std::wstring excluded = reason == LetThrough::Excluded ? m_filter->FrontApplication() : L"";
    if (reason == m_letThrough && excluded == m_letThroughTo)
        return;
    m_letThrough = reason;
    m_letThroughTo = excluded;
    ShowIcon();  // the tooltip says why
    if (reason == LetThrough::No)
        Say("tarvel-host: %s\n", "the button flips windows again");
    else if (reason == LetThrough::Excluded)
        Say("tarvel-host: the button is left to %s\n", Narrow(m_filter->FrontApplication()));
    else
        Say("tarvel-host: %s\n", "the button is left to the full-screen application");
}

void TrayInstance::ReinstallHook(const char* reason)
{
    if (!m_filter)
        return;  // a start that failed: its message box may pump a resume or an unlock
    m_hook.reset();
    m_hook = std::make_unique<ButtonHook>(m_window, 0, WM_BUTTON_PRESSED, m_settings.button, m_settings.paused);
    m_letThrough = LetThrough::No;  // the new hook starts with the button on
    m_letThroughTo.clear();
    RefreshFilter();
    ShowIcon();
    Say("tarvel-host: installed the mouse hook again (%s)\n", reason);
}
