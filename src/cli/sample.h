// One reading of the system, as a run takes it: the census, then the shared
// table located and scanned.
#pragma once

#include <cstdint>
#include <string>

class ProcessTable;
struct RunOptions;
struct SystemTotals;

// Fills the empty `table` and `system`: the census asks for every count
// where a document is written, the session's counts where it is JSON. Null
// on success; otherwise the message that says what could not be read.
const char* TakeSample(const RunOptions& options, ProcessTable& table,
                       SystemTotals* system);

// What a run says when `unlisted` handles of the listed processes could not
// be kept (under -v; the counts stay whole).
std::string UnlistedHandlesMessage(int64_t unlisted);
