// Sends this process's standard output to a temporary file for the life of
// the object.  tarvel.dll writes through the same C runtime (msvcrt.dll) and
// so the same file descriptor 1, so its diagnostic lines land there too.
// What was captured is echoed to the real output at the end, for the log.
#pragma once

#include <chrono>
#include <string>
#include <vector>

class StdoutCapture {
public:
    StdoutCapture();
    ~StdoutCapture();

    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    bool Active() const { return m_saved >= 0; }
    // The lines written so far, without their line ends.
    std::vector<std::string> Lines() const;
    size_t Count(const std::string& line) const;
    // Waits until `line` has been written `count` times.
    bool WaitFor(const std::string& line, std::chrono::milliseconds limit, size_t count = 1) const;

private:
    std::wstring m_path;
    int m_saved = -1;
};
