// The instance's choices: the menu's (the button, Pause, what slows, the
// excluded applications, full-screen windows, Start with Windows), and
// beyond them the long press and its tap, the hot corners, the pause key and
// the settings window that holds them all.
#include <algorithm>

#include "autostart.h"
#include "gesture_keys.h"
#include "hot_corners.h"
#include "press_timing.h"
#include "previous_window.h"
#include "tray_instance.h"
#include "tray_mode.h"

void TrayInstance::OnPress(WPARAM kind)
{
    if (SendGestureKeys(kind))
        return;  // a step, a pick or a desktop switch
    if (kind == static_cast<WPARAM>(press_timing::PressKind::Previous)) {
        if (!SwitchToPreviousWindow())
            Say("tarvel-host: %s\n", "no previous window to switch to");
        return;
    }
    RunMacro();
}

void TrayInstance::ApplyInputChoices()
{
    press_timing::SetHoldMs(m_settings.holdMs);
    press_timing::SetTapPrevious(m_settings.tapPrevious);
    press_timing::SetGestures(m_settings.wheelSteps, m_settings.desktopDrag);
    hot_corners::SetPlaces(hot_corners::FindPlaces(m_settings.corners), m_settings.cornerMs);
}

void TrayInstance::StartPauseKey()
{
    ApplyInputChoices();
    m_pauseKey = std::make_unique<PauseKey>(m_window);
    const std::wstring& problem = m_pauseKey->Set(m_settings.pauseKey);
    if (!problem.empty())
        Say("tarvel-host: %s\n", Narrow(problem));  // and in the settings window
}

void TrayInstance::OpenSettings()
{
    if (!m_pauseKey)
        return;  // not started, or ended
    const SettingsChoices current{m_settings, AutostartEnabled(ThisProgram())};
    OpenSettingsWindow(m_window, current, m_pauseKey->Problem(),
                       [this](const SettingsChoices& choices) { return ApplyChoices(choices); });
}

std::wstring TrayInstance::ApplyChoices(const SettingsChoices& choices)
{
    if (!m_pauseKey || !m_hook)
        return {};  // ended meanwhile
    const TraySettings& chosen = choices.settings;
    if (chosen.device != m_settings.device)
        SetDevice(chosen.device);
    if (chosen.button != m_settings.button)
        SetButton(chosen.button);
    const bool pauseKeyChanged = chosen.pauseKey != m_settings.pauseKey || !m_pauseKey->Problem().empty();
    // Pause and the excluded applications are the menu's: ticked while the
    // window was open, they stand.
    const bool paused = m_settings.paused;
    std::vector<std::wstring> excluded = std::move(m_settings.excluded);
    m_settings = chosen;
    m_settings.paused = paused;
    m_settings.excluded = std::move(excluded);
    ApplyInputChoices();
    RefreshFilter();  // the full-screen choice
    if (pauseKeyChanged)
        m_pauseKey->Set(m_settings.pauseKey);
    Save();
    if (choices.autostart != AutostartEnabled(ThisProgram()))
        ToggleAutostart();
    Say("tarvel-host: %s\n", "settings applied");
    return m_pauseKey->Problem();
}

void TrayInstance::SetButton(MouseButton button)
{
    m_settings.button = button;
    if (m_hook)
        m_hook->SetButton(button);
    Save();
}

void TrayInstance::TogglePause()
{
    m_settings.paused = !m_settings.paused;
    if (m_hook)
        m_hook->SetPaused(m_settings.paused);
    Save();
}

void TrayInstance::SetDevice(FlipDevice device)
{
    m_settings.device = device;
    m_session->SetDevice(device == FlipDevice::Wheel ? HostApplication::WheelId : HostApplication::MouseId);
    Save();
}

void TrayInstance::ToggleExclusion()
{
    if (!m_filter)
        return;
    RefreshFilter();
    const std::wstring application = m_filter->LastApplication();
    if (application.empty())
        return;
    auto& excluded = m_settings.excluded;
    const auto found = std::find(excluded.begin(), excluded.end(), application);
    if (found != excluded.end())
        excluded.erase(found);
    else
        excluded.push_back(application);
    Save();
    RefreshFilter();
}

void TrayInstance::ToggleFullScreen()
{
    m_settings.letThroughFullScreen = !m_settings.letThroughFullScreen;
    Save();
    RefreshFilter();
}

void TrayInstance::ToggleAutostart()
{
    const std::wstring program = ThisProgram();
    const bool on = !AutostartEnabled(program);
    const std::wstring takeover = on ? AutostartTakeover(program) : std::wstring();  // before the value changes
    if (!SetAutostart(on, program))
        Tell(m_window,
             L"Tarvel could not change \"Start with Windows\": the registry under "
             L"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run refused the change.",
             MB_ICONWARNING);
    else if (!takeover.empty())
        Tell(m_window, takeover);
}

void TrayInstance::Save()
{
    std::string error;
    if (!SaveSettings(m_settings, error))
        Tell(m_window,
             L"Tarvel could not save this choice (" + Widen(error) +
                 L"). It applies until Tarvel ends; the next start will not know it.",
             MB_ICONWARNING);
    ShowIcon();
}
