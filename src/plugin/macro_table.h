// The constant table of the macros this plug-in offers, searched by name
// without regard to case.
#pragma once

#include <stdint.h>

class IHandler;

using MacroFactory = IHandler* (*)();

struct MacroTableEntry {
    const wchar_t* name;   // null ends the table
    MacroFactory factory;  // creates a new handler, or null when out of memory
};

// The table, ended by a row whose name is null.
extern const MacroTableEntry MacroTable[];

// The first row whose name equals `name` without regard to case, or null.
// `name` is a text pointer or a string-resource identifier of the host
// executable; null matches nothing.
const MacroTableEntry* FindMacro(const wchar_t* name);

// Compares a and b code unit by code unit after lowering A to Z to a to z, as
// the classic locale does; 0 when equal.
int32_t CompareNoCase(const wchar_t* a, const wchar_t* b);
