// A check for code that runs in a death test's child: a failure names the
// condition and its line on standard error and ends the child with 1.
#pragma once

#include <cstdio>
#include <cstdlib>

#define REQUIRE(condition)                                                                         \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "failed: %s (line %d)\n", #condition, __LINE__);                  \
            std::_Exit(1);                                                                         \
        }                                                                                          \
    } while (0)
