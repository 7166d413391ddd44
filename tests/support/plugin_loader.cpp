#include "support/plugin_loader.h"

#include <gtest/gtest.h>

namespace {

template <typename Function>
Function Lookup(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

PluginLoader::PluginLoader(const wchar_t* path)
    : m_module(LoadLibraryW(path))
{
    if (!m_module)
        return;
    Initialize = Lookup<InitializeFunction>(m_module.get(), "Initialize");
    GetCapability = Lookup<GetCapabilityFunction>(m_module.get(), "GetCapability");
    IsMacroSupported = Lookup<IsMacroSupportedFunction>(m_module.get(), "IsMacroSupported");
    CreateMacro = Lookup<CreateMacroFunction>(m_module.get(), "CreateMacro");
}

IHandler* PluginLoader::CreateTarvel()
{
    EXPECT_TRUE(Loaded());
    if (CreateMacro == nullptr) {
        ADD_FAILURE() << "CreateMacro not found";
        return nullptr;
    }
    IHandler* handler = CreateMacro(L"Tarvel");
    EXPECT_NE(handler, nullptr);
    return handler;
}
