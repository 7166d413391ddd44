#include "shell_actions.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>

#include "autostart.h"
#include "common/unique_handle.h"
#include "plugin_library.h"

namespace {

bool LimitedAdministrator()
{
    HANDLE handle = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &handle))
        return false;
    const UniqueHandle token(handle);
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    DWORD size = 0;
    return GetTokenInformation(token.get(), TokenElevationType, &type, sizeof(type), &size) &&
           type == TokenElevationTypeLimited;
}

std::wstring KnownFolder(REFKNOWNFOLDERID id)
{
    PWSTR path = nullptr;
    std::wstring folder;
    if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path)))
        folder = path;
    CoTaskMemFree(path);
    return folder;
}

// The known folder, not %ProgramFiles%: the user can set the variable.
bool UnderProgramFiles(const std::wstring& program)
{
    for (const std::wstring& folder : {KnownFolder(FOLDERID_ProgramFiles), KnownFolder(FOLDERID_ProgramFilesX86)}) {
        if (!folder.empty() && IsPathInFolder(program, folder))
            return true;
    }
    return false;
}

}  // namespace

void ReportFailure(const std::string& error)
{
    HANDLE errors = GetStdHandle(STD_ERROR_HANDLE);
    if (errors != nullptr && errors != INVALID_HANDLE_VALUE && GetFileType(errors) != FILE_TYPE_UNKNOWN) {
        std::fprintf(stderr, "tarvel-host: %s\n", error.c_str());
        std::fflush(stderr);
    }
    MessageBoxW(nullptr, Widen(error).c_str(), L"Tarvel", MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

void RestartElevated(HWND window)
{
    const std::wstring program = ThisProgram();
    SHELLEXECUTEINFOW execute{};
    execute.cbSize = sizeof(execute);
    execute.fMask = SEE_MASK_NOASYNC;
    execute.hwnd = window;
    execute.lpVerb = L"runas";
    execute.lpFile = program.c_str();
    execute.lpParameters = L"--replace";
    execute.nShow = SW_SHOWNORMAL;
    if (ShellExecuteExW(&execute))
        return;  // the new copy asks this one to end
    const DWORD error = GetLastError();
    if (error != ERROR_CANCELLED)
        Tell(window, Widen("Tarvel could not start as administrator (" + DescribeError(error) + ")."), MB_ICONWARNING);
}

Elevation ElevationFor(bool limitedAdministrator, bool underProgramFiles)
{
    if (!limitedAdministrator)
        return Elevation::Pointless;
    return underProgramFiles ? Elevation::Offered : Elevation::NeedsInstalledCopy;
}

Elevation ElevationOfThisCopy() { return ElevationFor(LimitedAdministrator(), UnderProgramFiles(ThisProgram())); }

bool IsPathInFolder(const std::wstring& path, const std::wstring& folder)
{
    if (folder.empty() || path.size() <= folder.size() || (path[folder.size()] != L'\\' && path[folder.size()] != L'/'))
        return false;
    return CompareStringOrdinal(path.c_str(), static_cast<int>(folder.size()), folder.c_str(),
                                static_cast<int>(folder.size()), TRUE) == CSTR_EQUAL;
}

void Tell(HWND window, const std::wstring& text, UINT icon)
{
    MessageBoxW(window, text.c_str(), L"Tarvel", MB_OK | icon);
}

void Say(const char* format, const std::string& text)
{
    std::printf(format, text.c_str());
    std::fflush(stdout);
}

void OpenReadme(HWND window)
{
    const std::wstring readme = ExecutableFolder() + L"README.txt";
    if (GetFileAttributesW(readme.c_str()) == INVALID_FILE_ATTRIBUTES) {
        Tell(window, L"The README is not where Tarvel looked for it:\n" + readme, MB_ICONWARNING);
        return;
    }
    // The user's program for .txt files; Notepad when the association is
    // missing or broken, which every Windows has.
    if (reinterpret_cast<INT_PTR>(ShellExecuteW(window, L"open", readme.c_str(), nullptr, nullptr, SW_SHOWNORMAL)) > 32)
        return;
    const std::wstring quoted = L"\"" + readme + L"\"";
    if (reinterpret_cast<INT_PTR>(ShellExecuteW(window, L"open", L"notepad.exe", quoted.c_str(), nullptr,
                                                SW_SHOWNORMAL)) > 32)
        return;
    Tell(window,
         Widen("Tarvel could not open its README (" + DescribeError(GetLastError()) +
               "). Open it with any text editor:\n") + readme,
         MB_ICONWARNING);
}
