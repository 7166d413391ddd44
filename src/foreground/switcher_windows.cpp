#include "foreground/switcher_windows.h"

#include <psapi.h>
#include <wchar.h>

#include "common/unique_handle.h"

namespace {

struct KnownWindow {
    const wchar_t* className;
    const wchar_t* image;
    FlipWindow kind;
};

// Read from the windows of 7, 8.1, 10 (1507 to 22H2) and 11 (21H2 to 24H2).
constexpr KnownWindow kKnownWindows[] = {
    {L"XamlExplorerHostIslandWindow", L"explorer.exe", FlipWindow::Switcher},  // 11: Task View, Alt+Tab
    {L"MultitaskingViewFrame", L"explorer.exe", FlipWindow::Switcher},         // 10: Task View, Alt+Tab
    {L"Windows.UI.Core.CoreWindow", L"explorer.exe", FlipWindow::Switcher},    // 10: Task View with Timeline
    {L"TaskSwitcherWnd", L"explorer.exe", FlipWindow::Switcher},               // 8, 8.1: Alt+Tab; 10: the classic one
    {L"Flip3D", L"dwm.exe", FlipWindow::Switcher},                             // Vista, 7
    {L"ForegroundStaging", L"explorer.exe", FlipWindow::Transient},
};

// A process's image file name (no folder) is `image`, in any case.
bool ImageIs(HWND window, const wchar_t* image)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    wchar_t path[1025] = L"";
    if (!process || GetProcessImageFileNameW(process.get(), path, 1024) == 0)
        return false;
    const wchar_t* slash = wcsrchr(path, L'\\');
    return CompareStringOrdinal(slash ? slash + 1 : path, -1, image, -1, TRUE) == CSTR_EQUAL;
}

// A cloaked window (a UWP CoreWindow kept for later, Windows 8 and up) is
// "visible" to IsWindowVisible but not on screen.
bool IsCloaked(HWND window, WindowAttributeQuery query)
{
    DWORD cloaked = 0;
    constexpr DWORD kCloaked = 14;  // DWMWA_CLOAKED
    return query != nullptr && SUCCEEDED(query(window, kCloaked, &cloaked, sizeof(cloaked))) && cloaked != 0;
}

// Explorer keeps some windows of these classes "visible" with no area or
// off every monitor while nothing shows (11's snap layouts among them).
bool OnScreen(HWND window)
{
    RECT bounds{};
    return GetWindowRect(window, &bounds) && !IsRectEmpty(&bounds) &&
           MonitorFromRect(&bounds, MONITOR_DEFAULTTONULL) != nullptr;
}

}  // namespace

FlipWindow ClassifyFlipWindow(HWND window)
{
    wchar_t className[64] = L"";  // longer names are cut, and then match none
    if (window == nullptr || GetClassNameW(window, className, ARRAYSIZE(className)) == 0)
        return FlipWindow::Ordinary;
    for (const KnownWindow& known : kKnownWindows) {
        if (wcscmp(className, known.className) == 0)
            return ImageIs(window, known.image) ? known.kind : FlipWindow::Ordinary;
    }
    return FlipWindow::Ordinary;
}

bool SwitcherWindowShows(WindowAttributeQuery dwmGetWindowAttribute)
{
    for (const KnownWindow& known : kKnownWindows) {
        if (known.kind != FlipWindow::Switcher)
            continue;
        for (HWND window = nullptr; (window = FindWindowExW(nullptr, window, known.className, nullptr)) != nullptr;) {
            if (IsWindowVisible(window) && OnScreen(window) && !IsCloaked(window, dwmGetWindowAttribute) && ImageIs(window, known.image))
                return true;
        }
    }
    return false;
}
