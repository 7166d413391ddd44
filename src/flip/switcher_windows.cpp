#include "flip/switcher_windows.h"

#include <psapi.h>
#include <wchar.h>

#include "common/unique_handle.h"

namespace {

struct KnownWindow {
    const wchar_t* className;
    const wchar_t* image;
    FlipWindow kind;
};

constexpr KnownWindow kKnownWindows[] = {
    {L"XamlExplorerHostIslandWindow", L"explorer.exe", FlipWindow::Switcher},  // 11: Task View, Alt+Tab
    {L"Windows.UI.Core.CoreWindow", L"explorer.exe", FlipWindow::Switcher},    // 10: Task View
    {L"MultitaskingViewFrame", L"explorer.exe", FlipWindow::Switcher},         // 10: Alt+Tab
    {L"ForegroundStaging", L"explorer.exe", FlipWindow::Transient},
    {L"Flip3D", L"dwm.exe", FlipWindow::Flip3D},
};

// A process's image file name (no folder) is `image`, in any case.
bool ImageIs(DWORD processId, const wchar_t* image)
{
    UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    wchar_t path[1025] = L"";
    if (!process || GetProcessImageFileNameW(process.get(), path, 1024) == 0)
        return false;
    const wchar_t* slash = wcsrchr(path, L'\\');
    return CompareStringOrdinal(slash ? slash + 1 : path, -1, image, -1, TRUE) == CSTR_EQUAL;
}

// RtlGetVersion: GetVersionEx answers what a host's manifest claims to support.
DWORD ReadMajorVersion()
{
    using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
    auto read = reinterpret_cast<RtlGetVersionFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    return read != nullptr && read(&info) == 0 ? info.dwMajorVersion : 0;
}

// Read once; 0 until then (constant-initialised, nothing runs at load).
volatile LONG g_majorVersion = 0;

}  // namespace

FlipWindow ClassifyFlipWindow(HWND window)
{
    wchar_t className[64] = L"";  // longer names are cut, and then match none
    if (window == nullptr || GetClassNameW(window, className, ARRAYSIZE(className)) == 0)
        return FlipWindow::Ordinary;
    for (const KnownWindow& known : kKnownWindows) {
        if (wcscmp(className, known.className) != 0)
            continue;
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        return ImageIs(processId, known.image) ? known.kind : FlipWindow::Ordinary;
    }
    return FlipWindow::Ordinary;
}

bool SwitcherStaysOpenWithoutKey()
{
    LONG major = g_majorVersion;
    if (major == 0) {
        major = static_cast<LONG>(ReadMajorVersion());
        InterlockedExchange(&g_majorVersion, major);
    }
    return major >= 10;
}
