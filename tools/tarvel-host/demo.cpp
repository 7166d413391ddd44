#include "demo.h"

#include <cstdint>

#include "host_objects.h"
#include "host_strings.h"
#include "transcript.h"

namespace {

const wchar_t* ResourceName(unsigned identifier) { return MAKEINTRESOURCEW(identifier); }

// The text of entry `identifier` of this executable's string table, for the transcript.
std::string TableText(unsigned identifier)
{
    const wchar_t* text = nullptr;
    const int length = LoadStringW(GetModuleHandleW(nullptr), identifier, reinterpret_cast<wchar_t*>(&text), 0);
    return length > 0 ? Quote(std::wstring(text, static_cast<size_t>(length)).c_str()) : "(no entry)";
}

const char* Supported(bool supported) { return supported ? "supported" : "not supported"; }

void ShowEntryPoints(PluginLibrary& plugin, Transcript& transcript)
{
    transcript.Section("Entry points");
    transcript.Step(plugin.Initialize(), "Initialize() returned true");
    const int32_t capability = plugin.GetCapability();
    transcript.Step(capability == 1, "GetCapability() returned %d", static_cast<int>(capability));
}

void ShowSpellings(PluginLibrary& plugin, Transcript& transcript)
{
    transcript.Section("Which spellings of the name are supported");
    struct TextCase {
        const wchar_t* name;
        bool expected;
    };
    for (const TextCase& test : {TextCase{L"Tarvel", true}, TextCase{L"tarvel", true},
                                 TextCase{L"TARVEL", true}, TextCase{L"Tarve", false},
                                 TextCase{L"Tarvel ", false}}) {
        const bool supported = plugin.IsMacroSupported(test.name);
        transcript.Step(supported == test.expected, "as text %-10s %s", Quote(test.name).c_str(),
                        Supported(supported));
    }
    struct ResourceCase {
        unsigned identifier;
        bool expected;
    };
    for (const ResourceCase& test : {ResourceCase{IDS_NAME_TARVEL, true}, ResourceCase{IDS_NAME_MIXED_CASE, true},
                                     ResourceCase{IDS_NAME_NEAR_MISS, false}, ResourceCase{IDS_NAME_ABSENT, false}}) {
        const bool supported = plugin.IsMacroSupported(ResourceName(test.identifier));
        transcript.Step(supported == test.expected, "as string %u of the host's table, %s: %s", test.identifier,
                        TableText(test.identifier).c_str(), Supported(supported));
    }
}

void ShowHandlerLifecycle(PluginLibrary& plugin, Transcript& transcript)
{
    transcript.Section("A handler's life");
    IHandler* handler = plugin.CreateMacro(L"Tarvel");
    if (!transcript.Step(handler != nullptr, "CreateMacro(\"Tarvel\") returned a handler"))
        return;
    CHandler* base = static_cast<CHandler*>(handler);

    HostServiceChain hostObject;
    constexpr uintptr_t hostValue = 0x5EED;
    handler->SetHost(hostValue, static_cast<IHostObject*>(&hostObject));
    transcript.Step(handler->GetHostValue() == hostValue, "SetHost bound it: GetHostValue() returned 0x%llx",
                    static_cast<unsigned long long>(handler->GetHostValue()));
    const uintptr_t answer = handler->QueryHost(1, 2, 3);
    transcript.Step(answer == HostServiceChain::ProviderValue, "QueryHost followed the host's chain to 0x%llx",
                    static_cast<unsigned long long>(answer));

    const bool locked = base->Lock();
    transcript.Step(locked, "Lock() returned true");
    if (locked)
        transcript.Step(base->Unlock(), "Unlock() returned true");

    static_cast<IInterface*>(handler)->Destroy();
    transcript.Note("Destroy() ended the handler");
}

}  // namespace

bool RunDemo(PluginLibrary& plugin)
{
    Transcript transcript;
    std::printf("tarvel-host demo of %s\n", Narrow(plugin.Path()).c_str());
    ShowEntryPoints(plugin, transcript);
    ShowSpellings(plugin, transcript);
    ShowHandlerLifecycle(plugin, transcript);
    return transcript.Finish();
}
