#pragma once

#include <cstdio>
#include <cstdlib>

// An invariant of a fuzz target. It holds in every build type (NDEBUG included) and ends
// the run with abort(), which libFuzzer reports as a crash and saves the input for.
#define FUZZ_CHECK(condition)                                                                      \
  do {                                                                                             \
    if (!(condition)) {                                                                            \
      std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition);       \
      std::abort();                                                                                \
    }                                                                                              \
  } while (false)
