// The samples a run takes as its report reads them, and how the run ended.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sample/system_totals.h"

class GrowthTracker;
class StackTracker;
struct ProcessRecord;
struct SampleChanges;

// One sample as the run lists it; what it points to lives for the call.
struct ListedSample {
  uint64_t number = 1;                   // counted from 1
  uint64_t milliseconds = 0;             // since the first sample
  const SystemTotals* system = nullptr;  // its wall-clock time and host too
  // The processes the run lists, in the listing's order.
  const std::vector<const ProcessRecord*>* listed = nullptr;
  // The processes the target matched, whatever -t's count lists (the JUnit
  // report's test cases); null where they are the listed ones.
  const std::vector<const ProcessRecord*>* matched = nullptr;
  // A watch's alone: what changed since the sample before (null for the
  // first), and each process's identity and first and last counts so far,
  // this sample included.
  const SampleChanges* changes = nullptr;
  const GrowthTracker* growth = nullptr;

  // A watch's sample, or a single run's (its one sample): only a watch
  // follows how processes grow.
  bool IsWatch() const { return growth != nullptr; }
};

// Why a run ended before its samples were all taken.
enum class Failure {
  None,
  SystemState,  // a sample could not be read (the snapshot or the table)
  HandlesLost,  // a sample's handles could not all be kept in memory
  OutOfMemory,  // memory ran out elsewhere, in a sample or in the report
};

struct RunEnd {
  uint64_t samples = 0;           // taken and shown
  uint64_t lastMilliseconds = 0;  // the time of the last of them
  // The wall-clock times of the first and the last of them, and the
  // computer's name (as SystemTotals has them).
  uint64_t firstUnixMilliseconds = 0;
  uint64_t lastUnixMilliseconds = 0;
  std::u16string_view hostName;
  // An interrupt ended the watch before it took the samples -n asks for.
  bool interrupted = false;
  // Why sample `samples + 1` could not be taken, or None.
  Failure failure = Failure::None;
  const GrowthTracker* growth = nullptr;  // a watch's
  // -x: the followed program's stacks, judged.
  const StackTracker* stacks = nullptr;

  // How a watch ended, or a single run: as ListedSample::IsWatch.
  bool IsWatch() const { return growth != nullptr; }
};

// A watch as its report describes it.
struct WatchPlan {
  uint32_t intervalSeconds = 1;
  uint32_t sampleCount = 0;  // 0: until interrupted
  uint32_t growthGate = 0;   // -g's count; 0 without -g
  // Where -o csv writes the growth rows, beside -O's file; empty without -O.
  std::u16string growthFile{};
};
