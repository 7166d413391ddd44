// The background mode, started with no arguments: no console, an icon in the
// notification area with a menu (the button, Pause, Start with Windows,
// Quit), one instance per user session, the settings kept in the registry.
// Quit, "--quit", WM_CLOSE (taskkill) and the end of the session all end it
// the same way: the hook removed, the icon gone, the handler destroyed, the
// plug-in unloaded, the Windows key up and the pointer speed back.
#pragma once

// The class of the instance's hidden top-level window: what "--quit" looks
// for, and what receives the session's end (a message-only window would not).
inline constexpr wchar_t kTrayWindowClass[] = L"TarvelHostTray";

// The menu's commands, as WM_COMMAND identifiers.
enum TrayCommand : unsigned {
    TrayCommandXButton1 = 101,
    TrayCommandXButton2 = 102,
    TrayCommandMiddle = 103,
    TrayCommandPause = 110,
    TrayCommandAutostart = 111,
    TrayCommandQuit = 112,
};

// Runs until told to end; the exit code.  Another instance already running
// makes this one end at once with 0.
int RunTrayMode();
// Asks the running instance to end and waits for it: 0 when it ended, 1
// when none ran (or it did not end in time).
int QuitRunningInstance();
