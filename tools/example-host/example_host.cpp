// example_host.exe: the smallest complete host of tarvel.dll, for authors of
// hosts.  It does what a host program for mouse buttons does, in order:
//
//   1. loads tarvel.dll with LoadLibraryW and finds the four entry points by
//      name with GetProcAddress (nothing of the plug-in is linked);
//   2. calls Initialize, GetCapability and IsMacroSupported, then CreateMacro
//      for "Tarvel", and owns the handler it gets;
//   3. binds the handler with SetHost, under the handler's own Lock/Unlock;
//   4. calls Execute with its record of the press (MacroContext) each time
//      the "button" fires: here the Enter key in this console stands in for
//      the mouse button a real host has bound;
//   5. ends the handler with Destroy (never delete), then unloads the DLL.
//
// Its host objects are its own: the pointing device is the system's
// mouse-wheel scroll lines (one line per notch while the flip shows), the
// translator answers the one key the plug-in asks for, and the application
// object hands the device back by its identifier, also on the plug-in's
// monitor thread.
//
// Build it in the MSVC C++ ABI, release mode, from the package's sdk folder:
//   cl /std:c++20 /EHsc /GR /O2 /MD /I include example\example_host.cpp user32.lib
// (or clang-cl with the same options), and run it beside tarvel.dll, or give
// the DLL's path: example_host.exe [path\to\tarvel.dll]
#include <windows.h>

#include <stdint.h>
#include <stdio.h>
#include <wchar.h>

#include "host/host.h"
#include "macro/macro.h"
#include "plugin/exports.h"
#include "strings/res_string.h"

namespace {

constexpr uint64_t kWheelId = 1;  // this host's identifier for its one device

// The device whose setting the plug-in lowers to 1 while the flip shows and
// puts back afterwards.  The change is not saved to the user's profile, so a
// host that dies meanwhile leaves it only until the user logs off.
class WheelLines final : public IPointingDevice {
public:
    int GetSetting() override
    {
        UINT lines = 3;
        SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
        return static_cast<int>(lines);  // outside 1 to 10 the plug-in leaves it alone
    }
    void SetSetting(int value) override
    {
        SystemParametersInfoW(SPI_SETWHEELSCROLLLINES, static_cast<UINT>(value), nullptr, 0);
    }
};

// Asked for "HELP_QUICKSWITCH", the prompt of the host's app switcher, which
// the plug-in starts when desktop composition is off.
class Translator final : public ITranslator {
public:
    bool Translate(CResString key, CResString& text) override
    {
        text = key == L"HELP_QUICKSWITCH" ? L"Switch to another window" : key.c_str();
        return true;
    }  // `key` is this function's copy: the host frees it here
};

class Application final : public IApplication {
public:
    ITranslator* GetTranslator() override { return &m_translator; }
    // Called again, maybe on the plug-in's monitor thread, when a flip ends.
    IDevice* GetDevice(uint64_t deviceId) override { return deviceId == kWheelId ? &m_wheel : nullptr; }
    IDevice* Wheel() { return &m_wheel; }

private:
    Translator m_translator;
    WheelLines m_wheel;
};

// The object handed to SetHost: the three links that QueryHost follows, all
// in one object.  The Reserved slots stand for a host's own operations.
class HostChain final : public IHostObject, public IHostService, public IHostProvider {
public:
    void Reserved1() override {}
    void Reserved2() override {}
    void Reserved3() override {}
    void Reserved4() override {}
    void Reserved5() override {}
    void Reserved6() override {}
    IHostService* QueryService(uintptr_t, uintptr_t, uintptr_t) override { return this; }
    IHostProvider* GetProvider() override { return this; }
    uintptr_t GetValue() override { return 42; }
};

template <typename Function>
Function EntryPoint(HMODULE plugin, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(plugin, name)));
}

// The folder of this program, with its trailing backslash: where the plug-in
// looks for Pluggins\ZeltoAppSwitcher.exe when composition is off.
CResString ProgramFolder()
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    wchar_t* slash = length < MAX_PATH ? wcsrchr(path, L'\\') : nullptr;
    if (slash == nullptr)
        return CResString();  // empty: the plug-in takes the executable's folder itself
    slash[1] = L'\0';
    return CResString(path);
}

// One press of the bound button.  Execute answers 1 when the press started a
// flip (or the app switcher), 0 when it ended the flip that was showing.  A
// host object's exception, or ATL::CAtlException when memory is short,
// arrives here once the flip is over.
void Press(IHandler* handler, MacroContext& context)
{
    try {
        const int32_t result = handler->Execute(&context);
        wprintf(L"Execute returned %d\n", static_cast<int>(result));
    } catch (const ATL::CAtlException& error) {
        wprintf(L"Execute raised ATL::CAtlException 0x%08lX\n", static_cast<unsigned long>(static_cast<HRESULT>(error)));
    }
}

int Run(HMODULE plugin)
{
    const auto initialize = EntryPoint<InitializeFunction>(plugin, "Initialize");
    const auto getCapability = EntryPoint<GetCapabilityFunction>(plugin, "GetCapability");
    const auto isMacroSupported = EntryPoint<IsMacroSupportedFunction>(plugin, "IsMacroSupported");
    const auto createMacro = EntryPoint<CreateMacroFunction>(plugin, "CreateMacro");
    if (!initialize || !getCapability || !isMacroSupported || !createMacro) {
        wprintf(L"not a macro plug-in\n");
        return 2;
    }
    if (!initialize() || getCapability() != 1 || !isMacroSupported(L"Tarvel")) {
        wprintf(L"the plug-in does not offer the macro \"Tarvel\"\n");
        return 2;
    }
    IHandler* handler = createMacro(L"Tarvel");
    if (handler == nullptr) {
        wprintf(L"CreateMacro failed\n");
        return 2;
    }

    // Everything the handler is given outlives it: a flip may still call the
    // application object until Destroy has returned.
    Application application;
    HostChain chain;
    MacroContext context;
    context.Device = application.Wheel();
    context.Application = &application;
    context.DeviceId = kWheelId;
    context.HostFolder = ProgramFolder();

    // Lock and Unlock are CHandler's: a static_cast reaches them through the
    // handler's table, so nothing needs to be linked for them.
    CHandler* declared = static_cast<CHandler*>(handler);
    if (declared->Lock()) {
        handler->SetHost(0x7A11, static_cast<IHostObject*>(&chain));
        declared->Unlock();
    }
    wprintf(L"bound: GetHostValue %#llx, QueryHost %llu\n",
            static_cast<unsigned long long>(handler->GetHostValue()),
            static_cast<unsigned long long>(handler->QueryHost(0, 0, 0)));

    wprintf(L"Enter presses the button (a first press flips, a second ends the flip); q and Enter quit.\n");
    for (wchar_t line[16]; fgetws(line, 16, stdin) != nullptr && line[0] != L'q';)
        Press(handler, context);

    // Ends a flip still showing (the setting back, the Windows key up) and
    // frees the handler.  Reached through the virtual base, as declared.
    static_cast<IInterface*>(handler)->Destroy();
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    // A full path: a bare name would let the DLL search order pick the file.
    const CResString path = argc > 1 ? CResString(argv[1]) : ProgramFolder() + L"tarvel.dll";
    HMODULE plugin = LoadLibraryW(path.c_str());
    if (plugin == nullptr) {
        wprintf(L"cannot load %ls (error %lu)\n", path.c_str(), GetLastError());
        return 2;
    }
    const int result = Run(plugin);
    FreeLibrary(plugin);  // after every handler has been destroyed
    return result;
}
