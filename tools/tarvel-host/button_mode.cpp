#include "button_mode.h"

#include <atomic>
#include <cstdio>
#include <cwctype>

#include "hook_thread.h"
#include "host_objects.h"

namespace {

// Posted to the main thread for each press of the chosen button.
constexpr UINT WM_BUTTON_PRESSED = WM_APP + 1;

// Read by the hook procedure and the console handler, which get no context
// from the system: set before the hook and the handler are installed and not
// changed while they are.
std::atomic<DWORD> g_mainThreadId{0};
std::atomic<MouseButton> g_button{MouseButton::XButton1};
// Signalled once the main thread has cleaned up, so that a console-close
// handler can hold the process until then (the system ends it on return).
// Lives, and is closed, with the process.
struct CleanedUpEvent {
    HANDLE handle = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ~CleanedUpEvent() { CloseHandle(handle); }
} g_cleanedUp;

bool IsChosenButton(WPARAM message, const MSLLHOOKSTRUCT& data, bool& down)
{
    switch (g_button.load()) {
    case MouseButton::Middle:
        down = message == WM_MBUTTONDOWN;
        return message == WM_MBUTTONDOWN || message == WM_MBUTTONUP;
    case MouseButton::XButton1:
    case MouseButton::XButton2: {
        const WORD wanted = g_button.load() == MouseButton::XButton1 ? XBUTTON1 : XBUTTON2;
        down = message == WM_XBUTTONDOWN;
        return (message == WM_XBUTTONDOWN || message == WM_XBUTTONUP) && HIWORD(data.mouseData) == wanted;
    }
    }
    return false;
}

// Swallows both halves of the chosen button's click and reports the press.
LRESULT CALLBACK MouseHookProc(int code, WPARAM message, LPARAM data) noexcept
{
    bool down = false;
    if (code == HC_ACTION && IsChosenButton(message, *reinterpret_cast<const MSLLHOOKSTRUCT*>(data), down)) {
        if (down)
            PostThreadMessageW(g_mainThreadId.load(), WM_BUTTON_PRESSED, 0, 0);
        return 1;
    }
    return CallNextHookEx(nullptr, code, message, data);
}

BOOL WINAPI ConsoleHandler(DWORD event) noexcept
{
    PostThreadMessageW(g_mainThreadId.load(), WM_QUIT, 0, 0);
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        WaitForSingleObject(g_cleanedUp.handle, 4000);  // the system allows about five seconds
    return TRUE;
}

void RunMacro(Handler& handler, HostApplication& application, MouseButton button)
{
    const UniqueBridgeContext context = application.MakeContext();
    const int speedBefore = ReadPointerSpeed();
    int32_t result = 0;
    try {
        result = handler.Execute(context.get());
    } catch (const PluginRaised& raised) {
        // A plug-in may let an exception out (out of memory, say); the user's
        // host must survive it and keep the button working.
        std::fflush(stdout);
        std::fprintf(stderr, "tarvel-host: the plug-in's Execute raised an exception (%s); the host goes on\n",
                     DescribeThrow(raised.thrown).c_str());
        return;
    }
    // The plug-in's diagnostic line shares this stream; let it out now.
    std::fflush(stdout);
    std::printf("%s pressed: pointer speed %d, Execute returned %d, pointer speed now %d\n",
                MouseButtonName(button), speedBefore, static_cast<int>(result), ReadPointerSpeed());
    std::fflush(stdout);
}

// Pumps the main thread's messages until WM_QUIT; each press runs the macro.
void PumpUntilQuit(Handler& handler, HostApplication& application, MouseButton button)
{
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.hwnd == nullptr && message.message == WM_BUTTON_PRESSED)
            RunMacro(handler, application, button);
        else
            DispatchMessageW(&message);
    }
}

}  // namespace

bool ParseMouseButton(const std::wstring& text, MouseButton& button)
{
    std::wstring lower;
    for (wchar_t c : text)
        lower += static_cast<wchar_t>(std::towlower(c));
    if (lower == L"xbutton1")
        button = MouseButton::XButton1;
    else if (lower == L"xbutton2")
        button = MouseButton::XButton2;
    else if (lower == L"middle")
        button = MouseButton::Middle;
    else
        return false;
    return true;
}

const char* MouseButtonName(MouseButton button)
{
    switch (button) {
    case MouseButton::XButton1: return "XBUTTON1";
    case MouseButton::XButton2: return "XBUTTON2";
    case MouseButton::Middle: return "middle button";
    }
    return "?";
}

// Runs the macro on each press until told to end; the exit code.
int RunUntilEnded(Handler& handler, HostApplication& application, const std::wstring& macro, MouseButton button)
{
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // the queue the hook posts to
    g_mainThreadId = GetCurrentThreadId();
    g_button = button;
    SetConsoleCtrlHandler(ConsoleHandler, TRUE);
    HookThread mouseHook(WH_MOUSE_LL, MouseHookProc);
    if (!mouseHook.Installed()) {
        std::fprintf(stderr, "tarvel-host: cannot install the mouse hook (error %lu)\n", GetLastError());
        return 1;
    }
    std::printf("tarvel-host: \"%s\" runs on %s (pointer speed %d); press Ctrl+C to end\n", Narrow(macro).c_str(),
                MouseButtonName(button), ReadPointerSpeed());
    std::fflush(stdout);
    PumpUntilQuit(handler, application, button);
    return 0;
}

int RunButtonMode(std::unique_ptr<PluginLibrary>& plugin, const std::wstring& macro, MouseButton button)
{
    int exitCode = 0;
    HostApplication application;
    HostServiceChain hostObject;
    {
        Handler handler(plugin->CreateMacro(macro.c_str()));
        if (!handler) {
            std::fprintf(stderr, "tarvel-host: %s offers no macro named \"%s\"\n", Narrow(plugin->Path()).c_str(),
                         Narrow(macro).c_str());
            return 2;
        }
        BindHost(handler.Get(), 0, hostObject);
        exitCode = RunUntilEnded(handler, application, macro, button);
    }  // the handler is destroyed here
    if (ReleaseHeldWindowsKey())
        std::printf("tarvel-host: released the Windows key a flip still held\n");
    if (application.Mouse().RestoreIfLowered())
        std::printf("tarvel-host: put back the pointer speed a flip had lowered\n");
    plugin.reset();
    std::printf("tarvel-host: ended; handler destroyed, plug-in unloaded, pointer speed %d\n",
                ReadPointerSpeed());
    std::fflush(stdout);
    SetEvent(g_cleanedUp.handle);
    return exitCode;
}
