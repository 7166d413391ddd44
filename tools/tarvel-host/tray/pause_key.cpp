#include "pause_key.h"

#include <cwctype>
#include <vector>

namespace {

struct NamedKey {
    const wchar_t* name;
    UINT key;
};
constexpr NamedKey kNamedKeys[] = {{L"Pause", VK_PAUSE},   {L"ScrollLock", VK_SCROLL}, {L"Insert", VK_INSERT},
                                   {L"Delete", VK_DELETE}, {L"Home", VK_HOME},         {L"End", VK_END},
                                   {L"PageUp", VK_PRIOR},  {L"PageDown", VK_NEXT},     {L"Space", VK_SPACE}};
constexpr NamedKey kModifiers[] = {{L"Ctrl", MOD_CONTROL}, {L"Control", MOD_CONTROL}, {L"Alt", MOD_ALT},
                                   {L"Shift", MOD_SHIFT},  {L"Win", MOD_WIN}};

bool SameName(const std::wstring& text, const wchar_t* name)
{
    return CompareStringOrdinal(text.c_str(), -1, name, -1, TRUE) == CSTR_EQUAL;
}

bool ParseKey(const std::wstring& name, UINT& key)
{
    if (name.size() == 1 && std::iswalnum(name[0]) && name[0] < 0x80) {
        key = static_cast<UINT>(std::towupper(name[0]));
        return true;
    }
    if (name.size() >= 2 && name.size() <= 3 && (name[0] == L'f' || name[0] == L'F')) {
        const int number = _wtoi(name.c_str() + 1);
        if (number >= 1 && number <= 24 && std::to_wstring(number) == name.substr(1)) {
            key = VK_F1 + static_cast<UINT>(number - 1);
            return true;
        }
    }
    for (const NamedKey& named : kNamedKeys) {
        if (SameName(name, named.name)) {
            key = named.key;
            return true;
        }
    }
    return false;
}

bool MadeForIt(UINT key) { return key == VK_PAUSE || key == VK_SCROLL || (key >= VK_F13 && key <= VK_F24); }

}  // namespace

bool ParsePauseKey(const std::wstring& text, UINT& modifiers, UINT& key)
{
    modifiers = 0;
    std::wstring rest = text;
    for (size_t plus; (plus = rest.find(L'+')) != std::wstring::npos; rest.erase(0, plus + 1)) {
        const std::wstring part = rest.substr(0, plus);
        UINT found = 0;
        for (const NamedKey& modifier : kModifiers)
            found |= SameName(part, modifier.name) ? modifier.key : 0;
        if (found == 0)
            return false;
        modifiers |= found;
    }
    return ParseKey(rest, key);
}

std::wstring FormatPauseKey(UINT modifiers, UINT key)
{
    std::wstring name;
    if ((key >= L'A' && key <= L'Z') || (key >= L'0' && key <= L'9'))
        name = static_cast<wchar_t>(key);
    else if (key >= VK_F1 && key <= VK_F24)
        name = L"F" + std::to_wstring(key - VK_F1 + 1);
    for (const NamedKey& named : kNamedKeys)
        name = key == named.key ? named.name : name;
    if (name.empty())
        return name;
    std::wstring text;
    for (const NamedKey& modifier : {kModifiers[0], kModifiers[2], kModifiers[3], kModifiers[4]})
        text += (modifiers & modifier.key) != 0 ? std::wstring(modifier.name) + L"+" : L"";
    return text + name;
}

std::wstring PauseKeyRefusal(UINT modifiers, UINT key, const TypedCharacter& typed)
{
    if (MadeForIt(key))
        return {};
    const std::wstring name = FormatPauseKey(modifiers, key);
    if (key == VK_F12)
        return L"F12 is kept for debuggers: Windows does not let a program take it.";
    if ((modifiers & (MOD_CONTROL | MOD_ALT | MOD_WIN)) == 0)
        return name + L" would stop typing it everywhere: add Ctrl, Alt or Windows.";
    const std::wstring character = typed ? typed(modifiers, key) : std::wstring();
    if (!character.empty())
        return name + L" types \"" + character + L"\" on one of your keyboard layouts: typing would lose it.";
    return {};
}

std::wstring SuggestedPauseKey(const TypedCharacter& typed)
{
    for (const wchar_t* candidate : {L"Ctrl+Alt+P", L"Ctrl+Alt+F10", L"Ctrl+Shift+F11"}) {
        UINT modifiers = 0, key = 0;
        if (ParsePauseKey(candidate, modifiers, key) && PauseKeyRefusal(modifiers, key, typed).empty())
            return candidate;
    }
    return L"Pause";
}

std::wstring CharacterOfLayout(HKL layout, UINT modifiers, UINT key)
{
    BYTE state[256]{};
    const auto press = [&](UINT modifier, std::initializer_list<int> keys) {
        for (int vk : keys)
            state[vk] = (modifiers & modifier) != 0 ? 0x80 : 0;
    };
    press(MOD_CONTROL, {VK_CONTROL, VK_LCONTROL});
    press(MOD_ALT, {VK_MENU, VK_LMENU});
    press(MOD_SHIFT, {VK_SHIFT, VK_LSHIFT});
    const UINT scan = MapVirtualKeyExW(key, MAPVK_VK_TO_VSC, layout);
    wchar_t typed[8]{};
    // 4: leave the keyboard state alone (Windows 10 1607 and later); before,
    // a dead key is cleared by asking again.
    int count = ToUnicodeEx(key, scan, state, typed, 8, 4, layout);
    if (count < 0) {
        wchar_t ignored[8]{};
        ToUnicodeEx(key, scan, state, ignored, 8, 4, layout);
        count = 1;  // a dead key: an accent, typed with the next letter
    }
    std::wstring character;
    for (int i = 0; i < count && i < 8; ++i) {
        if (typed[i] >= 0x20 && typed[i] != 0x7F)  // Ctrl+letter's control codes type nothing
            character += typed[i];
    }
    return character;
}

std::wstring CharacterOfAnyLayout(UINT modifiers, UINT key)
{
    std::vector<HKL> layouts(static_cast<size_t>(GetKeyboardLayoutList(0, nullptr)) + 1);
    layouts.resize(static_cast<size_t>(GetKeyboardLayoutList(static_cast<int>(layouts.size()), layouts.data())));
    for (HKL layout : layouts) {
        const std::wstring character = CharacterOfLayout(layout, modifiers, key);
        if (!character.empty())
            return character;
    }
    return {};
}

const std::wstring& PauseKey::Set(const std::wstring& text)
{
    Clear();
    m_problem.clear();
    if (text.empty())
        return m_problem;
    UINT modifiers = 0, key = 0;
    const std::wstring suggestion = L" Try " + SuggestedPauseKey(&CharacterOfAnyLayout) + L".";
    if (!ParsePauseKey(text, modifiers, key)) {
        m_problem = L"\"" + text + L"\" is not a key Tarvel knows." + suggestion;
        return m_problem;
    }
    m_problem = PauseKeyRefusal(modifiers, key, &CharacterOfAnyLayout);
    if (!m_problem.empty())
        m_problem += suggestion;
    else if (RegisterHotKey(m_window, kId, modifiers | MOD_NOREPEAT, key))
        m_registered = true;
    else
        m_problem = L"The pause key " + text + L" is taken by another program: choose another." + suggestion;
    return m_problem;
}

void PauseKey::Clear()
{
    if (m_registered)
        UnregisterHotKey(m_window, kId);
    m_registered = false;
}
