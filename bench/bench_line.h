// The one line per figure that scripts/bench_table.py reads:
//
//   BENCH<TAB>name<TAB>figure<TAB>floor<TAB>unit
//
// name is lower_snake_case and stays the same from run to run; figure and
// floor are plain decimal numbers in the same unit, the floor measured in the
// same run doing the same work. Everything else a benchmark prints is for
// people, and may be reworded freely.
#pragma once

#include <cstdio>
#include <cstring>

inline void PrintBenchLine(const char* name, double figure, double floor, const char* unit)
{
    // Four significant digits in fixed notation, the trailing zeros
    // trimmed: never an exponent.
    auto plain = [](double v, char* out, size_t size) {
        int decimals = 3;
        for (double a = v < 0 ? -v : v; a >= 10 && decimals > 0; a /= 10) --decimals;
        for (double a = v < 0 ? -v : v; a > 0 && a < 1 && decimals < 8; a *= 10) ++decimals;
        std::snprintf(out, size, "%.*f", decimals, v);
        char* end = out + std::strlen(out);
        while (end > out && end[-1] == '0') *--end = '\0';
        if (end > out && end[-1] == '.') end[-1] = '\0';
    };
    char a[64], b[64];
    plain(figure, a, sizeof a);
    plain(floor, b, sizeof b);
    std::printf("BENCH\t%s\t%s\t%s\t%s\n", name, a, b, unit);
    std::fflush(stdout);
}
