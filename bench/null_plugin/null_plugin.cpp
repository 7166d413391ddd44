// A do-nothing macro plug-in of the same kind as tarvel.dll: the same four
// entry points, the same handler base class and the same runtime pieces, but
// no macro behind them.  Benchmarks weigh tarvel.dll against it, and the host
// tests use it as a plug-in that answers some names differently.
#include <windows.h>

#include <wchar.h>

#include "common/new.h"
#include "macro/macro.h"
#include "plugin/exports.h"

namespace {

class CNullHandler : public CHandler {
public:
    int32_t Execute(MacroContext*) override { return 0; }
    void Destroy() override { delete this; }
};

// Only the exact text "Tarvel": no folding of case, no string identifiers.
bool IsExactName(const wchar_t* name)
{
    return (reinterpret_cast<uintptr_t>(name) & 0xFFFF0000u) != 0 && wcscmp(name, L"Tarvel") == 0;
}

}  // namespace

extern "C" {

bool Initialize() { return true; }

int32_t GetCapability() { return 1; }

bool IsMacroSupported(const wchar_t* name) { return IsExactName(name); }

IHandler* CreateMacro(const wchar_t* name)
{
    return IsExactName(name) ? new (std::nothrow) CNullHandler : nullptr;
}
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
