#include "choice_owner.h"

#include <utility>

#include "autostart.h"
#include "settings_window.h"
#include "shell_actions.h"
#include "tray_menu.h"

ChoiceOwner::ChoiceOwner(TraySettings settings, std::wstring loadProblems, std::function<void(unsigned)> applied)
    : m_settings(std::move(settings)), m_loadProblems(std::move(loadProblems)), m_applied(std::move(applied))
{
}

std::wstring ChoiceOwner::TakeStartProblems(const std::wstring& pauseKeyProblem)
{
    std::string error;
    if (!m_loadProblems.empty())
        SaveSettings(m_settings, error);
    std::wstring problems = std::exchange(m_loadProblems, std::wstring());
    if (!pauseKeyProblem.empty())
        problems += L"Pause key: " + pauseKeyProblem;
    while (!problems.empty() && problems.back() == L'\n')
        problems.pop_back();
    return problems;
}

TrayChoices ChoiceOwner::Current() const { return TrayChoices{m_settings, AutostartEnabled(ThisProgram())}; }

void ChoiceOwner::ShowMenu(ForegroundFilter& filter)
{
    filter.ReadLastApplication();
    m_menuApplication = filter.LastApplication();
    const TrayMenuState state{m_settings,       AutostartEnabled(ThisProgram()), m_menuApplication,
                              filter.LastApplicationTitle(), ElevationOfThisCopy(), DesktopDragAvailable()};
    ShowTrayMenu(m_window, state);
}

void ChoiceOwner::OnMenuCommand(UINT command, const ForegroundFilter& filter)
{
    std::wstring application;
    if (command == TrayCommandExclude) {
        application = m_menuApplication.empty() ? filter.LastApplication() : m_menuApplication;
        RememberApplicationName(application, filter.LastApplicationTitle());
    }
    Choose(ChooseFromMenu(Current(), command, application), false);
}

void ChoiceOwner::OpenSettings(const std::wstring& pauseKeyProblem)
{
    OpenSettingsWindow(m_window, SettingsViewOf(Current(), pauseKeyProblem),
                       [this](const TrayChoices& shown, const TrayChoices& edited) {
                           Choose(ChooseFromWindow(Current(), shown, edited), true);
                           Say("tarvel-host: %s\n", "settings applied");
                       });
}

void ChoiceOwner::ShowInSettingsWindow(const std::wstring& pauseKeyProblem) const
{
    ShowSettingsView(SettingsViewOf(Current(), pauseKeyProblem));
}

void ChoiceOwner::Choose(const TrayChoices& next, bool fromWindow)
{
    const unsigned changes = ChangesBetween(Current(), next);
    if (changes == 0 && !fromWindow)
        return;
    // Whose Run entry this copy takes, read before the value changes.
    const bool takesAutostart = (changes & ChangedAutostart) != 0 && next.autostart;
    const std::wstring takeover = takesAutostart ? AutostartTakeover(ThisProgram()) : std::wstring();
    std::wstring problem;
    const bool saved = SaveChoices(next, changes, problem);
    // Kept and applied before any message box: its loop lets the pause key,
    // the icon and the settings window choose again meanwhile.
    m_settings = next.settings;
    m_applied(changes);
    if (!saved)
        Tell(m_window, problem, MB_ICONWARNING);
    else if (!takeover.empty())
        Tell(m_window, takeover);
}
