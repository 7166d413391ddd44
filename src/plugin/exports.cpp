#include "plugin/exports.h"

#include "plugin/macro_table.h"

extern "C" {

bool Initialize()
{
    return true;
}

int32_t GetCapability()
{
    return 1;
}

bool IsMacroSupported(const wchar_t* name)
{
    return FindMacro(name) != nullptr;
}

IHandler* CreateMacro(const wchar_t* name)
{
    const MacroTableEntry* row = FindMacro(name);
    return row != nullptr ? row->factory() : nullptr;
}
}
