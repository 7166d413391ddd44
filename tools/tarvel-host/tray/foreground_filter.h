// Whether the button is to reach the application in front untouched: while a
// full-screen game or presentation runs (side buttons are bound in many
// games, and Windows+Tab would throw the player out), and in the applications
// the user excluded.  The tray keeps this one answer current on each
// foreground change and on the watchdog's tick (a game can go full screen
// without a change); the mouse hook only reads a flag, never looks up a
// process itself.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "common/unique_handle.h"

using UniqueWinEventHook = UniqueAny<HWINEVENTHOOK, &::UnhookWinEvent>;

class ForegroundFilter {
public:
    // `changed` runs on the calling thread, which must pump messages, after
    // each foreground change.  One per process.
    explicit ForegroundFilter(std::function<void()> changed);
    ~ForegroundFilter();
    ForegroundFilter(const ForegroundFilter&) = delete;
    ForegroundFilter& operator=(const ForegroundFilter&) = delete;

    // Looks at the foreground and the shell's state again, with `excluded`
    // the file names (lower case) that keep the button.
    void Update(const std::vector<std::wstring>& excluded);
    bool PassThrough() const { return m_fullScreen || m_excluded; }
    bool FullScreen() const { return m_fullScreen; }
    // The application a press goes to, lower case, "" if unknown: the one in
    // front, or the last one while this program's own window or the taskbar
    // is in front (after the icon's menu has closed, until the user clicks
    // an application), so that a choice in the menu applies at once.
    const std::wstring& FrontApplication() const { return m_pressName; }
    // The last application in front that the user can exclude: neither this
    // program, the taskbar, the app switcher nor the system's switcher, which
    // a click on the icon or a press puts in front.  "" if none.
    const std::wstring& LastApplication() const { return m_lastApplication; }
    // Its name for people: the description in its version record, else its
    // file name.
    const std::wstring& LastApplicationTitle() const { return m_lastTitle; }

private:
    static void CALLBACK OnForeground(HWINEVENTHOOK hook, DWORD event, HWND window, LONG object, LONG child,
                                      DWORD thread, DWORD time) noexcept;

    std::function<void()> m_changed;
    UniqueWinEventHook m_hook;
    std::wstring m_lastApplication;
    std::wstring m_lastTitle;
    HWND m_front = nullptr;  // the window of m_frontName: looked up again only when it changes
    std::wstring m_frontName;
    bool m_frontOurs = false;  // m_front is this program's window or the taskbar
    std::wstring m_pressName;
    bool m_fullScreen = false;
    bool m_excluded = false;
};

// The executable file name of the process that owns `window`, lower case;
// "" when it cannot be read (an elevated process is readable with the
// limited right this asks for).
std::wstring ExecutableNameOf(HWND window);
// The full path of the program that owns `window`; "" when it cannot be read.
std::wstring ExecutablePathOf(HWND window);
// The description in the version record of the program at `path` (what
// Task Manager shows, "Notepad"), else its file name.
std::wstring ApplicationTitle(const std::wstring& path);
