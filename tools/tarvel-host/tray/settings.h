// What the notification-area mode keeps for the user under
// HKEY_CURRENT_USER\Software\Tarvel: the button, whether the flip is paused,
// what the flip slows while it shows, the applications that keep the button
// for themselves, whether full-screen windows keep it too, the long press and
// its tap, the hot corners and the pause key.  Starting with Windows is
// autostart.h's.
#pragma once

#include <windows.h>

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
    // 0: every press flips.  Otherwise a press held this long flips and a
    // shorter click is the button's own (or the tap's).
    DWORD holdMs = 0;
    bool tapPrevious = false;  // "Tap": a short click goes to the previous window
    unsigned corners = 0;      // HotCorner bits
    DWORD cornerMs = 150;      // how long the pointer stays in a corner
    std::wstring pauseKey;     // "Ctrl+Alt+P" or empty (pause_key.h reads it)
    bool wheelSteps = true;      // "WheelSteps": the wheel steps through windows while the button is held
    bool desktopDrag = false;    // "DesktopDrag": a sideways drag with the button held changes desktops (10 and 11)
};

// The times a user may choose, in milliseconds: shorter or longer is no
// choice anyone makes.
struct MsRange {
    DWORD least;
    DWORD most;
};
inline constexpr MsRange kHoldRange{100, 5000};    // a long press (0: none)
inline constexpr MsRange kCornerRange{50, 5000};   // the pointer's stay in a corner
inline DWORD NearestInRange(DWORD ms, MsRange range)
{
    return ms < range.least ? range.least : ms > range.most ? range.most : ms;
}

// The corners' bits, and their names in "Corners" and the settings window.
enum HotCorner : unsigned { CornerTopLeft = 1, CornerTopRight = 2, CornerBottomLeft = 4, CornerBottomRight = 8 };
inline constexpr const wchar_t* kCornerNames[] = {L"top-left", L"top-right", L"bottom-left", L"bottom-right"};

// The saved settings; a value that is missing or not understood gives its
// default (the first side button, not paused, the wheel, none excluded,
// full-screen windows keep the button, every press switches, the click the
// button's own, no corners with a 150 ms dwell, no pause key, the wheel
// steps, no desktop drag).  A time outside its range gives the nearest one
// in it, and a line in `problems` that says so.
TraySettings LoadSettings(std::wstring* problems = nullptr);
// False (with the system's reason in `error`) when the registry refused.
bool SaveSettings(const TraySettings& settings, std::string& error);

// An excluded application's name as the menu showed it when it was
// excluded ("Notepad"), kept under HKEY_CURRENT_USER\Software\Tarvel\Names
// for the settings window's list: "Notepad (notepad.exe)", or the file name
// alone when no other name is known.
void RememberApplicationName(const std::wstring& file, const std::wstring& name);
std::wstring ApplicationName(const std::wstring& file);
