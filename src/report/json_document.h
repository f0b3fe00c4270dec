// The JSON document (-o json): one UTF-8 object, written whatever the code
// page.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "census/census.h"

class Output;
struct ProcessRecord;
struct RunOptions;

// What the document says of the system as a whole.
struct SystemTotals {
  SessionCounts session;          // null where the system does not answer
  uint32_t tableSlots = 0;        // the entries the shared table has room for
  uint32_t tableEntriesUsed = 0;  // used entries scanned, whoever owns them
};

// Writes {"tool":"kestrel","version":"X.Y.Z","system":{...},"processes":[...]}
// on one line. Each process carries its counts, and under -v its handles,
// narrowed by -f; 64-bit values are hexadecimal strings, since JSON numbers
// lose them past 2^53. `leadingMembers`, when not empty, go first in the
// object: members rendered as JSON, without a trailing comma
// (`"sample":3,"elapsedSeconds":1.5`).
void WriteJsonDocument(const SystemTotals& system,
                       const std::vector<const ProcessRecord*>& processes,
                       const RunOptions& options,
                       std::string_view leadingMembers, Output& out);
