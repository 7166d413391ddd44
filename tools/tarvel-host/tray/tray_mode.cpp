#include "tray_mode.h"

#include <sddl.h>

#include <cstdio>
#include <memory>
#include <string>

#include "autostart.h"
#include "common/unique_handle.h"
#include "macro_session.h"
#include "plugin_library.h"
#include "settings.h"
#include "settings_window.h"
#include "shell_actions.h"
#include "tray_instance.h"

namespace {

// Per user session ("Local\"), owned by the running instance's main thread
// until it has cleaned up: "--quit" and "--replace" wait on it.
const wchar_t kInstanceMutex[] = L"Local\\TarvelHostTray";
// Whoever made it, the user's other copies may wait on it: an instance that
// runs as administrator would otherwise keep them out (an elevated owner's
// default access list), and "--quit" could not wait for its end.
const wchar_t kInstanceMutexAccess[] = L"D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;GA;;;OW)(A;;0x00100001;;;IU)S:(ML;;NW;;;LW)";

struct LocalMemory {
    PSECURITY_DESCRIPTOR value = nullptr;
    ~LocalMemory() { LocalFree(value); }
};

// The mutex, owned; `error` is CreateMutexW's last error (ERROR_ALREADY_EXISTS
// when another copy made it), read before anything else can change it.
HANDLE CreateInstanceMutex(DWORD& error)
{
    LocalMemory descriptor;
    ConvertStringSecurityDescriptorToSecurityDescriptorW(kInstanceMutexAccess, SDDL_REVISION_1, &descriptor.value,
                                                         nullptr);
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor.value, FALSE};
    HANDLE mutex = CreateMutexW(descriptor.value != nullptr ? &attributes : nullptr, TRUE, kInstanceMutex);
    error = GetLastError();
    return mutex;
}

// The running instance's window; one that is still starting has it within moments.
HWND FindRunningWindow(HANDLE instance)
{
    HWND window = nullptr;
    for (int i = 0; i < 200 && (window = FindWindowW(kTrayWindowClass, nullptr)) == nullptr; ++i) {
        if (instance != nullptr && WaitForSingleObject(instance, 50) != WAIT_TIMEOUT)
            return nullptr;  // it ended meanwhile
        if (instance == nullptr)
            Sleep(50);
    }
    return window;
}

void PostRegistered(HWND window, const wchar_t* name)
{
    if (window != nullptr)
        PostMessageW(window, RegisterWindowMessageW(name), 0, 0);
}

// The registered message passes an administrator's message filter; WM_CLOSE
// is what a copy from an earlier version ends on (an update over a running
// one).  Whichever comes second finds the window gone.
void AskToQuit(HWND window)
{
    PostRegistered(window, kQuitMessageName);
    if (window != nullptr)
        PostMessageW(window, WM_CLOSE, 0, 0);
}

// A second start: the running copy shows its balloon again (or its menu),
// or its settings window, which need the foreground that this process, just
// started by the user, may hand on.
int ShowRunningInstance(bool settings)
{
    HWND window = FindRunningWindow(nullptr);
    DWORD processId = 0;
    if (window != nullptr && GetWindowThreadProcessId(window, &processId) != 0)
        AllowSetForegroundWindow(processId);
    PostRegistered(window, settings ? kSettingsMessageName : kShowMessageName);
    return 0;
}

// The program of the copy whose window is `window`; empty when unknown.
std::wstring ProgramOfWindow(HWND window)
{
    DWORD processId = 0;
    if (window == nullptr || GetWindowThreadProcessId(window, &processId) == 0)
        return {};
    const UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    std::wstring path(32768, L'\0');  // the longest path Windows has
    DWORD size = static_cast<DWORD>(path.size());
    if (!process || !QueryFullProcessImageNameW(process.get(), 0, path.data(), &size))
        return {};
    path.resize(size);
    return path;
}

// What a start does while another copy runs.
enum class SecondStart { ShowRunning, Leave, Replace };

