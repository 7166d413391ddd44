// tarvel-host's app switcher (tools/app-switcher) seen from outside, as a
// user sees it: its window, its title, the titles it lists, its end.
#pragma once

#include <windows.h>

#include <chrono>
#include <string>
#include <vector>

// The switcher's window once it is shown within `limit`; null otherwise.
HWND WaitForAppSwitcher(std::chrono::milliseconds limit);
std::wstring WindowTitle(HWND window);
// The titles the switcher's list shows, top to bottom.
std::vector<std::wstring> AppSwitcherItems(HWND window);
// Escape, as the switcher's window receives it; true once the window is gone.
bool CloseAppSwitcher(HWND window, std::chrono::milliseconds limit);
