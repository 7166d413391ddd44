#include "flip/diagnostic_line.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

namespace {

// Holds a C runtime stream's own lock, which every stdio call on the stream
// takes too (re-entrant for this thread): output of the host's other threads
// waits until the line is out.
class StreamLock {
public:
    explicit StreamLock(FILE* stream) noexcept : m_stream(stream) { _lock_file(m_stream); }
    ~StreamLock() { _unlock_file(m_stream); }
    StreamLock(const StreamLock&) = delete;
    StreamLock& operator=(const StreamLock&) = delete;

private:
    FILE* m_stream;
};

// A host may have closed the descriptor behind standard output: the
// runtime's check of a bad descriptor (in _setmode, _get_osfhandle) would end
// the process on Windows (Wine does not check).  For this thread, while the
// line is written, a bad descriptor is an error answered like any other.
class AnsweredParameterChecks {
public:
    AnsweredParameterChecks() noexcept : m_previous(_set_thread_local_invalid_parameter_handler(&Answer)) {}
    ~AnsweredParameterChecks() { _set_thread_local_invalid_parameter_handler(m_previous); }
    AnsweredParameterChecks(const AnsweredParameterChecks&) = delete;
    AnsweredParameterChecks& operator=(const AnsweredParameterChecks&) = delete;

private:
    static void __cdecl Answer(const wchar_t*, const wchar_t*, const wchar_t*, unsigned, uintptr_t) {}
    _invalid_parameter_handler m_previous;
};

// Whether a host put the descriptor in one of the runtime's Unicode modes
// (_O_U16TEXT, _O_U8TEXT, _O_WTEXT), where byte output fails the runtime's
// parameter check, which ends the process on Windows (Wine does not check).
// The runtime offers no query: _setmode answers the mode it replaces, so the
// descriptor goes to plain text and at once back to what it was.  Plain text
// is the probe because it loosens and never tightens: Windows' runtime keeps
// a Unicode setting under binary mode and checks it there too, so probing a
// binary descriptor with a Unicode mode would make every later byte write of
// the host fail.  Windows answers _O_U8TEXT or _O_WTEXT (UTF-16) exactly;
// Wine answers _O_WTEXT for both.  Called with the stream locked, so that no
// stdio output of another thread runs in between.
bool InUnicodeMode(int descriptor)
{
    const int previous = _setmode(descriptor, _O_TEXT);
    if (previous == -1 || previous == _O_TEXT)
        return false;  // no descriptor (a program without a console), or plain text
    _setmode(descriptor, previous);
    return previous != _O_BINARY;
}

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

// In a Unicode mode the line goes through the runtime's wide output, which
// writes it in the stream's own encoding.  Otherwise, on a console it goes out
// as UTF-16, anywhere else (a pipe, a file, NUL) as UTF-8: the C runtime's wide
// output in its "C" locale would stop at the first character outside ASCII,
// and process names in any script are real.
__declspec(noinline) void WriteForegroundLine(const wchar_t* name)
{
    wchar_t line[1100];  // a name has at most 1024 characters
    const int length = _snwprintf(line, ARRAYSIZE(line) - 1, L"Foreground changed (%ls)\n", name);
    if (length < 0)
        return;
    line[ARRAYSIZE(line) - 1] = L'\0';
    const AnsweredParameterChecks answered;
    StreamLock locked(stdout);
    fflush(stdout);  // what the host wrote before comes first
    const int descriptor = _fileno(stdout);
    if (InUnicodeMode(descriptor)) {
        fputws(line, stdout);
        fflush(stdout);
        return;
    }
    // The handle behind the C runtime's standard output, which a host may
    // have pointed elsewhere than the process's.
    // A console is a character device; GetConsoleMode would not tell, as it
    // fails on a handle opened for writing only (a GUI host's
    // freopen("CONOUT$", "w", stdout)).  Other character devices (NUL, a
    // serial line) refuse WriteConsoleW and take the bytes.
    HANDLE out = reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
    DWORD written = 0;
    if (GetFileType(out) == FILE_TYPE_CHAR &&
        WriteConsoleW(out, line, static_cast<DWORD>(length), &written, nullptr))
        return;
    WriteUtf8(line, length);
}
