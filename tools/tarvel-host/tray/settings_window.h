// "Tarvel settings": every choice in one small window, beside the menu's
// quick ones.  Modeless, owned by the tray's window, one at a time; OK and
// Apply hand the choices to the running instance, which applies them at
// once, and show what it answers about the pause key.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "settings.h"

struct SettingsChoices {
    TraySettings settings;
    bool autostart = false;
};

// Applies the choices; returns what the window is to say under the pause key
// ("" when it was registered or none was chosen).
using ApplyChoices = std::function<std::wstring(const SettingsChoices&)>;

// Opens the window, or brings the open one forward.  `pauseKeyProblem` is
// what the pause key's line says at first.
void OpenSettingsWindow(HWND owner, const SettingsChoices& current, const std::wstring& pauseKeyProblem,
                        ApplyChoices apply);
// For the message loop: true when `message` was the window's keyboard
// navigation (Tab, Enter, Escape, the underlined letters) and is done.
bool SettingsWindowMessage(MSG& message);
// The open window, or null.
HWND SettingsWindow();
