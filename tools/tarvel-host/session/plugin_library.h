// A macro plug-in DLL loaded the way a host loads one: LoadLibraryW on the
// path, then GetProcAddress for the four entry points by name.  The entry
// points are plain C; the handler that CreateMacro returns is a C++ object of
// the MSVC ABI, which this program reaches only through tarvel-bridge.dll.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "common/unique_handle.h"
#include "host_bridge.h"

// The entry points' types (the plug-in's one-byte bool is C++'s bool here too).
using InitializeFunction = bool (*)();
using GetCapabilityFunction = int32_t (*)();
using IsMacroSupportedFunction = bool (*)(const wchar_t*);
using CreateMacroFunction = void* (*)(const wchar_t*);

class PluginLibrary {
public:
    // Loads `path`; on failure returns null and puts one readable sentence in
    // `error`.  A file that loads but lacks an entry point is not a plug-in.
    static std::unique_ptr<PluginLibrary> Load(const std::wstring& path, std::string& error);

    const std::wstring& Path() const { return m_path; }
    // "major.minor.patch" from the DLL's version record, or "" without one.
    std::string Version() const;

    InitializeFunction Initialize = nullptr;
    GetCapabilityFunction GetCapability = nullptr;
    IsMacroSupportedFunction IsMacroSupported = nullptr;
    CreateMacroFunction CreateMacro = nullptr;

private:
    PluginLibrary(std::wstring path, UniqueModule module);
    // The names of the entry points that the module does not export, or "".
    std::string MissingEntryPoints() const;

    std::wstring m_path;
    UniqueModule m_module;  // freed last, after every handler has been destroyed
};

// What left a call into the plug-in as an exception (the bridge caught it at
// the plug-in's edge and reported it): thrown on in this program, so that the
// code between that call and whoever reports it unwinds as usual.
struct PluginRaised {
    TbThrow thrown;
};

// What was thrown, for a message: "ATL::CAtlException 0x8007000E", say.
std::string DescribeThrow(const TbThrow& thrown);

// One handler from CreateMacro, owned: Destroy ends it when the owner goes.
class Handler {
public:
    explicit Handler(void* handler) noexcept : m_handler(handler) {}
    // Destroy; a plug-in that throws from it is reported on standard error.
    ~Handler();
    Handler(Handler&& other) noexcept : m_handler(other.m_handler) { other.m_handler = nullptr; }
    Handler& operator=(Handler&&) = delete;
    Handler(const Handler&) = delete;
    Handler& operator=(const Handler&) = delete;

    explicit operator bool() const noexcept { return m_handler != nullptr; }
    void* Get() const noexcept { return m_handler; }

    // Execute with the host's record; throws PluginRaised for an exception
    // that left the plug-in.
    int32_t Execute(TbContext* context);

private:
    void* m_handler;
};

// The full path of tarvel.dll beside this executable.
std::wstring DefaultPluginPath();
// The folder of this executable, with a trailing backslash.
std::wstring ExecutableFolder();
// UTF-8 for printing.
std::string Narrow(const std::wstring& text);
// UTF-8 back to UTF-16, for a message box.
std::wstring Widen(const std::string& text);
// The system's text for a Win32 error code, without the line break.
std::string DescribeError(DWORD code);
