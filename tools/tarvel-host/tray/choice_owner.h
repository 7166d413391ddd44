// The owner of the running instance's choices: it keeps them, turns a menu
// command or the settings window's OK into the new choices and the set of
// what changed (tray_choices.h), saves them, and hands what changed to the
// instance's one place that applies a change.  It opens the menu and the
// settings window, which are how the user changes them.  Main thread only.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "foreground_filter.h"
#include "tray_choices.h"

class ChoiceOwner {
public:
    // `loadProblems`: what loading mended (LoadSettings).  `applied` gets
    // what changed (bits of ChoiceChange, 0 after the settings window's OK
    // or Apply that changed nothing), once the choices are kept and saved.
    ChoiceOwner(TraySettings settings, std::wstring loadProblems, std::function<void(unsigned changes)> applied);
    // The window that owns the menu, the settings window and the message boxes.
    void Attach(HWND window) { m_window = window; }
    // What loading mended, once (the mended values are saved, so that the
    // next start has nothing to say), and a refused pause key.
    std::wstring TakeStartProblems(const std::wstring& pauseKeyProblem);

    const TraySettings& Settings() const { return m_settings; }
    TrayChoices Current() const;
    // The menu at the pointer, naming the application in front as it opens.
    void ShowMenu(ForegroundFilter& filter);
    // A command of the menu that changes a choice (others are ignored); the
    // exclusion goes to the application the menu named, else to the last
    // one `filter` saw in front.
    void OnMenuCommand(UINT command, const ForegroundFilter& filter);
    void OpenSettings(const std::wstring& pauseKeyProblem);
    // The open settings window, if any, shows what is in force.
    void ShowInSettingsWindow(const std::wstring& pauseKeyProblem) const;

private:
    void Choose(const TrayChoices& next, bool fromWindow);

    HWND m_window = nullptr;
    TraySettings m_settings;
    std::wstring m_loadProblems;
    std::function<void(unsigned)> m_applied;
    std::wstring m_menuApplication;  // what the menu last named for its exclusion
};
