// abi_test.exe: runs every case, or the one named on the command line, one
// line per case, then "N passed, M failed"; exits with 0 only if none failed.
#include <windows.h>

#include <corecrt_startup.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#include "abi_check.h"

// The cases (string_cases.cpp, handler_cases.cpp).
void ResStringBehaviour();
void ResStringLayout();
void Bstr();
void HandlerSlots();
void QueryHostChain();
void LaunchWithoutComposition();
void LaunchKeepsHeapSteady();
void PluginOutOfMemory();
void FlipAdjustsDevice();
void FlipHostException();

extern const AbiTest g_abiTests[] = {
    {L"ResStringBehaviour", &ResStringBehaviour},
    {L"ResStringLayout", &ResStringLayout},
    {L"Bstr", &Bstr},
    {L"HandlerSlots", &HandlerSlots},
    {L"QueryHostChain", &QueryHostChain},
    {L"LaunchWithoutComposition", &LaunchWithoutComposition},
    {L"LaunchKeepsHeapSteady", &LaunchKeepsHeapSteady},
    {L"PluginOutOfMemory", &PluginOutOfMemory},
    {L"FlipAdjustsDevice", &FlipAdjustsDevice},
    {L"FlipHostException", &FlipHostException},
};
extern const size_t g_abiTestCount = sizeof(g_abiTests) / sizeof(g_abiTests[0]);

namespace {

int g_failures = 0;  // of the running case

// The start and end of a long text are where the tests' texts differ.
void PrintText(const char* label, const wchar_t* text)
{
    const size_t length = wcslen(text);
    if (length <= 80)
        printf("    %s (%zu): \"%ls\"\n", label, length, text);
    else
        printf("    %s (%zu): \"%.40ls...%ls\"\n", label, length, text, text + length - 40);
}

bool RunCase(const AbiTest& test)
{
    g_failures = 0;
    test.Run();
    printf("%s %ls\n", g_failures == 0 ? "PASS" : "FAIL", test.Name);
    fflush(stdout);
    return g_failures == 0;
}

int RunTests(int argc, wchar_t** argv)
{
    const wchar_t* only = argc > 1 ? argv[1] : nullptr;
    int passed = 0;
    int failed = 0;
    for (size_t index = 0; index < g_abiTestCount; ++index) {
        if (only != nullptr && wcscmp(only, g_abiTests[index].Name) != 0)
            continue;
        if (RunCase(g_abiTests[index]))
            ++passed;
        else
            ++failed;
    }
    if (passed + failed == 0) {
        printf("no case named %ls\n", only);
        return 2;
    }
    printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}

}  // namespace

void RecordFailure(const char* file, int line, const char* what)
{
    ++g_failures;
    printf("  %s:%d: %s failed\n", file, line, what);
    fflush(stdout);
}

bool CheckText(const char* file, int line, const wchar_t* actual, const wchar_t* expected)
{
    if (actual != nullptr && wcscmp(actual, expected) == 0)
        return true;
    RecordFailure(file, line, "CHECK_TEXT");
    PrintText("actual  ", actual != nullptr ? actual : L"(null)");
    PrintText("expected", expected);
    return false;
}

// The entry point (/entry:AbiTestStart): what the static runtime's start-up
// code would do for a console program with no dynamic initialisers.
extern "C" int AbiTestStart()
{
    _set_app_type(_crt_console_app);
    _configure_wide_argv(_crt_argv_unexpanded_arguments);
    _initialize_wide_environment();
    // A buffer of our own: one the C runtime allocated at the first failure
    // report would count as growth in the cases that measure its heap.
    static char output[4096];
    setvbuf(stdout, output, _IOFBF, sizeof(output));
    exit(RunTests(__argc, __wargv));
}
