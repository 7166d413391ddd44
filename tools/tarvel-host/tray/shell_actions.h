// What the tray asks of the shell and tells the user: open the README,
// restart as administrator, report a failure, a message box, a line for
// whoever reads the output.
#pragma once

#include <windows.h>

#include <string>

// A problem at start, in a message box (a double click has no console), and
// on standard error too when there is one.
void ReportFailure(const std::string& error);
// Starts this program as administrator to take this instance's place; says
// why in a message box if it cannot (the user's "no" to the prompt aside).
void RestartElevated(HWND window);
// Opens README.txt beside the program with the user's program for text,
// else with Notepad; says it is not there only when the file is missing.
void OpenReadme(HWND window);

// What the menu offers about running as administrator.
enum class Elevation {
    Pointless,  // a standard user's or an elevated copy: nothing to offer
    Offered,    // "Restart as administrator"
    // A copy in a folder the user can change: elevated, it would run
    // whatever any of the user's programs planted there.
    NeedsInstalledCopy,
};
// Only an administrator whose token Windows split, running with its limited
// half, gains by "runas" (a standard user would be asked for another
// account's password and start that account's Tarvel in place of this one);
// and only a copy under Program Files, which users cannot change, is worth
// elevating.
Elevation ElevationFor(bool limitedAdministrator, bool underProgramFiles);
Elevation ElevationOfThisCopy();
// True when `path` lies in `folder` or below it (compared without regard to
// case; `folder` without a trailing separator).
bool IsPathInFolder(const std::wstring& path, const std::wstring& folder);

// A message box titled "Tarvel".
void Tell(HWND window, const std::wstring& text, UINT icon = MB_ICONINFORMATION);
// A line on standard output, only where someone reads it: started with its
// output redirected (a script, the tests); from Explorer it has nowhere to go.
void Say(const char* format, const std::string& text);
