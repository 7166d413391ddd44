// The running instance's hidden top-level window as other programs see it:
// its class (what "--quit" and a second start look for, and what receives
// the session's end, which a message-only window would not), the message
// the icon sends it, and the registered messages another tarvel-host sends.
#pragma once

#include <windows.h>

inline constexpr wchar_t kTrayWindowClass[] = L"TarvelHostTray";

// What the icon sends its window: the shell's report of a click on it (the
// mouse message in the low word of lParam), as any program may send it.
inline constexpr UINT kTrayIconMessage = WM_APP + 1;

// What the running instance answers to another tarvel-host: a second start
// ("show yourself": the balloon again, or the menu where no balloon can
// show), "--settings" and "--quit".  Registered messages, let through the
// message filter, so that they also reach an instance that runs as
// administrator.
inline constexpr wchar_t kShowMessageName[] = L"TarvelHost.ShowYourself";
inline constexpr wchar_t kQuitMessageName[] = L"TarvelHost.Quit";
inline constexpr wchar_t kSettingsMessageName[] = L"TarvelHost.Settings";
