// Installed by the launch tests as <HostFolder>Pluggins\ZeltoAppSwitcher.exe:
// writes its own path and the command line it received, as UTF-8 lines, to
// "received.txt" in its own folder, then ends.  The file appears whole
// (written aside, then renamed), so a test may read it as soon as it exists.
#include <windows.h>

#include <string>

namespace {

std::string Utf8(const wchar_t* text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string result(size > 0 ? size - 1 : 0, '\0');
    if (size > 1)
        WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
    return result;
}

std::wstring OwnPath()
{
    wchar_t path[MAX_PATH + 1] = L"";
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

bool WriteWhole(const std::wstring& path, const std::string& content)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == content.size();
}

}  // namespace

int main()
{
    const std::wstring self = OwnPath();
    const std::wstring folder = self.substr(0, self.find_last_of(L'\\') + 1);
    const std::string content = Utf8(self.c_str()) + "\n" + Utf8(GetCommandLineW()) + "\n";
    const std::wstring aside = folder + L"received.tmp";
    if (!WriteWhole(aside, content))
        return 1;
    return MoveFileExW(aside.c_str(), (folder + L"received.txt").c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
