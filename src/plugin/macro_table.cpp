#include "plugin/macro_table.h"

#include <locale>
#include <new>

#include "flip/tarvel_handler.h"
#include "strings/res_string.h"

namespace {

IHandler* CreateTarvelHandler()
{
    return new (std::nothrow) CTarvelHandler();
}

}  // namespace

const MacroTableEntry MacroTable[] = {
    {L"Tarvel", &CreateTarvelHandler},
    {nullptr, nullptr},
};

int32_t CompareNoCase(const wchar_t* a, const wchar_t* b)
{
    // A fresh copy per comparison: the host may change the global locale.
    const std::locale locale;
    const auto& facet = std::use_facet<std::ctype<wchar_t>>(locale);
    int32_t lowerA = 0;
    int32_t lowerB = 0;
    do {
        lowerA = static_cast<uint16_t>(facet.tolower(*a++));
        lowerB = static_cast<uint16_t>(facet.tolower(*b++));
    } while (lowerA != 0 && lowerA == lowerB);
    return lowerA - lowerB;
}

const MacroTableEntry* FindMacro(const wchar_t* name)
{
    const CResString text(name);
    for (const MacroTableEntry* row = MacroTable; row->name != nullptr; ++row) {
        if (CompareNoCase(text.c_str(), row->name) == 0)
            return row;
    }
    return nullptr;
}
