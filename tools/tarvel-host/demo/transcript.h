// The demonstration's readable transcript: one line per step, marked "ok" when
// the step did what it should and "FAIL" otherwise, and a closing verdict.
#pragma once

#include <cstdarg>
#include <string>

#if defined(__GNUC__)
#define TRANSCRIPT_PRINTF(formatIndex, firstIndex) __attribute__((format(printf, formatIndex, firstIndex)))
#else
#define TRANSCRIPT_PRINTF(formatIndex, firstIndex)
#endif

class Transcript {
public:
    // A heading for a group of steps.
    void Section(const char* title);
    // One step: `ok` says whether it did what it should.
    bool Step(bool ok, const char* format, ...) TRANSCRIPT_PRINTF(3, 4);
    // A line of context that is not itself a step.
    void Note(const char* format, ...) TRANSCRIPT_PRINTF(2, 3);
    // A part that could not run here, and why: counted, and named in the verdict.
    void Skip(const char* format, ...) TRANSCRIPT_PRINTF(2, 3);
    // Prints the verdict; true when every step did what it should.
    bool Finish();

    int Failures() const { return m_failures; }

private:
    void Print(const char* mark, const char* format, va_list arguments);

    int m_steps = 0;
    int m_failures = 0;
    int m_skipped = 0;
};

// A wide string quoted and printable.
std::string Quote(const wchar_t* text);
