#include "support/app_switcher_window.h"

#include <commctrl.h>

#include "common/unique_handle.h"
#include "support/app_switcher_folder.h"
#include "support/foreground_switcher.h"

namespace {

const wchar_t kSwitcherClass[] = L"TarvelAppSwitcher";  // tools/app-switcher/app_switcher.cpp

struct Search {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindSwitcher(HWND window, LPARAM data)
{
    auto& search = *reinterpret_cast<Search*>(data);
    wchar_t className[64] = L"";
    DWORD processId = 0;
    GetClassNameW(window, className, ARRAYSIZE(className));
    GetWindowThreadProcessId(window, &processId);
    if (wcscmp(className, kSwitcherClass) != 0 || !IsWindowVisible(window) ||
        (search.processId != 0 && processId != search.processId))
        return TRUE;
    search.found = window;
    return FALSE;
}

// An item's text as LVM_GETITEMTEXTW gives it, which takes its structure
// and buffer in the list's own process.
struct RemoteText {
    LVITEMW item;
    wchar_t text[512];
};

}  // namespace

std::wstring BuiltAppSwitcher() { return TestProgramFolder() + L"tarvel-host\\Pluggins\\ZeltoAppSwitcher.exe"; }

HWND WaitForAppSwitcher(std::chrono::milliseconds limit, DWORD processId)
{
    Search search{processId, nullptr};
    WaitUntil([&] { return !EnumWindows(FindSwitcher, reinterpret_cast<LPARAM>(&search)) && search.found; },
              limit);
    return search.found;
}

std::wstring WindowTitle(HWND window)
{
    wchar_t title[512] = L"";
    GetWindowTextW(window, title, ARRAYSIZE(title));
    return title;
}

std::vector<std::wstring> AppSwitcherItems(HWND window)
{
    std::vector<std::wstring> items;
    const HWND list = FindWindowExW(window, nullptr, WC_LISTVIEWW, nullptr);
    DWORD processId = 0;
    GetWindowThreadProcessId(list, &processId);
    const UniqueHandle process(
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId));
    auto* remote = static_cast<RemoteText*>(
        process ? VirtualAllocEx(process.get(), nullptr, sizeof(RemoteText), MEM_COMMIT, PAGE_READWRITE) : nullptr);
    if (list == nullptr || remote == nullptr)
        return items;
    const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int index = 0; index < count; ++index) {
        RemoteText local{};
        local.item.cchTextMax = ARRAYSIZE(local.text);
        local.item.pszText = remote->text;
        WriteProcessMemory(process.get(), remote, &local, sizeof(local), nullptr);
        SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(remote));
        ReadProcessMemory(process.get(), remote, &local, sizeof(local), nullptr);
        local.text[ARRAYSIZE(local.text) - 1] = L'\0';
        items.emplace_back(local.text);
    }
    VirtualFreeEx(process.get(), remote, 0, MEM_RELEASE);
    return items;
}

bool CloseAppSwitcher(HWND window, std::chrono::milliseconds limit)
{
    PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0);
    return WaitUntil([window] { return !IsWindow(window); }, limit);
}
