// The instance's choices beyond the menu's: the long press and its tap, the
// hot corners, the pause key and the settings window that holds them all.
#include "autostart.h"
#include "hot_corners.h"
#include "press_timing.h"
#include "previous_window.h"
#include "tray_instance.h"
#include "tray_mode.h"

void TrayInstance::OnPress(WPARAM kind)
{
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
