#include "support/plugin_loader.h"

#include <gtest/gtest.h>

#include "support/fake_host.h"

namespace {

template <typename Function>
Function Lookup(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

const char* KindName(int32_t kind)
{
    switch (kind) {
    case TbThrewAtlException:
        return "ATL::CAtlException";
    case TbThrewHostError:
        return "the host's error";
    case TbThrewOther:
        return "a C++ exception";
    default:
        return "nothing";
    }
}

void ExpectNoThrow(const TbThrow& thrown, const char* operation)
{
    if (thrown.kind != TbNoThrow)
        ADD_FAILURE() << operation << " threw " << KindName(thrown.kind) << ", code 0x" << std::hex << thrown.code;
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

void* PluginLoader::CreateTarvel()
{
    EXPECT_TRUE(Loaded());
    if (CreateMacro == nullptr) {
        ADD_FAILURE() << "CreateMacro not found";
        return nullptr;
    }
    void* handler = CreateMacro(L"Tarvel");
    EXPECT_NE(handler, nullptr);
    return handler;
}

namespace bridge {

int32_t Execute(void* handler, HostContext* context, TbThrow& thrown)
{
    return TbExecute(handler, context != nullptr ? context->Bridge() : nullptr, &thrown);
}

int32_t Execute(void* handler, HostContext* context)
{
    TbThrow thrown{};
    const int32_t result = Execute(handler, context, thrown);
    ExpectNoThrow(thrown, "Execute");
    return result;
}

void Destroy(void* handler)
{
    TbThrow thrown{};
    TbDestroy(handler, &thrown);
    ExpectNoThrow(thrown, "Destroy");
}

}  // namespace bridge
