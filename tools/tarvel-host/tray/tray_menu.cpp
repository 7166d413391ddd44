#include "tray_menu.h"

#include <algorithm>

#include "common/unique_handle.h"

namespace {

using UniqueMenu = UniqueAny<HMENU, &::DestroyMenu>;

// A menu reads "&" as the next letter's underline: an application's own name
// ("AT&T Connect") keeps its "&" doubled.
std::wstring WithoutMnemonics(const std::wstring& text)
{
    std::wstring shown;
    for (wchar_t c : text) {
        shown += c;
        if (c == L'&')
            shown += c;
    }
    return shown;
}

void Add(HMENU menu, UINT command, const std::wstring& text, bool checked = false, bool available = true)
{
    AppendMenuW(menu, MF_STRING | (checked ? MF_CHECKED : 0) | (available ? 0 : MF_GRAYED), command, text.c_str());
}

// A heading over a group of choices: readable, never picked.
void AddHeading(HMENU menu, const wchar_t* text)
{
    AppendMenuW(menu, MF_STRING | MF_DISABLED, 0, text);
}

void AddRadio(HMENU menu, UINT first, UINT last, UINT chosen)
{
    CheckMenuRadioItem(menu, first, last, chosen, MF_BYCOMMAND);
}

}  // namespace

void ShowTrayMenu(HWND window, const TrayMenuState& state)
{
    UniqueMenu menu(CreatePopupMenu());
    if (!menu)
        return;
    const TraySettings& settings = state.settings;
    AddHeading(menu.get(), L"Switch windows with:");
    Add(menu.get(), TrayCommandXButton1, L"First side button");
    Add(menu.get(), TrayCommandXButton2, L"Second side button");
    Add(menu.get(), TrayCommandMiddle, L"Middle button");
    AddRadio(menu.get(), TrayCommandXButton1, TrayCommandMiddle,
             settings.button == MouseButton::XButton1   ? TrayCommandXButton1
             : settings.button == MouseButton::XButton2 ? TrayCommandXButton2
                                                         : TrayCommandMiddle);
    AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
    AddHeading(menu.get(), L"While you choose a window:");
    Add(menu.get(), TrayCommandSlowWheel, L"Slow the wheel");
    Add(menu.get(), TrayCommandSlowPointer, L"Slow the pointer");
    AddRadio(menu.get(), TrayCommandSlowWheel, TrayCommandSlowPointer,
             settings.device == FlipDevice::Wheel ? TrayCommandSlowWheel : TrayCommandSlowPointer);
    AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
    AddHeading(menu.get(), L"While you hold the button:");
    Add(menu.get(), TrayCommandWheelSteps, L"The wheel steps through windows", settings.wheelSteps);
    Add(menu.get(), TrayCommandDesktopDrag,
        state.desktopsExist ? L"A sideways drag changes desktops"
                            : L"A sideways drag changes desktops (Windows 10 and 11)",
        settings.desktopDrag && state.desktopsExist, state.desktopsExist);
    AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
    if (!state.application.empty()) {
        const bool excluded = std::find(settings.excluded.begin(), settings.excluded.end(), state.application) !=
                              settings.excluded.end();
        Add(menu.get(), TrayCommandExclude, L"Don't use the button in " + WithoutMnemonics(state.title), excluded);
    }
    Add(menu.get(), TrayCommandFullScreen, L"Let the button through in full-screen windows",
        settings.letThroughFullScreen);
    Add(menu.get(), TrayCommandPause, L"Pause", settings.paused);
    Add(menu.get(), TrayCommandAutostart, L"Start with Windows", state.autostart);
    if (state.elevation == Elevation::Offered)
        Add(menu.get(), TrayCommandRestartElevated, L"Restart as administrator");
    else if (state.elevation == Elevation::NeedsInstalledCopy)
        AddHeading(menu.get(), L"To run as administrator, install Tarvel under Program Files");
    Add(menu.get(), TrayCommandSettings, L"Settings\u2026");
    AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
    Add(menu.get(), TrayCommandAbout, L"About Tarvel");
    Add(menu.get(), TrayCommandReadme, L"Open the README");
    Add(menu.get(), TrayCommandQuit, L"Quit");
    // Without the foreground the menu would not close on a click elsewhere;
    // WM_NULL after it is the documented remedy for a second click.
    POINT cursor{};
    GetCursorPos(&cursor);
    SetForegroundWindow(window);
    TrackPopupMenuEx(menu.get(), TPM_RIGHTBUTTON, cursor.x, cursor.y, window, nullptr);
    PostMessageW(window, WM_NULL, 0, 0);
}
