#include "demo_window.h"

namespace {

constexpr DWORD kWindowWait = 10000;  // a cold Wine process start can take seconds

HANDLE CreateChannelEvent(const std::wstring& channel, const wchar_t* suffix, bool manualReset)
{
    return CreateEventW(nullptr, manualReset, FALSE, (channel + suffix).c_str());
}

}  // namespace

std::wstring DemoHelperFolder()
{
    wchar_t folder[MAX_PATH] = L"";
    const DWORD length = GetEnvironmentVariableW(L"TARVEL_DEMO_HELPERS", folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return {};
    const std::wstring named(folder, length);
    return named.back() == L'\\' || named.back() == L'/' ? named : named + L"\\";
}

bool DemoHelpersPresent()
{
    const std::wstring folder = DemoHelperFolder();
    for (const wchar_t* program : {L"tarvel-demo-editor.exe", L"tarvel-demo-viewer.exe", L"explorer.exe"}) {
        if (folder.empty() || GetFileAttributesW((folder + program).c_str()) == INVALID_FILE_ATTRIBUTES)
            return false;
    }
    return true;
}

DemoWindow::DemoWindow(const std::wstring& program, const std::wstring& switcherClass)
{
    static LONG s_started = 0;
    const std::wstring channel = L"tarvel-host-demo-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                 std::to_wstring(InterlockedIncrement(&s_started));
    m_raise.value = CreateChannelEvent(channel, L".raise", false);
    m_raised.value = CreateChannelEvent(channel, L".raised", false);
    m_exit.value = CreateChannelEvent(channel, L".exit", true);
    m_switcher.value = CreateChannelEvent(channel, L".switcher", false);
    if (m_raise.value == nullptr || m_raised.value == nullptr || m_exit.value == nullptr ||
        m_switcher.value == nullptr)
        return;

    const std::wstring path = DemoHelperFolder() + program;
    std::wstring commandLine = L"\"" + path + L"\" " + channel + L" " + std::to_wstring(GetCurrentProcessId()) +
                               L" " + switcherClass;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return;
    CloseHandle(process.hThread);
    m_process.value = process.hProcess;
    // The program comes to the front once by itself when it starts.
    const HANDLE waits[] = {m_raised.value, m_process.value};
    m_inFront = WaitForMultipleObjects(2, waits, FALSE, kWindowWait) == WAIT_OBJECT_0;
}

DemoWindow::~DemoWindow()
{
    if (m_process.value == nullptr)
        return;
    SetEvent(m_exit.value);
    if (WaitForSingleObject(m_process.value, kWindowWait) != WAIT_OBJECT_0)
        TerminateProcess(m_process.value, 1);
}

bool DemoWindow::Raise()
{
    return RaiseBy(m_raise.value);
}

bool DemoWindow::ShowSwitcher()
{
    return RaiseBy(m_switcher.value);
}

bool DemoWindow::RaiseBy(HANDLE request)
{
    if (m_process.value == nullptr)
        return false;
    SetEvent(request);
    const HANDLE waits[] = {m_raised.value, m_process.value};
    m_inFront = WaitForMultipleObjects(2, waits, FALSE, kWindowWait) == WAIT_OBJECT_0;
    return m_inFront;
}
