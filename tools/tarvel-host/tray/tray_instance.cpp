#include "tray_instance.h"

#include "autostart.h"
#include "common/scope_exit.h"
#include "gesture_keys.h"
#include "hot_corners.h"
#include "plugin_library.h"
#include "press_timing.h"
#include "previous_window.h"
#include "shell_actions.h"
#include "tray_menu.h"
#include "tray_texts.h"
#include "version.h"

namespace {

const wchar_t kVersion[] = L"" TARVEL_VERSION_TEXT;

uint64_t DeviceIdOf(FlipDevice device)
{
    return device == FlipDevice::Wheel ? HostApplication::WheelId : HostApplication::MouseId;
}

}  // namespace

TrayInstance::TrayInstance(std::unique_ptr<MacroSession> session, TraySettings settings,
                           std::wstring settingsProblems)
    : m_session(std::move(session)),
      m_choices(std::move(settings), std::move(settingsProblems), [this](unsigned changes) { Apply(changes); })
{
}

bool TrayInstance::Start(bool showBalloon, std::string& error)
{
    m_window = m_trayWindow.Create(WindowEvents());
    if (m_window == nullptr) {
        error = "cannot create its window (" + DescribeError(GetLastError()) + ")";
        return false;
    }
    m_choices.Attach(m_window);
    m_session->SetDevice(DeviceIdOf(Settings().device));
    m_hook = std::make_unique<ButtonHook>(m_window, 0, kTrayPressMessage, Settings().button, Settings().paused);
    if (!m_hook->Installed()) {
        error = HookRefusedText(GetLastError());
        m_hook.reset();
        return false;
    }
    ApplyInputChoices();
    m_pauseKey = std::make_unique<PauseKey>(m_window);
    m_pauseKey->Set(Settings().pauseKey);
    m_filter = std::make_unique<ForegroundFilter>([this] { RefreshFilter(); });
    RefreshFilter();
    // Without a notification area yet (early at logon) the icon comes with
    // the taskbar's "TaskbarCreated", or with a retry.
    m_icon = std::make_unique<TrayIcon>(m_window, kTrayIconMessage);
    ShowIcon();
    if (showBalloon)
        ShowBalloon();
    // What loading mended and a refused pause key, said once.
    const std::wstring problems = m_choices.TakeStartProblems(m_pauseKey->Problem());
    if (!problems.empty()) {
        Say("tarvel-host: %s\n", Narrow(problems));
        m_icon->ShowBalloon(L"Tarvel changed or refused a setting", problems.substr(0, 255));
    }
    return true;
}

TrayWindowEvents TrayInstance::WindowEvents()
{
    TrayWindowEvents events;
    events.press = [this](WPARAM kind) {
        if (kind == kHookMissedInput || kind == kHookNotInPlace)
            ReinstallHook(kind == kHookMissedInput ? "it missed input" : "it was not in place");
        else
            OnPress(kind);
    };
    events.iconClicked = [this] { ShowMenu(); };
    events.command = [this](UINT command) { OnCommand(command); };
    events.end = [this] { End(); };
    events.hookMayBeGone = [this](const char* reason) { ReinstallHook(reason); };
    events.displayChanged = [this](bool dpi) {
        if (dpi && m_icon)
            m_icon->OnDpiChanged();
        ApplyInputChoices();  // the corners moved
    };
    events.settingsAsked = [this] { OnCommand(TrayCommandSettings); };
    events.showYourself = [this] { OnShowYourself(); };
    events.taskbarCreated = [this] { m_icon ? m_icon->OnTaskbarCreated() : void(); };
    events.iconRetryTimer = [this] { m_icon ? m_icon->OnRetryTimer() : void(); };
    return events;
}

void TrayInstance::End()
{
    if (m_pressing) {
        m_endDeferred = true;
        return;
    }
    m_hook.reset();
    m_filter.reset();
    m_pauseKey.reset();
    m_icon.reset();  // which deletes it
    if (m_session)
        m_session->End();
    m_window = nullptr;
    m_trayWindow.Destroy();
}

void TrayInstance::OnPress(WPARAM kind)
{
    if (SendGestureKeys(kind))
        return;  // a step, a pick or a desktop switch
    if (kind == static_cast<WPARAM>(press_timing::PressKind::Previous)) {
        if (!SwitchToPreviousWindow())
            Say("tarvel-host: %s\n", "no previous window to switch to");
        return;
    }
    m_pressing = true;
    {
        const ScopeExit notPressing([this] { m_pressing = false; });
        m_session->Press(Settings().button);
    }
    if (m_endDeferred)
        End();
}

