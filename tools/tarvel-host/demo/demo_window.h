// Another application for the demonstration to bring to the front: a copy of
// the window helper program under its own file name, started from the
// folder of the demonstration's helpers.  It tells the foreground watchers itself (NotifyWinEvent),
// since Wine raises no foreground event of its own.
#pragma once

#include <windows.h>

#include <string>

// The folder of the demonstration's helper programs, with a trailing
// backslash: the one that TARVEL_DEMO_HELPERS names (scripts/demo.sh names
// the build's); empty when it names none.  They come with a build of the
// source, never with the package.
std::wstring DemoHelperFolder();
// Whether the helpers are there: the two applications and the stand-in
// explorer.exe.
bool DemoHelpersPresent();

class DemoWindow {
public:
    // Starts `program` (a file of DemoHelperFolder()) and
    // waits until its window is in front.  With a window class, the program
    // stands in for the system's switcher: it also has a window of that
    // class, which ShowSwitcher brings to the front.
    explicit DemoWindow(const std::wstring& program, const std::wstring& switcherClass = {});
    // Tells the program to end and waits for it.
    ~DemoWindow();
    DemoWindow(const DemoWindow&) = delete;
    DemoWindow& operator=(const DemoWindow&) = delete;

    bool InFront() const { return m_inFront; }
    // Brings the window to the front again; true once it is.
    bool Raise();
    // The stand-in switcher's window to the front; true once it is.
    bool ShowSwitcher();

private:
    struct Handle {
        HANDLE value = nullptr;
        ~Handle()
        {
            if (value != nullptr)
                CloseHandle(value);
        }
    };

    Handle m_raise;   // auto-reset: asks the window to come to the front
    Handle m_raised;  // auto-reset: the window says it is in front
    Handle m_exit;    // manual reset: asks the program to end
    Handle m_switcher;  // auto-reset: asks for the switcher's window
    Handle m_process;
    bool m_inFront = false;

    bool RaiseBy(HANDLE request);
};
