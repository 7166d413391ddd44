// tarvel-bridge.dll: the host objects and handler calls of host_bridge.h, in
// the MSVC C++ ABI, built from the plug-in's SDK headers alone.
//
// No C++ exception may leave through the C interface: the callers are built
// by another compiler whose frames cannot be unwound by this ABI's handler.
// Every entry point that can meet one catches it here.
#include <windows.h>

#include <stdint.h>

#include "host/host.h"
#include "macro/macro.h"
#include "strings/res_string.h"

#include "host_bridge.h"

namespace {

// What a host object throws when its callback says so.  Private to this
// library: the plug-in cannot know it, so it only ever passes through.
struct TbHostError {
    int32_t code;
};

void ThrowIfFailed(int32_t code)
{
    if (code != 0)
        throw TbHostError{code};
}

// A polymorphic base of the host's own, placed before the device interface
// in one layout, so that IPointingDevice sits past offset 0 of the complete
// object and the plug-in's dynamic_cast must adjust the pointer.
class HostComponent {
public:
    virtual ~HostComponent() = default;
    virtual int32_t Revision() { return m_revision; }

private:
    int32_t m_revision = 1;
};

// A pointing device whose operations are the caller's callbacks, after the
// bases `Before` (none: IPointingDevice at offset 0).
template <typename... Before>
class BridgePointing final : public Before..., public IPointingDevice {
public:
    explicit BridgePointing(const TbPointingCallbacks& callbacks) : m_callbacks(callbacks) {}

    int GetSetting() override
    {
        int32_t setting = 0;
        if (m_callbacks.GetSetting != nullptr)
            ThrowIfFailed(m_callbacks.GetSetting(m_callbacks.self, &setting));
        return setting;
    }

    void SetSetting(int value) override
    {
        if (m_callbacks.SetSetting != nullptr)
            ThrowIfFailed(m_callbacks.SetSetting(m_callbacks.self, value));
    }

private:
    const TbPointingCallbacks m_callbacks;
};

using PointingFirst = BridgePointing<>;
using PointingOffset = BridgePointing<HostComponent>;

class PlainDevice final : public IDevice {};

// All three links of QueryHost's chain in one object, each handed out as its
// own interface.
class HostChain final : public IHostObject, public IHostService, public IHostProvider {
public:
    explicit HostChain(uintptr_t value) : m_value(value) {}

    void Reserved1() override {}
    void Reserved2() override {}
    void Reserved3() override {}
    void Reserved4() override {}
    void Reserved5() override {}
    void Reserved6() override {}
    IHostService* QueryService(uintptr_t, uintptr_t, uintptr_t) override { return this; }
    IHostProvider* GetProvider() override { return this; }
    uintptr_t GetValue() override { return m_value; }

private:
    const uintptr_t m_value;
};

// A translator's text under construction.  An allocation failure inside
// TbTextAssign/TbTextAppend cannot be thrown through the caller's frames, so
// it is kept here and thrown once the callback has returned.
struct TextTarget {
    CResString* text;
    HRESULT failure;
};

// Changes the translation's text; a failure is kept for the translator to raise.
template <typename Edit>
void EditText(TbText* text, Edit edit)
{
    auto* target = reinterpret_cast<TextTarget*>(text);
    try {
        edit(*target->text);
    } catch (const ATL::CAtlException& error) {
        target->failure = error;
    }
}

class BridgeTranslator final : public ITranslator {
public:
    explicit BridgeTranslator(const TbApplicationCallbacks& callbacks) : m_callbacks(callbacks) {}

    // The key is this function's own copy; the ABI has it destroyed here.
    bool Translate(CResString key, CResString& text) override
    {
        TextTarget target{&text, S_OK};
        const int32_t code =
            m_callbacks.Translate(m_callbacks.self, key.c_str(), reinterpret_cast<TbText*>(&target));
        if (FAILED(target.failure))
            ATL::AtlThrow(target.failure);
        ThrowIfFailed(code);
        return true;
    }

private:
    const TbApplicationCallbacks m_callbacks;
};

class BridgeApplication final : public IApplication {
public:
    explicit BridgeApplication(const TbApplicationCallbacks& callbacks)
        : m_callbacks(callbacks), m_translator(callbacks)
    {
    }

    ITranslator* GetTranslator() override
    {
        if (m_callbacks.TranslatorRequested != nullptr)
            m_callbacks.TranslatorRequested(m_callbacks.self);
        return m_callbacks.Translate != nullptr ? &m_translator : nullptr;
    }

    IDevice* GetDevice(uint64_t deviceId) override;

private:
    const TbApplicationCallbacks m_callbacks;
    BridgeTranslator m_translator;
};

}  // namespace

// The caller's handle on a device: the IDevice the plug-in is given.
struct TbDevice {
    IDevice* device;
};

struct TbApplication {
    BridgeApplication application;
};

struct TbContext {
    MacroContext record;
};

IDevice* BridgeApplication::GetDevice(uint64_t deviceId)
{
    if (m_callbacks.GetDevice == nullptr)
        return nullptr;
    TbDevice* device = m_callbacks.GetDevice(m_callbacks.self, deviceId);
    return device != nullptr ? device->device : nullptr;
}

