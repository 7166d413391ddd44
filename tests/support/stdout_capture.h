// Sends this process's standard output to a temporary file for the life of
// the object: descriptor 1 of this program's C runtime (msvcrt.dll) and of
// ucrtbase.dll, which tarvel.dll writes its diagnostic lines through.  Each
// runtime keeps a descriptor table of its own; both descriptors get handles
// to one open file, so they share its position and their lines interleave.
// What was captured is echoed to the real output at the end, for the log.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "common/unique_handle.h"

class StdoutCapture {
public:
    StdoutCapture();
    ~StdoutCapture();

    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    // False when either runtime's output could not be redirected.
    bool Active() const { return m_saved >= 0 && m_ucrtSaved >= 0; }
    // The lines written so far, without their line ends.
    std::vector<std::string> Lines() const;
    size_t Count(const std::string& line) const;
    // Waits until `line` has been written `count` times.
    bool WaitFor(const std::string& line, std::chrono::milliseconds limit, size_t count = 1) const;

private:
    // ucrtbase.dll's own descriptor functions.
    struct Ucrt {
        int (*dup)(int);
        int (*dup2)(int, int);
        int (*close)(int);
        int (*openOsHandle)(intptr_t, int);
        intptr_t (*getOsHandle)(int);
        int (*flushAll)();
    };
    bool FindUcrt();
    void Redirect(int file);
    void Restore();

    std::wstring m_path;
    UniqueModule m_ucrtModule;
    Ucrt m_ucrt{};
    int m_saved = -1;      // msvcrt's descriptor of the real output
    int m_ucrtSaved = -1;  // ucrtbase's
    // The handle both runtimes shared for descriptor 1 before (see Redirect).
    HANDLE m_shared = nullptr;
};
