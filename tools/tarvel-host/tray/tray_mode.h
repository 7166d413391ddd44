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

// What the icon sends its window: the shell's report of a click on it (the
// mouse message in the low word of lParam), as any program may send it.
inline constexpr UINT kTrayIconMessage = WM_APP + 1;

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

// What a start without its DLLs (from inside the ZIP, as a rule) says first.
inline constexpr char kExtractFirst[] =
    "Extract the whole ZIP first: right-click the ZIP file, choose \"Extract All\", and start "
    "tarvel-host.exe from the folder you extracted it to (tarvel.dll, tarvel-bridge.dll and the folder tarvel-host must stay beside it).";

// A problem at start, in a message box (a double click has no console), and
// on standard error too when there is one.
void ReportFailure(const std::string& error);
// Starts this program as administrator to take this instance's place; says
// why in a message box if it cannot (the user's "no" to the prompt aside).
void RestartElevated(HWND window);
// Opens README.txt beside the program with the user's program for text,
// else with Notepad; says it is not there only when the file is missing.
void OpenReadme(HWND window);
// True only for an administrator whose token Windows split, running with its
// limited half: "runas" then starts Tarvel for the same account with full
// rights.  A standard user's (an unsplit token) would be asked for another
// account's password and start that account's Tarvel, with its settings and
// its Run value, in place of this one; an elevated copy has nothing to gain.
bool CanRestartElevated();
// A message box titled "Tarvel".
void Tell(HWND window, const std::wstring& text, UINT icon = MB_ICONINFORMATION);
// A line on standard output, only where someone reads it: started with its
// output redirected (a script, the tests); from Explorer it has nowhere to go.
void Say(const char* format, const std::string& text);
