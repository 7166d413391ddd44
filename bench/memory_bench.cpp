// The memory tarvel.dll adds to its host, as private bytes: loaded, with a
// handler, and with a flip started so that its foreground monitor (a thread,
// its hook, its message queue) runs; the do-nothing null_plugin.dll loaded
// and given a handler the same way, side by side; and the two files' sizes.
#include <windows.h>

#include <cstdio>
#include <vector>

#include "bench_clock.h"
#include "bench_host.h"
#include "macro/macro.h"
#include "plugin/exports.h"
#include "soak_figures.h"
#include "support/foreground_switcher.h"

namespace {

double KiB(long long bytes) { return static_cast<double>(bytes) / 1024.0; }

long long Added(const ProcessFigures& from, const ProcessFigures& to)
{
    return static_cast<long long>(to.privateBytes) - static_cast<long long>(from.privateBytes);
}

long long FileSize(const wchar_t* path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

struct Footprint {
    long long loaded = 0;       // after LoadLibraryW
    long long withHandler = 0;  // after CreateMacro as well
    long long running = 0;      // after a press (tarvel.dll: its monitor runs)
    bool ok = false;
};

// Loads `path`, makes a handler, presses once, and measures each step; then
// ends the flip, the handler and the library.
Footprint Measure(const wchar_t* path, MacroContext& context)
{
    Footprint footprint;
    const ProcessFigures start = MeasureProcess();
    HMODULE module = LoadLibraryW(path);
    if (module == nullptr)
        return footprint;
    footprint.loaded = Added(start, MeasureProcess());
    auto createMacro =
        reinterpret_cast<CreateMacroFunction>(reinterpret_cast<void*>(GetProcAddress(module, "CreateMacro")));
    IHandler* handler = createMacro != nullptr ? createMacro(L"Tarvel") : nullptr;
    if (handler != nullptr) {
        footprint.withHandler = Added(start, MeasureProcess());
        const int32_t started = handler->Execute(&context);
        footprint.running = Added(start, MeasureProcess());
        if (started == 1)
            handler->Execute(&context);  // ends the flip
        static_cast<IInterface*>(handler)->Destroy();
        footprint.ok = true;
    }
    FreeLibrary(module);
    return footprint;
}

void PrintAdded(const char* what, long long tarvel, long long null)
{
    std::printf("  %-44s %8.1f KiB vs %8.1f KiB do-nothing", what, KiB(tarvel), KiB(null));
    if (null > 0)
        std::printf(" = %.2fx", static_cast<double>(tarvel) / static_cast<double>(null));
    std::printf("\n");
}

}  // namespace

int main()
{
    std::printf("memory_bench: private bytes tarvel.dll adds to its host vs. the do-nothing null_plugin.dll\n");
    if (!TurnCompositionOn()) {
        std::printf("  composition is off: no monitor to measure (scripts/bench.sh installs the stand-in dwmapi.dll)\n");
        return 1;
    }
    ForegroundSwitcher desktop;
    if (!desktop.SwitchTo(L"notepad.exe")) {
        std::printf("  no application came to the front; the monitor needs one\n");
        return 1;
    }
    // tarvel.dll imports psapi, oleaut32, shell32 and user32.  A real host
    // has most of them loaded already; load them first, so that the figures
    // below are the plug-in's own, and say what they cost by themselves.
    const ProcessFigures bare = MeasureProcess();
    std::vector<HMODULE> imports;
    for (const wchar_t* name : {L"psapi.dll", L"oleaut32.dll", L"shell32.dll", L"user32.dll"})
        imports.push_back(LoadLibraryW(name));
    std::printf("  %-44s %8.1f KiB (a host that has them pays nothing)\n", "the system DLLs tarvel.dll imports",
                KiB(Added(bare, MeasureProcess())));
    BenchMouse mouse;
    BenchHost host(&mouse);
    MacroContext context = MakeBenchContext(mouse, host);
    Footprint null;
    Footprint tarvel;
    {
        const SilencedOutput quiet;  // the flip's diagnostic line
        null = Measure(L"null_plugin.dll", context);
        tarvel = Measure(L"tarvel.dll", context);
    }
    if (!null.ok || !tarvel.ok) {
        std::printf("  a plug-in did not load or made no handler\n");
        return 1;
    }
    PrintAdded("loaded", tarvel.loaded, null.loaded);
    PrintAdded("with a handler", tarvel.withHandler, null.withHandler);
    PrintAdded("after a press (tarvel: flip shown, monitor running)", tarvel.running, null.running);
    const long long tarvelSize = FileSize(L"tarvel.dll");
    const long long nullSize = FileSize(L"null_plugin.dll");
    std::printf("  %-44s %8.1f KiB vs %8.1f KiB do-nothing = %.2fx (as built, with debug information)\n",
                "DLL file size", KiB(tarvelSize), KiB(nullSize),
                nullSize > 0 ? static_cast<double>(tarvelSize) / static_cast<double>(nullSize) : 0.0);
    for (HMODULE module : imports) {
        if (module != nullptr)
            FreeLibrary(module);
    }
    return 0;
}
