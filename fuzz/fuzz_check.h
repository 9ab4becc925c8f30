#pragma once

#include <cstdio>
#include <cstdlib>

namespace cablemeter::fuzzing {

// A broken invariant is a finding: aborting makes libFuzzer save the input that led here.
inline void fuzzCheck(bool holds, const char* invariant)
{
    if (holds)
        return;
    std::fprintf(stderr, "Invariant broken: %s\n", invariant);
    std::abort();
}

} // namespace cablemeter::fuzzing
