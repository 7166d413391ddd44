// What the notification-area mode keeps for the user under
// HKEY_CURRENT_USER\Software\Tarvel: the button, whether the flip is paused,
// what the flip slows while it shows, the applications that keep the button
// for themselves, and whether full-screen windows keep it too.  Starting with Windows is autostart.h's.
#pragma once

#include <string>
#include <vector>

#include "button_hook.h"

// What the flip turns down while it shows: the wheel's scroll lines (one line
// a notch, which picking in the switcher does not mind) or the pointer speed.
enum class FlipDevice { Wheel, Pointer };

struct TraySettings {
    MouseButton button = MouseButton::XButton1;
    bool paused = false;
    FlipDevice device = FlipDevice::Wheel;
    // Executable file names, lower case ("notepad.exe"), where the button
    // reaches the application untouched.
    std::vector<std::wstring> excluded;
    // A window that covers its monitor while the shell reports it busy (a
    // borderless game, a video, a browser's full screen) keeps the button.
    bool letThroughFullScreen = true;
};

// The saved settings; a value that is missing or not understood gives its
// default (the first side button, not paused, the wheel, none excluded,
// full-screen windows keep the button).
TraySettings LoadSettings();
// False (with the system's reason in `error`) when the registry refused.
bool SaveSettings(const TraySettings& settings, std::string& error);
