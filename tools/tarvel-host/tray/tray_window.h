// The running instance's hidden top-level window: its class (what "--quit"
// and a second start look for, and what receives the session's end, which a
// message-only window would not), the messages other programs send it, and
// its window procedure, which turns each message into a call of
// TrayWindowEvents (tray_instance.h answers them).
#pragma once

#include <windows.h>

#include <functional>

inline constexpr wchar_t kTrayWindowClass[] = L"TarvelHostTray";

// What the icon sends its window: the shell's report of a click on it (the
// mouse message in the low word of lParam), as any program may send it.
inline constexpr UINT kTrayIconMessage = WM_APP + 1;
// What the mouse hook posts for a press (the kind in wParam).
inline constexpr UINT kTrayPressMessage = WM_APP + 2;

// What the running instance answers to another tarvel-host: a second start
// ("show yourself": the balloon again, or the menu where no balloon can
// show), "--settings" and "--quit".  Registered messages, let through the
// message filter, so that they also reach an instance that runs as
// administrator.
inline constexpr wchar_t kShowMessageName[] = L"TarvelHost.ShowYourself";
inline constexpr wchar_t kQuitMessageName[] = L"TarvelHost.Quit";
inline constexpr wchar_t kSettingsMessageName[] = L"TarvelHost.Settings";

// What the window hears, as calls.  The icon may not exist yet when they
// come (a start that failed shows its message box with the window alive).
struct TrayWindowEvents {
    std::function<void(WPARAM kind)> press;
    std::function<void()> iconClicked;
    // The menu's commands, and the pause key as TrayCommandPause.
    std::function<void(UINT command)> command;
    // Quit, "--quit", WM_CLOSE (taskkill) and the session's end, after which
    // the process may be ended as soon as the call returns.
    std::function<void()> end;
    // After resume and unlock Windows may have removed the hook.
    std::function<void(const char* reason)> hookMayBeGone;
    // A DPI (`dpi`) or display change: the icon's images, the corners moved.
    std::function<void(bool dpi)> displayChanged;
    std::function<void()> settingsAsked;
    std::function<void()> showYourself;  // a second start
    std::function<void()> taskbarCreated;
    std::function<void()> iconRetryTimer;
};

class TrayWindow {
public:
    TrayWindow() = default;
    ~TrayWindow() { Destroy(); }
    TrayWindow(const TrayWindow&) = delete;
    TrayWindow& operator=(const TrayWindow&) = delete;

    // Registers the class and creates the window: top-level and never shown
    // (the session's end is sent to top-level windows only), with the
    // registered messages and the taskbar's "TaskbarCreated" let through the
    // message filter, so that an instance running as administrator hears them
    // from programs with lower rights.  Null on failure (GetLastError says why).
    HWND Create(TrayWindowEvents events);
    // From here on it hears nothing; its WM_DESTROY ends the message loop.
    void Destroy();

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    bool DispatchShellMessage(UINT message, WPARAM wParam, LPARAM lParam);

    TrayWindowEvents m_events;
    HWND m_window = nullptr;
    UINT m_taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    UINT m_showMessage = RegisterWindowMessageW(kShowMessageName);
    UINT m_quitMessage = RegisterWindowMessageW(kQuitMessageName);
    UINT m_settingsMessage = RegisterWindowMessageW(kSettingsMessageName);
};
