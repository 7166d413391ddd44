// One running instance of the background mode: its hidden window and what
// hangs off it (the icon, the menu's commands, the mouse hook with its
// watchdog, the foreground filter and the plug-in's session), all on the main
// thread.  Nothing on the way of a press, the menu or the end waits on
// another program's window; idle, nothing wakes it (no timer).  Quit, "--quit", WM_CLOSE (taskkill) and the end of the session all
// end it the same way: the hook removed, the icon deleted, the handler
// destroyed, the plug-in unloaded, the Windows key up and the device back.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "button_hook.h"
#include "foreground_filter.h"
#include "macro_session.h"
#include "pause_key.h"
#include "settings.h"
#include "settings_window.h"
#include "tray_icon.h"

// What the running instance answers to another tarvel-host: a second start
// ("show yourself": the balloon again, or the menu where no balloon can
// show), "--settings" and "--quit".  Registered messages,
// let through the message filter, so that they also reach an instance that
// runs as administrator.
inline constexpr wchar_t kShowMessageName[] = L"TarvelHost.ShowYourself";
inline constexpr wchar_t kQuitMessageName[] = L"TarvelHost.Quit";
inline constexpr wchar_t kSettingsMessageName[] = L"TarvelHost.Settings";

class TrayInstance {
public:
    TrayInstance(std::unique_ptr<MacroSession> session, TraySettings settings);
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
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    bool HandleShellMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void RunMacro();
    // tray_instance_choices.cpp: the choices beyond the menu's.
    // A press the hook reported: a flip, or the tap's previous window.
    void OnPress(WPARAM kind);
    // The long press, the tap and the corners given to the hook (again after
    // a display or DPI change, which moves the corners); the pause key once.
    void ApplyInputChoices();
    void StartPauseKey();
    void OpenSettings();
    std::wstring ApplyChoices(const SettingsChoices& choices);
    void OnCommand(UINT command);
    void ShowMenu();
    void ShowBalloon();
    // A second start: the balloon, or the menu when the shell would not show
    // the balloon (Focus Assist, quiet hours, a full-screen window, no icon).
    void ShowYourself();
    void SetButton(MouseButton button);
    void TogglePause();
    void SetDevice(FlipDevice device);
    void ToggleExclusion();
    void ToggleFullScreen();
    void ToggleAutostart();
    void Save();
    void ShowIcon();
    // The foreground filter asked again, its answer given to the hook.
    void RefreshFilter();
    void ReinstallHook(const char* reason);
    std::wstring Tooltip() const;

    std::unique_ptr<MacroSession> m_session;
    TraySettings m_settings;
    UINT m_taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    UINT m_showMessage = RegisterWindowMessageW(kShowMessageName);
    UINT m_quitMessage = RegisterWindowMessageW(kQuitMessageName);
    UINT m_settingsMessage = RegisterWindowMessageW(kSettingsMessageName);
    HWND m_window = nullptr;  // destroyed last in End
    bool m_pressing = false;     // inside the plug-in's Execute
    bool m_endDeferred = false;  // End was asked for meanwhile
    LetThrough m_letThrough = LetThrough::No;  // what the hook and the tooltip were last told
    std::wstring m_letThroughTo;  // the excluded application it names
    std::unique_ptr<TrayIcon> m_icon;
    std::unique_ptr<ButtonHook> m_hook;
    std::unique_ptr<ForegroundFilter> m_filter;
    std::unique_ptr<PauseKey> m_pauseKey;
};