void TrayInstance::OnCommand(UINT command)
{
    switch (command) {
    case TrayCommandRestartElevated: RestartElevated(m_window); break;
    case TrayCommandAbout: Tell(m_window, AboutText(Settings(), kVersion, ThisProgram())); break;
    case TrayCommandReadme: OpenReadme(m_window); break;
    case TrayCommandSettings:
        if (m_pauseKey)  // not before the start, nor after the end
            m_choices.OpenSettings(m_pauseKey->Problem());
        break;
    case TrayCommandQuit: End(); break;
    default:
        if (m_filter) {
            RefreshFilter();
            m_choices.OnMenuCommand(command, *m_filter);
        }
        break;
    }
}

void TrayInstance::Apply(unsigned changes)
{
    if (!m_hook || !m_pauseKey)
        return;  // not started, or ended
    const TraySettings& settings = Settings();
    if (changes & ChangedButton)
        m_hook->SetButton(settings.button);
    if (changes & ChangedPause)
        m_hook->SetPaused(settings.paused);
    if (changes & ChangedDevice)
        m_session->SetDevice(DeviceIdOf(settings.device));
    if (changes & (ChangedTrigger | ChangedCorners | ChangedWheelSteps | ChangedDesktopDrag))
        ApplyInputChoices();
    // A key another program held may be free by now: asked again.
    if ((changes & ChangedPauseKey) != 0 || !m_pauseKey->Problem().empty())
        m_pauseKey->Set(settings.pauseKey);
    if (changes & (ChangedExclusions | ChangedFullScreen))
        RefreshFilter();
    ShowIcon();
    m_choices.ShowInSettingsWindow(m_pauseKey->Problem());
}

void TrayInstance::ApplyInputChoices()
{
    press_timing::SetHoldMs(Settings().holdMs);
    press_timing::SetTapPrevious(Settings().tapPrevious);
    press_timing::SetGestures(Settings().wheelSteps, Settings().desktopDrag);
    hot_corners::SetPlaces(hot_corners::FindPlaces(Settings().corners), Settings().cornerMs);
}

void TrayInstance::ShowMenu()
{
    if (!m_filter)
        return;  // not started
    RefreshFilter();
    m_choices.ShowMenu(*m_filter);
}

void TrayInstance::ShowBalloon()
{
    if (!m_icon)
        return;
    m_icon->ShowBalloon(L"Tarvel is running", BalloonText(Settings()));
    if (!m_icon->BalloonWaiting())
        Say("tarvel-host: %s\n", "balloon shown: Tarvel is running");
}

void TrayInstance::OnShowYourself()
{
    if (m_icon && m_icon->Shown() && TrayIcon::ShellShowsBalloons())
        return ShowBalloon();
    Say("tarvel-host: %s\n", "no balloon can show: the menu instead");
    ShowMenu();
}

void TrayInstance::ShowIcon()
{
    const std::wstring tooltip = m_filter ? TooltipText(Settings(), m_filter->Reason(), m_filter->FrontApplication())
                                          : TooltipText(Settings(), LetThrough::No, L"");
    // The window's title says the same, for tools that list windows (and the
    // tests, which cannot read a tooltip back from the notification area).
    SetWindowTextW(m_window, tooltip.c_str());
    if (m_icon)
        m_icon->Show(Settings().paused, tooltip);
}

void TrayInstance::RefreshFilter()
{
    if (!m_filter || !m_hook)
        return;
    const bool changed = m_filter->Refresh(Settings().excluded, Settings().letThroughFullScreen);
    m_hook->SetPassThrough(m_filter->PassThrough());
    if (changed)
        ShowIcon();  // the tooltip says why
}

void TrayInstance::ReinstallHook(const char* reason)
{
    if (!m_filter)
        return;  // a start that failed: its message box may pump a resume or an unlock
    m_hook.reset();
    m_hook = std::make_unique<ButtonHook>(m_window, 0, kTrayPressMessage, Settings().button, Settings().paused);
    m_filter->Forget();  // the new hook starts with the button on
    RefreshFilter();
    ShowIcon();
    Say("tarvel-host: installed the mouse hook again (%s)\n", reason);
}
