// A watch (-w, -n): samples of the system at a fixed interval, each printed
// as what changed since the one before, and a growth report at the end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class Output;
struct ProcessGrowth;
struct ProcessRecord;
struct RunOptions;

// Told of each sample as the watch takes it, for a report of the whole watch
// (the HTML one) that keeps what it needs: the watch itself keeps only the
// previous sample and each process's first and last counts.
class WatchObserver {
 public:
  virtual ~WatchObserver() = default;
  // Sample `sample` (from 1), taken `milliseconds` after the first: the
  // processes it listed, and its change lines as the text view prints them
  // (empty for the first sample).
  virtual void OnSample(uint64_t sample, uint64_t milliseconds,
                        const std::vector<const ProcessRecord*>& listed,
                        const std::u16string& changes) = 0;
  // The end, also after a sample that failed: the rows of the growth report
  // in its order, and whether an interrupt ended the watch.
  virtual void OnEnd(const std::vector<const ProcessGrowth*>& grown,
                     bool interrupted) = 0;
};

// Runs the watch after the banner (text) and returns the exit code: 0, also
// when interrupted; 6 when -t listed a process in any sample; 2 (or 3 when
// handles could not be kept) when a sample could not be read, after the
// growth report over the samples taken. Interrupts are caught from the
// start; each sample's output is written whole.
int RunWatch(const RunOptions& options, Output& out,
             WatchObserver* observer = nullptr);
