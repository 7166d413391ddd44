#include "support/app_switcher_window.h"

#include <commctrl.h>

#include "common/unique_handle.h"
#include "support/foreground_switcher.h"

namespace {

// An item's text as LVM_GETITEMTEXTW gives it, which takes its structure
// and buffer in the list's own process.
struct RemoteText {
    LVITEMW item;
    wchar_t text[512];
};

}  // namespace

HWND WaitForAppSwitcher(std::chrono::milliseconds limit)
{
    HWND window = nullptr;
    const auto shown = [&window] {
        window = FindWindowW(L"TarvelAppSwitcher", nullptr);  // tools/app-switcher/app_switcher.cpp
        return window != nullptr && IsWindowVisible(window);
    };
    return WaitUntil(shown, limit) ? window : nullptr;
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
