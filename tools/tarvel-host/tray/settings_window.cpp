#include "settings_window.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>

#include "pause_key.h"
#include "settings_window_ids.h"

namespace {

// The one open window, what it shows and what it applies with; main thread only.
struct Open {
    HWND window = nullptr;
    ApplyEdits apply;
    // The choices in force as the controls last showed them: what the user
    // changed is what differs from these.
    TrayChoices shown;
    std::vector<std::wstring> listed;  // the excluded applications still in its list
    bool showing = false;  // the controls are being set: their notifications are not edits
} g_open;

constexpr int kCornerIds[] = {IDC_CORNER_TOP_LEFT, IDC_CORNER_TOP_RIGHT, IDC_CORNER_BOTTOM_LEFT,
                              IDC_CORNER_BOTTOM_RIGHT};
// Without a hold time the dialog offers this one when the long press is chosen.
constexpr DWORD kSuggestedHoldMs = 300;

// What the controls hold, and what they refuse.
struct Edits {
    TrayChoices choices;
    std::wstring holdProblem;
    std::wstring cornerProblem;
    bool Refused() const { return !holdProblem.empty() || !cornerProblem.empty(); }
};

void Fill(HWND dialog, int id, std::initializer_list<const wchar_t*> items)
{
    for (const wchar_t* item : items)
        SendDlgItemMessageW(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
}

int Chosen(HWND dialog, int id) { return static_cast<int>(SendDlgItemMessageW(dialog, id, CB_GETCURSEL, 0, 0)); }

void Check(HWND dialog, int id, bool on) { CheckDlgButton(dialog, id, on ? BST_CHECKED : BST_UNCHECKED); }

bool Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

std::wstring Text(HWND dialog, int id)
{
    wchar_t text[64]{};
    GetDlgItemTextW(dialog, id, text, static_cast<int>(std::size(text)));
    return text;
}

// Keys whose names Windows reads from the extended half of the keyboard.
bool Extended(UINT key)
{
    return key == VK_INSERT || key == VK_DELETE || key == VK_HOME || key == VK_END || key == VK_PRIOR ||
           key == VK_NEXT;
}

// The hot-key control's value for `text` ("Ctrl + Alt + P" in Windows' own
// words); 0 for a key it cannot show, the Windows key's among them.
WORD HotKeyValue(const std::wstring& text)
{
    UINT modifiers = 0, key = 0;
    if (!ParsePauseKey(text, modifiers, key) || (modifiers & MOD_WIN) != 0)
        return 0;
    const BYTE flags = ((modifiers & MOD_SHIFT) ? HOTKEYF_SHIFT : 0) | ((modifiers & MOD_CONTROL) ? HOTKEYF_CONTROL : 0) |
                       ((modifiers & MOD_ALT) ? HOTKEYF_ALT : 0) | (Extended(key) ? HOTKEYF_EXT : 0);
    return MAKEWORD(key, flags);
}

void ShowPauseKey(HWND dialog, const std::wstring& text)
{
    SendDlgItemMessageW(dialog, IDC_PAUSE_KEY, HKM_SETHOTKEY, HotKeyValue(text), 0);
}

std::wstring ReadPauseKey(HWND dialog)
{
    const WORD value = LOWORD(SendDlgItemMessageW(dialog, IDC_PAUSE_KEY, HKM_GETHOTKEY, 0, 0));
    // Untouched, the box keeps the key in force, even one it cannot show.
    if (value == HotKeyValue(g_open.shown.settings.pauseKey))
        return g_open.shown.settings.pauseKey;
    const BYTE flags = HIBYTE(value);
    const UINT modifiers = ((flags & HOTKEYF_SHIFT) ? MOD_SHIFT : 0) | ((flags & HOTKEYF_CONTROL) ? MOD_CONTROL : 0) |
                           ((flags & HOTKEYF_ALT) ? MOD_ALT : 0);
    if (LOBYTE(value) == 0)
        return {};
    const std::wstring text = FormatPauseKey(modifiers, LOBYTE(value));
    if (!text.empty())
        return text;
    // A key the pause key cannot be ("Ctrl+Alt+Ü"): named as Windows names
    // it, so that the instance says why.
    wchar_t name[32]{};
    GetKeyNameTextW(static_cast<LONG>(MapVirtualKeyW(LOBYTE(value), MAPVK_VK_TO_VSC) << 16), name, 32);
    std::wstring held = FormatPauseKey(modifiers, 'A');
    held.pop_back();
    return held + (name[0] != 0 ? name : L"?");
}

// The tap and the hold time mean something only with the long press.
void EnableLongPressParts(HWND dialog)
{
    const bool hold = Checked(dialog, IDC_HOLD_FLIPS);
    EnableWindow(GetDlgItem(dialog, IDC_HOLD_MS), hold);
    EnableWindow(GetDlgItem(dialog, IDC_TAP_PREVIOUS), hold);
}

// `listed`: the view's excluded applications, or fewer.
void ShowExcluded(HWND dialog, const SettingsView& view, const std::vector<std::wstring>& listed)
{
    SendDlgItemMessageW(dialog, IDC_EXCLUDED_LIST, LB_RESETCONTENT, 0, 0);
    g_open.listed = listed;
    const std::vector<std::wstring>& all = view.choices.settings.excluded;
    for (const std::wstring& application : listed) {
        const size_t index = static_cast<size_t>(std::find(all.begin(), all.end(), application) - all.begin());
        const std::wstring& name = index < view.excludedNames.size() ? view.excludedNames[index] : application;
        SendDlgItemMessageW(dialog, IDC_EXCLUDED_LIST, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    }
    EnableWindow(GetDlgItem(dialog, IDC_EXCLUDED_REMOVE), !g_open.listed.empty());
}

void Show(HWND dialog, const TrayChoices& choices, bool desktopsExist)
{
    const TraySettings& settings = choices.settings;
    SendDlgItemMessageW(dialog, IDC_BUTTON_CHOICE, CB_SETCURSEL, static_cast<WPARAM>(settings.button), 0);
    SendDlgItemMessageW(dialog, IDC_SLOWS_CHOICE, CB_SETCURSEL, settings.device == FlipDevice::Wheel ? 0 : 1, 0);
    Check(dialog, IDC_CLICK_FLIPS, settings.holdMs == 0);
    Check(dialog, IDC_HOLD_FLIPS, settings.holdMs != 0);
    SetDlgItemInt(dialog, IDC_HOLD_MS, settings.holdMs == 0 ? kSuggestedHoldMs : settings.holdMs, FALSE);
    Check(dialog, IDC_TAP_PREVIOUS, settings.tapPrevious);
    Check(dialog, IDC_WHEEL_STEPS, settings.wheelSteps);
    Check(dialog, IDC_DESKTOP_DRAG, settings.desktopDrag && desktopsExist);
    for (unsigned i = 0; i < 4; ++i)
        Check(dialog, kCornerIds[i], (settings.corners & (1u << i)) != 0);
    SetDlgItemInt(dialog, IDC_CORNER_MS, settings.cornerMs, FALSE);
    ShowPauseKey(dialog, settings.pauseKey);
    Check(dialog, IDC_FULL_SCREEN, settings.letThroughFullScreen);
    Check(dialog, IDC_AUTOSTART, choices.autostart);
    EnableLongPressParts(dialog);
}

Edits Read(HWND dialog)
{
    Edits edits{g_open.shown, {}, {}};
    TraySettings& settings = edits.choices.settings;
    const int button = Chosen(dialog, IDC_BUTTON_CHOICE);
    if (button >= 0 && button <= 2)
        settings.button = static_cast<MouseButton>(button);
    settings.device = Chosen(dialog, IDC_SLOWS_CHOICE) == 1 ? FlipDevice::Pointer : FlipDevice::Wheel;
    settings.holdMs = 0;
    if (Checked(dialog, IDC_HOLD_FLIPS)) {
        const TypedMs hold = ReadTypedMs(Text(dialog, IDC_HOLD_MS), kHoldRange);
        settings.holdMs = hold.problem.empty() ? hold.ms : g_open.shown.settings.holdMs;
        edits.holdProblem = hold.problem;
    }
    settings.tapPrevious = Checked(dialog, IDC_TAP_PREVIOUS);
    settings.wheelSteps = Checked(dialog, IDC_WHEEL_STEPS);
    // Disabled (before Windows 10), the box is unticked but the choice kept.
    settings.desktopDrag = IsWindowEnabled(GetDlgItem(dialog, IDC_DESKTOP_DRAG))
                               ? Checked(dialog, IDC_DESKTOP_DRAG) : g_open.shown.settings.desktopDrag;
    settings.corners = 0;
    for (unsigned i = 0; i < 4; ++i)
        settings.corners |= Checked(dialog, kCornerIds[i]) ? 1u << i : 0;
    const TypedMs corner = ReadTypedMs(Text(dialog, IDC_CORNER_MS), kCornerRange);
    settings.cornerMs = corner.problem.empty() ? corner.ms : g_open.shown.settings.cornerMs;
    edits.cornerProblem = corner.problem;
    settings.pauseKey = ReadPauseKey(dialog);
    settings.excluded = g_open.listed;
    settings.letThroughFullScreen = Checked(dialog, IDC_FULL_SCREEN);
    edits.choices.autostart = Checked(dialog, IDC_AUTOSTART);
    return edits;
}

void UpdateApply(HWND dialog)
{
    const Edits edits = Read(dialog);
    EnableWindow(GetDlgItem(dialog, IDC_APPLY), ApplyWaits(g_open.shown, edits.choices, edits.Refused()));
}

// OK and Apply: refused numbers are said beside their boxes and nothing is
// applied; otherwise the edits go to the instance, which shows what is now
// in force.  False while something is refused.
bool Apply(HWND dialog)
{
    const Edits edits = Read(dialog);
    SetDlgItemTextW(dialog, IDC_HOLD_STATUS, edits.holdProblem.c_str());
    SetDlgItemTextW(dialog, IDC_CORNER_STATUS, edits.cornerProblem.c_str());
    if (edits.Refused()) {
        SetFocus(GetDlgItem(dialog, edits.holdProblem.empty() ? IDC_CORNER_MS : IDC_HOLD_MS));
        return false;
    }
    if (g_open.apply)
        g_open.apply(g_open.shown, edits.choices);
    if (!IsWindow(dialog))
        return false;  // the instance ended meanwhile
    const bool keyRefused = GetWindowTextLengthW(GetDlgItem(dialog, IDC_PAUSE_STATUS)) > 0;
    if (keyRefused)
        SetFocus(GetDlgItem(dialog, IDC_PAUSE_KEY));
    return !keyRefused;
}

void RemoveExcluded(HWND dialog)
{
    const LRESULT chosen = SendDlgItemMessageW(dialog, IDC_EXCLUDED_LIST, LB_GETCURSEL, 0, 0);
    if (chosen < 0 || static_cast<size_t>(chosen) >= g_open.listed.size())
        return;
    SendDlgItemMessageW(dialog, IDC_EXCLUDED_LIST, LB_DELETESTRING, static_cast<WPARAM>(chosen), 0);
    g_open.listed.erase(g_open.listed.begin() + chosen);
    EnableWindow(GetDlgItem(dialog, IDC_EXCLUDED_REMOVE), !g_open.listed.empty());
}

bool OnCommand(HWND dialog, WORD id, WORD code)
{
    switch (id) {
    case IDC_APPLY: Apply(dialog); return true;
    case IDOK:
        if (Apply(dialog))
            DestroyWindow(dialog);
        return true;
    case IDCANCEL: DestroyWindow(dialog); return true;
    case IDC_EXCLUDED_REMOVE: RemoveExcluded(dialog); break;
    case IDC_CLICK_FLIPS:
    case IDC_HOLD_FLIPS: EnableLongPressParts(dialog); break;
    default: break;
    }
    // Any click, choice or keystroke in a control may make an edit, or undo one.
    if (!g_open.showing && (code == BN_CLICKED || code == EN_CHANGE || code == CBN_SELCHANGE))
        UpdateApply(dialog);
    return code == BN_CLICKED;
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) noexcept
{
    try {
        if (message == WM_COMMAND && g_open.window == dialog)
            return OnCommand(dialog, LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
        if (message == WM_DESTROY && g_open.window == dialog)
            g_open = Open{};
    } catch (...) {
        // Nothing may leave a dialog procedure; the choice is simply not applied.
    }
    return FALSE;
}

void ShowView(HWND dialog, const SettingsView& view, const TrayChoices& choices)
{
    g_open.showing = true;
    Show(dialog, choices, view.desktopsExist);
    ShowExcluded(dialog, view, choices.settings.excluded);
    SetDlgItemTextW(dialog, IDC_PAUSE_STATUS, view.pauseKeyProblem.c_str());
    EnableWindow(GetDlgItem(dialog, IDC_DESKTOP_DRAG), view.desktopsExist);
    g_open.showing = false;
}

}  // namespace

SettingsView SettingsViewOf(const TrayChoices& choices, const std::wstring& pauseKeyProblem)
{
    SettingsView view{choices, pauseKeyProblem, {}, DesktopDragAvailable()};
    for (const std::wstring& application : choices.settings.excluded)
        view.excludedNames.push_back(ApplicationName(application));
    return view;
}

void OpenSettingsWindow(HWND owner, const SettingsView& current, ApplyEdits apply)
{
    if (g_open.window == nullptr) {
        const INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_HOTKEY_CLASS};
        InitCommonControlsEx(&controls);
        HWND dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_SETTINGS), owner,
                                         DialogProc, 0);
        if (dialog == nullptr)
            return;
        g_open.window = dialog;
        g_open.apply = std::move(apply);
        Fill(dialog, IDC_BUTTON_CHOICE, {L"First side button", L"Second side button", L"Middle button"});
        Fill(dialog, IDC_SLOWS_CHOICE, {L"The wheel", L"The pointer"});
        g_open.shown = current.choices;
        ShowView(dialog, current, g_open.shown);
        if (!current.desktopsExist)
            SetDlgItemTextW(dialog, IDC_DESKTOP_DRAG, L"A sideways &drag with the button held changes desktops "
                                                      L"(Windows 10 and 11)");
        EnableWindow(GetDlgItem(dialog, IDC_APPLY), FALSE);
        ShowWindow(dialog, SW_SHOWNORMAL);
    } else {
        ShowSettingsView(current);
    }
    SetForegroundWindow(g_open.window);
}

