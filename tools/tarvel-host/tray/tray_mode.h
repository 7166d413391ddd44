// The background mode, started with no arguments (or "--logon" from the Run
// value, "--replace" from "Restart as administrator"): no console, an icon in
// the notification area with a menu, one instance per user session, the
// settings kept in the registry (tray_instance.h has the instance itself,
// tray_window.h what other copies send its window).
#pragma once

#include <windows.h>

#include <string>

#include "tray_window.h"

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
