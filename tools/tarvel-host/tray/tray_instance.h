// One running instance of the background mode: its hidden window and what
// hangs off it (the icon, the mouse hook, the foreground filter, the pause
// key and the plug-in's session), on the main thread (the hook's own thread
// watches for input the hook missed and posts here only then),
// and the one place that applies a change of the choices (choice_owner.h
// keeps and saves them).  Nothing on the way of a press, the menu or the end
// waits on another program's window; idle, nothing wakes it (no timer).
// Quit, "--quit", WM_CLOSE (taskkill) and the end of the session all end it
// the same way: the hook removed, the icon deleted, the handler destroyed,
// the plug-in unloaded, the Windows key up and the device back.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "button_hook.h"
#include "choice_owner.h"
#include "foreground_filter.h"
#include "macro_session.h"
#include "pause_key.h"
#include "tray_icon.h"
#include "tray_window.h"

class TrayInstance {
public:
    // `settingsProblems`: what loading the settings mended, to tell once.
    TrayInstance(std::unique_ptr<MacroSession> session, TraySettings settings, std::wstring settingsProblems);
    ~TrayInstance() { End(); }
    TrayInstance(const TrayInstance&) = delete;
    TrayInstance& operator=(const TrayInstance&) = delete;

    // The window, the hook and the icon, with the balloon unless started at
    // logon; false (with a reason) on failure.
    bool Start(bool showBalloon, std::string& error);
    // Everything put back; later calls do nothing.  The window goes last so
    // that a caller inside its procedure may still return.  Asked for while
    // the macro runs (a message sent to the window while the plug-in waits),
    // it waits until Execute has returned: the handler must not be destroyed
    // under it.
    void End();

private:
    TrayWindowEvents WindowEvents();
    // A press the hook reported: a flip, or the tap's previous window.
    void OnPress(WPARAM kind);
    void OnCommand(UINT command);
    // A second start: the balloon, or the menu when the shell would not show
    // the balloon (Focus Assist, quiet hours, a full-screen window, no icon).
    void OnShowYourself();
    // What changed (bits of ChoiceChange) given to the hook, the session,
    // the filter, the pause key, the icon and the settings window.
    void Apply(unsigned changes);
    // The long press, the tap, the gestures and the corners given to the hook (again after
    // a display or DPI change, which moves the corners).
    void ApplyInputChoices();
    void ShowMenu();
    void ShowBalloon();
    void ShowIcon();
    // The foreground filter asked again, its answer given to the hook.
    void RefreshFilter();
    void ReinstallHook(const char* reason);

    std::unique_ptr<MacroSession> m_session;
    ChoiceOwner m_choices;
    const TraySettings& Settings() const { return m_choices.Settings(); }
    TrayWindow m_trayWindow;
    HWND m_window = nullptr;     // m_trayWindow's, destroyed last in End
    bool m_pressing = false;     // inside the plug-in's Execute
    bool m_endDeferred = false;  // End was asked for meanwhile
    std::unique_ptr<TrayIcon> m_icon;
    std::unique_ptr<ButtonHook> m_hook;
    std::unique_ptr<ForegroundFilter> m_filter;
    std::unique_ptr<PauseKey> m_pauseKey;
};
