#include "support/foreground_switcher.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <thread>

namespace {

namespace fs = std::filesystem;

constexpr wchar_t kHelperFileName[] = L"foreground_window.exe";
constexpr DWORD kExitWaitMs = 5000;

fs::path OwnFolder()
{
    wchar_t path[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return fs::path(path).parent_path();
}

// A name no other switcher of any process uses.
std::wstring UniqueName(const wchar_t* prefix)
{
    static std::atomic<unsigned> counter{0};
    return prefix + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
}

UniqueHandle MakeEvent(const std::wstring& name, bool manualReset)
{
    return UniqueHandle(CreateEventW(nullptr, manualReset, FALSE, name.c_str()));
}

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (condition())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

DWORD ForegroundProcessId()
{
    DWORD processId = 0;
    if (HWND window = GetForegroundWindow())
        GetWindowThreadProcessId(window, &processId);
    return processId;
}

ForegroundWindowProcess::ForegroundWindowProcess(const std::wstring& path, const std::wstring& switcherClass)
    : m_path(path)
{
    const std::wstring channel = UniqueName(L"Local\\TarvelForeground-");
    m_raise = MakeEvent(channel + L".raise", false);
    m_raised = MakeEvent(channel + L".raised", false);
    m_exit = MakeEvent(channel + L".exit", true);
    m_switcher = MakeEvent(channel + L".switcher", false);
    if (!m_raise || !m_raised || !m_exit || !m_switcher)
        return;

    std::wstring commandLine =
        L"\"" + path + L"\" " + channel + L" " + std::to_wstring(GetCurrentProcessId()) + L" " + switcherClass;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process))
        return;
    UniqueHandle thread(process.hThread);
    m_process.reset(process.hProcess);
    m_processId = process.dwProcessId;
    m_started = WaitRaised() && WaitInFront(std::chrono::seconds(10));
}

ForegroundWindowProcess::~ForegroundWindowProcess()
{
    Stop();
}

void ForegroundWindowProcess::Stop()
{
    if (!m_process)
        return;
    SetEvent(m_exit.get());
    if (WaitForSingleObject(m_process.get(), kExitWaitMs) != WAIT_OBJECT_0) {
        TerminateProcess(m_process.get(), 1);
        WaitForSingleObject(m_process.get(), kExitWaitMs);
    }
    m_process.reset();
}

void ForegroundWindowProcess::RequestFront()
{
    SetEvent(m_raise.get());
}

bool ForegroundWindowProcess::WaitRaised(std::chrono::milliseconds limit)
{
    if (!m_process)
        return false;
    const HANDLE waits[] = {m_raised.get(), m_process.get()};
    return WaitForMultipleObjects(2, waits, FALSE, static_cast<DWORD>(limit.count())) ==
           WAIT_OBJECT_0;
}

bool ForegroundWindowProcess::WaitInFront(std::chrono::milliseconds limit)
{
    return WaitUntil([this] { return ForegroundProcessId() == m_processId; }, limit);
}

bool ForegroundWindowProcess::BringToFront(std::chrono::milliseconds limit)
{
    if (!m_process)
        return false;
    RequestFront();
    return WaitRaised(limit) && WaitInFront(limit);
}

void ForegroundWindowProcess::RequestSwitcher()
{
    SetEvent(m_switcher.get());
}

bool ForegroundWindowProcess::ShowSwitcher(std::chrono::milliseconds limit)
{
    if (!m_process)
        return false;
    RequestSwitcher();
    return WaitRaised(limit) && WaitInFront(limit);
}

std::string ForegroundWindowProcess::ReceivedKeys() const
{
    std::ifstream file(fs::path(m_path).parent_path() / L"keys.txt", std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

ForegroundSwitcher::ForegroundSwitcher()
{
    wchar_t temp[MAX_PATH] = L"";
    GetTempPathW(MAX_PATH, temp);
    m_root = (fs::path(temp) / UniqueName(L"tarvel-foreground-")).wstring();
    m_helperPath = (OwnFolder() / kHelperFileName).wstring();
    std::error_code ignored;
    fs::create_directories(m_root, ignored);
}

ForegroundSwitcher::~ForegroundSwitcher()
{
    StopAll();
    std::error_code ignored;
    fs::remove_all(m_root, ignored);
}

void ForegroundSwitcher::StopAll()
{
    m_others.clear();
    m_windows.clear();
}

std::wstring ForegroundSwitcher::DefaultFolder(const std::wstring& fileName)
{
    auto found = m_defaultFolders.find(fileName);
    if (found == m_defaultFolders.end())
        found = m_defaultFolders.emplace(fileName, L"copy" + std::to_wstring(m_defaultFolders.size() + 1)).first;
    return found->second;
}

std::wstring ForegroundSwitcher::PathOf(const std::wstring& fileName, const std::wstring& folder)
{
    return (fs::path(m_root) / (folder.empty() ? DefaultFolder(fileName) : folder) / fileName).wstring();
}

std::wstring ForegroundSwitcher::CopyAs(const std::wstring& fileName, const std::wstring& folder)
{
    const fs::path target = PathOf(fileName, folder);
    std::error_code ignored;
    fs::create_directories(target.parent_path(), ignored);
    if (!fs::exists(target, ignored))
        CopyFileW(m_helperPath.c_str(), target.c_str(), TRUE);
    return target.wstring();
}

ForegroundWindowProcess& ForegroundSwitcher::Window(const std::wstring& fileName, const std::wstring& folder)
{
    const std::wstring path = CopyAs(fileName, folder);
    auto& slot = m_windows[path];
    if (!slot)
        slot = std::make_unique<ForegroundWindowProcess>(path);
    return *slot;
}

ForegroundWindowProcess& ForegroundSwitcher::StartSwitcher(const std::wstring& fileName,
                                                          const std::wstring& switcherClass,
                                                          const std::wstring& folder)
{
    const std::wstring path = CopyAs(fileName, folder.empty() ? L"switcher-" + fileName : folder);
    auto& slot = m_windows[path];
    if (!slot)
        slot = std::make_unique<ForegroundWindowProcess>(path, switcherClass);
    return *slot;
}

ForegroundWindowProcess& ForegroundSwitcher::StartAnother(const std::wstring& fileName, const std::wstring& folder)
{
    const std::wstring path = CopyAs(fileName, folder);
    auto inserted = m_others.emplace(path, std::make_unique<ForegroundWindowProcess>(path));
    return *inserted->second;
}

bool ForegroundSwitcher::SwitchTo(const std::wstring& fileName, const std::wstring& folder)
{
    const std::wstring path = CopyAs(fileName, folder);
    auto found = m_windows.find(path);
    if (found != m_windows.end() && found->second)
        return found->second->BringToFront();
    return Window(fileName, folder).Started();
}
