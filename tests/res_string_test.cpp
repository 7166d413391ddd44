// CResString: construction from text or resource identifiers, self-aliasing
// assignment and append, resource loading, Tag, buffer access.
#include <gtest/gtest.h>

#include <string>

#include "strings/res_string.h"

namespace {

// Identifiers of this test executable's string table (plugin_test_strings.rc).
const wchar_t* const kSeventeen = MAKEINTRESOURCEW(17);
const wchar_t* const kEmptyEntry = MAKEINTRESOURCEW(18);
const wchar_t* const kMissingInBlock = MAKEINTRESOURCEW(19);
const wchar_t* const kMissingBlock = MAKEINTRESOURCEW(400);

std::wstring Text(const CResString& s) { return std::wstring(s.c_str(), s.size()); }

TEST(ResStringConstruction, FromNullOrText_HasTagZero)
{
    const CResString fromNull(static_cast<const wchar_t*>(nullptr));
    EXPECT_TRUE(fromNull.empty());
    EXPECT_EQ(fromNull.Tag, 0);

    const CResString fromText(L"plain text");
    EXPECT_EQ(Text(fromText), L"plain text");
    EXPECT_EQ(fromText.Tag, 0);
}

TEST(ResStringConstruction, FromIdentifier_LoadsFromTheHostExecutable)
{
    const CResString seventeen(kSeventeen);
    EXPECT_EQ(Text(seventeen), L"Seventeen");
    EXPECT_EQ(seventeen.Tag, 0);
    EXPECT_TRUE(CResString(kEmptyEntry).empty());
    EXPECT_TRUE(CResString(kMissingInBlock).empty());
    EXPECT_TRUE(CResString(kMissingBlock).empty());
    EXPECT_EQ(CResString::ResourceModule(), GetModuleHandleW(nullptr));
}

TEST(ResStringLoad, ReportsWhatItLoaded)
{
    CResString s(L"a text much longer than the entry");
    s.Tag = 9;
    EXPECT_TRUE(s.LoadFromResource(17));
    EXPECT_EQ(Text(s), L"Seventeen") << "exactly the loaded text, nothing of the old";
    EXPECT_EQ(s.Tag, 9);

    CResString missing(L"kept");
    EXPECT_FALSE(missing.LoadFromResource(400));
    EXPECT_EQ(Text(missing), L"kept") << "a missing block leaves the string alone";

    CResString empty(L"cleared");
    EXPECT_FALSE(empty.LoadFromResource(18));
    EXPECT_TRUE(empty.empty()) << "an empty entry is written, so the string is empty";
}

TEST(ResStringAssign, PointerIntoOwnText_KeepsTheTail)
{
    CResString s(L"abcdef");
    s.Assign(s.c_str() + 2);
    EXPECT_EQ(Text(s), L"cdef");

    s.Assign(s.c_str() + s.size());
    EXPECT_TRUE(s.empty()) << "the terminator empties the string";

    CResString t(L"abcdef");
    t.Assign(nullptr);
    EXPECT_TRUE(t.empty());

    CResString u(L"a long text that certainly lives on the heap");
    u = u.c_str() + 2;
    EXPECT_EQ(Text(u), L"long text that certainly lives on the heap");
}

TEST(ResStringAppend, OwnText_DoublesWithOrWithoutGrowth)
{
    CResString roomy(L"abc");
    roomy.reserve(64);
    const wchar_t* before = roomy.data();
    roomy.Append(roomy.c_str());
    EXPECT_EQ(Text(roomy), L"abcabc");
    EXPECT_EQ(roomy.data(), before) << "enough room: appended in place";

    CResString tight(L"0123456789abcdefghij");
    tight.shrink_to_fit();
    ASSERT_LE(tight.capacity(), tight.size() * 2) << "the append must have to grow";
    tight += tight.c_str();
    EXPECT_EQ(Text(tight), L"0123456789abcdefghij0123456789abcdefghij");

    CResString tail(L"abcdefghijklmnopqrstu");
    tail.shrink_to_fit();
    tail.Append(tail.c_str() + 18);
    EXPECT_EQ(Text(tail), L"abcdefghijklmnopqrstustu");

    CResString unchanged(L"abc");
    unchanged.Append(nullptr);
    EXPECT_EQ(Text(unchanged), L"abc");
}

TEST(ResStringTag, CopiedByConstructionOnly)
{
    CResString source(L"text");
    source.Tag = 5;
    const CResString copy(source);
    EXPECT_EQ(copy.Tag, 5);

    CResString target(L"other");
    target.Tag = 8;
    target = source;
    EXPECT_EQ(Text(target), L"text");
    EXPECT_EQ(target.Tag, 8) << "assignment copies the text only";
    target = target;
    EXPECT_EQ(Text(target), L"text");

    EXPECT_EQ((L"\"" + source).Tag, 0);
    EXPECT_EQ((source + L"\"").Tag, 5);
    EXPECT_EQ((source + copy).Tag, 5);
}

TEST(ResStringConcatenation, QuotesAndIdentifiersOnEitherSide)
{
    const CResString words(L"two words");
    EXPECT_EQ(Text(L"\"" + words + L"\""), L"\"two words\"");
    EXPECT_EQ(Text(L"\"" + CResString() + L"\""), L"\"\"");
    EXPECT_EQ(Text(kSeventeen + words), L"Seventeentwo words");
    EXPECT_EQ(Text(words + kSeventeen), L"two wordsSeventeen");

    CResString embedded(L"ab");
    embedded.push_back(L'\0');
    embedded.push_back(L'c');
    EXPECT_EQ(Text(words + embedded), L"two wordsab") << "the right text ends at its first NUL";
}

TEST(ResStringBuffer, GetBufferPadsReleaseBufferCuts)
{
    CResString s(L"abc");
    wchar_t* buffer = s.GetBuffer(10);
    EXPECT_EQ(s.size(), 10u);
    EXPECT_EQ(std::wstring(buffer, 10), std::wstring(L"abc\0\0\0\0\0\0\0", 10));
    s.ReleaseBuffer();
    EXPECT_EQ(Text(s), L"abc");

    buffer = s.GetBuffer(2);
    EXPECT_EQ(s.size(), 3u) << "never shortened by GetBuffer";
    buffer[1] = L'\0';
    s.ReleaseBuffer();
    EXPECT_EQ(Text(s), L"a");

    EXPECT_EQ(CResString::Length(nullptr), 0u);
    EXPECT_EQ(CResString::Length(L"four"), 4u);
}

}  // namespace
