// What the built tarvel.dll image offers a host: its export table, the DLLs it
// needs, and its resources.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "support/plugin_loader.h"

namespace {

template <typename T>
const T* At(HMODULE module, DWORD rva)
{
    return reinterpret_cast<const T*>(reinterpret_cast<const BYTE*>(module) + rva);
}

const IMAGE_DATA_DIRECTORY& Directory(HMODULE module, int index)
{
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(module);
    const auto* nt = At<IMAGE_NT_HEADERS64>(module, dos->e_lfanew);
    return nt->OptionalHeader.DataDirectory[index];
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

class PluginImage : public ::testing::Test {
protected:
    PluginLoader plugin;
    void SetUp() override { ASSERT_TRUE(plugin.Loaded()); }
};

TEST_F(PluginImage, IsA64BitDll)
{
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(plugin.Module());
    const auto* nt = At<IMAGE_NT_HEADERS64>(plugin.Module(), dos->e_lfanew);
    EXPECT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_AMD64);
    EXPECT_EQ(nt->OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR64_MAGIC);
    EXPECT_TRUE(nt->FileHeader.Characteristics & IMAGE_FILE_DLL);
}

TEST_F(PluginImage, ExportsExactlyTheFourEntryPointsAtOrdinalsOneToFour)
{
    const IMAGE_DATA_DIRECTORY& entry = Directory(plugin.Module(), IMAGE_DIRECTORY_ENTRY_EXPORT);
    ASSERT_NE(entry.VirtualAddress, 0u);
    const auto* exports = At<IMAGE_EXPORT_DIRECTORY>(plugin.Module(), entry.VirtualAddress);
    EXPECT_EQ(exports->Base, 1u);
    ASSERT_EQ(exports->NumberOfFunctions, 4u);
    ASSERT_EQ(exports->NumberOfNames, 4u);

    const auto* names = At<DWORD>(plugin.Module(), exports->AddressOfNames);
    const auto* ordinals = At<WORD>(plugin.Module(), exports->AddressOfNameOrdinals);
    const char* expected[] = {"CreateMacro", "GetCapability", "Initialize", "IsMacroSupported"};
    for (DWORD i = 0; i < 4; ++i) {
        EXPECT_STREQ(At<char>(plugin.Module(), names[i]), expected[i]);
        EXPECT_EQ(ordinals[i] + exports->Base, i + 1) << expected[i];
    }
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(plugin.Module(), MAKEINTRESOURCEA(1))),
              reinterpret_cast<void*>(plugin.CreateMacro));
}

// No compiler runtime (vcruntime140, msvcp140, libgcc, libstdc++,
// libwinpthread): a machine without a redistributable must load it.  Whether
// each imported function exists in Windows' own DLLs is checked on the build
// machine (PluginImage.ImportsOnlyWhatWindowsExports in plugin.cmake).
TEST_F(PluginImage, ImportsSystemDllsAndTheUniversalCRuntimeOnly)
{
    const std::vector<std::string> system = {"kernel32.dll", "user32.dll", "ucrtbase.dll", "oleaut32.dll",
                                             "shell32.dll",  "psapi.dll",  "advapi32.dll"};
    const IMAGE_DATA_DIRECTORY& entry = Directory(plugin.Module(), IMAGE_DIRECTORY_ENTRY_IMPORT);
    ASSERT_NE(entry.VirtualAddress, 0u);
    int count = 0;
    for (const auto* import = At<IMAGE_IMPORT_DESCRIPTOR>(plugin.Module(), entry.VirtualAddress);
         import->Name != 0; ++import, ++count) {
        const std::string name = Lower(At<char>(plugin.Module(), import->Name));
        EXPECT_NE(std::find(system.begin(), system.end(), name), system.end())
            << name << " is not part of every Windows installation";
    }
    EXPECT_GT(count, 0);
}

BOOL CALLBACK CollectType(HMODULE, LPWSTR type, LONG_PTR list)
{
    reinterpret_cast<std::vector<ULONG_PTR>*>(list)->push_back(reinterpret_cast<ULONG_PTR>(type));
    return TRUE;
}

TEST_F(PluginImage, ResourcesAreTheVersionRecordAndTheManifestOnly)
{
    std::vector<ULONG_PTR> types;
    EnumResourceTypesW(plugin.Module(), CollectType, reinterpret_cast<LONG_PTR>(&types));
    std::sort(types.begin(), types.end());
    EXPECT_EQ(types, (std::vector<ULONG_PTR>{16 /* RT_VERSION */, 24 /* RT_MANIFEST */}));

    HRSRC version = FindResourceW(plugin.Module(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16));
    ASSERT_NE(version, nullptr);
    const void* data = LockResource(LoadResource(plugin.Module(), version));
    ASSERT_NE(data, nullptr);
    // VerQueryValueW may write into the block it reads: give it a copy.
    std::vector<BYTE> block(static_cast<const BYTE*>(data),
                            static_cast<const BYTE*>(data) + SizeofResource(plugin.Module(), version));
    wchar_t* product = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\StringFileInfo\\040904B0\\ProductName",
                               reinterpret_cast<void**>(&product), &length));
    EXPECT_EQ(std::wstring(product), L"Tarvel");
}

}  // namespace
