// The icon's menu, in its users' words: the button that switches windows,
// what slows while they choose a window, the wheel's steps and the drag to
// another desktop, the application that keeps the button, whether
// full-screen windows keep it, Pause, Start with Windows,
// Restart as administrator, Settings (every other choice), About, the README
// and Quit.  Each item sends its command to the tray's window as WM_COMMAND.
#pragma once

#include <windows.h>

#include <string>

#include "settings.h"
#include "shell_actions.h"

enum TrayCommand : unsigned {
    TrayCommandXButton1 = 101,
    TrayCommandXButton2 = 102,
    TrayCommandMiddle = 103,
    TrayCommandPause = 110,
    TrayCommandAutostart = 111,
    TrayCommandQuit = 112,
    // Excludes, or admits again, the application in front before the menu.
    TrayCommandExclude = 113,
    TrayCommandFullScreen = 114,
    TrayCommandWheelSteps = 115,
    TrayCommandDesktopDrag = 116,
    TrayCommandSlowWheel = 120,
    TrayCommandSlowPointer = 121,
    TrayCommandRestartElevated = 130,
    TrayCommandAbout = 131,
    TrayCommandReadme = 132,
    TrayCommandSettings = 133,
};

struct TrayMenuState {
    const TraySettings& settings;
    bool autostart;
    std::wstring application;  // the application in front before, file name, "" if none
    std::wstring title;        // its name for people ("Notepad")
    Elevation elevation;       // "Restart as administrator", or how to get there
    bool desktopsExist;        // Windows 10 and later: virtual desktops to drag to
};

// Opens the menu at the pointer and returns once it is closed.
void ShowTrayMenu(HWND window, const TrayMenuState& state);
