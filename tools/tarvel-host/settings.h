// What the notification-area mode keeps for the user: the button and whether
// the flip is paused, under HKEY_CURRENT_USER\Software\Tarvel, and starting
// with Windows, the value "Tarvel" of the user's Run key.
#pragma once

#include <string>

#include "button_hook.h"

struct TraySettings {
    MouseButton button = MouseButton::XButton1;
    bool paused = false;
};

// The saved settings; a value that is missing or not understood gives its
// default (the first side button, not paused).
TraySettings LoadSettings();
// False when the registry refused.
bool SaveSettings(const TraySettings& settings);

// Whether the Run value names this executable.
bool AutostartEnabled();
// Writes the Run value (the quoted full path of this executable) or removes
// it; true when the registry holds what was asked.
bool SetAutostart(bool on);
