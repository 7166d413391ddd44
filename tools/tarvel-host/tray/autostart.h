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

// Which copy is which: the setup program's copy is the one in the folder its
// Uninstall entry names; a ZIP extracted anywhere else is another copy, and
// all of them share the one Run value.
// The folder the setup program installed Tarvel to, or empty when none is.
std::wstring InstalledFolder();
// True when two paths name the same file or folder (compared without regard
// to case, as Windows compares them).
bool SamePath(const std::wstring& a, const std::wstring& b);
// True when `program` is in the installed copy's folder.
bool IsInstalledCopy(const std::wstring& program, const std::wstring& installedFolder);
// What turning "Start with Windows" on in `program` takes from another copy,
// in words for the user: whose entry it replaces (`runProgram`, what the Run
// value starts now, empty when none), and, for a copy that is not the
// installed one, that the installed copy's setup and uninstaller take the
// entry back.  Empty when it takes nothing.
std::wstring AutostartTakeover(const std::wstring& program, const std::wstring& runProgram,
                               const std::wstring& installedFolder);
// The same for this registry: read before the Run value changes.
std::wstring AutostartTakeover(const std::wstring& program);
