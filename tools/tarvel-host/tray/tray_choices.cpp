#include "tray_choices.h"

#include <algorithm>

#include "autostart.h"
#include "common/running_version.h"
#include "plugin_library.h"
#include "tray_menu.h"

namespace {

template <typename Value>
void TakeIfEdited(Value& current, const Value& shown, const Value& edited)
{
    if (!(shown == edited))
        current = edited;
}

void Toggle(std::vector<std::wstring>& list, const std::wstring& item)
{
    const auto found = std::find(list.begin(), list.end(), item);
    if (found != list.end())
        list.erase(found);
    else
        list.push_back(item);
}

bool Contains(const std::vector<std::wstring>& list, const std::wstring& item)
{
    return std::find(list.begin(), list.end(), item) != list.end();
}

}  // namespace

unsigned ChangesBetween(const TrayChoices& before, const TrayChoices& after)
{
    const TraySettings& a = before.settings;
    const TraySettings& b = after.settings;
    unsigned changes = 0;
    const auto note = [&](bool differs, ChoiceChange change) { changes |= differs ? static_cast<unsigned>(change) : 0u; };
    note(a.button != b.button, ChangedButton);
    note(a.holdMs != b.holdMs || a.tapPrevious != b.tapPrevious, ChangedTrigger);
    note(a.paused != b.paused, ChangedPause);
    note(a.device != b.device, ChangedDevice);
    note(a.excluded != b.excluded, ChangedExclusions);
    note(a.corners != b.corners || a.cornerMs != b.cornerMs, ChangedCorners);
    note(a.pauseKey != b.pauseKey, ChangedPauseKey);
    note(before.autostart != after.autostart, ChangedAutostart);
    note(a.letThroughFullScreen != b.letThroughFullScreen, ChangedFullScreen);
    note(a.wheelSteps != b.wheelSteps, ChangedWheelSteps);
    note(a.desktopDrag != b.desktopDrag, ChangedDesktopDrag);
    return changes;
}

TrayChoices ChooseFromMenu(TrayChoices current, UINT command, const std::wstring& application)
{
    TraySettings& settings = current.settings;
    switch (command) {
    case TrayCommandXButton1: settings.button = MouseButton::XButton1; break;
    case TrayCommandXButton2: settings.button = MouseButton::XButton2; break;
    case TrayCommandMiddle: settings.button = MouseButton::Middle; break;
    case TrayCommandSlowWheel: settings.device = FlipDevice::Wheel; break;
    case TrayCommandSlowPointer: settings.device = FlipDevice::Pointer; break;
    case TrayCommandExclude:
        if (!application.empty())
            Toggle(settings.excluded, application);
        break;
    case TrayCommandFullScreen: settings.letThroughFullScreen = !settings.letThroughFullScreen; break;
    case TrayCommandPause: settings.paused = !settings.paused; break;
    case TrayCommandAutostart: current.autostart = !current.autostart; break;
    case TrayCommandWheelSteps: settings.wheelSteps = !settings.wheelSteps; break;
    case TrayCommandDesktopDrag: settings.desktopDrag = !settings.desktopDrag; break;
    default: break;
    }
    return current;
}

TrayChoices ChooseFromWindow(TrayChoices current, const TrayChoices& shown, const TrayChoices& edited)
{
    TraySettings& to = current.settings;
    const TraySettings& from = shown.settings;
    const TraySettings& with = edited.settings;
    TakeIfEdited(to.button, from.button, with.button);
    TakeIfEdited(to.holdMs, from.holdMs, with.holdMs);
    TakeIfEdited(to.tapPrevious, from.tapPrevious, with.tapPrevious);
    // Corner by corner: one ticked in the window, another in no other way.
    const unsigned cornersEdited = from.corners ^ with.corners;
    to.corners = (to.corners & ~cornersEdited) | (with.corners & cornersEdited);
    TakeIfEdited(to.cornerMs, from.cornerMs, with.cornerMs);
    TakeIfEdited(to.device, from.device, with.device);
    TakeIfEdited(to.pauseKey, from.pauseKey, with.pauseKey);
    TakeIfEdited(to.letThroughFullScreen, from.letThroughFullScreen, with.letThroughFullScreen);
    TakeIfEdited(to.wheelSteps, from.wheelSteps, with.wheelSteps);
    TakeIfEdited(to.desktopDrag, from.desktopDrag, with.desktopDrag);
    TakeIfEdited(current.autostart, shown.autostart, edited.autostart);
    // The window only removes applications; one excluded meanwhile stays.
    for (const std::wstring& application : from.excluded) {
        if (!Contains(with.excluded, application))
            to.excluded.erase(std::remove(to.excluded.begin(), to.excluded.end(), application), to.excluded.end());
    }
    return current;
}

TypedMs ReadTypedMs(const std::wstring& text, MsRange range)
{
    TypedMs typed;
    unsigned long long value = 0;
    bool number = !text.empty() && text.size() <= 9;
    for (wchar_t c : text) {
        number = number && c >= L'0' && c <= L'9';
        value = value * 10 + static_cast<unsigned>(c - L'0');
    }
    if (number && value >= range.least && value <= range.most)
        typed.ms = static_cast<DWORD>(value);
    else
        typed.problem = L"Type a number of milliseconds from " + std::to_wstring(range.least) + L" to " +
                        std::to_wstring(range.most) + L".";
    return typed;
}

bool ApplyWaits(const TrayChoices& shown, const TrayChoices& edited, bool numberRefused)
{
    return numberRefused || ChangesBetween(shown, edited) != 0;
}

bool DesktopDragAvailable() { return ReadRunningWindowsVersion() >= 0x0A00; }

bool SaveChoices(const TrayChoices& choices, unsigned changes, std::wstring& problem)
{
    if ((changes & ~ChangedAutostart) != 0) {
        std::string error;
        if (!SaveSettings(choices.settings, error)) {
            problem = L"Tarvel could not save this choice (" + Widen(error) +
                      L"). It applies until Tarvel ends; the next start will not know it.";
            return false;
        }
    }
    if ((changes & ChangedAutostart) != 0 && !SetAutostart(choices.autostart, ThisProgram())) {
        problem = L"Tarvel could not change \"Start with Windows\": the registry under "
                  L"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run refused the change.";
        return false;
    }
    return true;
}
