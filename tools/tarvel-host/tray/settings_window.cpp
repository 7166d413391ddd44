#include "settings_window.h"

#include <cwchar>
#include <utility>

#include "settings_window_ids.h"

namespace {

// The one open window and what it applies with; main thread only.
struct Open {
    HWND window = nullptr;
    ApplyChoices apply;
    SettingsChoices choices;  // as opened; what the window does not show is kept
} g_open;

constexpr int kCornerIds[] = {IDC_CORNER_TOP_LEFT, IDC_CORNER_TOP_RIGHT, IDC_CORNER_BOTTOM_LEFT,
                              IDC_CORNER_BOTTOM_RIGHT};
// Without a hold time the dialog offers this one when the long press is chosen.
constexpr DWORD kSuggestedHoldMs = 300;
constexpr DWORD kLongestMs = 10000;

void AddItems(HWND dialog, int id, std::initializer_list<const wchar_t*> items, int chosen)
{
    for (const wchar_t* item : items)
        SendDlgItemMessageW(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    SendDlgItemMessageW(dialog, id, CB_SETCURSEL, static_cast<WPARAM>(chosen), 0);
}

int Chosen(HWND dialog, int id) { return static_cast<int>(SendDlgItemMessageW(dialog, id, CB_GETCURSEL, 0, 0)); }

void Check(HWND dialog, int id, bool on) { CheckDlgButton(dialog, id, on ? BST_CHECKED : BST_UNCHECKED); }

bool Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

// The tap and the hold time mean something only with the long press.
void EnableLongPressParts(HWND dialog)
{
    const bool hold = Checked(dialog, IDC_HOLD_FLIPS);
    EnableWindow(GetDlgItem(dialog, IDC_HOLD_MS), hold);
    EnableWindow(GetDlgItem(dialog, IDC_TAP_PREVIOUS), hold);
}

void Show(HWND dialog, const SettingsChoices& choices, const std::wstring& pauseKeyProblem)
{
    const TraySettings& settings = choices.settings;
    AddItems(dialog, IDC_BUTTON_CHOICE, {L"First side button", L"Second side button", L"Middle button"},
             static_cast<int>(settings.button));
    AddItems(dialog, IDC_SLOWS_CHOICE, {L"The wheel", L"The pointer"}, settings.device == FlipDevice::Wheel ? 0 : 1);
    Check(dialog, settings.holdMs == 0 ? IDC_CLICK_FLIPS : IDC_HOLD_FLIPS, true);
    SetDlgItemInt(dialog, IDC_HOLD_MS, settings.holdMs == 0 ? kSuggestedHoldMs : settings.holdMs, FALSE);
    Check(dialog, IDC_TAP_PREVIOUS, settings.tapPrevious);
    for (unsigned i = 0; i < 4; ++i)
        Check(dialog, kCornerIds[i], (settings.corners & (1u << i)) != 0);
    SetDlgItemInt(dialog, IDC_CORNER_MS, settings.cornerMs, FALSE);
    SetDlgItemTextW(dialog, IDC_PAUSE_KEY, settings.pauseKey.c_str());
    SetDlgItemTextW(dialog, IDC_PAUSE_STATUS, pauseKeyProblem.c_str());
    Check(dialog, IDC_FULL_SCREEN, settings.letThroughFullScreen);
    Check(dialog, IDC_AUTOSTART, choices.autostart);
    EnableLongPressParts(dialog);
}

// A time in milliseconds from its field, within 1..10000; `fallback` for an
// empty field or nonsense.
DWORD ReadMs(HWND dialog, int id, DWORD fallback)
{
    BOOL ok = FALSE;
    const UINT value = GetDlgItemInt(dialog, id, &ok, FALSE);
    return ok && value >= 1 && value <= kLongestMs ? value : fallback;
}

SettingsChoices Read(HWND dialog)
{
    SettingsChoices choices = g_open.choices;
    TraySettings& settings = choices.settings;
    const int button = Chosen(dialog, IDC_BUTTON_CHOICE);
    if (button >= 0 && button <= 2)
        settings.button = static_cast<MouseButton>(button);
    settings.device = Chosen(dialog, IDC_SLOWS_CHOICE) == 1 ? FlipDevice::Pointer : FlipDevice::Wheel;
    settings.holdMs = Checked(dialog, IDC_HOLD_FLIPS) ? ReadMs(dialog, IDC_HOLD_MS, kSuggestedHoldMs) : 0;
    settings.tapPrevious = Checked(dialog, IDC_TAP_PREVIOUS);
    settings.corners = 0;
    for (unsigned i = 0; i < 4; ++i)
        settings.corners |= Checked(dialog, kCornerIds[i]) ? 1u << i : 0;
    settings.cornerMs = ReadMs(dialog, IDC_CORNER_MS, settings.cornerMs);
    wchar_t key[64]{};
    GetDlgItemTextW(dialog, IDC_PAUSE_KEY, key, static_cast<int>(std::size(key)));
    settings.pauseKey = key;
    settings.letThroughFullScreen = Checked(dialog, IDC_FULL_SCREEN);
    choices.autostart = Checked(dialog, IDC_AUTOSTART);
    return choices;
}

// OK and Apply: the choices applied; the window stays open (Apply, or OK
// with a pause key to mend) showing what is now in force.
bool Apply(HWND dialog)
{
    g_open.choices = Read(dialog);
    const std::wstring problem = g_open.apply ? g_open.apply(g_open.choices) : std::wstring();
    SetDlgItemTextW(dialog, IDC_PAUSE_STATUS, problem.c_str());
    if (!problem.empty())
        SetFocus(GetDlgItem(dialog, IDC_PAUSE_KEY));
    return problem.empty();
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) noexcept
{
    try {
        if (message == WM_COMMAND) {
            switch (LOWORD(wParam)) {
            case IDC_CLICK_FLIPS:
            case IDC_HOLD_FLIPS: EnableLongPressParts(dialog); return TRUE;
            case IDC_APPLY: Apply(dialog); return TRUE;
            case IDOK:
                if (Apply(dialog))
                    DestroyWindow(dialog);
                return TRUE;
            case IDCANCEL: DestroyWindow(dialog); return TRUE;
            default: return FALSE;
            }
        }
        if (message == WM_DESTROY && g_open.window == dialog)
            g_open = Open{};
    } catch (...) {
        // Nothing may leave a dialog procedure; the choice is simply not applied.
    }
    return FALSE;
}

}  // namespace

void OpenSettingsWindow(HWND owner, const SettingsChoices& current, const std::wstring& pauseKeyProblem,
                        ApplyChoices apply)
{
    if (g_open.window == nullptr) {
        HWND dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_SETTINGS), owner,
                                         DialogProc, 0);
        if (dialog == nullptr)
            return;
        g_open.window = dialog;
        g_open.apply = std::move(apply);
        g_open.choices = current;
        Show(dialog, current, pauseKeyProblem);
        ShowWindow(dialog, SW_SHOWNORMAL);
    }
    SetForegroundWindow(g_open.window);
}

bool SettingsWindowMessage(MSG& message)
{
    return g_open.window != nullptr && IsDialogMessageW(g_open.window, &message);
}

HWND SettingsWindow() { return g_open.window; }
