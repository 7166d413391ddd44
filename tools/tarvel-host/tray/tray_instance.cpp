#include "tray_instance.h"

#include <shellapi.h>
#include <wtsapi32.h>

#include "autostart.h"
#include "common/running_version.h"
#include "hot_corners.h"
#include "plugin_library.h"
#include "press_timing.h"
#include "previous_window.h"
#include "shell_actions.h"
#include "tray_menu.h"
#include "tray_texts.h"
#include "version.h"

namespace {

constexpr UINT WM_BUTTON_PRESSED = WM_APP + 2;

const wchar_t kVersion[] = L"" TARVEL_VERSION_TEXT;

// Virtual desktops, and so the sideways drag, exist from Windows 10.
bool DesktopsExist() { return ReadRunningWindowsVersion() >= 0x0A00; }

}  // namespace

TrayInstance::TrayInstance(std::unique_ptr<MacroSession> session, TraySettings settings,
                           std::wstring settingsProblems)
    : m_session(std::move(session)), m_settings(std::move(settings)), m_settingsProblems(std::move(settingsProblems))
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
    ApplyInputChoices();
    m_pauseKey = std::make_unique<PauseKey>(m_window);
    m_pauseKey->Set(m_settings.pauseKey);
    m_filter = std::make_unique<ForegroundFilter>([this] { RefreshFilter(); });
    RefreshFilter();
    // The watchdog's only input: real mouse events, also while other
    // programs are in front; WM_INPUT comes only when the mouse is used.
    const RAWINPUTDEVICE mouse{0x01, 0x02, RIDEV_INPUTSINK, m_window};  // generic desktop, mouse
    m_rawInputRegistered = RegisterRawInputDevices(&mouse, 1, sizeof(mouse)) != FALSE;
    WTSRegisterSessionNotification(m_window, NOTIFY_FOR_THIS_SESSION);
    // Without a notification area yet (early at logon) the icon comes with
    // the taskbar's "TaskbarCreated", or with a retry.
    m_icon = std::make_unique<TrayIcon>(m_window, kTrayIconMessage);
    ShowIcon();
    if (showBalloon)
        ShowBalloon();
    ReportSettingsProblems();
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
    if (m_rawInputRegistered) {
        const RAWINPUTDEVICE mouse{0x01, 0x02, RIDEV_REMOVE, nullptr};
        RegisterRawInputDevices(&mouse, 1, sizeof(mouse));
        m_rawInputRegistered = false;
    }
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
        OnPress(wParam);
        return 0;
    case WM_INPUT:
        OnRawInput(reinterpret_cast<HRAWINPUT>(lParam));
        return DefWindowProcW(m_window, message, wParam, lParam);  // which frees the input
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
        OnCommand(TrayCommandPause);
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

void TrayInstance::OnPress(WPARAM kind)
{
    if (kind == static_cast<WPARAM>(press_timing::PressKind::Previous)) {
        if (!SwitchToPreviousWindow())
            Say("tarvel-host: %s\n", "no previous window to switch to");
        return;
    }
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
    case TrayCommandRestartElevated: RestartElevated(m_window); break;
    case TrayCommandAbout: Tell(m_window, AboutText(m_settings, kVersion, ThisProgram())); break;
    case TrayCommandReadme: OpenReadme(m_window); break;
    case TrayCommandSettings: OpenSettings(); break;
    case TrayCommandQuit: End(); break;
    case TrayCommandExclude: {
        if (!m_filter)
            return;
        // Named by the menu; sent without one, the last application in front.
        RefreshFilter();
        const std::wstring application = m_menuApplication.empty() ? m_filter->LastApplication() : m_menuApplication;
        RememberApplicationName(application, m_filter->LastApplicationTitle());
        Apply(ChooseFromMenu(Current(), command, application));
        break;
    }
    default: Apply(ChooseFromMenu(Current(), command, L"")); break;
    }
}

TrayChoices TrayInstance::Current() const { return TrayChoices{m_settings, AutostartEnabled(ThisProgram())}; }

void TrayInstance::Apply(const TrayChoices& next)
{
    if (!m_hook || !m_pauseKey)
        return;  // not started, or ended
    const unsigned changes = ChangesBetween(Current(), next);
    if (changes == 0)
        return;
    std::wstring problem;
    if (!SaveChoices(next, changes, problem))
        Tell(m_window, problem, MB_ICONWARNING);
    m_settings = next.settings;
    if (changes & ChangedButton)
        m_hook->SetButton(m_settings.button);
    if (changes & ChangedPause)
        m_hook->SetPaused(m_settings.paused);
    if (changes & ChangedDevice)
        m_session->SetDevice(m_settings.device == FlipDevice::Wheel ? HostApplication::WheelId
                                                                     : HostApplication::MouseId);
    if (changes & (ChangedTrigger | ChangedCorners))
        ApplyInputChoices();
    if (changes & ChangedPauseKey)
        m_pauseKey->Set(m_settings.pauseKey);
    if (changes & (ChangedExclusions | ChangedFullScreen))
        RefreshFilter();
    ShowIcon();
    ShowSettingsView(View());
}

