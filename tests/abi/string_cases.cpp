// CResString and CBstr built in the hosts' ABI: the string behaviour both
// sides rely on, and the layout and heap blocks of MSVC's std::wstring.
#include <windows.h>

#include <stdint.h>
#include <wchar.h>

#include "abi_check.h"
#include "plugin_host.h"
#include "strings/bstr.h"
#include "strings/res_string.h"

#define CHECK_STRING(s, text) (CHECK_TEXT((s).c_str(), text), CHECK((s).size() == wcslen(text)))

namespace {

// Identifiers of this program's string table (abi_test_strings.rc).
const wchar_t* const kSeventeen = MAKEINTRESOURCEW(17);
const wchar_t* const kEmptyEntry = MAKEINTRESOURCEW(18);
const wchar_t* const kMissingInBlock = MAKEINTRESOURCEW(19);
const wchar_t* const kMissingBlock = MAKEINTRESOURCEW(400);

void ConstructionAndResources()
{
    const CResString fromNull(static_cast<const wchar_t*>(nullptr));
    CHECK(fromNull.empty() && fromNull.Tag == 0);
    CHECK_STRING(CResString(L"plain text"), L"plain text");

    CHECK_STRING(CResString(kSeventeen), L"Seventeen");
    CHECK(CResString(kEmptyEntry).empty());
    CHECK(CResString(kMissingInBlock).empty());
    CHECK(CResString(kMissingBlock).empty());
    CHECK(CResString::ResourceModule() == GetModuleHandleW(nullptr));

    CResString loaded(L"a text much longer than the entry");
    loaded.Tag = 9;
    CHECK(loaded.LoadFromResource(17));
    CHECK_STRING(loaded, L"Seventeen");  // exactly the loaded text, nothing of the old
    CHECK(loaded.Tag == 9);
    CResString missing(L"kept");
    CHECK(!missing.LoadFromResource(400));
    CHECK_STRING(missing, L"kept");  // a missing block leaves the string alone
    CResString empty(L"cleared");
    CHECK(!empty.LoadFromResource(18));
    CHECK(empty.empty());  // an empty entry is written
}

void SelfAliasing()
{
    CResString s(L"abcdef");
    s.Assign(s.c_str() + 2);
    CHECK_STRING(s, L"cdef");
    s.Assign(s.c_str() + s.size());
    CHECK(s.empty());  // the terminator empties the string
    CResString u(L"a long text that certainly lives on the heap");
    u = u.c_str() + 2;
    CHECK_STRING(u, L"long text that certainly lives on the heap");
    u.Assign(nullptr);
    CHECK(u.empty());

    CResString roomy(L"abc");
    roomy.reserve(64);
    const wchar_t* before = roomy.data();
    roomy.Append(roomy.c_str());
    CHECK_STRING(roomy, L"abcabc");
    CHECK(roomy.data() == before);  // enough room: appended in place

    CResString tight(L"0123456789abcdefghij");
    CHECK(tight.capacity() < tight.size() * 2);  // so the append must grow
    tight += tight.c_str();
    CHECK_STRING(tight, L"0123456789abcdefghij0123456789abcdefghij");
    CResString tail(L"abcdefghijklmnopqrstu");
    CHECK(tail.capacity() < tail.size() + 3);
    tail.Append(tail.c_str() + 18);
    CHECK_STRING(tail, L"abcdefghijklmnopqrstustu");
    tail.Append(nullptr);
    CHECK_STRING(tail, L"abcdefghijklmnopqrstustu");
}

void TagAndConcatenation()
{
    CResString source(L"text");
    source.Tag = 5;
    const CResString copy(source);
    CHECK(copy.Tag == 5);
    CResString target(L"other");
    target.Tag = 8;
    target = source;
    CHECK_STRING(target, L"text");
    CHECK(target.Tag == 8);  // assignment copies the text only
    CHECK((L"\"" + source).Tag == 0);
    CHECK((source + L"\"").Tag == 5);
    CHECK((source + copy).Tag == 5);

    const CResString words(L"two words");
    CHECK_STRING(L"\"" + words + L"\"", L"\"two words\"");
    CHECK_STRING(L"\"" + CResString() + L"\"", L"\"\"");
    CHECK_STRING(kSeventeen + words, L"Seventeentwo words");
    CHECK_STRING(words + kSeventeen, L"two wordsSeventeen");
    CResString embedded;
    embedded.assign(L"ab\0c", 4);
    CHECK_STRING(words + embedded, L"two wordsab");  // the right text ends at its first NUL
}

void Buffer()
{
    CResString s(L"abc");
    wchar_t* buffer = s.GetBuffer(10);
    CHECK(s.size() == 10 && wmemcmp(buffer, L"abc\0\0\0\0\0\0\0", 11) == 0);
    s.ReleaseBuffer();
    CHECK_STRING(s, L"abc");
    buffer = s.GetBuffer(2);
    CHECK(s.size() == 3);  // never shortened by GetBuffer
    buffer[1] = L'\0';
    s.ReleaseBuffer();
    CHECK_STRING(s, L"a");
    CHECK(CResString::Length(nullptr) == 0 && CResString::Length(L"four") == 4);
}

template <typename T>
T FieldAt(const CResString& s, size_t offset)
{
    return *reinterpret_cast<const T*>(reinterpret_cast<const unsigned char*>(&s) + offset);
}

}  // namespace

