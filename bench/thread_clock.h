// The CPU time of the calling thread, for benchmarks that time part of an
// iteration themselves. This machine is shared: wall time counts the spans in
// which another process held the core, the thread's CPU time does not.
#pragma once

#include <time.h>

inline double ThreadCpuSeconds() {
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) +
         1e-9 * static_cast<double>(now.tv_nsec);
}
