#include "exclusion_demo.h"

#include <windows.h>

#include "button_hook.h"
#include "demo_window.h"
#include "foreground_filter.h"
#include "plugin_library.h"

namespace {

constexpr UINT WM_DEMO_PRESS = WM_APP + 7;
constexpr DWORD kPressWait = 2000;  // a press the hook takes is posted at once
const wchar_t kEditor[] = L"tarvel-demo-editor.exe";

// Presses the first side button as the user's mouse would; true when the
// hook took the press (it posts one message for it) within the wait.
bool HookTakesAPress()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, WM_DEMO_PRESS, WM_DEMO_PRESS, PM_REMOVE)) {
    }
    INPUT inputs[2]{};
    inputs[0].type = inputs[1].type = INPUT_MOUSE;
    inputs[0].mi.dwFlags = MOUSEEVENTF_XDOWN;
    inputs[1].mi.dwFlags = MOUSEEVENTF_XUP;
    inputs[0].mi.mouseData = inputs[1].mi.mouseData = XBUTTON1;
    SendInput(2, inputs, sizeof(INPUT));
    for (DWORD waited = 0; waited < kPressWait; waited += 50) {
        if (PeekMessageW(&message, nullptr, WM_DEMO_PRESS, WM_DEMO_PRESS, PM_REMOVE))
            return true;
        Sleep(50);
    }
    return false;
}

}  // namespace

void ShowExclusion(Transcript& transcript)
{
    transcript.Section("In the background: an application that keeps the button");
    if (!DemoHelpersPresent()) {
        transcript.Skip("the applications it brings to the front come with a build of the source, not with the package");
        return;
    }
    DemoWindow editor(kEditor);
    if (!transcript.Step(editor.InFront(), "an application, tarvel-demo-editor.exe, is in front"))
        return;
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // the queue the hook posts to
    ButtonHook hook(nullptr, GetCurrentThreadId(), WM_DEMO_PRESS, MouseButton::XButton1, false);
    if (!transcript.Step(hook.Installed(), "the mouse hook watches the first side button"))
        return;
    ForegroundFilter filter([] {});
    filter.Update({kEditor}, true);
    hook.SetPassThrough(filter.PassThrough());
    transcript.Step(filter.PassThrough(), "excluded from the menu (\"Don't use the button in tarvel-demo-editor.exe\")");
    transcript.Step(!HookTakesAPress(), "first side button pressed: it went through to the application, no flip");
    filter.Update({}, true);
    hook.SetPassThrough(filter.PassThrough());
    transcript.Step(HookTakesAPress(), "admitted again: the same press is taken for the flip and swallowed");
}
