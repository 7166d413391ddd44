#include "button_mode.h"

#include <atomic>
#include <cstdio>

#include "macro_session.h"
#include "press_timing.h"

namespace {

// Posted to the main thread for each press of the chosen button.
constexpr UINT WM_BUTTON_PRESSED = WM_APP + 1;

// Read by the console handler, which gets no context from the system: set
// before the handler is installed and not changed while it is.
std::atomic<DWORD> g_mainThreadId{0};
// Signalled once the main thread has cleaned up, so that a console-close
// handler can hold the process until then (the system ends it on return).
// Lives, and is closed, with the process.
struct CleanedUpEvent {
    HANDLE handle = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ~CleanedUpEvent() { CloseHandle(handle); }
} g_cleanedUp;

BOOL WINAPI ConsoleHandler(DWORD event) noexcept
{
    PostThreadMessageW(g_mainThreadId.load(), WM_QUIT, 0, 0);
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        WaitForSingleObject(g_cleanedUp.handle, 4000);  // the system allows about five seconds
    return TRUE;
}

// Pumps the main thread's messages until WM_QUIT; each press runs the macro.
void PumpUntilQuit(MacroSession& session, MouseButton button)
{
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.hwnd == nullptr && message.message == WM_BUTTON_PRESSED) {
            // A press; the hook thread's other news (the watchdog's) is the tray's.
            if (message.wParam == static_cast<WPARAM>(press_timing::PressKind::Flip))
                session.Press(button);
        } else {
            DispatchMessageW(&message);
        }
    }
}

// Runs the macro on each press until told to end; the exit code.
int RunUntilEnded(MacroSession& session, const std::wstring& macro, MouseButton button)
{
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // the queue the hook posts to
    g_mainThreadId = GetCurrentThreadId();
    SetConsoleCtrlHandler(ConsoleHandler, TRUE);
    ButtonHook mouseHook(nullptr, GetCurrentThreadId(), WM_BUTTON_PRESSED, button, false);
    if (!mouseHook.Installed()) {
        std::fprintf(stderr, "tarvel-host: cannot install the mouse hook (error %lu)\n", GetLastError());
        return 1;
    }
    std::printf("tarvel-host: \"%s\" runs on %s (pointer speed %d); press Ctrl+C to end\n", Narrow(macro).c_str(),
                MouseButtonName(button), ReadPointerSpeed());
    std::fflush(stdout);
    PumpUntilQuit(session, button);
    return 0;
}

}  // namespace

int RunButtonMode(std::unique_ptr<PluginLibrary>& plugin, const std::wstring& macro, MouseButton button)
{
    std::string error;
    std::unique_ptr<MacroSession> session = MacroSession::Begin(plugin, macro, error);
    if (!session) {
        std::fprintf(stderr, "tarvel-host: %s\n", error.c_str());
        return 2;
    }
    const int exitCode = RunUntilEnded(*session, macro, button);
    session->End();
    SetEvent(g_cleanedUp.handle);
    return exitCode;
}
