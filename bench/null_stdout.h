// The main of a benchmark whose cases write to standard output: standard
// output becomes /dev/null, and the results go to standard error (and to the
// --benchmark_out file).
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <iostream>

#include "bench/keep_memory.h"
#include "platform/program_io.h"

// Whether the allocator keeps what the benchmarks free (the default), or
// gives it back to the system as kestrel's own runs do.
enum class FreedMemory { Keep, GiveBack };

inline int RunBenchmarksWithNullStdout(int argc, char** argv, const char* name,
                                       FreedMemory freed = FreedMemory::Keep) {
  if (freed == FreedMemory::Keep)
    KeepFreedMemory();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return 1;
  // The run converts to the code page of "chs", as kestrel does.
  platform::SetLocale("chs");
  std::fflush(stdout);
  if (!std::freopen("/dev/null", "w", stdout)) {
    std::perror(name);
    return 1;
  }
  benchmark::ConsoleReporter console(benchmark::ConsoleReporter::OO_Tabular);
  console.SetOutputStream(&std::cerr);
  console.SetErrorStream(&std::cerr);
  benchmark::RunSpecifiedBenchmarks(&console);
  benchmark::Shutdown();
  return 0;
}
