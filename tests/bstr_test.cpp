// CBstr: ownership of one SysAllocString string.
#include <gtest/gtest.h>

#include <string>

#include "strings/bstr.h"
#include "support/import_patch.h"

namespace {

TEST(Bstr, AssignCopiesAndReplaces)
{
    CBstr name;
    EXPECT_TRUE(!name);
    name = L"notepad.exe";
    ASSERT_FALSE(!name);
    EXPECT_EQ(std::wstring(name), L"notepad.exe");
    EXPECT_EQ(SysStringLen(name), 11u);

    name = L"dwm.exe";
    EXPECT_EQ(std::wstring(name), L"dwm.exe");
}

TEST(Bstr, AssignedItsOwnPointer_KeepsItUnfreed)
{
    CBstr name;
    name = L"same";
    const BSTR held = name;
    name = held;
    EXPECT_EQ(static_cast<BSTR>(name), held);
    EXPECT_EQ(std::wstring(name), L"same");
    EXPECT_EQ(SysStringLen(name), 4u);
}

TEST(Bstr, NullDetachAndEmpty)
{
    CBstr name;
    name = L"x";
    name = nullptr;
    EXPECT_TRUE(!name);

    CBstr empty;
    EXPECT_EQ(empty.Detach(), nullptr);

    CBstr owned;
    owned = L"handed over";
    BSTR detached = owned.Detach();
    EXPECT_TRUE(!owned);
    EXPECT_EQ(std::wstring(detached), L"handed over");
    SysFreeString(detached);

    owned = L"dropped";
    owned.Empty();
    EXPECT_TRUE(!owned);
}

TEST(Bstr, AddressOf_EmptiesBeforeAStore)
{
    CBstr name;
    name = L"old";
    BSTR* slot = &name;
    EXPECT_EQ(*slot, nullptr);
    *slot = SysAllocString(L"new");
    EXPECT_EQ(std::wstring(name), L"new");
}

}  // namespace

namespace {

BSTR WINAPI FailingSysAllocString(const OLECHAR*) { return nullptr; }

// Not inlined, so that every call reads the import slot afresh instead of an
// address the compiler loaded before the slot was patched.
[[gnu::noinline]] void Assign(CBstr& holder, const wchar_t* text) { holder = text; }

TEST(Bstr, FailedAllocation_ThrowsOutOfMemoryAndLeavesTheHolderNull)
{
    CBstr name;
    Assign(name, L"before");

    // Test double: the platform offers no way to make SysAllocString fail.
    ImportPatch failing(GetModuleHandleW(nullptr), "oleaut32.dll", "SysAllocString",
                        reinterpret_cast<void*>(&FailingSysAllocString));
    ASSERT_TRUE(failing.Applied());
    try {
        Assign(name, L"after");
        ADD_FAILURE() << "no exception";
    } catch (const ATL::CAtlException& error) {
        EXPECT_EQ(static_cast<HRESULT>(error), static_cast<HRESULT>(0x8007000E));
    }
    EXPECT_TRUE(!name) << "the old string is freed and nothing new is held";
}

}  // namespace
