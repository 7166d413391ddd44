// The console's button mode: the plug-in used for real from a console.  A
// low-level mouse hook runs the macro whenever the chosen button goes down
// and swallows that button; Ctrl+C, Ctrl+Break or closing the console ends
// the host cleanly.
#pragma once

#include <memory>
#include <string>

#include "button_hook.h"
#include "plugin_library.h"

// Runs `macro` of `plugin` on `button` until told to end, then destroys the
// handler and unloads the plug-in (takes `plugin`); the exit code.
int RunButtonMode(std::unique_ptr<PluginLibrary>& plugin, const std::wstring& macro, MouseButton button);
