// The plug-in's four exported entry points, found by the host by name with
// GetProcAddress.  They are plain C functions: booleans are one byte wide, the
// handler is an IHandler pointer whose tables follow the MSVC C++ ABI
// (macro/macro.h).  A host links nothing of the plug-in: it needs only the
// pointer types at the end of this header.
//
// Call protocol, in order:
//   1. LoadLibraryW with tarvel.dll's full path (loading does no work of the
//      plug-in's: nothing starts until a handler runs), then GetProcAddress
//      for "Initialize", "GetCapability", "IsMacroSupported" and "CreateMacro".
//      A missing one means the DLL is not a macro plug-in.
//   2. Initialize() once; then GetCapability() and IsMacroSupported(name) as
//      the host wants to know them, for instance to list the macros it offers.
//   3. CreateMacro(name) for each button the macro is bound to; from then on
//      the handler's own protocol (macro/macro.h): SetHost, Execute on each
//      press, Destroy last.
//   4. FreeLibrary only once every handler has been destroyed.
// The entry points may be called from any thread, and none depends on another
// having been called first.
#pragma once

#include <stdint.h>

class IHandler;

extern "C" {

// Returns true; prepares nothing (the plug-in creates what it needs on first
// use), so calling it more than once, or not at all, changes nothing.
bool Initialize();

// Returns the plug-in's capability value, 1, always: the one value this
// plug-in answers.  Its meaning is the host's; the plug-in never reads it.
int32_t GetCapability();

// Whether a macro of this name is offered: true for "Tarvel" in any case of
// A to Z.  `name` is a NUL-terminated wide text pointer or the identifier of
// a string resource of the host's executable (a value whose bits 16 to 31
// are zero, as MAKEINTRESOURCEW makes); null, or an identifier that names no
// string, answers false.
bool IsMacroSupported(const wchar_t* name);

// A new handler for the named macro (the name as for IsMacroSupported),
// owned by the caller, who ends it with Destroy (never delete); null when the
// name is not offered or memory is short.  Each call makes a new handler, but
// the flip is one for the whole process: a flip started through one handler
// may be ended by a press through another, or by its Destroy.
IHandler* CreateMacro(const wchar_t* name);

// Pointer types for hosts that look the entry points up with GetProcAddress.
using InitializeFunction = bool (*)();
using GetCapabilityFunction = int32_t (*)();
using IsMacroSupportedFunction = bool (*)(const wchar_t*);
using CreateMacroFunction = IHandler* (*)(const wchar_t*);
}
