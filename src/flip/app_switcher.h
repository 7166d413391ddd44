// The fallback when the window flip cannot be shown: the host's own app
// switcher, started with a localized prompt.
#pragma once

struct MacroContext;

// Starts <HostFolder>Pluggins\ZeltoAppSwitcher.exe with the host's translation
// of "HELP_QUICKSWITCH" in double quotes as its argument, and does not wait
// for it.  A HostFolder without a trailing backslash gets one; an empty one
// is the folder of the host's executable.  Failures are not reported.
void LaunchAppSwitcher(MacroContext* context);
