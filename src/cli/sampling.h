// The one pipeline of a run: take a sample of the system, list it, find
// what changed, hand it to the report, and gate the exit code on it. A
// single run is one sample; a watch (-w, -n) takes one every interval.
#pragma once

#include <cstdint>
#include <string>

#include "cli/run_outcome.h"

class Output;
namespace platform {
class FollowedProgram;
}
class ProcessTable;
class Report;
struct RunOptions;
struct SampleNeeds;
struct SystemTotals;

// Fills the empty `table` and `system`: the census, with the counts `needs`
// asks for, then the shared table located and scanned. Null on success;
// otherwise the message that says what could not be read.
const char* TakeSample(const SampleNeeds& needs, ProcessTable& table,
                       SystemTotals* system);

// When the sample after one taken at `now` is due, for a watch whose sample
// was due at `due`, every `interval` milliseconds: on the grid the first
// sample set, so that a sample that ran late is followed at once by the
// next; but a sample overdue by more than an interval (the machine slept)
// takes the ones it missed as missed, and the grid starts again from it.
uint64_t NextSampleDue(uint64_t due, uint64_t now, uint64_t interval);

// What a run says when `unlisted` handles of the listed processes could not
// be kept (under -v; the counts stay whole).
std::string UnlistedHandlesMessage(int64_t unlisted);

// Takes the samples `options` asks for into `report`, which writes to `out`,
// and says how they went: whether -t listed a process in any sample; why a
// sample could not be read or its handles kept, said after the report's end
// (a watch's growth report) in one line on standard error; whether -g's
// count was reached. A watch catches interrupts from its start (an
// interrupted watch went well), hands over each sample's output whole, and
// with `statusLine` shows its progress on standard error.
//
// With `program` (-x), each sample also reads what the program holds, by
// call stack, before the census; the watch ends when the program exits, and
// following stops with it. -g then also judges the stacks.
RunOutcome RunSamples(const RunOptions& options, Report& report, Output& out,
                      bool statusLine = false,
                      platform::FollowedProgram* program = nullptr);
