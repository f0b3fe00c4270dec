// What changed from one sample of a watch to the next, as data that each
// report renders its own way.
#pragma once

#include <cstddef>
#include <vector>

class ProcessTable;
struct HandleRecord;
struct ProcessRecord;
struct ReportOptions;

// A sample's processes: its process table and the records it listed, in the
// listing's order.
struct SampleListing {
  const ProcessTable* table = nullptr;
  const std::vector<const ProcessRecord*>* listed = nullptr;
};

struct HandleChange {
  const HandleRecord* handle;
  bool appeared;  // or vanished
};

struct ProcessChange {
  enum class Kind {
    Changed,  // seen in both samples, and something the view shows changed
    Started,  // listed now; the sample before recorded no process with its
              // PID and name
    Exited,   // listed before; no process with its PID and name is
              // recorded now
  };
  Kind kind = Kind::Changed;
  const ProcessRecord* before = nullptr;  // Changed, Exited
  const ProcessRecord* after = nullptr;   // Changed, Started
  // Under -v, its handles that -f keeps and that appeared or vanished, by
  // handle value: SampleChanges::handles[firstHandle, + handleCount).
  size_t firstHandle = 0;
  size_t handleCount = 0;
};

// Kept from sample to sample, so that a watch reuses its storage.
struct SampleChanges {
  // In the order the text view prints them: the processes listed now, in
  // the listing's order, then those the sample before listed and this one
  // does not, in that listing's order.
  std::vector<ProcessChange> processes;
  std::vector<HandleChange> handles;
};

// Sets `changes` to what changed from `previous` to `current`:
//   a process listed now that was recorded before under its PID and name:
//     Changed, when its counts, under -c its categories, or under -v its
//     handles changed;
//   one listed now that was not: Started, with all its handles under -v;
//   one listed before and not now: Exited when the census no longer records
//     it under its PID and name, otherwise Changed (under -t: it fell below
//     the count), when something changed.
// A handle is its value: an entry freed and reused holds another.
void FindChanges(const SampleListing& previous, const SampleListing& current,
                 const ReportOptions& options, SampleChanges* changes);
