#include "gesture_keys.h"

#include <initializer_list>

#include "foreground/switcher_windows.h"
#include "press_timing.h"

namespace {

// Scan codes as a keyboard sends them; the arrows, the right-hand Ctrl and
// Alt and the Windows keys are extended keys (E0).
struct Key {
    WORD vk;
    WORD scan;
    bool extended;
};
constexpr Key kModifiers[] = {
    {VK_LSHIFT, 0x2A, false}, {VK_RSHIFT, 0x36, false}, {VK_LCONTROL, 0x1D, false}, {VK_RCONTROL, 0x1D, true},
    {VK_LMENU, 0x38, false},  {VK_RMENU, 0x38, true},   {VK_LWIN, 0x5B, true},      {VK_RWIN, 0x5C, true},
};
constexpr Key kCtrl = kModifiers[2], kWin = kModifiers[6];
constexpr Key kRight{VK_RIGHT, 0x4D, true}, kLeft{VK_LEFT, 0x4B, true}, kEnter{VK_RETURN, 0x1C, false};
// An unassigned key: tapped around a lifted Alt or Windows key, it keeps
// that key's lone up from opening the window's menu or Start.
constexpr Key kMask{0xE8, 0, false};

class Events {
public:
    void Add(const Key& key, bool down)
    {
        INPUT& input = m_inputs[m_count++];
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = key.vk;
        input.ki.wScan = key.scan;
        input.ki.dwFlags = (key.extended ? KEYEVENTF_EXTENDEDKEY : 0) | (down ? 0 : KEYEVENTF_KEYUP);
    }
    void Send() { SendInput(m_count, m_inputs, sizeof(INPUT)); }

private:
    INPUT m_inputs[2 * 8 + 2 * 3 + 4] = {};
    UINT m_count = 0;
};

// `keys` down in order and up in reverse, the held modifiers lifted around
// them: a held Shift or Alt would make another shortcut of them.
void SendShortcut(std::initializer_list<Key> keys)
{
    bool held[8] = {};
    bool masked = false;
    for (int i = 0; i < 8; ++i) {
        held[i] = (GetAsyncKeyState(kModifiers[i].vk) & 0x8000) != 0;
        masked = masked || (held[i] && i >= 4);
    }
    Events events;
    if (masked) {
        events.Add(kMask, true);
        events.Add(kMask, false);
    }
    for (int i = 0; i < 8; ++i) {
        if (held[i])
            events.Add(kModifiers[i], false);
    }
    for (const Key& key : keys)
        events.Add(key, true);
    for (auto key = keys.end(); key-- != keys.begin();)
        events.Add(*key, false);
    for (int i = 0; i < 8; ++i) {
        if (held[i])
            events.Add(kModifiers[i], true);
    }
    if (masked) {
        events.Add(kMask, true);
        events.Add(kMask, false);
    }
    events.Send();
}

// A step or a pick goes only to a switcher in front: a press that ended the
// flip, or a switcher still opening, must not have Right or Enter typed into
// an application.  Tarvel's own app switcher, or the system's.
bool SwitcherInFront()
{
    HWND front = GetForegroundWindow();
    wchar_t name[32] = L"";
    GetClassNameW(front, name, 32);
    return lstrcmpW(name, L"TarvelAppSwitcher") == 0 || ClassifyFlipWindow(front) == FlipWindow::Switcher;
}

void SendToSwitcher(const Key& key)
{
    if (SwitcherInFront())
        SendShortcut({key});
}

}  // namespace

bool SendGestureKeys(WPARAM kind)
{
    using press_timing::PressKind;
    switch (static_cast<PressKind>(kind)) {
    case PressKind::StepNext: SendToSwitcher(kRight); return true;
    case PressKind::StepBack: SendToSwitcher(kLeft); return true;
    case PressKind::Pick: SendToSwitcher(kEnter); return true;
    case PressKind::DesktopRight: SendShortcut({kCtrl, kWin, kRight}); return true;
    case PressKind::DesktopLeft: SendShortcut({kCtrl, kWin, kLeft}); return true;
    default: return false;
    }
}
