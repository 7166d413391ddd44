// The fallback when the window flip cannot be shown: the host's own app
// switcher, started with a localized prompt.
#pragma once

struct MacroContext;

// Starts <HostFolder>Pluggins\ZeltoAppSwitcher.exe with the host's translation
// of "HELP_QUICKSWITCH" in double quotes as its argument, and does not wait
// for it.  Failures are not reported.
void LaunchAppSwitcher(MacroContext* context);
