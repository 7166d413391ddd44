// The background mode, started with no arguments (or "--logon" from the Run
// value, "--replace" from "Restart as administrator"): no console, an icon in
// the notification area with a menu, one instance per user session, the
// settings kept in the registry (tray_instance.h has the instance itself).
#pragma once

#include <windows.h>

#include <string>

#include "tray_menu.h"

// The class of the instance's hidden top-level window: what "--quit" and a
// second start look for, and what receives the session's end (a
// message-only window would not).
inline constexpr wchar_t kTrayWindowClass[] = L"TarvelHostTray";

struct TrayStart {
    bool logon = false;     // started by the Run value: no balloon
    bool replace = false;   // end the running instance and take its place
    bool settings = false;  // "--settings": the settings window, of the running instance if there is one
};

// Runs until told to end; the exit code.  Another instance already running
// is asked to show its balloon again (or its settings window), and this one
// ends at once with 0.
int RunTrayMode(const TrayStart& start);
// Asks the running instance to end and waits for it: 0 when it ended, 1
// when none ran (or it did not end in time).
int QuitRunningInstance();

// A problem at start, in a message box (a double click has no console), and
// on standard error too when there is one.
void ReportFailure(const std::string& error);
// Starts this program as administrator to take this instance's place; says
// why in a message box if it cannot (the user's "no" to the prompt aside).
void RestartElevated(HWND window);
// Opens README.txt beside the program, or says it is not there.
void OpenReadme(HWND window);
// Whether this process runs as administrator.
bool RunsElevated();
// A message box titled "Tarvel".
void Tell(HWND window, const std::wstring& text, UINT icon = MB_ICONINFORMATION);
// A line on standard output, only where someone reads it: started with its
// output redirected (a script, the tests); from Explorer it has nowhere to go.
void Say(const char* format, const std::string& text);
