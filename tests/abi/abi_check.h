// A test framework small enough to need no C++ standard library.  abi_test.exe
// is a host built from the plug-in's SDK headers in the MSVC C++ ABI, the ABI
// of hosts made with Microsoft's compiler; no C++ library exists for that ABI
// here (and GoogleTest needs one), so the checks are plain macros that record
// each failure with its file and line.
#pragma once

#include <stddef.h>
#include <wchar.h>

struct AbiTest {
    const wchar_t* Name;
    void (*Run)();
};

// The cases, in a constant array: the program runs no dynamic initialisers.
extern const AbiTest g_abiTests[];
extern const size_t g_abiTestCount;

void RecordFailure(const char* file, int line, const char* what);
// False (and a failure recorded, with both texts) when they differ.
bool CheckText(const char* file, int line, const wchar_t* actual, const wchar_t* expected);

#define CHECK(condition) \
    ((condition) ? (void)0 : RecordFailure(__FILE_NAME__, __LINE__, "CHECK(" #condition ")"))
// Ends the case: what follows depends on it.
#define REQUIRE(condition)                                                   \
    do {                                                                     \
        if (!(condition)) {                                                  \
            RecordFailure(__FILE_NAME__, __LINE__, "REQUIRE(" #condition ")");    \
            return;                                                          \
        }                                                                    \
    } while (0)
#define CHECK_TEXT(actual, expected) CheckText(__FILE_NAME__, __LINE__, (actual), (expected))
