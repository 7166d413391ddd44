// Real foreground switches for tests: copies of the helper program
// foreground_window.exe under chosen file names and folders, each a process
// with a real window that comes to the front on demand and raises
// EVENT_SYSTEM_FOREGROUND for it.
//
//     ForegroundSwitcher switcher;
//     switcher.SwitchTo(L"notepad.exe");          // started and in front
//     switcher.SwitchTo(L"DWM.EXE");              // a copy of its own, other folder
//     switcher.SwitchTo(L"dwm.exe", L"second");   // same name, folder "second"
//     switcher.SwitchTo(L"notepad.exe");          // the running one, again in front
//
// Everything is owned: the destructor ends every process and removes the copies.
// No gtest here, so that benchmarks can use it as well.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "common/unique_handle.h"

// Polls `condition` every few milliseconds until it holds or `limit` has passed.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit);

// The id of the process that owns the foreground window, 0 when there is none.
DWORD ForegroundProcessId();

// One running copy of the helper: a process with one window.
class ForegroundWindowProcess {
public:
    // Starts `path`; Started() tells whether its window came up and to the front.
    // With a window class, the process stands in for the system's switcher
    // (see helpers/foreground_window.cpp).
    explicit ForegroundWindowProcess(const std::wstring& path, const std::wstring& switcherClass = {});
    // Tells the process to end, waits for it and kills it if it does not.
    ~ForegroundWindowProcess();
    ForegroundWindowProcess(const ForegroundWindowProcess&) = delete;
    ForegroundWindowProcess& operator=(const ForegroundWindowProcess&) = delete;

    bool Started() const { return m_started; }
    DWORD ProcessId() const { return m_processId; }
    const std::wstring& Path() const { return m_path; }

    // Brings the window to the front and raises the foreground event for it;
    // true once the helper has done so and its window is the foreground window.
    bool BringToFront(std::chrono::milliseconds limit = std::chrono::seconds(10));
    // Asks for the switch without waiting for it (for bursts of switches);
    // WaitRaised() collects the acknowledgement later.
    void RequestFront();
    bool WaitRaised(std::chrono::milliseconds limit = std::chrono::seconds(10));
    // The stand-in switcher's window of the given class, like BringToFront.
    bool ShowSwitcher(std::chrono::milliseconds limit = std::chrono::seconds(10));
    void RequestSwitcher();
    // What the stand-in switcher's windows received, "<vk> down|up" a line.
    std::string ReceivedKeys() const;

    // Ends the process now (the destructor does it otherwise).
    void Stop();

private:
    bool WaitInFront(std::chrono::milliseconds limit);

    std::wstring m_path;
    UniqueHandle m_raise;
    UniqueHandle m_raised;
    UniqueHandle m_exit;
    UniqueHandle m_switcher;
    UniqueHandle m_process;
    DWORD m_processId = 0;
    bool m_started = false;
};

class ForegroundSwitcher {
public:
    // Makes a scratch folder of its own under the temporary folder.
    ForegroundSwitcher();
    // Ends every process it started and removes the copies and the folder.
    ~ForegroundSwitcher();
    ForegroundSwitcher(const ForegroundSwitcher&) = delete;
    ForegroundSwitcher& operator=(const ForegroundSwitcher&) = delete;

    // Copies the helper as `fileName` into `folder` (a name below the scratch
    // folder; when empty, a folder of the file name's own, so that names that
    // differ only in case get separate files) and returns the full path.
    std::wstring CopyAs(const std::wstring& fileName, const std::wstring& folder = {});

    // The running process for that copy; started (and so in front) if there is none.
    ForegroundWindowProcess& Window(const std::wstring& fileName, const std::wstring& folder = {});
    // Starts a stand-in switcher as `fileName` in a folder of its own (or
    // `folder`), its ordinary window in front.
    ForegroundWindowProcess& StartSwitcher(const std::wstring& fileName, const std::wstring& switcherClass,
                                           const std::wstring& folder = {});
    // Starts one more process of that copy: a second window of one executable.
    ForegroundWindowProcess& StartAnother(const std::wstring& fileName, const std::wstring& folder = {});

    // Brings that copy's window to the front (starting it if needed); true once in front.
    bool SwitchTo(const std::wstring& fileName, const std::wstring& folder = {});

    // Ends every process started so far (copies stay).
    void StopAll();

    const std::wstring& Root() const { return m_root; }

private:
    std::wstring DefaultFolder(const std::wstring& fileName);
    std::wstring PathOf(const std::wstring& fileName, const std::wstring& folder);

    std::wstring m_root;
    std::wstring m_helperPath;
    std::map<std::wstring, std::wstring> m_defaultFolders;  // exact file name -> folder
    std::map<std::wstring, std::unique_ptr<ForegroundWindowProcess>> m_windows;  // path -> first process
    std::multimap<std::wstring, std::unique_ptr<ForegroundWindowProcess>> m_others;
};