void ShowSettingsView(const SettingsView& current)
{
    HWND dialog = g_open.window;
    if (dialog == nullptr)
        return;
    // A number being typed that is not right yet stays as typed.
    const Edits edits = Read(dialog);
    const std::wstring holdText = Text(dialog, IDC_HOLD_MS);
    const std::wstring cornerText = Text(dialog, IDC_CORNER_MS);
    const TrayChoices& inForce = current.choices;
    const TrayChoices showing = ChooseFromWindow(inForce, g_open.shown, edits.choices);
    g_open.shown = inForce;
    ShowView(dialog, current, showing);
    g_open.showing = true;
    if (!edits.holdProblem.empty())
        SetDlgItemTextW(dialog, IDC_HOLD_MS, holdText.c_str());
    if (!edits.cornerProblem.empty())
        SetDlgItemTextW(dialog, IDC_CORNER_MS, cornerText.c_str());
    g_open.showing = false;
    UpdateApply(dialog);
}

bool SettingsWindowMessage(MSG& message)
{
    return g_open.window != nullptr && IsDialogMessageW(g_open.window, &message);
}

HWND SettingsWindow() { return g_open.window; }

bool PauseKeyTypedInSettingsWindow(LPARAM hotKey)
{
    HWND box = GetDlgItem(g_open.window, IDC_PAUSE_KEY);
    if (g_open.window == nullptr || box == nullptr || GetFocus() != box)
        return false;
    ShowPauseKey(g_open.window, FormatPauseKey(LOWORD(hotKey), HIWORD(hotKey)));
    UpdateApply(g_open.window);
    return true;
}