void ResStringBehaviour()
{
    ConstructionAndResources();
    SelfAliasing();
    TagAndConcatenation();
    Buffer();
}

void ResStringLayout()
{
    CResString shortText(L"abcde");
    shortText.Tag = 0x5A5A;
    CHECK(reinterpret_cast<const void*>(&shortText) == shortText.c_str());  // inline, at offset 0
    CHECK(FieldAt<size_t>(shortText, 16) == 5 && FieldAt<size_t>(shortText, 24) == 7);
    CHECK(FieldAt<int32_t>(shortText, 32) == 0x5A5A);

    // Under the big-block size: a block of its own, pointer and all.
    CResString medium;
    medium.resize(100, L'm');
    CHECK(FieldAt<const wchar_t*>(medium, 0) == medium.c_str());
    CHECK(IsAllocatedCrtBlock(medium.c_str()));

    const size_t busyBefore = CrtHeapBusyBytes();
    const void* raw = nullptr;
    {
        CResString big;
        big.resize(3000, L'x');
        const wchar_t* text = FieldAt<const wchar_t*>(big, 0);
        CHECK(text == big.c_str());
        CHECK(FieldAt<size_t>(big, 16) == 3000 && FieldAt<size_t>(big, 24) == big.capacity());
        CHECK(reinterpret_cast<uintptr_t>(text) % 32 == 0);
        raw = reinterpret_cast<const void* const*>(text)[-1];
        const ptrdiff_t gap = reinterpret_cast<const char*>(text) - static_cast<const char*>(raw);
        CHECK(gap >= 8 && gap <= 39);
        REQUIRE(IsAllocatedCrtBlock(raw));
        CHECK(HeapSize(CrtHeap(), 0, raw) >= (big.capacity() + 1) * sizeof(wchar_t) + 39);
    }
    // Freeing the pointer inside the block instead fails quietly under Wine.
    CHECK(!IsAllocatedCrtBlock(raw));
    CHECK(CrtHeapValid());
    CHECK(CrtHeapBusyBytes() == busyBefore);
}

namespace {

BSTR WINAPI FailingSysAllocString(const OLECHAR*) { return nullptr; }

int g_bstrFrees = 0;
void WINAPI CountingSysFreeString(BSTR) { ++g_bstrFrees; }

// Not inlined, so that each call reads the import slot afresh.
[[gnu::noinline]] void AssignBstr(CBstr& holder, const wchar_t* text) { holder = text; }

}  // namespace

void Bstr()
{
    CBstr name;
    CHECK(!name);
    name = L"notepad.exe";
    CHECK_TEXT(name, L"notepad.exe");
    CHECK(SysStringLen(name) == 11);
    const BSTR held = name;
    {
        // Wine's string cache would hand a freed string straight back: count frees.
        ImportPatch counting(GetModuleHandleW(nullptr), "oleaut32.dll", "SysFreeString",
                             reinterpret_cast<void*>(&CountingSysFreeString));
        REQUIRE(counting.Applied());
        AssignBstr(name, held);  // its own pointer: kept, not freed
        CHECK(g_bstrFrees == 0);
    }
    CHECK(static_cast<BSTR>(name) == held && SysStringLen(name) == 11);
    name = nullptr;
    CHECK(!name);

    CBstr owned;
    CHECK(owned.Detach() == nullptr);
    owned = L"handed over";
    BSTR detached = owned.Detach();
    CHECK(!owned);
    CHECK_TEXT(detached, L"handed over");
    SysFreeString(detached);
    owned = L"dropped";
    owned.Empty();
    CHECK(!owned);

    owned = L"old";
    BSTR* slot = &owned;  // emptied before a store
    CHECK(*slot == nullptr);
    *slot = SysAllocString(L"new");
    CHECK_TEXT(owned, L"new");

    AssignBstr(name, L"before");
    ImportPatch failing(GetModuleHandleW(nullptr), "oleaut32.dll", "SysAllocString",
                        reinterpret_cast<void*>(&FailingSysAllocString));
    REQUIRE(failing.Applied());
    bool thrown = false;
    try {
        AssignBstr(name, L"after");
    } catch (const ATL::CAtlException& error) {
        thrown = static_cast<HRESULT>(error) == E_OUTOFMEMORY;
    }
    CHECK(thrown);
    CHECK(!name);  // the old string is freed and nothing new is held
}
