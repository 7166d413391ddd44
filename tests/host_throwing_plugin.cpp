// A plug-in whose handler's Execute throws, as tarvel.dll may let out an
// out-of-memory exception: the host tests point tarvel-host at it.
#include <windows.h>

#include <cwchar>
#include <stdexcept>

#include "macro/macro.h"
#include "plugin/exports.h"

namespace {

class CThrowingHandler : public CHandler {
public:
    int32_t Execute(MacroContext*) override { throw std::runtime_error("out of everything"); }
    void Destroy() override { delete this; }
};

}  // namespace

extern "C" {

bool Initialize() { return true; }

int32_t GetCapability() { return 1; }

bool IsMacroSupported(const wchar_t* name)
{
    return (reinterpret_cast<uintptr_t>(name) & 0xFFFF0000u) != 0 && std::wcscmp(name, L"Tarvel") == 0;
}

IHandler* CreateMacro(const wchar_t* name) { return IsMacroSupported(name) ? new CThrowingHandler : nullptr; }
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