namespace {

// Runs `body` and reports how a C++ exception ended it, if one did.
template <typename Body>
void Guarded(TbThrow* thrown, Body body)
{
    TbThrow result{TbNoThrow, 0};
    try {
        body();
    } catch (const TbHostError& error) {
        result = {TbThrewHostError, error.code};
    } catch (const ATL::CAtlException& error) {
        result = {TbThrewAtlException, static_cast<int32_t>(static_cast<HRESULT>(error))};
    } catch (...) {
        result = {TbThrewOther, 0};
    }
    if (thrown != nullptr)
        *thrown = result;
}

IHandler* AsHandler(void* handler) { return static_cast<IHandler*>(handler); }

// CHandler's own operations: IHandler is its first, non-virtual base.
CHandler* AsCHandler(void* handler) { return static_cast<CHandler*>(AsHandler(handler)); }

// Sets a string field; false (the field emptied) when memory ran out.
bool SetText(CResString& field, const wchar_t* value)
{
    try {
        field = value;
        return true;
    } catch (...) {
        field.clear();
        return false;
    }
}

template <typename T, typename... Arguments>
T* Create(Arguments&... arguments)
{
    try {
        return new T{arguments...};
    } catch (...) {
        return nullptr;
    }
}

}  // namespace

extern "C" {

TB_API TbDevice* TbCreatePointingDevice(const TbPointingCallbacks* callbacks, int32_t layout)
{
    if (callbacks == nullptr)
        return nullptr;
    IDevice* device = nullptr;
    if (layout == TbPointingOffset)
        device = Create<PointingOffset>(*callbacks);
    else
        device = Create<PointingFirst>(*callbacks);
    if (device == nullptr)
        return nullptr;
    TbDevice* handle = Create<TbDevice>(device);
    if (handle == nullptr)
        delete device;
    return handle;
}

TB_API TbDevice* TbCreatePlainDevice(void)
{
    IDevice* device = Create<PlainDevice>();
    if (device == nullptr)
        return nullptr;
    TbDevice* handle = Create<TbDevice>(device);
    if (handle == nullptr)
        delete device;
    return handle;
}

TB_API void TbDestroyDevice(TbDevice* device)
{
    if (device == nullptr)
        return;
    delete device->device;
    delete device;
}

TB_API TbApplication* TbCreateApplication(const TbApplicationCallbacks* callbacks)
{
    if (callbacks == nullptr)
        return nullptr;
    try {
        return new TbApplication{BridgeApplication(*callbacks)};
    } catch (...) {
        return nullptr;
    }
}

TB_API void TbDestroyApplication(TbApplication* application) { delete application; }

TB_API void TbTextAssign(TbText* text, const wchar_t* value)
{
    EditText(text, [value](CResString& target) { target.Assign(value); });
}

TB_API void TbTextAppend(TbText* text, const wchar_t* value)
{
    EditText(text, [value](CResString& target) { target.Append(value); });
}

TB_API TbContext* TbCreateContext(TbDevice* device, TbApplication* application, uint64_t deviceId,
                                  const wchar_t* hostFolder)
{
    TbContext* context = Create<TbContext>();
    if (context == nullptr)
        return nullptr;
    TbContextSetDevice(context, device);
    TbContextSetApplication(context, application);
    context->record.DeviceId = deviceId;
    if (!SetText(context->record.HostFolder, hostFolder)) {
        delete context;
        return nullptr;
    }
    return context;
}

TB_API void TbDestroyContext(TbContext* context) { delete context; }

TB_API void* TbContextRecord(TbContext* context) { return context != nullptr ? &context->record : nullptr; }

TB_API void TbContextSetDevice(TbContext* context, TbDevice* device)
{
    context->record.Device = device != nullptr ? device->device : nullptr;
}

TB_API void TbContextSetApplication(TbContext* context, TbApplication* application)
{
    context->record.Application = application != nullptr ? &application->application : nullptr;
}

TB_API void TbContextSetDeviceId(TbContext* context, uint64_t deviceId) { context->record.DeviceId = deviceId; }

TB_API void TbContextSetHostFolder(TbContext* context, const wchar_t* hostFolder)
{
    SetText(context->record.HostFolder, hostFolder);
}

TB_API int32_t TbExecute(void* handler, TbContext* context, TbThrow* thrown)
{
    int32_t result = 0;
    Guarded(thrown, [&] { result = AsHandler(handler)->Execute(context != nullptr ? &context->record : nullptr); });
    return result;
}

TB_API void TbDestroy(void* handler, TbThrow* thrown)
{
    // An ordinary conversion to the virtual base, through the vbptr.
    Guarded(thrown, [&] { static_cast<IInterface*>(AsHandler(handler))->Destroy(); });
}

TB_API uint8_t TbQueryOption(void* handler) { return AsHandler(handler)->QueryOption() ? 1 : 0; }
TB_API int32_t TbGetKind(void* handler) { return AsHandler(handler)->GetKind(); }
TB_API void* TbCreateHostChain(uintptr_t value)
{
    return static_cast<IHostObject*>(Create<HostChain>(value));
}

TB_API void TbDestroyHostChain(void* chain)
{
    delete static_cast<HostChain*>(static_cast<IHostObject*>(chain));
}

TB_API void TbSetHost(void* handler, uintptr_t value, void* hostObject) { AsHandler(handler)->SetHost(value, hostObject); }
TB_API uintptr_t TbGetHostValue(void* handler) { return AsHandler(handler)->GetHostValue(); }
TB_API void TbReset(void* handler) { AsHandler(handler)->Reset(); }

TB_API uintptr_t TbQueryHost(void* handler, uintptr_t first, uintptr_t second, uintptr_t third)
{
    return AsHandler(handler)->QueryHost(first, second, third);
}

TB_API uint8_t TbQueryExtraOption(void* handler) { return AsCHandler(handler)->QueryExtraOption() ? 1 : 0; }
TB_API uint8_t TbLock(void* handler) { return AsCHandler(handler)->Lock() ? 1 : 0; }
TB_API uint8_t TbUnlock(void* handler) { return AsCHandler(handler)->Unlock() ? 1 : 0; }

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
