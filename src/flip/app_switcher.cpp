#include "flip/app_switcher.h"

#include <windows.h>
#include <shellapi.h>

#include "common/unique_handle.h"
#include "host/host.h"
#include "strings/res_string.h"

namespace {

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

    // Nothing goes between the two: the host's folder ends with a backslash.
    CResString path(context->HostFolder);
    path += L"Pluggins\\ZeltoAppSwitcher.exe";
    info.lpFile = path.c_str();

    ShellExecuteExW(&info);
    UniqueHandle process(info.hProcess);  // closed at once: the launch does not wait
}
