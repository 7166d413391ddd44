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
#include "host_objects.h"
#include "plugin_library.h"
#include "autostart.h"
#include "shell_actions.h"
#include "tray_mode.h"
#include "version.h"

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const char kHelp[] =
    "Tarvel " TARVEL_VERSION_TEXT ": switch windows with a mouse button.\n"
    "\n"
    "Usage: tarvel-host.exe [--logon | --replace] (runs in the background)\n"
    "       tarvel-host.exe --quit | --autostart on|off  [--silent]\n"
    "       tarvel-host.exe [--console] [--button BUTTON] [--macro NAME] [PLUGIN.dll]\n"
    "       tarvel-host.exe --demo [PLUGIN.dll]\n"
    "\n"
    "Without options, Tarvel runs in the background with an icon in the\n"
    "notification area (on Windows 11 it may sit under the arrow beside the\n"
    "clock).  Pressing the button shows your open windows; pick one with the\n"
    "pointer.  While they show, the wheel scrolls one line a notch (or the\n"
    "pointer slows, if you choose that in the menu).  The icon's menu picks the\n"
    "button, what slows, the applications that keep the button for themselves,\n"
    "pauses Tarvel, starts it with Windows, and quits.  In a full-screen game or\n"
    "presentation the button keeps its usual job, and in other full-screen\n"
    "windows (a video, say) unless you untick that in the menu.  Starting it\n"
    "again shows the balloon of the copy that runs (or its menu, where Windows\n"
    "shows no balloon); started from another folder, it says which copy runs\n"
    "and offers to take its place.  Your choices are kept under\n"
    "HKEY_CURRENT_USER\\Software\\Tarvel.\n"
    "\n"
    "BUTTON is xbutton1 (the first side button, the default), xbutton2 (the\n"
    "second side button) or middle (the middle button).\n"
    "\n"
    "--logon     Runs in the background without the balloon (what Windows starts\n"
    "            at logon when Tarvel starts with Windows).\n"
    "--replace   Ends the copy that runs and takes its place (what Restart as\n"
    "            administrator runs).\n"
    "--settings  Opens the settings window (of the copy that runs, if one does).\n"
    "--quit      Ends the copy that runs in the background, and waits for it.\n"
    "--autostart on|off\n"
    "            Starts Tarvel (from where it is now) when you log on, or no\n"
    "            longer.\n"
    "--silent    With --quit or --autostart: no message box when started\n"
    "            without a console (for scripts and the setup program).  Without\n"
    "            a console and without --silent, --help, --quit, --autostart and\n"
    "            a wrong command line answer in a message box.\n"
    "--console   Runs in this console window instead, on the first side button;\n"
    "            each press prints a line.  Ctrl+C or closing the window ends it,\n"
    "            and the pointer speed is put back.  The console mode slows the\n"
    "            pointer while the windows show.\n"
    "--button B  Console mode on the button B.\n"
    "--macro N   Console mode with the macro N of the plug-in (default: Tarvel).\n"
    "PLUGIN.dll  Console mode with another plug-in than tarvel.dll beside this\n"
    "            program.\n"
    "--demo      Shows, step by step, what the plug-in does (for developers),\n"
    "            each step marked ok, FAIL or skipped.\n"
    "--help      Shows this text.\n"
    "\n"
    "Exit codes:\n"
    "  0  it did what was asked (--demo: every step that ran was ok; --quit:\n"
    "     the copy in the background ended; started again: the copy that runs\n"
    "     shows itself)\n"
    "  1  a --demo step failed, the mouse could not be watched (the mouse hook\n"
    "     could not be installed; a message box says so), or --quit found no\n"
    "     copy running\n"
    "  2  a wrong command line, a setting that could not be saved, a plug-in\n"
    "     (tarvel.dll) or tarvel-bridge.dll that is missing or cannot be used, or\n"
    "     in the background a missing app switcher folder (tarvel-host\\Pluggins);\n"
    "     in the background, a message box says what to do.\n";

// What --help says in a message box, where the whole text would not fit
// on the screen.
const char kHelpInABox[] =
    "Tarvel " TARVEL_VERSION_TEXT ": switch windows with a mouse button.\n"
    "\n"
    "tarvel-host.exe\truns in the background (its icon is beside the clock)\n"
    "--quit\tends the copy that runs\n"
    "--autostart on|off\tstarts Tarvel with Windows, or no longer\n"
    "--silent\twith --quit or --autostart: no message box\n"
    "\n"
    "The console mode (--console, --button, --macro, a plug-in's path) and the\n"
    "demonstration (--demo) print to a console. For the whole text and the exit\n"
    "codes, run tarvel-host.exe --help in a Command Prompt.";

