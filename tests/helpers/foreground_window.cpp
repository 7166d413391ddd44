// A real window that tests bring to the front on demand.
//
// Command line: foreground_window.exe <channel> <parent process id>
// The parent creates three events named <channel>.raise (auto-reset),
// <channel>.raised (auto-reset) and <channel>.exit (manual reset) before it
// starts this program.  The window comes to the front once at start and again
// each time .raise is signalled; .raised is signalled after each time.  The
// program ends when .exit is signalled or when its parent ends, so no copy
// outlives the test that started it.
#include <windows.h>

#include <shellapi.h>

#include <string>

#include "common/unique_handle.h"

namespace {

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateTestWindow(HINSTANCE instance)
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"TarvelForegroundWindow";
    RegisterClassW(&windowClass);

    wchar_t title[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, title, MAX_PATH);
    return CreateWindowExW(0, windowClass.lpszClassName, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                           100, 100, 320, 200, nullptr, nullptr, instance, nullptr);
}

void BringToFront(HWND window)
{
    SetForegroundWindow(window);
    // Wine does not raise EVENT_SYSTEM_FOREGROUND itself when the foreground changes.
    NotifyWinEvent(EVENT_SYSTEM_FOREGROUND, window, OBJID_WINDOW, CHILDID_SELF);
}

UniqueHandle OpenChannelEvent(const std::wstring& channel, const wchar_t* suffix)
{
    return UniqueHandle(OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, (channel + suffix).c_str()));
}

void PumpMessages()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == nullptr || count < 3)
        return 2;
    const std::wstring channel = arguments[1];
    const DWORD parentId = wcstoul(arguments[2], nullptr, 10);
    LocalFree(arguments);

    const UniqueHandle exitEvent = OpenChannelEvent(channel, L".exit");
    const UniqueHandle raiseEvent = OpenChannelEvent(channel, L".raise");
    const UniqueHandle raisedEvent = OpenChannelEvent(channel, L".raised");
    const UniqueHandle parent(OpenProcess(SYNCHRONIZE, FALSE, parentId));
    if (!exitEvent || !raiseEvent || !raisedEvent || !parent)
        return 3;

    HWND window = CreateTestWindow(instance);
    if (window == nullptr)
        return 4;
    PumpMessages();
    BringToFront(window);
    SetEvent(raisedEvent.get());

    const HANDLE waits[] = {exitEvent.get(), parent.get(), raiseEvent.get()};
    for (;;) {
        const DWORD woken = MsgWaitForMultipleObjects(3, waits, FALSE, INFINITE, QS_ALLINPUT);
        if (woken == WAIT_OBJECT_0 + 2) {
            BringToFront(window);
            SetEvent(raisedEvent.get());
        } else if (woken == WAIT_OBJECT_0 + 3) {
            PumpMessages();
        } else {
            break;  // told to exit, parent gone, or a failed wait
        }
    }
    // The window goes with the process: under Wine on Xvfb, DestroyWindow of
    // the active window takes about 2 s, process exit does not.
    return 0;
}
