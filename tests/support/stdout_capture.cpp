#include "support/stdout_capture.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

StdoutCapture::StdoutCapture()
{
    wchar_t folder[MAX_PATH + 1] = L"";
    wchar_t path[MAX_PATH + 1] = L"";
    GetTempPathW(MAX_PATH, folder);
    if (GetTempFileNameW(folder, L"out", 0, path) == 0)
        return;
    m_path = path;
    // Text mode, as a console or pipe is: wide output is converted to bytes
    // there (the mode goes with the descriptor through _dup2).
    const int file = _wopen(path, _O_WRONLY | _O_TRUNC | _O_TEXT, _S_IREAD | _S_IWRITE);
    if (file < 0)
        return;
    fflush(stdout);
    m_saved = _dup(1);
    _dup2(file, 1);
    _close(file);
}

StdoutCapture::~StdoutCapture()
{
    if (m_saved >= 0) {
        fflush(stdout);
        _dup2(m_saved, 1);
        _close(m_saved);
        for (const std::string& line : Lines())
            printf("[captured] %s\n", line.c_str());
        fflush(stdout);
    }
    if (!m_path.empty())
        DeleteFileW(m_path.c_str());
}

std::vector<std::string> StdoutCapture::Lines() const
{
    fflush(stdout);
    std::ifstream file(m_path.c_str(), std::ios::binary);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

size_t StdoutCapture::Count(const std::string& line) const
{
    const std::vector<std::string> lines = Lines();
    return static_cast<size_t>(std::count(lines.begin(), lines.end(), line));
}

bool StdoutCapture::WaitFor(const std::string& line, std::chrono::milliseconds limit, size_t count) const
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (Count(line) < count) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}
