// What the tray tells its user in words: the tooltip, the balloon and About
// name the chosen trigger (a press, a long press, a corner).  Pure functions.
#pragma once

#include <string>

#include "foreground_filter.h"
#include "settings.h"

// "Press the first side button", "Hold the middle button down (300 ms)",
// with " or push the pointer into the top-left corner" for chosen corners.
std::wstring TriggerDescription(const TraySettings& settings);
// Why the start failed when Windows refused the mouse hook (`error`).
std::string HookRefusedText(unsigned long error);
std::wstring BalloonText(const TraySettings& settings);
std::wstring AboutText(const TraySettings& settings, const std::wstring& version, const std::wstring& program);
// "Tarvel: first side button, on", or paused, or let through and why
// (`excludedApplication` names the excluded application in front).
std::wstring TooltipText(const TraySettings& settings, LetThrough letThrough, const std::wstring& excludedApplication);
