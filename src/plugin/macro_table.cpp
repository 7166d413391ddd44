#include "plugin/macro_table.h"

#include "common/new.h"
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

namespace {

// As the classic locale folds: A to Z only.
int32_t LowerUnit(wchar_t unit)
{
    return unit >= L'A' && unit <= L'Z' ? unit - L'A' + L'a' : static_cast<uint16_t>(unit);
}

}  // namespace

int32_t CompareNoCase(const wchar_t* a, const wchar_t* b)
{
    int32_t lowerA = 0;
    int32_t lowerB = 0;
    do {
        lowerA = LowerUnit(*a++);
        lowerB = LowerUnit(*b++);
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
