#include "host_process.h"

#include <chrono>

namespace {

// Both ends of a pipe whose write end the child inherits.
struct ChildPipe {
    HANDLE read = nullptr;
    HANDLE write = nullptr;

    bool Create()
    {
        SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
        if (!CreatePipe(&read, &write, &inherit, 0))
            return false;
        SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
        return true;
    }
    void CloseWrite()
    {
        if (write != nullptr)
            CloseHandle(write);
        write = nullptr;
    }
};

}  // namespace

HostProcess::~HostProcess()
{
    if (m_process && WaitForSingleObject(m_process.get(), 0) == WAIT_TIMEOUT) {
        TerminateProcess(m_process.get(), 99);
        WaitForSingleObject(m_process.get(), 10000);
    }
    if (m_outputReader.joinable())
        m_outputReader.join();
    if (m_errorReader.joinable())
        m_errorReader.join();
}

bool HostProcess::Start(const std::wstring& arguments, DWORD creationFlags)
{
    ChildPipe output;
    ChildPipe errors;
    if (!output.Create() || !errors.Create())
        return false;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = output.write;
    startup.hStdError = errors.write;
    std::wstring commandLine = L"tarvel-host.exe " + arguments;
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(L"tarvel-host.exe", commandLine.data(), nullptr, nullptr, TRUE, creationFlags,
                                        nullptr, nullptr, &startup, &process);
    // Only the child keeps the write ends, so the readers see the end of file
    // when it exits.
    output.CloseWrite();
    errors.CloseWrite();
    if (!started) {
        CloseHandle(output.read);
        CloseHandle(errors.read);
        return false;
    }
    CloseHandle(process.hThread);
    m_process.reset(process.hProcess);
    m_mainThreadId = process.dwThreadId;
    m_processId = process.dwProcessId;
    m_outputReader = std::thread(&HostProcess::ReadPipe, this, output.read, std::ref(m_output));
    m_errorReader = std::thread(&HostProcess::ReadPipe, this, errors.read, std::ref(m_errors));
    return true;
}

void HostProcess::ReadPipe(HANDLE pipe, std::string& into) noexcept
{
    // Polls rather than waiting for the end of file: a console that Wine
    // starts for the child inherits the write end too and may outlive it.
    char buffer[4096];
    for (;;) {
        const bool ended = WaitForSingleObject(m_process.get(), 0) == WAIT_OBJECT_0;
        DWORD available = 0;
        if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr))
            break;  // the child and everyone else closed it
        if (available == 0) {
            if (ended)
                break;
            Sleep(10);
            continue;
        }
        DWORD count = 0;
        if (!ReadFile(pipe, buffer, sizeof(buffer) < available ? sizeof(buffer) : available, &count, nullptr))
            break;
        std::lock_guard<std::mutex> lock(m_mutex);
        // Text-mode output ends its lines with CR LF; keep the LF only.
        for (DWORD i = 0; i < count; ++i) {
            if (buffer[i] != '\r')
                into.push_back(buffer[i]);
        }
        m_grew.notify_all();
    }
    CloseHandle(pipe);
}

bool HostProcess::WaitForOutput(const std::string& text, DWORD timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_grew.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return m_output.find(text) != std::string::npos; });
}

int HostProcess::WaitForExit(DWORD timeoutMs)
{
    if (!m_process)
        return -1;
    if (WaitForSingleObject(m_process.get(), timeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(m_process.get(), 99);
        WaitForSingleObject(m_process.get(), 10000);
        return -1;
    }
    if (m_outputReader.joinable())
        m_outputReader.join();
    if (m_errorReader.joinable())
        m_errorReader.join();
    DWORD code = 0;
    GetExitCodeProcess(m_process.get(), &code);
    return static_cast<int>(code);
}

std::string HostProcess::Output() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_output;
}

std::string HostProcess::Errors() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_errors;
}

HostRun RunHost(const std::wstring& arguments)
{
    HostProcess host;
    HostRun run;
    if (!host.Start(arguments))
        return run;
    run.exitCode = host.WaitForExit(60000);
    run.output = host.Output();
    run.errors = host.Errors();
    return run;
}

int CountLines(const std::string& text)
{
    int lines = 0;
    for (char c : text)
        lines += c == '\n';
    if (!text.empty() && text.back() != '\n')
        ++lines;
    return lines;
}
