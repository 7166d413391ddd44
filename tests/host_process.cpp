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

bool HostProcess::Start(const std::wstring& arguments, DWORD creationFlags, const std::wstring& program)
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
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, creationFlags,
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

void Click(DWORD downFlag, DWORD upFlag, DWORD data)
{
    INPUT inputs[2]{};
    inputs[0].type = inputs[1].type = INPUT_MOUSE;
    inputs[0].mi.dwFlags = downFlag;
    inputs[1].mi.dwFlags = upFlag;
    inputs[0].mi.mouseData = inputs[1].mi.mouseData = data;
    SendInput(2, inputs, sizeof(INPUT));
}

void TarvelSettingsForTest::Set(const wchar_t* name, DWORD value) const
{
    RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Tarvel", name, REG_DWORD, &value, sizeof(value));
}

void TarvelSettingsForTest::Set(const wchar_t* name, const std::wstring& text, DWORD type) const
{
    RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Tarvel", name, type, text.c_str(),
                    static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void TarvelSettingsForTest::Clear() { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Tarvel"); }

bool StartInBackground(HostProcess& host)
{
    return host.Start(L"--logon") &&
           host.WaitForOutput("in the notification area, \"Tarvel\" runs on xbutton1", 10000);
}

int Occurrences(const std::string& text, const std::string& part)
{
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++count;
    return count;
}

bool Xdotool(const std::wstring& arguments)
{
    // Through Wine's start.exe, which runs a Linux program: Wine forks for
    // it, and a fork of the test itself would copy its threads' state.
    std::wstring commandLine = L"start.exe /wait /unix /usr/bin/xdotool " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &startup, &process))
        return false;
    CloseHandle(process.hThread);
    const bool ended = WaitForSingleObject(process.hProcess, 10000) == WAIT_OBJECT_0;
    CloseHandle(process.hProcess);
    return ended;
}

int PointerSpeedForTest::Read()
{
    int speed = 0;
    SystemParametersInfoW(SPI_GETMOUSESPEED, 0, &speed, 0);
    return speed;
}

// Wine takes the speed in the integer argument, Windows in the pointer.
void PointerSpeedForTest::Write(int speed)
{
    SystemParametersInfoW(SPI_SETMOUSESPEED, speed, reinterpret_cast<void*>(static_cast<intptr_t>(speed)), 0);
}

unsigned WheelLinesForTest::Read()
{
    UINT lines = 3;
    SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
    return lines;
}

void WheelLinesForTest::Write(unsigned lines) { SystemParametersInfoW(SPI_SETWHEELSCROLLLINES, lines, nullptr, 0); }

ButtonObserver::ButtonObserver()
{
    s_instance = this;
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_thread = std::thread([this, ready] { Run(ready); });
    WaitForSingleObject(ready, INFINITE);
    CloseHandle(ready);
}

ButtonObserver::~ButtonObserver()
{
    PostThreadMessageW(m_threadId, WM_QUIT, 0, 0);
    m_thread.join();
    s_instance = nullptr;
}

void ButtonObserver::Run(HANDLE ready) noexcept
{
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
    m_threadId = GetCurrentThreadId();
    HHOOK hook = SetWindowsHookExW(WH_MOUSE_LL, &Observe, GetModuleHandleW(nullptr), 0);
    m_installed = hook != nullptr;
    SetEvent(ready);
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    if (hook != nullptr)
        UnhookWindowsHookEx(hook);
}

LRESULT CALLBACK ButtonObserver::Observe(int code, WPARAM message, LPARAM data) noexcept
{
    if (code == HC_ACTION && s_instance != nullptr) {
        if (message == WM_XBUTTONDOWN) {
            const WORD button = HIWORD(reinterpret_cast<const MSLLHOOKSTRUCT*>(data)->mouseData);
            ++(button == XBUTTON1 ? s_instance->xbutton1 : s_instance->xbutton2);
        } else if (message == WM_MBUTTONDOWN) {
            ++s_instance->middle;
        } else if (message == WM_MBUTTONUP) {
            ++s_instance->middleUp;
        } else if (message == WM_XBUTTONUP &&
                   HIWORD(reinterpret_cast<const MSLLHOOKSTRUCT*>(data)->mouseData) == XBUTTON1) {
            ++s_instance->xbutton1Up;
        }
    }
    return CallNextHookEx(nullptr, code, message, data);
}

bool WaitForCount(const std::atomic<int>& counter, int value)
{
    for (int i = 0; i < 200 && counter.load() < value; ++i)
        Sleep(50);
    return counter.load() >= value;
}
