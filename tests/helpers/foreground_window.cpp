// A real window that tests bring to the front on demand.
//
// Command line: foreground_window.exe <channel> <parent process id> [<class>]
// The parent creates three events named <channel>.raise (auto-reset),
// <channel>.raised (auto-reset) and <channel>.exit (manual reset) before it
// starts this program.  The window comes to the front once at start and again
// each time .raise is signalled; .raised is signalled after each time.  The
// program ends when .exit is signalled or when its parent ends, so no copy
// outlives the test that started it.
//
// With a window class, it stands in for the system's switcher: copied as
// explorer.exe, it shows an ordinary window of Explorer's class (the one
// .raise brings up) and a window of the given class, which comes to the front
// when <channel>.switcher (auto-reset) is signalled.  Every key either window
// receives is appended to keys.txt beside the program, "<vk> down|up" a line.
#include <windows.h>

#include <shellapi.h>

#include <string>
#include <thread>

#include "common/unique_handle.h"

namespace {

std::wstring g_keysPath;  // empty unless standing in for the switcher

void RecordKey(WPARAM key, bool down)
{
    if (g_keysPath.empty())
        return;
    const std::string line = std::to_string(key) + (down ? " down\n" : " up\n");
    const UniqueHandle file(CreateFileW(g_keysPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_KEYDOWN || message == WM_SYSKEYDOWN)
        RecordKey(wParam, true);
    else if (message == WM_KEYUP || message == WM_SYSKEYUP)
        RecordKey(wParam, false);
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateTestWindow(HINSTANCE instance, const wchar_t* className, int left)
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = className;
    RegisterClassW(&windowClass);

    wchar_t title[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, title, MAX_PATH);
    return CreateWindowExW(0, className, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, left, 100, 320, 200, nullptr,
                           nullptr, instance, nullptr);
}

std::wstring KeysPathBesideProgram()
{
    wchar_t path[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring keys = path;
    return keys.substr(0, keys.find_last_of(L'\\') + 1) + L"keys.txt";
}

void PumpMessages()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void BringToFront(HWND window)
{
    SetForegroundWindow(window);
    // Wine does not raise EVENT_SYSTEM_FOREGROUND itself when the foreground
    // changes.  Its NotifyWinEvent goes by the calling thread's cached mask of
    // hooks, which can miss a WinEvent hook installed since the thread last
    // looked; a new thread has no mask yet and always asks the server.
    std::thread([window] { NotifyWinEvent(EVENT_SYSTEM_FOREGROUND, window, OBJID_WINDOW, CHILDID_SELF); }).join();
}

UniqueHandle OpenChannelEvent(const std::wstring& channel, const wchar_t* suffix)
{
    return UniqueHandle(OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, (channel + suffix).c_str()));
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
    const std::wstring switcherClass = count > 3 ? arguments[3] : L"";
    LocalFree(arguments);

    const UniqueHandle exitEvent = OpenChannelEvent(channel, L".exit");
    const UniqueHandle raiseEvent = OpenChannelEvent(channel, L".raise");
    const UniqueHandle raisedEvent = OpenChannelEvent(channel, L".raised");
    const UniqueHandle parent(OpenProcess(SYNCHRONIZE, FALSE, parentId));
    if (!exitEvent || !raiseEvent || !raisedEvent || !parent)
        return 3;
    // Without a class there is no switcher, and its event is never signalled.
    UniqueHandle switcherEvent(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    HWND switcher = nullptr;
    if (!switcherClass.empty()) {
        switcherEvent = OpenChannelEvent(channel, L".switcher");
        switcher = CreateTestWindow(instance, switcherClass.c_str(), 460);
        g_keysPath = KeysPathBesideProgram();
        if (!switcherEvent || switcher == nullptr)
            return 4;
    }

    HWND window = CreateTestWindow(instance, switcher ? L"CabinetWClass" : L"TarvelForegroundWindow", 100);
    if (window == nullptr)
        return 4;
    PumpMessages();
    BringToFront(window);
    SetEvent(raisedEvent.get());

    const HANDLE waits[] = {exitEvent.get(), parent.get(), raiseEvent.get(), switcherEvent.get()};
    for (;;) {
        const DWORD woken = MsgWaitForMultipleObjects(4, waits, FALSE, INFINITE, QS_ALLINPUT);
        if (woken == WAIT_OBJECT_0 + 2 || woken == WAIT_OBJECT_0 + 3) {
            BringToFront(woken == WAIT_OBJECT_0 + 2 ? window : switcher);
            SetEvent(raisedEvent.get());
        } else if (woken == WAIT_OBJECT_0 + 4) {
            PumpMessages();
        } else {
            break;  // told to exit, parent gone, or a failed wait
        }
    }
    // The window goes with the process: under Wine on Xvfb, DestroyWindow of
    // the active window takes about 2 s, process exit does not.
    return 0;
}
