// "Tarvel settings": every choice in one small window, beside the menu's
// quick ones.  Modeless, owned by the tray's window, one at a time.  It
// shows what is in force and follows changes made elsewhere while it is
// open; OK and Apply hand over only what the user changed in it
// (tray_choices.h lays that over the choices in force), and only once every
// number in it is within its range.  Apply is enabled while changes wait.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "tray_choices.h"

// What the window shows.
struct SettingsView {
    TrayChoices choices;
    std::wstring pauseKeyProblem;  // what the pause key's line says
    // The excluded applications' names as the menu shows them, in the order
    // of choices.settings.excluded.
    std::vector<std::wstring> excludedNames;
    bool desktopsExist = true;  // Windows 10 and later
};

// The view of `choices`, the excluded applications named as the menu named them.
SettingsView SettingsViewOf(const TrayChoices& choices, const std::wstring& pauseKeyProblem);

// Applies the user's edits (`shown`: the choices the window showed;
// `edited`: its controls' choices).  The instance then calls
// ShowSettingsView with what is in force.
using ApplyEdits = std::function<void(const TrayChoices& shown, const TrayChoices& edited)>;

// Opens the window, or brings the open one forward.
void OpenSettingsWindow(HWND owner, const SettingsView& current, ApplyEdits apply);
// The choices in force, for the open window (if any): a control the user
// has not edited shows the new value; an edit waiting keeps its own.
void ShowSettingsView(const SettingsView& current);
// For the message loop: true when `message` was the window's keyboard
// navigation (Tab, Enter, Escape, the underlined letters) and is done.
bool SettingsWindowMessage(MSG& message);
// The open window, or null.
HWND SettingsWindow();
// A registered hot key reaches the tray's window as WM_HOTKEY, never the
// focus as keys: the pause key pressed in the window's pause-key box is
// given to the box (true) instead of toggling Pause.  `hotKey`: WM_HOTKEY's
// lParam.
bool PauseKeyTypedInSettingsWindow(LPARAM hotKey);
