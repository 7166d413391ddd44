// The icon in the notification area, kept there through what the shell does
// to it: at logon the notification area may not answer yet (the icon is asked
// for again on a timer, which ends once it is shown); "TaskbarCreated" comes
// after Explorer restarts, but also after a DPI change or a remote desktop
// connection while the icon still exists (NIM_ADD then fails and NIM_MODIFY
// is what works); every end deletes it, whatever the record says.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "common/unique_handle.h"

// Shell_NotifyIconW, or a stand-in with its signature.
using NotifyIconFunction = BOOL(WINAPI*)(DWORD action, NOTIFYICONDATAW* data);

class TrayIcon {
public:
    static constexpr UINT kId = 1;
    static constexpr UINT_PTR kRetryTimer = 1;  // a timer of the window
    static constexpr UINT kRetryMs = 2000;
    static constexpr int kRetries = 15;

    // The icon of `window`, which receives `callbackMessage` for clicks and
    // forwards its kRetryTimer to OnRetryTimer.
    TrayIcon(HWND window, UINT callbackMessage, NotifyIconFunction notify = &Shell_NotifyIconW);
    ~TrayIcon() { Remove(); }
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    // Shows the icon (grey when `paused`) with `tooltip`, or changes it.
    void Show(bool paused, const std::wstring& tooltip);
    // Shows a balloon from the icon once it is there (now, or when a retry
    // brings it).
    void ShowBalloon(const std::wstring& title, const std::wstring& text);
    void OnTaskbarCreated();
    void OnRetryTimer();
    // The images again, at the size the shell now asks for.
    void OnDpiChanged();
    // Deletes the icon and stops asking for it.
    void Remove();

    // False while the shell would not show a balloon (Focus Assist, quiet
    // hours, a full-screen window).
    static bool ShellShowsBalloons();
    bool Shown() const { return m_shown; }
    bool RetryPending() const { return m_retryPending; }
    bool BalloonWaiting() const { return m_balloonWaiting; }

private:
    NOTIFYICONDATAW Data(UINT flags) const;
    bool Send(DWORD action, UINT flags);
    // NIM_ADD, or NIM_MODIFY for an icon that exists already; on failure,
    // asked for again on the timer.
    void Add();
    void StopRetrying();
    void LoadIconImage();
    // The balloon, if one is waiting and the icon is there.
    void FlushBalloon();

    HWND m_window;
    UINT m_callbackMessage;
    NotifyIconFunction m_notify;
    UniqueAny<HICON, &::DestroyIcon> m_image;
    bool m_paused = false;
    std::wstring m_tooltip;
    bool m_shown = false;
    bool m_retryPending = false;  // the timer runs; a tick queued after KillTimer finds this false
    int m_retriesLeft = kRetries;
    bool m_balloonWaiting = false;
    std::wstring m_balloonTitle;
    std::wstring m_balloonText;
};
