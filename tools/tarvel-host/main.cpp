// tarvel-host: a sample host for macro plug-ins.  It loads a plug-in DLL by
// path, asks for its capability and a macro by name, binds the handler and
// runs it: on a mouse button, in the background with an icon in the
// notification area (no arguments) or from a console (--button, --macro, a
// plug-in's path, --console), or as a scripted demonstration (--demo).  The
// plug-in's handlers and the host objects they call are C++ objects of the
// MSVC ABI; this program reaches them through tarvel-bridge.dll, built from
// the SDK headers as such a host would be.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "button_mode.h"
#include "console_output.h"
#include "demo.h"
#include "plugin_library.h"
#include "settings.h"
#include "tray_mode.h"

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const char kHelp[] =
    "Usage: tarvel-host.exe                      (in the background)\n"
    "       tarvel-host.exe --quit | --autostart on|off\n"
    "       tarvel-host.exe [--console] [--button BUTTON] [--macro NAME] [PLUGIN.dll]\n"
    "       tarvel-host.exe --demo [PLUGIN.dll]\n"
    "\n"
    "Loads a macro plug-in (default: tarvel.dll beside tarvel-host.exe) with\n"
    "LoadLibraryW and GetProcAddress, asks it for its capability and for the\n"
    "macro NAME (default: Tarvel), binds the handler with SetHost and runs it.\n"
    "\n"
    "Without arguments: runs in the background, with an icon in the\n"
    "notification area, once per user session (starting it again changes\n"
    "nothing).  Its menu chooses the button (first side button, second side\n"
    "button, middle), pauses the flip, turns starting with Windows on or off,\n"
    "and quits.  The button and Pause are kept under\n"
    "HKEY_CURRENT_USER\\Software\\Tarvel; a value missing or not understood\n"
    "means the first side button, not paused.\n"
    "\n"
    "Console mode (--console, --button, --macro or a plug-in's path): the macro\n"
    "runs whenever BUTTON is pressed anywhere on the desktop; the press and\n"
    "release of that button are swallowed.  BUTTON is xbutton1 (the first side\n"
    "button, default), xbutton2 or middle.  The host's pointing device is the\n"
    "mouse: the plug-in's settings 1 to 10 are the system's pointer speeds 1 to\n"
    "20, so the pointer slows while a window flip is shown.  The app switcher's\n"
    "prompt (\"HELP_QUICKSWITCH\") comes from the host's own string table; the\n"
    "host's folder is the one tarvel-host.exe is in.  Ctrl+C, Ctrl+Break or\n"
    "closing the console ends the host: the handler is destroyed, the plug-in\n"
    "unloaded and the pointer speed put back.\n"
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
    "--console   Console mode with the first side button.\n"
    "--button B  Console mode with the mouse button B.\n"
    "--macro N   The macro to ask the plug-in for (console mode).\n"
    "--quit      Asks the instance running in the background to end, and waits.\n"
    "--autostart on|off\n"
    "            Starts tarvel-host.exe (from where it is now) in the background\n"
    "            at logon, or no longer.\n"
    "--help      Shows this text.\n"
    "\n"
    "Exit codes: 0 success (in --demo: every step did what it should; with\n"
    "--quit: the running instance ended), 1 a demonstration step failed, the\n"
    "mouse hook could not be installed, or --quit found no instance running,\n"
    "2 wrong command line, a registry value that cannot be written, a plug-in\n"
    "that cannot be loaded, that is not a macro plug-in, or that does not offer\n"
    "the macro.\n";

struct Options {
    bool help = false;
    bool demo = false;
    bool console = false;  // --console, --button, --macro or a plug-in's path
    bool quit = false;
    std::wstring autostart;  // "on", "off" or empty when not asked
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
        } else if (argument == L"--console") {
            options.console = true;
        } else if (argument == L"--quit") {
            options.quit = true;
        } else if (argument == L"--autostart") {
            if (!hasValue || (arguments[i + 1] != L"on" && arguments[i + 1] != L"off")) {
                error = "--autostart needs on or off";
                return false;
            }
            options.autostart = arguments[++i];
        } else if (argument == L"--button" || argument == L"--macro") {
            if (!hasValue) {
                error = Narrow(argument) + " needs a value";
                return false;
            }
            const std::wstring& value = arguments[++i];
            options.console = true;
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
            options.console = true;
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

int SetAutostartFromCommandLine(const std::wstring& value)
{
    if (!SetAutostart(value == L"on"))
        return Fail("cannot change the Run value under HKEY_CURRENT_USER");
    return 0;
}

}  // namespace

int main()
{
    const std::vector<std::wstring> arguments = CommandLineArguments();
    if (arguments.empty())
        return RunTrayMode();
    Options options;
    std::string error;
    const bool parsed = ParseOptions(arguments, options, error);
    // Console mode needs a console of its own when its caller has none.
    ConnectToCallersConsole(parsed && options.console && !options.demo && !options.help);
    if (!parsed)
        return Fail(error + " (see --help)");
    if (options.help) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (options.quit)
        return QuitRunningInstance();
    if (!options.autostart.empty())
        return SetAutostartFromCommandLine(options.autostart);
    const std::wstring path = options.pluginPath.empty() ? DefaultPluginPath() : options.pluginPath;
    std::unique_ptr<PluginLibrary> plugin = PluginLibrary::Load(path, error);
    if (!plugin)
        return Fail(error);
    if (options.demo)
        return RunDemoSurvivingExceptions(*plugin);
    return RunButtonMode(plugin, options.macro, options.button);
}

