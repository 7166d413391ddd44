#include "support/app_switcher_folder.h"

#include <windows.h>

#include <fstream>
#include <sstream>
#include <thread>

namespace {

const wchar_t kRecorder[] = L"..\\helpers\\app_switcher_recorder.exe";  // from the test programs' folder
const wchar_t kRecord[] = L"received.txt";

std::wstring WithoutTrailingBackslash(std::wstring folder)
{
    if (!folder.empty() && folder.back() == L'\\')
        folder.pop_back();
    return folder;
}

std::optional<std::string> ReadWhole(const std::wstring& path)
{
    std::ifstream file(path.c_str(), std::ios::binary);
    if (!file)
        return std::nullopt;
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

}  // namespace

std::wstring TestProgramFolder()
{
    wchar_t path[MAX_PATH + 1] = L"";
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring self(path);
    return self.substr(0, self.find_last_of(L'\\') + 1);
}

std::wstring Wide(const std::string& text)
{
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size);
    return result;
}

std::wstring ArgumentsOf(const std::wstring& commandLine)
{
    size_t position = 0;
    if (!commandLine.empty() && commandLine[0] == L'"') {
        const size_t closing = commandLine.find(L'"', 1);
        position = closing == std::wstring::npos ? commandLine.size() : closing + 1;
    } else {
        position = commandLine.find(L' ');
        if (position == std::wstring::npos)
            position = commandLine.size();
    }
    while (position < commandLine.size() && commandLine[position] == L' ')
        ++position;
    return commandLine.substr(position);
}

AppSwitcherFolder::AppSwitcherFolder()
{
    static LONG counter = 0;
    wchar_t temp[MAX_PATH + 1] = L"";
    GetTempPathW(MAX_PATH, temp);
    m_hostFolder = std::wstring(temp) + L"tarvel-host-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                   std::to_wstring(InterlockedIncrement(&counter)) + L"\\";
    CreateDirectoryW(m_hostFolder.c_str(), nullptr);
    m_folders.push_back(m_hostFolder);
}

AppSwitcherFolder::~AppSwitcherFolder()
{
    // A recorder that has just written its record may still be ending.
    for (const std::wstring& file : m_files) {
        for (int attempt = 0; attempt < 50 && !DeleteFileW(file.c_str()) &&
                              GetLastError() != ERROR_FILE_NOT_FOUND; ++attempt)
            Sleep(20);
    }
    for (auto folder = m_folders.rbegin(); folder != m_folders.rend(); ++folder)
        RemoveDirectoryW(folder->c_str());
}

std::wstring AppSwitcherFolder::RunTogetherFolder() const
{
    return WithoutTrailingBackslash(m_hostFolder) + L"Pluggins\\";
}

bool AppSwitcherFolder::InstallIn(const std::wstring& programFolder)
{
    if (CreateDirectoryW(programFolder.c_str(), nullptr))
        m_folders.push_back(programFolder);
    const std::wstring program = programFolder + L"ZeltoAppSwitcher.exe";
    m_files.push_back(program);
    m_files.push_back(programFolder + kRecord);
    m_files.push_back(programFolder + L"received.tmp");
    return CopyFileW((TestProgramFolder() + kRecorder).c_str(), program.c_str(), FALSE) != FALSE;
}

bool AppSwitcherFolder::Launched(const std::wstring& programFolder) const
{
    return GetFileAttributesW((programFolder + kRecord).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::optional<SwitcherLaunch> AppSwitcherFolder::WaitForLaunch(const std::wstring& programFolder,
                                                                std::chrono::milliseconds limit) const
{
    // The record exists before the stand-in has written both its lines.
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const std::optional<std::string> record = ReadWhole(programFolder + kRecord);
        const std::wstring text = record ? Wide(*record) : std::wstring();
        const size_t firstEnd = text.find(L'\n');
        const size_t secondEnd = firstEnd == std::wstring::npos ? firstEnd : text.find(L'\n', firstEnd + 1);
        if (secondEnd != std::wstring::npos)
            return SwitcherLaunch{text.substr(0, firstEnd),
                                  ArgumentsOf(text.substr(firstEnd + 1, secondEnd - firstEnd - 1))};
        if (std::chrono::steady_clock::now() > deadline)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}
