// A stand-in for the desktop window manager's library: Wine's own always
// answers that composition is off, so the tests set the answer themselves.
//
// Built twice.  The copy installed in the test prefix's system folder answers
// "on" exactly when TARVEL_TEST_COMPOSITION is "on"; the copy placed beside
// the test programs (TARVEL_FAKE_DWMAPI_INVERTED) answers the opposite, so a
// plug-in that loaded it instead of the system one would fail the tests.
#include <windows.h>

#include <cwchar>

namespace {

bool CompositionRequested()
{
    wchar_t value[8] = L"";
    const DWORD length = GetEnvironmentVariableW(L"TARVEL_TEST_COMPOSITION", value, 8);
    return length > 0 && length < 8 && std::wcscmp(value, L"on") == 0;
}

}  // namespace

extern "C" __declspec(dllexport) HRESULT WINAPI DwmIsCompositionEnabled(BOOL* enabled)
{
    if (enabled == nullptr)
        return E_INVALIDARG;
#ifdef TARVEL_FAKE_DWMAPI_INVERTED
    *enabled = CompositionRequested() ? FALSE : TRUE;
#else
    *enabled = CompositionRequested() ? TRUE : FALSE;
#endif
    return S_OK;
}
