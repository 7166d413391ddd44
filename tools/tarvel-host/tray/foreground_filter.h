// Whether the button is to reach the application in front untouched, and
// why: while a full-screen game or presentation runs (side buttons are bound
// in many games, and Windows+Tab would throw the player out), in a window
// that covers its monitor while the shell reports it busy (a borderless game,
// but also a video or a browser's full screen: the user's choice), and in
// the applications the user excluded.  Never while the system's switcher is
// in front: the button is how the user closes it, whatever was excluded.
// The tray keeps this one answer current on each foreground change and on
// each move or resize of the window in front (a game goes full screen without
// a change of window); the mouse hook only reads a flag, never looks up a
// process itself.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "common/unique_handle.h"

using UniqueWinEventHook = UniqueAny<HWINEVENTHOOK, &::UnhookWinEvent>;

// Why the button is let through, if it is.
enum class LetThrough { No, Game, Presentation, Excluded, FullScreenWindow };

// The shell's report and the window in front, to the answer: a D3D game in
// full screen and a presentation always; an excluded application; the
// shell's "busy" only for a window that covers its monitor, and only when
// the user lets the button through in full-screen windows.  The switcher in
// front overrides all of them.
LetThrough DecideLetThrough(QUERY_USER_NOTIFICATION_STATE shell, bool switcherInFront, bool excluded,
                            bool coversMonitor, bool letThroughFullScreen);

class ForegroundFilter {
public:
    // `changed` runs on the calling thread, which must pump messages, after
    // each foreground change and each move of the window in front.  One per
    // process.
    explicit ForegroundFilter(std::function<void()> changed);
    ~ForegroundFilter();
    ForegroundFilter(const ForegroundFilter&) = delete;
    ForegroundFilter& operator=(const ForegroundFilter&) = delete;

    // Looks at the foreground and the shell's state again, with `excluded`
    // the file names (lower case) that keep the button.
    void Update(const std::vector<std::wstring>& excluded, bool letThroughFullScreen);
    // Update, and true when the answer (or the excluded application it
    // names) differs from the last one Refresh gave, which it then says on
    // the output.
    bool Refresh(const std::vector<std::wstring>& excluded, bool letThroughFullScreen);
    // The next Refresh compares with "not let through" (a new hook starts so).
    void Forget() { m_told = LetThrough::No, m_toldName.clear(); }
    bool PassThrough() const { return m_letThrough != LetThrough::No; }
    LetThrough Reason() const { return m_letThrough; }
    // The application a press goes to, lower case, "" if unknown: the one in
    // front (a Store app by its own process, not by the frame host they all
    // share), or the last one while this program's own window or the taskbar
    // is in front (after the icon's menu has closed, until the user clicks
    // an application), so that a choice in the menu applies at once.
    const std::wstring& FrontApplication() const { return m_pressName; }
    // The last application in front that the user can exclude: neither this
    // program, the taskbar, an app switcher nor the system's switcher, which
    // a click on the icon or a press puts in front.  "" if none.
    const std::wstring& LastApplication() const { return m_lastApplication; }
    // Its name for people: the description in its version record, else its
    // file name.
    const std::wstring& LastApplicationTitle() const { return m_lastTitle; }
    // The last application read again from the windows on screen: the
    // topmost visible, unminimised window that is an application's (as
    // above); none when the desktop comes first.  For the menu, which puts
    // this program in front: what was in front at the last report may be
    // long gone.
    void ReadLastApplication();

private:
    static void CALLBACK OnEvent(HWINEVENTHOOK hook, DWORD event, HWND window, LONG object, LONG child,
                                 DWORD thread, DWORD time) noexcept;
    // Moves of the window in front are watched on its own thread only: a
    // browser's or a game's other threads move things all the time.
    void WatchFrontWindow(HWND window);
    // An application the user can exclude: its name and title taken.
    bool TakeAsLastApplication(HWND window);

    std::function<void()> m_changed;
    UniqueWinEventHook m_foregroundHook;
    UniqueWinEventHook m_locationHook;  // EVENT_OBJECT_LOCATIONCHANGE of m_locationThread
    DWORD m_locationThread = 0;
    std::wstring m_lastApplication;
    std::wstring m_lastTitle;
    HWND m_front = nullptr;  // the window of m_frontName: looked up again only when it changes
    std::wstring m_frontName;
    bool m_switcherInFront = false;
    bool m_frontOurs = false;  // m_front is this program's window or the taskbar
    std::wstring m_pressName;
    LetThrough m_letThrough = LetThrough::No;
    LetThrough m_told = LetThrough::No;  // the answer Refresh gave last
    std::wstring m_toldName;             // the excluded application it named
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
