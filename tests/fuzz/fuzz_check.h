// What every harness uses to fail: a broken promise stops the run like a
// sanitizer report, and libFuzzer then prints the input and writes it out.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition, what)                                              \
    do {                                                                         \
        if (!(condition)) {                                                      \
            std::fprintf(stderr, "fuzz check failed: %s (%s)\n", what, #condition); \
            std::abort();                                                        \
        }                                                                        \
    } while (0)
