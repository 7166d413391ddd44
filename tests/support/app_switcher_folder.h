// A temporary host folder with the recording app switcher installed where the
// plug-in starts it, and the record it leaves (see app_switcher_recorder.cpp).
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

struct SwitcherLaunch {
    std::wstring program;    // the started program's own path
    std::wstring arguments;  // its command line after the program part
};

class AppSwitcherFolder {
public:
    AppSwitcherFolder();   // makes <temp>\tarvel-host-<pid>-<n>\ (the host folder)
    ~AppSwitcherFolder();  // removes what it made

    AppSwitcherFolder(const AppSwitcherFolder&) = delete;
    AppSwitcherFolder& operator=(const AppSwitcherFolder&) = delete;

    // The host folder, ending with a backslash.
    const std::wstring& HostFolder() const { return m_hostFolder; }
    // Where the host keeps its app switcher: HostFolder() + "Pluggins\".
    std::wstring ProgramFolder() const { return m_hostFolder + L"Pluggins\\"; }
    // The folder's name and "Pluggins" run together: where a host folder
    // given without its trailing backslash would lead if none were added.
    std::wstring RunTogetherFolder() const;

    // Copies the recorder to `programFolder` + "ZeltoAppSwitcher.exe"; the
    // folder is made if needed and removed with this object.
    bool InstallIn(const std::wstring& programFolder);
    // Waits for the record of a launch of the program in `programFolder`.
    std::optional<SwitcherLaunch> WaitForLaunch(const std::wstring& programFolder,
                                                std::chrono::milliseconds limit) const;
    // Whether the program in `programFolder` has left a record.
    bool Launched(const std::wstring& programFolder) const;

private:
    std::wstring m_hostFolder;
    std::vector<std::wstring> m_files;    // removed first
    std::vector<std::wstring> m_folders;  // removed in reverse order
};

// The folder of this process's executable, with its trailing backslash.
std::wstring TestProgramFolder();
// The command line without its first word (a quoted or plain program path)
// and the blanks after it.
std::wstring ArgumentsOf(const std::wstring& commandLine);
// UTF-8 to UTF-16.
std::wstring Wide(const std::string& text);
