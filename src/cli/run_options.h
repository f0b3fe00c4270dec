// What the command line asks of a run: the report's options, and whether to
// watch.
#pragma once

#include <cstdint>
#include <string>

#include "platform/follow.h"
#include "sample/report_options.h"

struct RunOptions : ReportOptions {
  // -w: a watch takes a sample every this many seconds; 0 without -w.
  uint32_t intervalSeconds = 0;
  // -n: a watch stops after this many samples; 0 without -n (until
  // interrupted).
  uint32_t sampleCount = 0;
  // -g: a watch fails (exit code 7) when a process's GDI All grew by this
  // much from its first sample to its last; 0 without -g.
  uint32_t growthGate = 0;
  // -O: the file the output replaces whole, instead of standard output;
  // empty without -O.
  std::u16string outputFile;

  // -x: the program to launch, with its arguments, or the PID to attach
  // to; a watch of that one process.
  bool follow = false;
  platform::FollowRequest followRequest;

  // -w, -n or -x asks for a watch; -n or -x alone samples every second.
  bool Watch() const {
    return intervalSeconds != 0 || sampleCount != 0 || follow;
  }
  uint32_t WatchInterval() const {
    return intervalSeconds != 0 ? intervalSeconds : 1;
  }
};

constexpr uint32_t kMaxIntervalSeconds = 86400;
constexpr uint32_t kMaxSampleCount = 1000000;
