// tarvel-host: a sample host for macro plug-ins.  It loads a plug-in DLL by
// path, asks for its capability and a macro by name, binds the handler and
// runs it: on a mouse button (default mode) or as a scripted demonstration
// (--demo).  The plug-in's handlers and the host objects they call are C++
// objects of the MSVC ABI; this program reaches them through
// tarvel-bridge.dll, built from the SDK headers as such a host would be.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "button_mode.h"
#include "demo.h"
#include "plugin_library.h"

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const char kHelp[] =
    "Usage: tarvel-host.exe [--demo] [--button BUTTON] [--macro NAME] [PLUGIN.dll]\n"
    "\n"
    "Loads a macro plug-in (default: tarvel.dll beside tarvel-host.exe) with\n"
    "LoadLibraryW and GetProcAddress, asks it for its capability and for the\n"
    "macro NAME (default: Tarvel), binds the handler with SetHost and runs it.\n"
    "\n"
    "Default mode: the macro runs whenever BUTTON is pressed anywhere on the\n"
    "desktop; the press and release of that button are swallowed.  BUTTON is\n"
    "xbutton1 (the first side button, default), xbutton2 or middle.  The host's\n"
    "pointing device is the mouse: the plug-in's settings 1 to 10 are the\n"
    "system's pointer speeds 1 to 20, so the pointer slows while a window flip\n"
    "is shown.  The app switcher's prompt (\"HELP_QUICKSWITCH\") comes from the\n"
    "host's own string table; the host's folder is the one tarvel-host.exe is\n"
    "in.  Ctrl+C, Ctrl+Break or closing the console ends the host: the handler\n"
    "is destroyed, the plug-in unloaded and the pointer speed put back.\n"
    "\n"
    "--demo      Runs a scripted demonstration instead and prints a transcript:\n"
    "            the entry points, the spellings of the name that are supported\n"
    "            (as text and as string identifiers of the host), a handler's\n"
    "            life from CreateMacro to Destroy, a whole window flip (the keys\n"
    "            seen, the pointer slowed, another application brought to the\n"
    "            front, the key released and the speed put back), a second\n"
    "            press ending a flip, and the app switcher started when desktop\n"
    "            composition is off.  Each step is marked ok or FAIL.  Under\n"
    "            Wine, scripts/demo.sh installs a stand-in dwmapi.dll so that\n"
    "            composition can be shown both on and off.\n"
    "--button B  The mouse button for the default mode.\n"
    "--macro N   The macro to ask the plug-in for.\n"
    "--help      Shows this text.\n"
    "\n"
    "Exit codes: 0 success (in --demo: every step did what it should),\n"
    "1 a demonstration step failed or the mouse hook could not be installed,\n"
    "2 wrong command line, a plug-in that cannot be loaded, that is not a macro\n"
    "plug-in, or that does not offer the macro.\n";

struct Options {
    bool help = false;
    bool demo = false;
    MouseButton button = MouseButton::XButton1;
    std::wstring macro = L"Tarvel";
    std::wstring pluginPath;
};

std::vector<std::wstring> CommandLineArguments()
{
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> arguments;
    for (int i = 1; argv != nullptr && i < count; ++i)
        arguments.emplace_back(argv[i]);
    LocalFree(argv);
    return arguments;
}

// Fills `options`; on a mistake returns false with one sentence in `error`.
bool ParseOptions(const std::vector<std::wstring>& arguments, Options& options, std::string& error)
{
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::wstring& argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (argument == L"--help" || argument == L"-h" || argument == L"/?") {
            options.help = true;
        } else if (argument == L"--demo") {
            options.demo = true;
        } else if (argument == L"--button" || argument == L"--macro") {
            if (!hasValue) {
                error = Narrow(argument) + " needs a value";
                return false;
            }
            const std::wstring& value = arguments[++i];
            if (argument == L"--macro") {
                options.macro = value;
            } else if (!ParseMouseButton(value, options.button)) {
                error = "unknown button \"" + Narrow(value) + "\" (use xbutton1, xbutton2 or middle)";
                return false;
            }
        } else if (argument.size() > 1 && argument[0] == L'-') {
            error = "unknown option " + Narrow(argument);
            return false;
        } else if (!options.pluginPath.empty()) {
            error = "more than one plug-in given";
            return false;
        } else {
            options.pluginPath = argument;
        }
    }
    return true;
}

// The demo, with an exception that the plug-in lets out reported as a
// failure: the demonstration cannot go on past it, and one line says why.
int RunDemoSurvivingExceptions(PluginLibrary& plugin)
{
    try {
        return RunDemo(plugin) ? 0 : kExitFailed;
    } catch (const PluginRaised& raised) {
        std::fflush(stdout);
        std::fprintf(stderr, "tarvel-host: the plug-in raised an exception (%s)\n", DescribeThrow(raised.thrown).c_str());
        return kExitFailed;
    }
}

int Fail(const std::string& error)
{
    std::fprintf(stderr, "tarvel-host: %s\n", error.c_str());
    return kExitUsage;
}

}  // namespace

int main()
{
    Options options;
    std::string error;
    if (!ParseOptions(CommandLineArguments(), options, error))
        return Fail(error + " (see --help)");
    if (options.help) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    const std::wstring path = options.pluginPath.empty() ? DefaultPluginPath() : options.pluginPath;
    std::unique_ptr<PluginLibrary> plugin = PluginLibrary::Load(path, error);
    if (!plugin)
        return Fail(error);
    if (options.demo)
        return RunDemoSurvivingExceptions(*plugin);
    return RunButtonMode(plugin, options.macro, options.button);
}

