#pragma once

#include <cstdio>
#include <cstdlib>

// A property the fuzzed code promises and the fuzzer checks: when it does not hold the input is
// a finding, so the process aborts and libFuzzer keeps the input as a crash.
#define FUZZ_CHECK(condition)                                                            \
    do {                                                                                 \
        if (!(condition)) {                                                              \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__,    \
                         #condition);                                                    \
            std::abort();                                                                \
        }                                                                                \
    } while (false)
