#pragma once

#include <cstdio>
#include <cstdlib>

// A broken invariant is a crash to libFuzzer: it keeps the input as a
// crash-* file and the run fails.
#define KALIBRON_FUZZ_REQUIRE(condition, what)                                                                         \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "broken invariant: %s (%s:%d)\n", what, __FILE__, __LINE__);                          \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)
