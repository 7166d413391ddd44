// The running Windows, major * 0x100 + minor (0x0601 for 7, 0x0603 for 8.1,
// 0x0A00 for 10 and 11).  RtlGetNtVersionNumbers reports it whatever a
// compatibility mode (the user's, or the Program Compatibility Assistant's)
// or a manifest makes RtlGetVersion and GetVersionEx answer; RtlGetVersion is
// only the fallback.  Header-only: the plug-in, tarvel-host, the tests and
// the benchmarks read the version the same way.
#pragma once

#include <windows.h>

inline DWORD ReadRunningWindowsVersion()
{
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    using NumbersFunction = void(WINAPI*)(DWORD*, DWORD*, DWORD*);
    DWORD major = 0, minor = 0, build = 0;
    if (auto numbers = reinterpret_cast<NumbersFunction>(
            reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetNtVersionNumbers"))))
        numbers(&major, &minor, &build);
    using VersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    auto version = reinterpret_cast<VersionFunction>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
    if (major == 0 && version != nullptr && version(&info) == 0) {
        major = info.dwMajorVersion;
        minor = info.dwMinorVersion;
    }
    return (major << 8) | (minor & 0xFF);
}
