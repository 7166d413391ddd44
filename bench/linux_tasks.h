// A Wine program's threads as Linux sees them, for the benchmarks' wake-up
// counts: under Wine each thread is a Linux task, and its context switches
// (voluntary plus involuntary) count how often it woke.
#pragma once

#include <windows.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

inline std::string ReadLinuxFile(const std::string& path)
{
    std::ifstream file("Z:" + path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

// The Linux process whose name starts with `name` (Linux cuts names to 15
// characters) in this Wine prefix; "" unless exactly one.  Wine resolves
// /proc/self for the wineserver, so a process is found by name, also itself.
inline std::string LinuxProcessNamed(const std::string& name)
{
    char prefix[MAX_PATH] = "";
    GetEnvironmentVariableA("WINEPREFIX", prefix, MAX_PATH);
    const std::string ownPrefix = std::string("WINEPREFIX=") + prefix + '\0';
    std::vector<std::string> matches;
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA("Z:\\proc\\*", &found);
    if (search == INVALID_HANDLE_VALUE)
        return {};
    do {
        const std::string process = found.cFileName;
        if (process.empty() || process.find_first_not_of("0123456789") != std::string::npos)
            continue;
        if (ReadLinuxFile("\\proc\\" + process + "\\comm").rfind(name, 0) == 0 &&
            ReadLinuxFile("\\proc\\" + process + "\\environ").find(ownPrefix) != std::string::npos)
            matches.push_back(process);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return matches.size() == 1 ? matches[0] : std::string();
}

inline std::set<std::string> LinuxTasks(const std::string& process)
{
    std::set<std::string> tasks;
    if (process.empty())
        return tasks;
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA(("Z:\\proc\\" + process + "\\task\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return tasks;
    do {
        if (found.cFileName[0] != '.')
            tasks.insert(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return tasks;
}

// Voluntary plus involuntary context switches of a Linux task, -1 when unknown.
inline long long LinuxContextSwitches(const std::string& process, const std::string& task)
{
    std::istringstream status(ReadLinuxFile("\\proc\\" + process + "\\task\\" + task + "\\status"));
    long long total = -1;
    std::string line;
    while (std::getline(status, line)) {
        for (const char* key : {"voluntary_ctxt_switches:", "nonvoluntary_ctxt_switches:"}) {
            if (line.rfind(key, 0) == 0)
                total = std::max(total, 0LL) + std::stoll(line.substr(std::string(key).size()));
        }
    }
    return total;
}
