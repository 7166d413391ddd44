// The default mode: the plug-in used for real.  A low-level mouse hook runs
// the macro whenever the chosen button goes down and swallows that button;
// Ctrl+C, Ctrl+Break or closing the console ends the host cleanly.
#pragma once

#include <memory>
#include <string>

#include "plugin_library.h"

enum class MouseButton { XButton1, XButton2, Middle };

// "xbutton1", "xbutton2" or "middle" (any case); false for anything else.
bool ParseMouseButton(const std::wstring& text, MouseButton& button);
const char* MouseButtonName(MouseButton button);

// Runs `macro` of `plugin` on `button` until told to end, then destroys the
// handler and unloads the plug-in (resets `plugin`); the exit code.
int RunButtonMode(std::unique_ptr<PluginLibrary>& plugin, const std::wstring& macro, MouseButton button);
