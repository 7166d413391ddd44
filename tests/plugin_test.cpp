// The entry points, called through GetProcAddress like a host calls them.
#include <gtest/gtest.h>

#include <cstdint>

#include "support/plugin_loader.h"

namespace {

// Identifiers of the test host's own string table (plugin_test_strings.rc).
constexpr uintptr_t kTarvelId = 101;
constexpr uintptr_t kMixedCaseId = 102;
constexpr uintptr_t kTruncatedId = 103;
constexpr uintptr_t kSeventeenId = 17;
constexpr uintptr_t kEmptyEntryId = 18;
constexpr uintptr_t kMissingInBlockId = 19;
constexpr uintptr_t kMissingBlockId = 400;

const wchar_t* AsName(uintptr_t value) { return reinterpret_cast<const wchar_t*>(value); }

class EntryPoints : public ::testing::Test {
protected:
    PluginLoader plugin;

    void SetUp() override
    {
        ASSERT_TRUE(plugin.Loaded()) << "tarvel.dll not loaded, error " << GetLastError();
        ASSERT_NE(plugin.Initialize, nullptr);
        ASSERT_NE(plugin.GetCapability, nullptr);
        ASSERT_NE(plugin.IsMacroSupported, nullptr);
        ASSERT_NE(plugin.CreateMacro, nullptr);
    }

    // Creates and at once destroys a handler; true when one was created.
    bool Creates(const wchar_t* name)
    {
        void* handler = plugin.CreateMacro(name);
        HandlerOwner owner(handler);
        return handler != nullptr;
    }
};

TEST_F(EntryPoints, InitializeAndCapability_AlwaysTrueAndOne_InAnyOrderAndNumber)
{
    EXPECT_EQ(plugin.GetCapability(), 1);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(plugin.Initialize());
        EXPECT_EQ(plugin.GetCapability(), 1);
    }
}

TEST_F(EntryPoints, Booleans_AreOneByteZeroOrOne)
{
    // The host reads one byte; the plug-in must put exactly 0 or 1 in AL.
    using RawSupported = uint8_t (*)(const wchar_t*);
    auto raw = reinterpret_cast<RawSupported>(reinterpret_cast<void*>(plugin.IsMacroSupported));
    EXPECT_EQ(raw(L"Tarvel"), 1);
    EXPECT_EQ(raw(L"Nope"), 0);
}

TEST_F(EntryPoints, TextName_SupportedInAnyCase)
{
    for (const wchar_t* name : {L"Tarvel", L"tarvel", L"TARVEL", L"tArVeL"}) {
        EXPECT_TRUE(plugin.IsMacroSupported(name)) << "name " << static_cast<const void*>(name);
        EXPECT_TRUE(Creates(name));
    }
}

TEST_F(EntryPoints, NearMisses_NotSupportedAndCreateNothing)
{
    for (const wchar_t* name : {L"Tarve", L"Tarvell", L"Tarvel ", L"Tar vel", L" Tarvel", L"", L"Tarvel\u0130"}) {
        EXPECT_FALSE(plugin.IsMacroSupported(name));
        EXPECT_FALSE(Creates(name));
    }
    EXPECT_FALSE(plugin.IsMacroSupported(nullptr));
    EXPECT_EQ(plugin.CreateMacro(nullptr), nullptr);
}

TEST_F(EntryPoints, ResourceIdentifier_LoadsTheNameFromTheHostStringTable)
{
    EXPECT_TRUE(plugin.IsMacroSupported(AsName(kTarvelId)));
    EXPECT_TRUE(plugin.IsMacroSupported(AsName(kMixedCaseId)));
    EXPECT_TRUE(Creates(AsName(kTarvelId)));

    EXPECT_FALSE(plugin.IsMacroSupported(AsName(kTruncatedId)));
    EXPECT_FALSE(plugin.IsMacroSupported(AsName(kSeventeenId)));
    EXPECT_FALSE(plugin.IsMacroSupported(AsName(kEmptyEntryId)));
    EXPECT_FALSE(plugin.IsMacroSupported(AsName(kMissingInBlockId)));
    EXPECT_FALSE(plugin.IsMacroSupported(AsName(kMissingBlockId)));
    EXPECT_FALSE(Creates(AsName(kMissingBlockId)));
}

TEST_F(EntryPoints, OnlyBits16To31_DecideBetweenIdentifierAndPointer)
{
    // Bits above 31 set, bits 16 to 31 clear: still identifier 101, loaded
    // from the string table and never dereferenced (the address is not mapped).
    const uintptr_t highBitsId = (uintptr_t{0x7} << 32) | kTarvelId;
    EXPECT_TRUE(plugin.IsMacroSupported(AsName(highBitsId)));
    EXPECT_TRUE(Creates(AsName(highBitsId)));
}

TEST_F(EntryPoints, CreateMacro_EachCallGivesANewHandler)
{
    HandlerOwner first(plugin.CreateMacro(L"Tarvel"));
    HandlerOwner second(plugin.CreateMacro(L"TARVEL"));
    ASSERT_NE(first.get(), nullptr);
    ASSERT_NE(second.get(), nullptr);
    EXPECT_NE(first.get(), second.get());
}

TEST_F(EntryPoints, ConcurrentLookups_AllAnswerTheSame)
{
    constexpr int kThreads = 4;
    struct Work {
        IsMacroSupportedFunction supported;
        LONG wrong;
    } work{plugin.IsMacroSupported, 0};
    auto run = [](void* parameter) -> DWORD {
        auto* w = static_cast<Work*>(parameter);
        for (int i = 0; i < 2000; ++i) {
            if (!w->supported(L"tarVEL") || w->supported(L"tarvels"))
                InterlockedIncrement(&w->wrong);
        }
        return 0;
    };
    HANDLE threads[kThreads];
    for (HANDLE& thread : threads)
        thread = CreateThread(nullptr, 0, run, &work, 0, nullptr);
    WaitForMultipleObjects(kThreads, threads, TRUE, INFINITE);
    for (HANDLE thread : threads)
        CloseHandle(thread);
    EXPECT_EQ(work.wrong, 0);
}

}  // namespace