struct Options {
    bool help = false;
    bool demo = false;
    bool console = false;  // --console, --button, --macro or a plug-in's path
    bool quit = false;
    bool silent = false;  // no message box where no console reads the answer
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
        } else if (argument == L"--silent") {
            options.silent = true;
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
    if (options.silent && !options.quit && options.autostart.empty()) {
        error = "--silent goes with --quit or --autostart";
        return false;
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

// Whether an answer goes to a message box: started without a console or a
// redirected output (Win+R, a shortcut), and not asked for silence.  Set
// once the caller's console is known.
bool g_answerInMessageBox = false;

void AnswerInMessageBox(const std::string& text, UINT icon)
{
    if (g_answerInMessageBox)
        MessageBoxW(nullptr, Widen(text).c_str(), L"Tarvel", MB_OK | icon | MB_SETFOREGROUND);
}

int Fail(const std::string& error)
{
    std::fprintf(stderr, "tarvel-host: %s\n", error.c_str());
    AnswerInMessageBox("Tarvel: " + error + ".", MB_ICONERROR);
    return kExitUsage;
}

int SetAutostartFromCommandLine(const std::wstring& value)
{
    const std::wstring program = ThisProgram();
    const std::string takeover = value == L"on" ? Narrow(AutostartTakeover(program)) : std::string();
    if (!SetAutostart(value == L"on", program))
        return Fail("cannot change the Run value under HKEY_CURRENT_USER");
    if (!takeover.empty())
        std::printf("tarvel-host: %s\n", takeover.c_str());
    AnswerInMessageBox(value == L"on" ? "Tarvel now starts with Windows." + (takeover.empty() ? "" : "\n\n" + takeover)
                                      : "Tarvel no longer starts with Windows.",
                       MB_ICONINFORMATION);
    return 0;
}

int QuitFromCommandLine()
{
    const int exitCode = QuitRunningInstance();
    AnswerInMessageBox(exitCode == 0 ? "Tarvel has ended." : "Tarvel was not running, or did not end.",
                       MB_ICONINFORMATION);
    return exitCode;
}

// tarvel-bridge.dll is loaded on first use (delay-loaded), so that a program
// started without it (from inside a ZIP, say) can say what to do instead of
// the system's own dialog: loaded here, before anything calls into it.
bool BridgeLoads(std::string& error)
{
    const std::wstring path = ExecutableFolder() + L"tarvel-bridge.dll";
    if (LoadLibraryW(path.c_str()) != nullptr)  // kept for the process's life
        return true;
    error = "cannot load " + Narrow(path) + ": " + DescribeError(GetLastError());
    return false;
}

// The plug-in starts the app switcher from the host folder whenever Windows'
// own cannot show (desktop composition off): without it every such press
// would be swallowed and nothing would appear.
bool SwitcherThere(std::string& error)
{
    const std::wstring folder = HostFolder() + L"Pluggins";
    if (GetFileAttributesW((folder + L"\\ZeltoAppSwitcher.exe").c_str()) != INVALID_FILE_ATTRIBUTES)
        return true;
    error = "the folder " + Narrow(folder) + " has no ZeltoAppSwitcher.exe, Tarvel's app switcher";
    return false;
}

bool IsBackgroundMode(const std::vector<std::wstring>& arguments)
{
    for (const std::wstring& argument : arguments) {
        if (argument != L"--logon" && argument != L"--replace" && argument != L"--settings")
            return false;
    }
    return true;
}

int RunBackgroundMode(const std::vector<std::wstring>& arguments)
{
    TrayStart start;
    for (const std::wstring& argument : arguments) {
        start.logon |= argument == L"--logon";
        start.replace |= argument == L"--replace";
        start.settings |= argument == L"--settings";
    }
    std::string error;
    if (!BridgeLoads(error) || !SwitcherThere(error)) {
        ReportFailure(std::string(kExtractFirst) + "\n\nIf you did, install Tarvel again.\n\n(Tarvel cannot start: " +
                      error + ".)");
        return kExitUsage;
    }
    return RunTrayMode(start);
}

}  // namespace

int main()
{
    const std::vector<std::wstring> arguments = CommandLineArguments();
    if (IsBackgroundMode(arguments))
        return RunBackgroundMode(arguments);
    Options options;
    std::string error;
    const bool parsed = ParseOptions(arguments, options, error);
    // Console mode needs a console of its own when its caller has none.
    ConnectToCallersConsole(parsed && options.console && !options.demo && !options.help);
    g_answerInMessageBox = !OutputHasReader() && !options.silent;
    if (!parsed)
        return Fail(error + " (see --help)");
    if (options.help) {
        std::fputs(kHelp, stdout);
        AnswerInMessageBox(kHelpInABox, MB_ICONINFORMATION);
        return 0;
    }
    if (options.quit)
        return QuitFromCommandLine();
    if (!options.autostart.empty())
        return SetAutostartFromCommandLine(options.autostart);
    if (!BridgeLoads(error))
        return Fail(error + " (extract the whole package and start tarvel-host.exe from there)");
    const std::wstring path = options.pluginPath.empty() ? DefaultPluginPath() : options.pluginPath;
    std::unique_ptr<PluginLibrary> plugin = PluginLibrary::Load(path, error);
    if (!plugin)
        return Fail(error);
    if (options.demo)
        return RunDemoSurvivingExceptions(*plugin);
    return RunButtonMode(plugin, options.macro, options.button);
}

