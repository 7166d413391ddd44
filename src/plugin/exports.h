// The plug-in's four exported entry points, found by the host by name with
// GetProcAddress.  They are plain C functions: booleans are one byte wide, the
// handler is an IHandler pointer whose tables follow the MSVC C++ ABI
// (macro/macro.h).
#pragma once

#include <stdint.h>

class IHandler;

extern "C" {

// Returns true; prepares nothing.
bool Initialize();

// Returns the plug-in's capability value, 1.
int32_t GetCapability();

// Whether a macro of this name is offered.  `name` is a wide text pointer or
// the identifier of a string resource of the host's executable (a value whose
// bits 16 to 31 are zero).
bool IsMacroSupported(const wchar_t* name);

// A new handler for the named macro, owned by the caller, who ends it with
// Destroy; null when the name is not offered or memory is short.
IHandler* CreateMacro(const wchar_t* name);

// Pointer types for hosts that look the entry points up with GetProcAddress.
using InitializeFunction = bool (*)();
using GetCapabilityFunction = int32_t (*)();
using IsMacroSupportedFunction = bool (*)(const wchar_t*);
using CreateMacroFunction = IHandler* (*)(const wchar_t*);
}