void TrayInstance::ApplyInputChoices()
{
    press_timing::SetHoldMs(m_settings.holdMs);
    press_timing::SetTapPrevious(m_settings.tapPrevious);
    hot_corners::SetPlaces(hot_corners::FindPlaces(m_settings.corners), m_settings.cornerMs);
}

void TrayInstance::ReportSettingsProblems()
{
    std::wstring problems = m_settingsProblems;
    if (!m_settingsProblems.empty()) {
        std::string error;
        SaveSettings(m_settings, error);  // the mended values, so that this is said once
        m_settingsProblems.clear();
    }
    if (!m_pauseKey->Problem().empty())
        problems += L"Pause key: " + m_pauseKey->Problem();
    if (problems.empty())
        return;
    Say("tarvel-host: %s\n", Narrow(problems));
    if (m_icon)
        m_icon->ShowBalloon(L"Tarvel changed or refused a setting", problems.substr(0, 255));
}

SettingsView TrayInstance::View() const
{
    SettingsView view{Current(), m_pauseKey ? m_pauseKey->Problem() : L"", {}, DesktopsExist()};
    for (const std::wstring& application : m_settings.excluded)
        view.excludedNames.push_back(ApplicationName(application));
    return view;
}

void TrayInstance::OpenSettings()
{
    if (!m_pauseKey)
        return;  // not started, or ended
    OpenSettingsWindow(m_window, View(), [this](const TrayChoices& shown, const TrayChoices& edited) {
        // A key another program held may be free now: asked again.
        if (m_pauseKey && !m_pauseKey->Problem().empty())
            m_pauseKey->Set(m_settings.pauseKey);
        Apply(ChooseFromWindow(Current(), shown, edited));
        ShowSettingsView(View());
        Say("tarvel-host: %s\n", "settings applied");
    });
}

void TrayInstance::ShowMenu()
{
    if (!m_filter)
        return;  // not started
    RefreshFilter();
    m_filter->ReadLastApplication();
    m_menuApplication = m_filter->LastApplication();
    const TrayMenuState state{m_settings, AutostartEnabled(ThisProgram()), m_menuApplication,
                              m_filter->LastApplicationTitle(), ThisCopysElevation(), DesktopsExist()};
    ShowTrayMenu(m_window, state);
}

void TrayInstance::ShowBalloon()
{
    if (!m_icon)
        return;
    m_icon->ShowBalloon(L"Tarvel is running", BalloonText(m_settings));
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
    const std::wstring tooltip = TooltipText(m_settings, m_letThrough, m_letThroughTo);
    // The window's title says the same, for tools that list windows (and the
    // tests, which cannot read a tooltip back from the notification area).
    SetWindowTextW(m_window, tooltip.c_str());
    if (m_icon)
        m_icon->Show(m_settings.paused, tooltip);
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

void TrayInstance::OnRawInput(HRAWINPUT input)
{
    RAWINPUTHEADER header{};
    UINT size = sizeof(header);
    if (!m_hook || GetRawInputData(input, RID_HEADER, &header, &size, sizeof(header)) != sizeof(header))
        return;
    // Input that SendInput made, or that the system made up (from touch or
    // a pen, say), has no device: only a real mouse counts.
    if (header.dwType != RIM_TYPEMOUSE || header.hDevice == nullptr)
        return;
    const DWORD now = GetTickCount();
    if (!m_hook->Installed()) {
        // Asked again as the mouse moves, at most once within the grace.
        if (now - m_lastInstallTick >= HookWatchdog::kGraceMs)
            ReinstallHook("it was not in place");
        return;
    }
    if (m_watchdog.OnMouseInput(now, m_hook->LastEventTick())) {
        ReinstallHook("it missed input");
        m_watchdog.Reinstalled(m_hook->LastEventTick());
    }
}

void TrayInstance::ReinstallHook(const char* reason)
{
    if (!m_filter)
        return;  // a start that failed: its message box may pump a resume or an unlock
    m_lastInstallTick = GetTickCount();
    m_hook.reset();
    m_hook = std::make_unique<ButtonHook>(m_window, 0, WM_BUTTON_PRESSED, m_settings.button, m_settings.paused);
    m_letThrough = LetThrough::No;  // the new hook starts with the button on
    m_letThroughTo.clear();
    RefreshFilter();
    ShowIcon();
    Say("tarvel-host: installed the mouse hook again (%s)\n", reason);
}
