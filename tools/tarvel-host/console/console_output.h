// tarvel-host is a Windows-subsystem program, so that the background mode
// shows no console window.  The console options still print where the caller
// reads: a pipe or a file they were given stays as it is; otherwise the
// output goes to the console of the program that started them.
#pragma once

// Attaches to the caller's console when standard output or error goes
// nowhere, and points them (of this program and of the plug-in's C runtime)
// at it.  With `ownConsole`, a host started without a console gets one of its
// own, so that Ctrl+C and closing the window reach it.
void ConnectToCallersConsole(bool ownConsole);

// Whether standard output reaches anyone (a console, a pipe or a file) once
// ConnectToCallersConsole has run: started from Win+R, a shortcut or a
// program without a console, it does not.
bool OutputHasReader();
