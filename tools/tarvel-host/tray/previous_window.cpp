#include "previous_window.h"

#include <initializer_list>

namespace {

// DWMWA_CLOAKED: windows of other virtual desktops and suspended Store apps
// are there and visible, but cloaked, and Alt+Tab leaves them out.
bool Cloaked(HWND window)
{
    using GetAttribute = HRESULT(WINAPI*)(HWND, DWORD, void*, DWORD);
    static const auto get = [] {
        HMODULE dwm = LoadLibraryExW(L"dwmapi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        return dwm ? reinterpret_cast<GetAttribute>(reinterpret_cast<void*>(GetProcAddress(dwm, "DwmGetWindowAttribute")))
                   : nullptr;
    }();
    constexpr DWORD kCloaked = 14;  // DWMWA_CLOAKED, Windows 8 and later
    DWORD cloaked = 0;
    return get != nullptr && SUCCEEDED(get(window, kCloaked, &cloaked, sizeof(cloaked))) && cloaked != 0;
}

// The taskbars and the desktop are no one's previous window; nor is Wine's
// own notification area, which has none of the styles that keep Windows'
// taskbar out of the list.
bool ShellWindow(HWND window)
{
    wchar_t name[64]{};
    GetClassNameW(window, name, 64);
    for (const wchar_t* shell : {L"Shell_TrayWnd", L"Shell_SecondaryTrayWnd", L"Progman", L"WorkerW",
                                 L"__winex11_standalone_tray"}) {
        if (lstrcmpW(name, shell) == 0)
            return true;
    }
    return false;
}



}  // namespace

bool AltTabLists(HWND window)
{
    if (!IsWindowVisible(window) || window == GetShellWindow() || ShellWindow(window))
        return false;
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE));
    if ((style & WS_EX_TOPMOST) != 0 || (style & WS_EX_NOACTIVATE) != 0)
        return false;
    const bool asks = (style & WS_EX_APPWINDOW) != 0;
    if (!asks && ((style & WS_EX_TOOLWINDOW) != 0 || GetWindow(window, GW_OWNER) != nullptr))
        return false;
    return !Cloaked(window);
}

HWND PreviousWindow()
{
    HWND front = GetForegroundWindow();
    HWND frontRoot = front != nullptr ? GetAncestor(front, GA_ROOTOWNER) : nullptr;
    for (HWND window = GetTopWindow(nullptr); window != nullptr; window = GetWindow(window, GW_HWNDNEXT)) {
        if (window != front && window != frontRoot && GetAncestor(window, GA_ROOTOWNER) != frontRoot &&
            AltTabLists(window))
            return window;
    }
    return nullptr;
}

bool SwitchToPreviousWindow()
{
    HWND window = PreviousWindow();
    if (window == nullptr)
        return false;
    // Windows lets a background program take the foreground only right
    // after input of its own: an empty mouse event is that input.
    INPUT nothing{};
    nothing.type = INPUT_MOUSE;
    SendInput(1, &nothing, sizeof(nothing));
    // ShowWindow would wait for the window's thread, which may not be
    // answering ("Not Responding"): the async call only posts the restore.
    // Nothing here sends the window a message.
    if (IsIconic(window))
        ShowWindowAsync(window, SW_RESTORE);
    return SetForegroundWindow(GetLastActivePopup(window)) != FALSE;
}