// A start from the folder the running copy came from shows that copy.  From
// another folder (a newer ZIP beside the installed copy, say) the user is
// told which copy runs and from where, and may switch to this one; at logon
// it only leaves.
SecondStart DecideSecondStart(const TrayStart& start)
{
    if (start.replace)
        return SecondStart::Replace;
    const std::wstring running = ProgramOfWindow(FindRunningWindow(nullptr));
    const std::wstring program = ThisProgram();
    // "--settings" asks for the running copy's window, whichever copy runs.
    if (running.empty() || SamePath(running, program) || start.settings)
        return SecondStart::ShowRunning;
    Say("tarvel-host: another copy runs: %s\n", Narrow(running));
    if (start.logon)
        return SecondStart::Leave;
    const std::wstring text =
        (IsInstalledCopy(running, InstalledFolder()) ? L"The installed Tarvel is running already, from\n"
                                                     : L"Another copy of Tarvel is running already, from\n") +
        running + L"\n\nThis copy has not started:\n" + program +
        L"\n\nSwitch to this copy? The running Tarvel ends and this one takes its place, as starting it with "
        L"--replace does.";
    return MessageBoxW(nullptr, text.c_str(), L"Tarvel", MB_YESNO | MB_ICONINFORMATION | MB_SETFOREGROUND) == IDYES
               ? SecondStart::Replace
               : SecondStart::Leave;
}

// "--replace": the running copy is asked to end; once it has let go of the
// mutex (ended or abandoned) this one owns it.
bool TakeOver(HANDLE instance)
{
    AskToQuit(FindRunningWindow(nullptr));
    const DWORD taken = WaitForSingleObject(instance, 30000);
    return taken == WAIT_OBJECT_0 || taken == WAIT_ABANDONED;
}

// What the user can do about a plug-in that would not load.
std::string WhatToDo(const std::string& error)
{
    return std::string(kExtractFirst) + "\n\nIf you did, a file is missing: install Tarvel again, or extract the "
           "ZIP again.\n\n(Tarvel cannot start: " + error + ".)";
}

int RunInstance(std::unique_ptr<MacroSession> session, const TrayStart& start)
{
    std::string error;
    std::wstring problems;
    const TraySettings settings = LoadSettings(&problems);
    int exitCode = 0;
    {
        TrayInstance tray(std::move(session), settings, problems);
        if (tray.Start(!start.logon, error)) {
            std::printf("tarvel-host: in the notification area, \"Tarvel\" runs on %s\n",
                        MouseButtonName(settings.button));
            std::fflush(stdout);
            if (start.settings)
                PostMessageW(FindWindowW(kTrayWindowClass, nullptr), RegisterWindowMessageW(kSettingsMessageName), 0, 0);
            MSG message;
            while (GetMessageW(&message, nullptr, 0, 0) > 0) {
                if (SettingsWindowMessage(message))
                    continue;  // Tab, Enter, Escape and the underlined letters of the settings window
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        } else {
            ReportFailure(error);
            exitCode = 1;
        }
    }  // everything put back here, if the session's end has not done it already
    return exitCode;
}

}  // namespace

int RunTrayMode(const TrayStart& start)
{
    DWORD created = ERROR_SUCCESS;
    UniqueHandle instance(CreateInstanceMutex(created));
    // A copy that runs as administrator keeps this one from opening its mutex
    // with all rights: it runs all the same.
    if (!instance && created != ERROR_ACCESS_DENIED) {
        ReportFailure("Tarvel cannot tell whether it runs already (" + DescribeError(created) + ")");
        return 1;
    }
    if (!instance || created == ERROR_ALREADY_EXISTS) {
        const SecondStart second = instance ? DecideSecondStart(start) : SecondStart::ShowRunning;
        if (second != SecondStart::Replace)
            return second == SecondStart::ShowRunning ? ShowRunningInstance(start.settings) : 0;
        if (!TakeOver(instance.get())) {
            ReportFailure("Tarvel cannot take the place of the copy that runs: it did not end");
            return 1;
        }
    }
    std::string error;
    std::unique_ptr<PluginLibrary> plugin = PluginLibrary::Load(DefaultPluginPath(), error);
    std::unique_ptr<MacroSession> session = plugin ? MacroSession::Begin(plugin, L"Tarvel", error) : nullptr;
    if (!session) {
        ReportFailure(WhatToDo(error));
        ReleaseMutex(instance.get());
        return 2;
    }
    const int exitCode = RunInstance(std::move(session), start);
    ReleaseMutex(instance.get());
    return exitCode;
}

int QuitRunningInstance()
{
    UniqueHandle instance(OpenMutexW(SYNCHRONIZE, FALSE, kInstanceMutex));
    if (!instance) {
        std::printf("tarvel-host: no instance runs\n");
        return 1;
    }
    HWND window = FindRunningWindow(instance.get());
    if (window == nullptr && WaitForSingleObject(instance.get(), 0) != WAIT_TIMEOUT)
        return 0;  // it ended meanwhile
    AskToQuit(window);
    const DWORD ended = WaitForSingleObject(instance.get(), 30000);
    if (ended == WAIT_OBJECT_0 || ended == WAIT_ABANDONED)
        return 0;
    std::printf("tarvel-host: the running instance did not end\n");
    return 1;
}
