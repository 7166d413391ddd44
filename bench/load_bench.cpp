// Loading and unloading tarvel.dll, and creating and destroying its handler,
// against null_plugin.dll: a do-nothing plug-in of the same kind (the same
// entry points, handler base class and runtime pieces, built the same way),
// side by side in one run, rounds interleaved so that both see the same
// machine.  Handlers are ended through tarvel-bridge.dll, as a host does.
#include <windows.h>

#include <cstdio>
#include <vector>

#include "bench_clock.h"
#include "host_bridge.h"

namespace {

using CreateMacroFunction = void* (*)(const wchar_t* name);

constexpr int kLoadRounds = 200;
constexpr int kCreateRounds = 200;
constexpr int kCreatesPerRound = 100;

// LoadLibraryW, the four entry points looked up, FreeLibrary: what a host
// does to take a plug-in in and let it go.  Microseconds, or -1 on failure.
double TimeLoadAndUnload(const wchar_t* path)
{
    Stopwatch watch;
    HMODULE module = LoadLibraryW(path);
    if (module == nullptr)
        return -1;
    bool found = true;
    for (const char* name : {"Initialize", "GetCapability", "IsMacroSupported", "CreateMacro"})
        found &= GetProcAddress(module, name) != nullptr;
    FreeLibrary(module);
    return found ? watch.Microseconds() : -1;
}

// Microseconds for one CreateMacro("Tarvel") and Destroy, averaged over a round.
double TimeCreateAndDestroy(CreateMacroFunction createMacro)
{
    Stopwatch watch;
    for (int i = 0; i < kCreatesPerRound; ++i) {
        void* handler = createMacro(L"Tarvel");
        if (handler == nullptr)
            return -1;
        TbThrow thrown{};
        TbDestroy(handler, &thrown);
        if (thrown.kind != TbNoThrow)
            return -1;
    }
    return watch.Microseconds() / kCreatesPerRound;
}

CreateMacroFunction FindCreateMacro(HMODULE module)
{
    return reinterpret_cast<CreateMacroFunction>(reinterpret_cast<void*>(GetProcAddress(module, "CreateMacro")));
}

bool MeasureLoads(std::vector<double>& tarvel, std::vector<double>& null)
{
    for (int round = 0; round < kLoadRounds; ++round) {
        const double tarvelTime = TimeLoadAndUnload(L"tarvel.dll");
        const double nullTime = TimeLoadAndUnload(L"null_plugin.dll");
        if (tarvelTime < 0 || nullTime < 0)
            return false;
        tarvel.push_back(tarvelTime);
        null.push_back(nullTime);
    }
    return true;
}

bool MeasureCreates(std::vector<double>& tarvel, std::vector<double>& null)
{
    HMODULE tarvelModule = LoadLibraryW(L"tarvel.dll");
    HMODULE nullModule = LoadLibraryW(L"null_plugin.dll");
    bool ok = tarvelModule != nullptr && nullModule != nullptr;
    CreateMacroFunction tarvelCreate = ok ? FindCreateMacro(tarvelModule) : nullptr;
    CreateMacroFunction nullCreate = ok ? FindCreateMacro(nullModule) : nullptr;
    ok = tarvelCreate != nullptr && nullCreate != nullptr;
    for (int round = 0; ok && round < kCreateRounds; ++round) {
        const double tarvelTime = TimeCreateAndDestroy(tarvelCreate);
        const double nullTime = TimeCreateAndDestroy(nullCreate);
        ok = tarvelTime >= 0 && nullTime >= 0;
        tarvel.push_back(tarvelTime);
        null.push_back(nullTime);
    }
    if (tarvelModule != nullptr)
        FreeLibrary(tarvelModule);
    if (nullModule != nullptr)
        FreeLibrary(nullModule);
    return ok;
}

}  // namespace

int main()
{
    std::printf("load_bench: tarvel.dll vs. the do-nothing null_plugin.dll\n");
    std::vector<double> tarvelLoads, nullLoads, tarvelCreates, nullCreates;
    if (!MeasureLoads(tarvelLoads, nullLoads) || !MeasureCreates(tarvelCreates, nullCreates)) {
        std::printf("  a plug-in did not load, lacks an entry point or made no handler\n");
        return 1;
    }
    std::printf("  medians of %d rounds\n", kLoadRounds);
    PrintRatio("load, look up the entry points, unload", Median(tarvelLoads), Median(nullLoads), "do-nothing");
    // tarvel.dll imports ucrtbase, kernel32, user32, oleaut32 and shell32,
    // the do-nothing plug-in only ucrtbase and kernel32: whichever of them
    // this program has not loaded, each load above brings in and each unload
    // lets go.  A real host has them loaded already.
    std::vector<HMODULE> imports;
    for (const wchar_t* name : {L"ucrtbase.dll", L"kernel32.dll", L"user32.dll", L"oleaut32.dll", L"shell32.dll"})
        imports.push_back(LoadLibraryW(name));
    tarvelLoads.clear();
    nullLoads.clear();
    if (MeasureLoads(tarvelLoads, nullLoads))
        PrintRatio("the same, its system DLLs already loaded", Median(tarvelLoads), Median(nullLoads), "do-nothing",
                   1.5);
    for (HMODULE module : imports) {
        if (module != nullptr)
            FreeLibrary(module);
    }
    PrintRatio("CreateMacro(\"Tarvel\") and Destroy", Median(tarvelCreates), Median(nullCreates), "do-nothing");
    return 0;
}
