// Invariant checks for the fuzz targets: a violated invariant prints what
// broke and aborts, which libFuzzer reports as a crash with its input.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                           \
  do {                                                                  \
    if (!(condition)) {                                                 \
      std::fprintf(stderr, "%s:%d: invariant violated: %s\n", __FILE__, \
                   __LINE__, #condition);                               \
      std::abort();                                                     \
    }                                                                   \
  } while (false)
