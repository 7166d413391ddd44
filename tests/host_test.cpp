// tarvel-host.exe run as a user runs it: its demonstration, its help and its
// answers to command lines and plug-ins it cannot use.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "host_process.h"
#include "support/app_switcher_folder.h"

namespace {

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Expects exit code 2, nothing on standard output and exactly one line on
// standard error that names the problem.
void ExpectOneErrorLine(const std::wstring& arguments, const std::string& problem)
{
    SCOPED_TRACE(std::string(arguments.begin(), arguments.end()));
    const HostRun run = RunHost(arguments);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(CountLines(run.errors), 1) << run.errors;
    EXPECT_TRUE(Contains(run.errors, "tarvel-host: ")) << run.errors;
    EXPECT_TRUE(Contains(run.errors, problem)) << run.errors;
}

TEST(HostDemo, WithTheBuiltPlugin_EveryStepOkAndExitCodeZero)
{
    // The demonstration's helper applications, named as scripts/demo.sh names them.
    SetEnvironmentVariableW(L"TARVEL_DEMO_HELPERS", (TestProgramFolder() + L"..\\helpers").c_str());
    const HostRun run = RunHost(L"--demo");
    EXPECT_EQ(run.exitCode, 0) << run.output << run.errors;
    EXPECT_FALSE(Contains(run.output, "FAIL")) << run.output;
    // The version record the package is named after is the project's version.
    EXPECT_TRUE(Contains(run.output, std::string("tarvel.dll, version ") + TARVEL_PROJECT_VERSION + "\n"))
        << run.output;
    EXPECT_TRUE(Contains(run.output, "GetCapability() returned 1")) << run.output;
    EXPECT_TRUE(Contains(run.output, "as text \"TARVEL\"   supported")) << run.output;
    EXPECT_TRUE(Contains(run.output, "as text \"Tarve\"    not supported")) << run.output;
    EXPECT_TRUE(Contains(run.output, "as string 102 of the host's table, \"tARVEL\": supported")) << run.output;
    EXPECT_TRUE(Contains(run.output, "Lock() returned true")) << run.output;
    EXPECT_TRUE(Contains(run.output, "the app switcher opened, titled with the host's prompt: "
                                     "\"Choose the application to switch to\"")) << run.output;
    EXPECT_TRUE(Contains(run.output, "ok    Escape closed the app switcher")) << run.output;
    // The flip, with the plug-in's own line when the other application came
    // to the front, and the second press that ends a flip.
    EXPECT_TRUE(Contains(run.output, "keys seen: Ctrl down, Windows down, Tab down, Tab up, Windows up, Ctrl up; the flip is shown")) << run.output;
    EXPECT_TRUE(Contains(run.output, "Foreground changed (tarvel-demo-viewer.exe)\n")) << run.output;
    EXPECT_TRUE(Contains(run.output, "Foreground changed ()\n  ok    button pressed again: Execute returned 0"))
        << run.output;
    EXPECT_FALSE(Contains(run.output, "skipped")) << run.output;
    EXPECT_TRUE(Contains(run.output, "Demo passed")) << run.output;
    EXPECT_EQ(run.errors, "");
}

// As from the package, which carries none of the helpers: the flip's steps
// are skipped and say why, the real app switcher still opens.
TEST(HostDemo, WithoutItsHelpers_SkipsTheFlipSayingWhy_AndStillOpensTheSwitcher)
{
    SetEnvironmentVariableW(L"TARVEL_DEMO_HELPERS", nullptr);
    const HostRun run = RunHost(L"--demo");
    EXPECT_EQ(run.exitCode, 0) << run.output << run.errors;
    EXPECT_TRUE(Contains(run.output, "skip  the applications it brings to the front come with a build of the source, not with the package\n")) << run.output;
    EXPECT_FALSE(Contains(run.output, "tarvel-demo-editor.exe")) << run.output;
    EXPECT_TRUE(Contains(run.output, "the app switcher opened, titled with the host's prompt")) << run.output;
    EXPECT_FALSE(Contains(run.output, "FAIL")) << run.output;
}

TEST(HostDemo, PluginGivenByPathThatMisbehaves_FailedStepsMarkedAndExitCodeOne)
{
    // The do-nothing plug-in knows only the exact text "Tarvel": other
    // spellings and every string identifier are refused.
    const HostRun run = RunHost(L"--demo null_plugin.dll");
    EXPECT_EQ(run.exitCode, 1) << run.output << run.errors;
    EXPECT_TRUE(Contains(run.output, "null_plugin.dll")) << run.output;
    EXPECT_TRUE(Contains(run.output, "FAIL  as text \"tarvel\"   not supported")) << run.output;
    EXPECT_TRUE(Contains(run.output, "FAIL  as string 101")) << run.output;
    EXPECT_TRUE(Contains(run.output, "ok    as text \"Tarvel\"   supported")) << run.output;
    EXPECT_TRUE(Contains(run.output, "Demo FAILED")) << run.output;
}

TEST(HostDemo, PluginThatThrowsFromExecute_OneErrorLineAndExitCodeOne)
{
    const HostRun run = RunHost(L"--demo host_throwing_plugin.dll");
    EXPECT_EQ(run.exitCode, 1) << run.output << run.errors;
    // Caught at the plug-in's edge by its type: the plug-in's out-of-memory exception.
    EXPECT_EQ(run.errors, "tarvel-host: the plug-in raised an exception (ATL::CAtlException 0x8007000E)\n");
}

TEST(HostCommandLine, Help_ExplainsModesOptionsAndExitCodes)
{
    for (const wchar_t* help : {L"--help", L"--demo --help"}) {
        const HostRun run = RunHost(help);
        EXPECT_EQ(run.exitCode, 0);
        for (const char* part : {"--demo", "--button", "xbutton1", "first side button", "xbutton2", "middle",
                                 "--macro", "Ctrl+C", "Exit codes", "notification area", "--console", "--quit",
                                 "--autostart on|off", "HKEY_CURRENT_USER\\Software\\Tarvel", "message box",
                                 "--logon", "--replace   Ends the copy that runs and takes its place"})
            EXPECT_TRUE(Contains(run.output, part)) << part;
        // In plain words, with the version: none of the developer's words.
        EXPECT_TRUE(Contains(run.output, std::string("Tarvel ") + TARVEL_PROJECT_VERSION + ": ")) << run.output;
        for (const char* developers : {"LoadLibraryW", "SetHost", "scripts/", "HELP_QUICKSWITCH", "XBUTTON"})
            EXPECT_FALSE(Contains(run.output, developers)) << developers;
        EXPECT_FALSE(Contains(run.output, "Demo passed")) << "help must not run the demo";
    }
}

TEST(HostCommandLine, PluginThatCannotBeUsed_OneErrorLineAndExitCodeTwo)
{
    ExpectOneErrorLine(L"--demo no_such_plugin.dll", "no such file");
    ExpectOneErrorLine(L"no_such_plugin.dll", "no such file");
    // A real DLL without the entry points.
    ExpectOneErrorLine(L"--demo C:\\windows\\system32\\version.dll",
                       "is not a macro plug-in: it does not export Initialize, GetCapability, "
                       "IsMacroSupported, CreateMacro");

    // A file that is not a DLL at all.
    const std::wstring text = L"host_test_" + std::to_wstring(GetCurrentProcessId()) + L".dll";
    FILE* file = _wfopen(text.c_str(), L"w");
    ASSERT_NE(file, nullptr);
    std::fputs("not a DLL\n", file);
    std::fclose(file);
    ExpectOneErrorLine(L"--demo " + text, "cannot load");
    _wremove(text.c_str());
}

TEST(HostCommandLine, WrongCommandLine_OneErrorLineAndExitCodeTwo)
{
    ExpectOneErrorLine(L"--bogus", "unknown option --bogus");
    ExpectOneErrorLine(L"--button", "--button needs a value");
    ExpectOneErrorLine(L"--button left", "unknown button \"left\"");
    ExpectOneErrorLine(L"tarvel.dll null_plugin.dll", "more than one plug-in");
    ExpectOneErrorLine(L"--autostart maybe", "--autostart needs on or off");
    // Loads, but offers no such macro.
    ExpectOneErrorLine(L"--macro Nope", "offers no macro named \"Nope\"");
}

}  // namespace
