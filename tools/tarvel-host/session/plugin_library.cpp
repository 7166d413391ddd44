#include "plugin_library.h"

#include <cstdio>
#include <utility>

namespace {

template <typename Function>
Function Lookup(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

std::wstring FullPath(const std::wstring& path)
{
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return path;
    std::wstring full(size, L'\0');
    const DWORD written = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    full.resize(written < size ? written : 0);
    return full.empty() ? path : full;
}

}  // namespace

PluginLibrary::PluginLibrary(std::wstring path, UniqueModule module)
    : m_path(std::move(path)), m_module(std::move(module))
{
    HMODULE handle = m_module.get();
    Initialize = Lookup<InitializeFunction>(handle, "Initialize");
    GetCapability = Lookup<GetCapabilityFunction>(handle, "GetCapability");
    IsMacroSupported = Lookup<IsMacroSupportedFunction>(handle, "IsMacroSupported");
    CreateMacro = Lookup<CreateMacroFunction>(handle, "CreateMacro");
}

std::unique_ptr<PluginLibrary> PluginLibrary::Load(const std::wstring& path, std::string& error)
{
    // A full path, so that a bare file name means the file in the current
    // folder and not whatever the DLL search order finds first.
    const std::wstring full = FullPath(path);
    const DWORD attributes = GetFileAttributesW(full.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        error = "cannot load " + Narrow(full) + ": no such file";
        return nullptr;
    }
    UniqueModule module(LoadLibraryW(full.c_str()));
    if (!module) {
        const DWORD code = GetLastError();
        error = "cannot load " + Narrow(full) + ": " + DescribeError(code) + " (error " +
                std::to_string(code) + ")";
        return nullptr;
    }
    std::unique_ptr<PluginLibrary> library(new PluginLibrary(full, std::move(module)));
    const std::string missing = library->MissingEntryPoints();
    if (!missing.empty()) {
        error = Narrow(full) + " is not a macro plug-in: it does not export " + missing;
        return nullptr;
    }
    return library;
}

std::string PluginLibrary::MissingEntryPoints() const
{
    std::string missing;
    const std::pair<const char*, bool> entries[] = {
        {"Initialize", Initialize != nullptr},
        {"GetCapability", GetCapability != nullptr},
        {"IsMacroSupported", IsMacroSupported != nullptr},
        {"CreateMacro", CreateMacro != nullptr},
    };
    for (const auto& [name, found] : entries) {
        if (found)
            continue;
        if (!missing.empty())
            missing += ", ";
        missing += name;
    }
    return missing;
}

std::string PluginLibrary::Version() const
{
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(m_path.c_str(), &ignored);
    if (size == 0)
        return {};
    std::string record(size, '\0');
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoW(m_path.c_str(), 0, size, record.data()) ||
        !VerQueryValueW(record.data(), L"\\", reinterpret_cast<void**>(&info), &length) || info == nullptr)
        return {};
    return std::to_string(HIWORD(info->dwFileVersionMS)) + "." + std::to_string(LOWORD(info->dwFileVersionMS)) +
           "." + std::to_string(HIWORD(info->dwFileVersionLS));
}

std::string DescribeThrow(const TbThrow& thrown)
{
    char text[64];
    switch (thrown.kind) {
    case TbThrewAtlException:
        std::snprintf(text, sizeof(text), "ATL::CAtlException 0x%08lX", static_cast<unsigned long>(thrown.code));
        return text;
    case TbThrewHostError:
        std::snprintf(text, sizeof(text), "the host's own error %ld", static_cast<long>(thrown.code));
        return text;
    default:
        return "an exception of another type";
    }
}

Handler::~Handler()
{
    if (m_handler == nullptr)
        return;
    TbThrow thrown{};
    TbDestroy(m_handler, &thrown);
    if (thrown.kind != TbNoThrow) {
        std::fflush(stdout);
        std::fprintf(stderr, "tarvel-host: the plug-in's Destroy raised an exception (%s)\n",
                     DescribeThrow(thrown).c_str());
    }
}

int32_t Handler::Execute(TbContext* context)
{
    TbThrow thrown{};
    const int32_t result = TbExecute(m_handler, context, &thrown);
    if (thrown.kind != TbNoThrow)
        throw PluginRaised{thrown};
    return result;
}

std::wstring ExecutableFolder()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

std::wstring DefaultPluginPath() { return ExecutableFolder() + L"tarvel.dll"; }

std::string Narrow(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), size,
                        nullptr, nullptr);
    return narrow;
}

std::wstring Widen(const std::string& text)
{
    std::wstring wide(text.size(), L'\0');  // UTF-8 never has fewer bytes than UTF-16 units
    wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                        wide.data(), static_cast<int>(wide.size()))));
    return wide;
}

std::string DescribeError(DWORD code)
{
    // The wide text, made UTF-8: the narrow one is in the ANSI code page,
    // which Widen would misread on a system in another language.
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text = length != 0 ? Narrow(std::wstring(buffer, length)) : "unknown error";
    LocalFree(buffer);
    // Some system texts keep an insert for the file name; the caller names it.
    for (size_t at = text.find("%1"); at != std::string::npos; at = text.find("%1"))
        text.replace(at, 2, "this file");
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    return text;
}
