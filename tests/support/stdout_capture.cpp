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

namespace {

template <typename Function>
void Find(HMODULE module, const char* name, Function& function)
{
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

StdoutCapture::StdoutCapture()
{
    wchar_t folder[MAX_PATH + 1] = L"";
    wchar_t path[MAX_PATH + 1] = L"";
    GetTempPathW(MAX_PATH, folder);
    if (GetTempFileNameW(folder, L"out", 0, path) == 0)
        return;
    m_path = path;
    if (!FindUcrt())
        return;
    // Text mode, as a console or pipe is: wide output is converted to bytes
    // there (the mode goes with the descriptor through _dup2).
    const int file = _wopen(path, _O_WRONLY | _O_TRUNC | _O_TEXT, _S_IREAD | _S_IWRITE);
    if (file < 0)
        return;
    Redirect(file);
    _close(file);
}

StdoutCapture::~StdoutCapture()
{
    if (Active()) {
        Restore();
        for (const std::string& line : Lines())
            printf("[captured] %s\n", line.c_str());
        fflush(stdout);
    }
    if (!m_path.empty())
        DeleteFileW(m_path.c_str());
}

bool StdoutCapture::FindUcrt()
{
    m_ucrtModule.reset(LoadLibraryW(L"ucrtbase.dll"));
    if (!m_ucrtModule)
        return false;
    HMODULE module = m_ucrtModule.get();
    Find(module, "_dup", m_ucrt.dup);
    Find(module, "_dup2", m_ucrt.dup2);
    Find(module, "_close", m_ucrt.close);
    Find(module, "_open_osfhandle", m_ucrt.openOsHandle);
    Find(module, "_get_osfhandle", m_ucrt.getOsHandle);
    Find(module, "_flushall", m_ucrt.flushAll);
    return m_ucrt.dup && m_ucrt.dup2 && m_ucrt.close && m_ucrt.openOsHandle && m_ucrt.getOsHandle &&
           m_ucrt.flushAll;
}

// Both runtimes take the process's output handle for descriptor 1 at start,
// the same handle, and _dup2 closes a descriptor's handle before replacing
// it: the first runtime's _dup2 would close the handle under the other one.
// Protected from closing, a shared handle survives both; both get copies of
// it back at the end, and then it is closed.
void StdoutCapture::Redirect(int file)
{
    const auto original = reinterpret_cast<HANDLE>(_get_osfhandle(1));
    if (original == INVALID_HANDLE_VALUE || m_ucrt.getOsHandle(1) == -1)
        return;
    HANDLE copy = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), reinterpret_cast<HANDLE>(_get_osfhandle(file)), GetCurrentProcess(),
                         &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
        return;
    const int ucrtFile = m_ucrt.openOsHandle(reinterpret_cast<intptr_t>(copy), _O_WRONLY | _O_TEXT);
    if (ucrtFile < 0) {
        CloseHandle(copy);
        return;
    }
    if (original == reinterpret_cast<HANDLE>(m_ucrt.getOsHandle(1))) {
        SetHandleInformation(original, HANDLE_FLAG_PROTECT_FROM_CLOSE, HANDLE_FLAG_PROTECT_FROM_CLOSE);
        m_shared = original;
    }
    fflush(stdout);
    m_ucrt.flushAll();
    m_saved = _dup(1);
    m_ucrtSaved = m_ucrt.dup(1);
    _dup2(file, 1);
    m_ucrt.dup2(ucrtFile, 1);
    m_ucrt.close(ucrtFile);
}

void StdoutCapture::Restore()
{
    fflush(stdout);
    m_ucrt.flushAll();
    _dup2(m_saved, 1);
    _close(m_saved);
    m_ucrt.dup2(m_ucrtSaved, 1);
    m_ucrt.close(m_ucrtSaved);
    m_saved = m_ucrtSaved = -1;
    if (m_shared != nullptr) {
        SetHandleInformation(m_shared, HANDLE_FLAG_PROTECT_FROM_CLOSE, 0);
        CloseHandle(m_shared);
        m_shared = nullptr;
    }
}

std::vector<std::string> StdoutCapture::Lines() const
{
    fflush(stdout);
    if (m_ucrtSaved >= 0)
        m_ucrt.flushAll();
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
