// Whether desktop composition is on, asked of the desktop window manager's
// library at run time (it may be missing).
#pragma once

// True when "dwmapi.dll" from the system folder answers that composition is on;
// false when the library or its entry point is missing, or it answers off.
bool IsCompositionEnabled();
