// A plug-in whose handler's Execute throws, as tarvel.dll lets out an
// out-of-memory exception: the host tests point tarvel-host at it.
#include <windows.h>

#include <wchar.h>

#include "common/new.h"
#include "macro/macro.h"
#include "plugin/exports.h"
#include "strings/atl_exception.h"

namespace {

class CThrowingHandler : public CHandler {
public:
    int32_t Execute(MacroContext*) override { ATL::AtlThrow(E_OUTOFMEMORY); }
    void Destroy() override { delete this; }
};

}  // namespace

extern "C" {

bool Initialize() { return true; }

int32_t GetCapability() { return 1; }

bool IsMacroSupported(const wchar_t* name)
{
    return (reinterpret_cast<uintptr_t>(name) & 0xFFFF0000u) != 0 && wcscmp(name, L"Tarvel") == 0;
}

IHandler* CreateMacro(const wchar_t* name)
{
    return IsMacroSupported(name) ? new (std::nothrow) CThrowingHandler : nullptr;
}
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
