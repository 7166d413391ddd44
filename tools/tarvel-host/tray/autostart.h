// Starting with Windows: the value "Tarvel" of the user's Run key, which
// starts tarvel-host.exe with "--logon" (so that it shows no balloon), and
// the record Windows keeps when the user turns the entry off under Settings >
// Apps > Startup or in Task Manager (the Run value itself stays as it was).
#pragma once

#include <string>

// The Run value for `program`: its full path, quoted, and "--logon".
std::wstring AutostartCommand(const std::wstring& program);
// True when the Run value starts `program` (the path compared without regard
// to case, whatever follows it) and Windows' record does not disable it.
bool AutostartEnabled(const std::wstring& program);
// On: writes the Run value and clears a record that disables it.  Off:
// removes both.  True when the registry holds what was asked.
bool SetAutostart(bool on, const std::wstring& program);
// The full path of this executable.
std::wstring ThisProgram();
