// ZeltoAppSwitcher.exe, tarvel-host's app switcher.  The plug-in starts it as
// <host folder>Pluggins\ZeltoAppSwitcher.exe when it cannot show the system's
// window flip (desktop composition off), with the host's prompt in double
// quotes as its one argument.
//
// It shows the prompt as its title over the windows that the system's Alt+Tab
// would offer, most recently used first, each with its icon and title; the one
// behind the current window is selected, as in Alt+Tab.  A click on a window,
// or the arrow keys and Enter, brings it to the front (restored if it was
// minimised); Right and Left step as Down and Up do, round the ends; Escape,
// or a click anywhere else, closes the list.  Started
// while its list is shown, it closes that list, as a second press of the
// button ends the system's flip (one that is still closing is waited for).
// It writes no file and no registry value.
#include <windows.h>

#include <commctrl.h>
#include <dwmapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/unique_handle.h"

namespace {

// Also what the demonstration and the tests find the window by.
constexpr wchar_t kWindowClass[] = L"TarvelAppSwitcher";
constexpr wchar_t kOneListMutex[] = L"Local\\TarvelAppSwitcher";
constexpr wchar_t kUntitledPrompt[] = L"Switch to";
constexpr int kListId = 1;
constexpr int kWidthAt96Dpi = 480;
constexpr int kRowsAtMost = 12;          // beyond that, the list scrolls
constexpr UINT kIconWaitMs = 200;        // a hung window shows the generic icon
constexpr UINT kPickMessage = WM_APP;    // wParam: the item to switch to
constexpr DWORD kTurnWaitMs = 5000;      // for a list that is closing (2 s under Wine) or starting

// Functions newer than Windows 7, or in a DLL that may be missing, found where they exist.
struct LaterApis {
    UINT(WINAPI* getDpiForWindow)(HWND) = nullptr;                                   // 10, 1607
    BOOL(WINAPI* adjustWindowRectExForDpi)(RECT*, DWORD, BOOL, DWORD, UINT) = nullptr;  // 10, 1607
    HRESULT(WINAPI* dwmGetWindowAttribute)(HWND, DWORD, void*, DWORD) = nullptr;      // dwmapi.dll
};

template <typename Function>
void Find(Function& function, HMODULE module, const char* name)
{
    if (module != nullptr)
        function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// dwmapi.dll from the system folder only, never from beside this program; it
// stays loaded for the life of this short process.
HMODULE LoadSystemDwmapi()
{
    wchar_t folder[MAX_PATH] = L"";
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    return LoadLibraryW((std::wstring(folder) + L"\\dwmapi.dll").c_str());
}

LaterApis FindLaterApis()
{
    LaterApis apis;
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    Find(apis.getDpiForWindow, user32, "GetDpiForWindow");
    Find(apis.adjustWindowRectExForDpi, user32, "AdjustWindowRectExForDpi");
    Find(apis.dwmGetWindowAttribute, LoadSystemDwmapi(), "DwmGetWindowAttribute");
    return apis;
}

LaterApis g_apis;  // found once, at the start

// The prompt: the command line after the program, without the double quotes
// around it.  The plug-in does not escape quotes inside the prompt, so the
// line is not split into arguments.
std::wstring PromptOf(const std::wstring& commandLine)
{
    size_t start = 0;
    if (!commandLine.empty() && commandLine[0] == L'"')
        start = std::min(commandLine.find(L'"', 1), commandLine.size() - 1) + 1;
    else
        start = std::min(commandLine.find_first_of(L" \t"), commandLine.size());
    start = commandLine.find_first_not_of(L" \t", start);
    if (start == std::wstring::npos)
        return {};
    std::wstring prompt = commandLine.substr(start, commandLine.find_last_not_of(L" \t") + 1 - start);
    if (prompt.size() >= 2 && prompt.front() == L'"' && prompt.back() == L'"')
        prompt = prompt.substr(1, prompt.size() - 2);
    return prompt;
}

// The system's DPI, which sizes what SystemParametersInfo and GetSystemMetrics give.
UINT SystemDpi()
{
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

UINT DpiOf(HWND window)
{
    return g_apis.getDpiForWindow != nullptr ? g_apis.getDpiForWindow(window) : SystemDpi();
}

// Windows 8 and later cloak windows that are not on show: those of other
// virtual desktops, suspended store apps.  Alt+Tab leaves them out.
bool IsCloaked(HWND window)
{
    DWORD cloaked = 0;
    return g_apis.dwmGetWindowAttribute != nullptr &&
           SUCCEEDED(g_apis.dwmGetWindowAttribute(window, DWMWA_CLOAKED, &cloaked, sizeof(cloaked))) &&
           cloaked != 0;
}

// A window's title, read without sending it a message (a hung window cannot
// hold up the list); empty when it has none.
std::wstring TitleOf(HWND window)
{
    wchar_t title[512] = L"";
    GetWindowTextW(window, title, ARRAYSIZE(title));
    return title;
}

// The window that stands for `window`'s family of owned windows in Alt+Tab:
// from the root owner down the chain of last active popups to the first
// visible one.  A visible root whose own last active window is itself stands
// for itself; a hidden root (an application's hidden owner window) gives way
// to the visible window it owns; a dialog used last stands for its owner.
HWND FamilysShownWindow(HWND window)
{
    HWND walk = GetAncestor(window, GA_ROOTOWNER);
    // Bounded: a chain of owners is short, and windows change while this walks.
    for (int step = 0; step < 32 && !IsWindowVisible(walk); ++step) {
        const HWND popup = GetLastActivePopup(walk);
        if (popup == nullptr || popup == walk)
            break;
        walk = popup;
    }
    if (IsWindowVisible(walk)) {
        // A tool palette used last does not stand for its application.
        const HWND popup = GetLastActivePopup(walk);
        if (popup != nullptr && popup != walk && IsWindowVisible(popup) &&
            !(GetWindowLongPtrW(popup, GWL_EXSTYLE) & WS_EX_TOOLWINDOW))
            return popup;
    }
    return walk;
}

// What Alt+Tab offers: visible top-level windows marked as application
// windows, and the shown window of each family of owned windows unless it is
// a tool window or cannot take the focus; none cloaked.  Untitled ones are
// left out: there would be nothing to read in the list.
bool OffersSwitchTo(HWND window)
{
    if (!IsWindowVisible(window) || window == GetShellWindow())
        return false;
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId == GetCurrentProcessId())
        return false;
    const LONG_PTR exStyle = GetWindowLongPtrW(window, GWL_EXSTYLE);
    if (!(exStyle & WS_EX_APPWINDOW) &&
        (FamilysShownWindow(window) != window || (exStyle & (WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE)) != 0))
        return false;
    return !IsCloaked(window) && !TitleOf(window).empty();
}

// Top-level windows come front to back: most recently used first.  Out of
// memory, the list ends where it got to: nothing may leave the callback.
std::vector<HWND> WindowsToOffer()
{
    std::vector<HWND> windows;
    EnumWindows(
        [](HWND window, LPARAM found) noexcept -> BOOL {
            try {
                if (OffersSwitchTo(window))
                    reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
                return TRUE;
            } catch (...) {
                return FALSE;
            }
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

// The small icon the window shows, else its class's, else the generic one.
// Not owned here: the image list copies it.
HICON IconOf(HWND window)
{
    for (const WPARAM kind : {ICON_SMALL2, ICON_SMALL, ICON_BIG}) {
        DWORD_PTR icon = 0;
        if (SendMessageTimeoutW(window, WM_GETICON, kind, 0, SMTO_ABORTIFHUNG, kIconWaitMs, &icon) && icon != 0)
            return reinterpret_cast<HICON>(icon);
    }
    for (const int kind : {GCLP_HICONSM, GCLP_HICON}) {
        if (const ULONG_PTR icon = GetClassLongPtrW(window, kind))
            return reinterpret_cast<HICON>(icon);
    }
    return LoadIconW(nullptr, IDI_APPLICATION);
}

// The one list of this process, used on its one thread only.
struct SwitcherWindow {
    HWND window = nullptr;
    HWND list = nullptr;
    HFONT font = nullptr;          // owned, made for the window's DPI
    std::vector<HWND> targets;     // item i switches to targets[i]
};
SwitcherWindow g_switcher;

constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
// Seen over everything even if it cannot take the focus; a tool window, so
// that it gets no taskbar button and is not itself in Alt+Tab.
constexpr DWORD kExStyle = WS_EX_TOPMOST | WS_EX_TOOLWINDOW;

void AddItems(const std::vector<HWND>& targets)
{
    for (size_t index = 0; index < targets.size(); ++index) {
        std::wstring title = TitleOf(targets[index]);
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_IMAGE;
        item.iItem = static_cast<int>(index);
        item.iImage = static_cast<int>(index);
        item.pszText = title.data();
        ListView_InsertItem(g_switcher.list, &item);
    }
}

// The message font and the icons in the size for `dpi`.
void ScaleTo(UINT dpi)
{
    const UINT systemDpi = SystemDpi();
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    metrics.lfMessageFont.lfHeight = MulDiv(metrics.lfMessageFont.lfHeight, dpi, systemDpi);
    const HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);
    SendMessageW(g_switcher.list, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    if (g_switcher.font != nullptr)
        DeleteObject(g_switcher.font);
    g_switcher.font = font;

    const int size = MulDiv(GetSystemMetrics(SM_CXSMICON), dpi, systemDpi);
    const HIMAGELIST icons =
        ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, static_cast<int>(g_switcher.targets.size()), 0);
    for (HWND target : g_switcher.targets) {
        // Image i belongs to item i: an icon that cannot be copied (its
        // window has just freed it) gives way to the generic one.
        if (ImageList_ReplaceIcon(icons, -1, IconOf(target)) < 0)
            ImageList_ReplaceIcon(icons, -1, LoadIconW(nullptr, IDI_APPLICATION));
    }
    // The list destroys the image list it holds when it ends; the one it held
    // before is this code's to destroy.
    if (const HIMAGELIST previous = ListView_SetImageList(g_switcher.list, icons, LVSIL_SMALL))
        ImageList_Destroy(previous);
}

// The window's size for its rows at `dpi`: kWidthAt96Dpi wide, as tall as
// its rows up to kRowsAtMost, and no larger than two thirds of `workArea`.
SIZE SizeFor(UINT dpi, const RECT& workArea)
{
    RECT row{};
    const int rowHeight = ListView_GetItemRect(g_switcher.list, 0, &row, LVIR_BOUNDS) ? row.bottom - row.top
                                                                                       : MulDiv(20, dpi, 96);
    const int rows = std::clamp(static_cast<int>(g_switcher.targets.size()), 1, kRowsAtMost);
    RECT frame{0, 0, MulDiv(kWidthAt96Dpi, dpi, 96), rowHeight * rows + MulDiv(4, dpi, 96)};
    if (g_apis.adjustWindowRectExForDpi != nullptr)
        g_apis.adjustWindowRectExForDpi(&frame, kStyle, FALSE, kExStyle, dpi);
    else
        AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
    return SIZE{std::min(frame.right - frame.left, (workArea.right - workArea.left) * 2 / 3),
                std::min(frame.bottom - frame.top, (workArea.bottom - workArea.top) * 2 / 3)};
}

RECT WorkAreaOf(HMONITOR monitor)
{
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    GetMonitorInfoW(monitor, &info);
    return info.rcWork;
}

// Centred on the monitor the pointer is on: the user has just pressed a button there.
void PlaceOnPointersMonitor()
{
    POINT pointer{};
    GetCursorPos(&pointer);
    const RECT workArea = WorkAreaOf(MonitorFromPoint(pointer, MONITOR_DEFAULTTOPRIMARY));
    // Moved there first, so that the window takes that monitor's DPI.
    SetWindowPos(g_switcher.window, nullptr, workArea.left, workArea.top, 1, 1,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    const UINT dpi = DpiOf(g_switcher.window);
    ScaleTo(dpi);
    const SIZE size = SizeFor(dpi, workArea);
    SetWindowPos(g_switcher.window, nullptr, (workArea.left + workArea.right - size.cx) / 2,
                 (workArea.top + workArea.bottom - size.cy) / 2, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
}

// Alt+Tab's choice: the window behind the current one.
void Select(int item)
{
    ListView_SetItemState(g_switcher.list, item, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_EnsureVisible(g_switcher.list, item, FALSE);
}

void SelectFirstChoice() { Select(g_switcher.targets.size() > 1 ? 1 : 0); }

// Right and Left, as the system's switchers take them (and tarvel-host's
// wheel steps send them): the next window or the previous one, round the
// list's ends as Alt+Tab goes round.
void Step(int by)
{
    const int count = static_cast<int>(g_switcher.targets.size());
    if (count == 0)
        return;
    const int selected = ListView_GetNextItem(g_switcher.list, -1, LVNI_SELECTED);
    Select(((selected < 0 ? 0 : selected) + by + count) % count);
}

// Started by a program in the background (tarvel-host in the notification
// area), this process may not be let take the foreground.  The process that
// sent the last input may: an empty mouse input (no move, no button) makes
// this one that process without changing anything.  Sharing another thread's
// input state instead (AttachThreadInput) would tie this thread to a hung
// foreground window, and is refused for an elevated one.
void TakeForeground(HWND window)
{
    INPUT nothing{};
    nothing.type = INPUT_MOUSE;
    SendInput(1, &nothing, sizeof(nothing));
    SetForegroundWindow(window);
}

// Any other window that comes to the front closes the list: a click
// elsewhere when the list never got the foreground (an elevated window kept
// it) deactivates nothing here, but does change the foreground.
void CALLBACK OnForegroundChanged(HWINEVENTHOOK, DWORD, HWND window, LONG object, LONG, DWORD, DWORD) noexcept
{
    DWORD processId = 0;
    if (object == OBJID_WINDOW && window != nullptr && GetWindowThreadProcessId(window, &processId) != 0 &&
        processId != GetCurrentProcessId())
        PostMessageW(g_switcher.window, WM_CLOSE, 0, 0);
}

// Brings the window of item `index` to the front, as Alt+Tab would: restored
// if minimised, and a dialog it waits on in its place.  Then the list closes.
void SwitchToItem(int index)
{
    if (index >= 0 && static_cast<size_t>(index) < g_switcher.targets.size()) {
        const HWND target = g_switcher.targets[static_cast<size_t>(index)];
        if (IsWindow(target)) {
            // Asynchronous: a hung window cannot hold up the switch.
            if (IsIconic(target))
                ShowWindowAsync(target, SW_RESTORE);
            const HWND popup = GetLastActivePopup(target);
            SetForegroundWindow(popup != nullptr && IsWindowVisible(popup) ? popup : target);
        }
    }
    PostMessageW(g_switcher.window, WM_CLOSE, 0, 0);
}

void SwitchToSelected()
{
    SwitchToItem(ListView_GetNextItem(g_switcher.list, -1, LVNI_SELECTED));
}

// A pick is posted, as every close is: the list must not be destroyed while
// it is still handling the click that asked for it.
LRESULT OnNotify(const NMHDR& header)
{
    if (header.idFrom == kListId && header.code == NM_CLICK) {
        const auto& click = reinterpret_cast<const NMITEMACTIVATE&>(header);
        if (click.iItem >= 0)
            PostMessageW(g_switcher.window, kPickMessage, static_cast<WPARAM>(click.iItem), 0);
    }
    return 0;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept
{
    switch (message) {
    case WM_ACTIVATE:
        // A click anywhere else (or any other window coming to the front) closes the list.
        if (LOWORD(wParam) == WA_INACTIVE)
            PostMessageW(window, WM_CLOSE, 0, 0);
        else
            SetFocus(g_switcher.list);
        return 0;
    case WM_SIZE:
        MoveWindow(g_switcher.list, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        ListView_SetColumnWidth(g_switcher.list, 0, LVSCW_AUTOSIZE_USEHEADER);  // the last column fills the width
        return 0;
    case WM_DPICHANGED: {
        ScaleTo(HIWORD(wParam));
        const RECT& suggested = *reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(window, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                     suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    case WM_NOTIFY:
        return OnNotify(*reinterpret_cast<const NMHDR*>(lParam));
    case kPickMessage:
        SwitchToItem(static_cast<int>(wParam));
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

bool CreateSwitcherWindow(HINSTANCE instance, const std::wstring& prompt)
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    windowClass.lpszClassName = kWindowClass;
    if (!RegisterClassExW(&windowClass))
        return false;
    g_switcher.window = CreateWindowExW(kExStyle, kWindowClass, prompt.empty() ? kUntitledPrompt : prompt.c_str(),
                                        kStyle, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
    if (g_switcher.window == nullptr)
        return false;
    g_switcher.list = CreateWindowExW(0, WC_LISTVIEWW, L"",
                                      WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_NOCOLUMNHEADER |
                                          LVS_SINGLESEL | LVS_SHOWSELALWAYS,
                                      0, 0, 0, 0, g_switcher.window,
                                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(kListId)), instance, nullptr);
    if (g_switcher.list == nullptr)
        return false;
    ListView_SetExtendedListViewStyle(g_switcher.list, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH;
    ListView_InsertColumn(g_switcher.list, 0, &column);
    return true;
}

// Enter, Escape, Right and Left act wherever the focus is, before the list
// sees them (a list of one column does nothing with Right and Left).
bool HandledKey(const MSG& message)
{
    if (message.message != WM_KEYDOWN)
        return false;
    switch (message.wParam) {
    case VK_RETURN: SwitchToSelected(); return true;
    case VK_ESCAPE: PostMessageW(g_switcher.window, WM_CLOSE, 0, 0); return true;
    case VK_RIGHT: Step(1); return true;
    case VK_LEFT: Step(-1); return true;
    default: return false;
    }
}

int RunSwitcher(HINSTANCE instance, const std::wstring& prompt)
{
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    // Gathered before this window exists, so that it is not among them.
    g_switcher.targets = WindowsToOffer();
    if (!CreateSwitcherWindow(instance, prompt))
        return 1;
    AddItems(g_switcher.targets);
    PlaceOnPointersMonitor();
    SelectFirstChoice();
    ShowWindow(g_switcher.window, SW_SHOW);
    TakeForeground(g_switcher.window);
    // Out of context, so it reaches this thread through its message loop;
    // set once this window has taken the front, so that its own switch is over.
    const UniqueWinEventHook foreground(SetWinEventHook(EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND, nullptr,
                                                        OnForegroundChanged, 0, 0, WINEVENT_OUTOFCONTEXT));

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (HandledKey(message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    if (g_switcher.font != nullptr)
        DeleteObject(g_switcher.font);
    return 0;
}

// One list at a time, and another one runs.  Shown, it is closed instead and
// this process ends, as a second press of the button ends the system's flip;
// closing or still starting, it is waited for.  True when this process is to
// show its list (and then owns `oneList`).
bool WaitForTurn(HANDLE oneList)
{
    const HWND shown = FindWindowW(kWindowClass, nullptr);
    if (shown != nullptr && IsWindowVisible(shown)) {
        PostMessageW(shown, WM_CLOSE, 0, 0);
        return false;
    }
    const DWORD waited = WaitForSingleObject(oneList, kTurnWaitMs);
    return waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    const UniqueHandle oneList(CreateMutexW(nullptr, TRUE, kOneListMutex));
    if (oneList && GetLastError() == ERROR_ALREADY_EXISTS && !WaitForTurn(oneList.get()))
        return 0;
    g_apis = FindLaterApis();
    const int exitCode = RunSwitcher(instance, PromptOf(GetCommandLineW()));
    if (oneList)
        ReleaseMutex(oneList.get());
    return exitCode;
}
