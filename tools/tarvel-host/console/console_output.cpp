#include "console_output.h"

#include <windows.h>

#include <io.h>

#include <cstdio>

namespace {

// Read access too: GetConsoleMode, by which the plug-in tells a console and
// writes its line as UTF-16, needs GENERIC_READ on Windows (Wine does not).
constexpr wchar_t kConsoleMode[] = L"w+";

bool Usable(HANDLE handle)
{
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

// The plug-in and the bridge write through ucrtbase.dll, a C runtime of their
// own that took its standard handles when it was loaded, before any console
// was attached; its streams are reopened through its own functions.
void ReopenPluginRuntimeStream(unsigned index)
{
    HMODULE ucrt = GetModuleHandleW(L"ucrtbase.dll");
    if (ucrt == nullptr)
        return;
    using StreamFunction = void* (*)(unsigned);
    using ReopenFunction = void* (*)(const wchar_t*, const wchar_t*, void*);
    auto stream = reinterpret_cast<StreamFunction>(reinterpret_cast<void*>(GetProcAddress(ucrt, "__acrt_iob_func")));
    auto reopen = reinterpret_cast<ReopenFunction>(reinterpret_cast<void*>(GetProcAddress(ucrt, "_wfreopen")));
    if (stream != nullptr && reopen != nullptr)
        reopen(L"CONOUT$", kConsoleMode, stream(index));
}

void ReopenOnConsole(FILE* stream, unsigned index, DWORD standardHandle)
{
    if (_wfreopen(L"CONOUT$", kConsoleMode, stream) == nullptr)
        return;
    SetStdHandle(standardHandle, reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))));
    ReopenPluginRuntimeStream(index);
}

}  // namespace

void ConnectToCallersConsole(bool ownConsole)
{
    const bool outputUsable = Usable(GetStdHandle(STD_OUTPUT_HANDLE));
    const bool errorsUsable = Usable(GetStdHandle(STD_ERROR_HANDLE));
    if (outputUsable && errorsUsable && !ownConsole)
        return;
    if (!AttachConsole(ATTACH_PARENT_PROCESS) && !(ownConsole && AllocConsole()))
        return;
    if (!outputUsable)
        ReopenOnConsole(stdout, 1, STD_OUTPUT_HANDLE);
    if (!errorsUsable)
        ReopenOnConsole(stderr, 2, STD_ERROR_HANDLE);
}

bool OutputHasReader()
{
    return Usable(GetStdHandle(STD_OUTPUT_HANDLE));
}
