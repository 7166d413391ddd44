// The one line the plug-in writes to its host's standard output: for each
// foreground change a flip looks at, "Foreground changed (<name>)".
#pragma once

// Writes the line for `name` (at most 1024 characters) to the C runtime's
// standard output, in the form that output takes: see the definition.
void WriteForegroundLine(const wchar_t* name);
