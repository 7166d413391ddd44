#include "pause_key.h"

#include <cwctype>

namespace {

struct NamedKey {
    const wchar_t* name;
    UINT key;
};
constexpr NamedKey kNamedKeys[] = {{L"pause", VK_PAUSE},    {L"insert", VK_INSERT}, {L"delete", VK_DELETE},
                                   {L"home", VK_HOME},      {L"end", VK_END},       {L"pageup", VK_PRIOR},
                                   {L"pagedown", VK_NEXT},  {L"space", VK_SPACE}};
constexpr NamedKey kModifiers[] = {{L"ctrl", MOD_CONTROL}, {L"control", MOD_CONTROL}, {L"alt", MOD_ALT},
                                   {L"shift", MOD_SHIFT},  {L"win", MOD_WIN}};

std::wstring Lower(std::wstring text)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

bool ParseKey(const std::wstring& name, UINT& key)
{
    if (name.size() == 1 && ((name[0] >= L'a' && name[0] <= L'z') || (name[0] >= L'0' && name[0] <= L'9'))) {
        key = static_cast<UINT>(std::towupper(name[0]));
        return true;
    }
    if (name.size() >= 2 && name.size() <= 3 && name[0] == L'f') {
        const int number = _wtoi(name.c_str() + 1);
        if (number >= 1 && number <= 24 && std::to_wstring(number) == name.substr(1)) {
            key = VK_F1 + static_cast<UINT>(number - 1);
            return true;
        }
    }
    for (const NamedKey& named : kNamedKeys) {
        if (name == named.name) {
            key = named.key;
            return true;
        }
    }
    return false;
}

}  // namespace

bool ParsePauseKey(const std::wstring& text, UINT& modifiers, UINT& key)
{
    modifiers = 0;
    std::wstring rest = Lower(text);
    for (size_t plus; (plus = rest.find(L'+')) != std::wstring::npos; rest.erase(0, plus + 1)) {
        const std::wstring part = rest.substr(0, plus);
        UINT found = 0;
        for (const NamedKey& modifier : kModifiers)
            found |= part == modifier.name ? modifier.key : 0;
        if (found == 0)
            return false;
        modifiers |= found;
    }
    return ParseKey(rest, key);
}

const std::wstring& PauseKey::Set(const std::wstring& text)
{
    Clear();
    m_problem.clear();
    if (text.empty())
        return m_problem;
    UINT modifiers = 0, key = 0;
    if (!ParsePauseKey(text, modifiers, key))
        m_problem = L"\"" + text + L"\" is not a key Tarvel knows (try Ctrl+Alt+P).";
    else if (RegisterHotKey(m_window, kId, modifiers | MOD_NOREPEAT, key))
        m_registered = true;
    else
        m_problem = L"The pause key " + text + L" is taken by another program: choose another.";
    return m_problem;
}

void PauseKey::Clear()
{
    if (m_registered)
        UnregisterHotKey(m_window, kId);
    m_registered = false;
}
