// The owner of the tray's choices: a menu command, or the settings window's
// OK, turned into the new choices and the set of what changed; and saved.
// The running instance applies what changed (tray_instance.h).  All but
// SaveChoices are pure functions.
#pragma once

#include <windows.h>

#include <string>

#include "settings.h"

// Every choice: the registry's settings, and Start with Windows (the Run
// value, autostart.h).
struct TrayChoices {
    TraySettings settings;
    bool autostart = false;
};

// What changed between two sets of choices: bits of ChoiceChange.
enum ChoiceChange : unsigned {
    ChangedButton = 1u << 0,
    ChangedTrigger = 1u << 1,  // the long press and its tap
    ChangedPause = 1u << 2,
    ChangedDevice = 1u << 3,
    ChangedExclusions = 1u << 4,
    ChangedCorners = 1u << 5,  // which, and the stay
    ChangedPauseKey = 1u << 6,
    ChangedAutostart = 1u << 7,
    ChangedFullScreen = 1u << 8,
    ChangedWheelSteps = 1u << 9,
    ChangedDesktopDrag = 1u << 10,
};
unsigned ChangesBetween(const TrayChoices& before, const TrayChoices& after);

// The choices after the menu's `command` (tray_menu.h); `application` is the
// one the menu named, which its exclusion item excludes or admits again.
// Commands that change no choice leave them as they are.
TrayChoices ChooseFromMenu(TrayChoices current, UINT command, const std::wstring& application);
// The settings window's OK or Apply: what the user changed there (from
// `shown`, what the window showed, to `edited`) laid over `current`, so that
// whatever changed elsewhere meanwhile (the menu, the pause key) stands.
// The window follows such a change the same way, with its controls'
// values as `edited`.
TrayChoices ChooseFromWindow(TrayChoices current, const TrayChoices& shown, const TrayChoices& edited);

// A time typed into the settings window.
struct TypedMs {
    DWORD ms = 0;
    std::wstring problem;  // "" when the text is a number within the range
};
TypedMs ReadTypedMs(const std::wstring& text, MsRange range);

// Whether Apply has something to do: a change, or a number to refuse.
bool ApplyWaits(const TrayChoices& shown, const TrayChoices& edited, bool numberRefused);

// Whether the desktop drag can be chosen: virtual desktops exist from Windows 10.
bool DesktopDragAvailable();

// Writes what changed (the registry's settings and the Run value); false,
// with what to tell the user, when the registry refused.
bool SaveChoices(const TrayChoices& choices, unsigned changes, std::wstring& problem);
