// A macro plug-in DLL loaded the way a host loads one: LoadLibraryW on the
// path, then GetProcAddress for the four entry points by name.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <type_traits>

#include "plugin/exports.h"

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
    struct ModuleFree {
        void operator()(HMODULE module) const noexcept { FreeLibrary(module); }
    };
    using ModuleOwner = std::unique_ptr<std::remove_pointer_t<HMODULE>, ModuleFree>;

    PluginLibrary(std::wstring path, ModuleOwner module);
    // The names of the entry points that the module does not export, or "".
    std::string MissingEntryPoints() const;

    std::wstring m_path;
    ModuleOwner m_module;  // freed last, after every handler has been destroyed
};

// The full path of tarvel.dll beside this executable.
std::wstring DefaultPluginPath();
// The folder of this executable, with a trailing backslash.
std::wstring ExecutableFolder();
// UTF-8 for printing.
std::string Narrow(const std::wstring& text);
// The system's text for a Win32 error code, without the line break.
std::string DescribeError(DWORD code);
