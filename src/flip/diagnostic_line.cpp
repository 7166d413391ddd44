#include "flip/diagnostic_line.h"

#include <windows.h>

#include <io.h>
#include <stdio.h>
#include <wchar.h>

namespace {

// Each in a frame of its own under 4 KiB: a bigger frame needs a stack probe
// (__chkstk) that only ntdll exports on Windows.
__declspec(noinline) void WriteUtf8(const wchar_t* line, int length)
{
    char bytes[3 * 1100];
    const int count = WideCharToMultiByte(CP_UTF8, 0, line, length, bytes, sizeof(bytes), nullptr, nullptr);
    if (count > 0) {
        fwrite(bytes, 1, static_cast<size_t>(count), stdout);
        fflush(stdout);
    }
}

}  // namespace

// On a console the line goes out as UTF-16, anywhere else (a pipe, a file) as
// UTF-8: the C runtime's wide output in its "C" locale would stop at the first
// character outside ASCII, and process names in any script are real.
__declspec(noinline) void WriteForegroundLine(const wchar_t* name)
{
    wchar_t line[1100];  // a name has at most 1024 characters
    const int length = _snwprintf(line, ARRAYSIZE(line) - 1, L"Foreground changed (%ls)\n", name);
    if (length < 0)
        return;
    line[ARRAYSIZE(line) - 1] = L'\0';
    fflush(stdout);  // what the host wrote before comes first
    // The handle behind the C runtime's standard output, which a host may
    // have pointed elsewhere than the process's.
    HANDLE out = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stdout)));
    DWORD mode = 0;
    if (GetConsoleMode(out, &mode)) {
        DWORD written = 0;
        WriteConsoleW(out, line, static_cast<DWORD>(length), &written, nullptr);
        return;
    }
    WriteUtf8(line, length);
}
