// Timing for the benchmarks: the performance counter, medians of repeated
// samples (robust against the odd slow sample on a shared machine), and the
// side-by-side lines every benchmark prints.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

class Stopwatch {
public:
    Stopwatch() { QueryPerformanceCounter(&m_start); }
    double Microseconds() const
    {
        LARGE_INTEGER now;
        LARGE_INTEGER frequency;
        QueryPerformanceCounter(&now);
        QueryPerformanceFrequency(&frequency);
        return static_cast<double>(now.QuadPart - m_start.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart);
    }

private:
    LARGE_INTEGER m_start;
};

inline double Median(std::vector<double> samples)
{
    if (samples.empty())
        return 0;
    std::sort(samples.begin(), samples.end());
    const size_t middle = samples.size() / 2;
    return samples.size() % 2 != 0 ? samples[middle] : (samples[middle - 1] + samples[middle]) / 2;
}

// "what: 12.3 us vs 10.1 us directly = 1.22x (goal <= 1.20x)"
inline void PrintRatio(const char* what, double subject, double baseline, const char* baselineName,
                       double goal = 0)
{
    std::printf("  %-44s %9.1f us vs %9.1f us %s = %.2fx", what, subject, baseline, baselineName,
                baseline > 0 ? subject / baseline : 0.0);
    if (goal > 0)
        std::printf(" (goal <= %.2fx: %s)", goal, baseline > 0 && subject / baseline <= goal ? "met" : "NOT met");
    std::printf("\n");
    std::fflush(stdout);
}
