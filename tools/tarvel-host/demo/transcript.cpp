#include "transcript.h"

#include <cstdio>

#include "plugin_library.h"

void Transcript::Section(const char* title)
{
    std::printf("\n%s\n", title);
    std::fflush(stdout);
}

bool Transcript::Step(bool ok, const char* format, ...)
{
    ++m_steps;
    if (!ok)
        ++m_failures;
    va_list arguments;
    va_start(arguments, format);
    Print(ok ? "  ok    " : "  FAIL  ", format, arguments);
    va_end(arguments);
    return ok;
}

void Transcript::Note(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    Print("        ", format, arguments);
    va_end(arguments);
}

void Transcript::Skip(const char* format, ...)
{
    ++m_skipped;
    va_list arguments;
    va_start(arguments, format);
    Print("  skip  ", format, arguments);
    va_end(arguments);
}

void Transcript::Print(const char* mark, const char* format, va_list arguments)
{
    std::fputs(mark, stdout);
    std::vprintf(format, arguments);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

bool Transcript::Finish()
{
    if (m_failures == 0 && m_skipped == 0)
        std::printf("\nDemo passed: all %d steps did what they should.\n", m_steps);
    else if (m_failures == 0)
        std::printf("\nDemo passed, in part: the %d steps that ran did what they should; %d part%s skipped "
                    "(marked skip above).\n",
                    m_steps, m_skipped, m_skipped == 1 ? " was" : "s were");
    else
        std::printf("\nDemo FAILED: %d of %d steps did not do what they should.\n", m_failures, m_steps);
    std::fflush(stdout);
    return m_failures == 0;
}

std::string Quote(const wchar_t* text)
{
    return '"' + Narrow(text != nullptr ? text : L"") + '"';
}
