#include "flip/app_switcher.h"

#include <windows.h>
#include <shellapi.h>
#include <wchar.h>

#include "common/unique_handle.h"
#include "host/host.h"
#include "strings/res_string.h"

namespace {

// The longest path Windows names, with its terminator.
constexpr DWORD kLongestPath = 32768;

bool EndsWithSeparator(const CResString& folder)
{
    const wchar_t last = folder[folder.size() - 1];
    return last == L'\\' || last == L'/';
}

// The folder of the host's executable, with its trailing backslash; empty
// when it cannot be read.  The buffer is on the heap and grows: the path may
// be longer than MAX_PATH, and a stack buffer for the longest would need a
// stack probe that only ntdll exports.
CResString ExecutableFolder()
{
    CResString path;
    for (DWORD capacity = MAX_PATH + 1;; capacity *= 2) {
        path.resize(capacity);
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), capacity);
        if (length < capacity) {  // whole (0: unreadable)
            path.resize(length);
            break;
        }
        if (capacity >= kLongestPath) {
            path.clear();
            return path;
        }
    }
    const wchar_t* slash = wcsrchr(path.c_str(), L'\\');
    path.resize(slash != nullptr ? static_cast<size_t>(slash - path.c_str()) + 1 : 0);
    return path;
}

// Where the host keeps its programs, with a trailing separator.  An empty
// HostFolder would make the path relative, and the shell would then look for
// the switcher in the current directory, where any program of that name
// could be waiting: it means the host executable's own folder.
CResString HostFolderOf(const MacroContext& context)
{
    CResString folder = context.HostFolder.empty() ? ExecutableFolder() : CResString(context.HostFolder);
    if (!folder.empty() && !EndsWithSeparator(folder))
        folder += L"\\";
    return folder;
}

// The host's prompt; left empty when the host offers no translator.
CResString TranslatePrompt(IApplication* application)
{
    CResString prompt;
    ITranslator* translator = application != nullptr ? application->GetTranslator() : nullptr;
    if (translator != nullptr)
        translator->Translate(CResString(L"HELP_QUICKSWITCH"), prompt);
    return prompt;
}

}  // namespace

void LaunchAppSwitcher(MacroContext* context)
{
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    // No error box: a switcher that cannot be started is not reported, and a
    // modal box would stop the host's thread inside Execute until dismissed.
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.nShow = SW_SHOWNORMAL;

    // Quotes inside the translation are passed on as they are.
    CResString argument = TranslatePrompt(context->Application);
    argument = L"\"" + argument + L"\"";
    info.lpParameters = argument.c_str();

    CResString path = HostFolderOf(*context);
    if (path.empty())
        return;  // nowhere to start it from, and never the current directory
    path += L"Pluggins\\ZeltoAppSwitcher.exe";
    info.lpFile = path.c_str();

    ShellExecuteExW(&info);
    UniqueHandle process(info.hProcess);  // closed at once: the launch does not wait
}
