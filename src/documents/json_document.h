// The JSON document (-o json): one UTF-8 object, written whatever the code
// page.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sample/system_totals.h"

class Output;
struct ProcessRecord;
struct ReportOptions;

// Writes {"tool":"kestrel","version":"X.Y.Z","system":{...},"processes":[...]}
// on one line. Each process carries its counts, and under -v its handles,
// narrowed by -f; 64-bit values are hexadecimal strings, since JSON numbers
// lose them past 2^53. `leadingMembers`, when not empty, go first in the
// object: members rendered as JSON, without a trailing comma
// (`"sample":3,"elapsedSeconds":1.5`).
void WriteJsonDocument(const SystemTotals& system,
                       const std::vector<const ProcessRecord*>& processes,
                       const ReportOptions& options,
                       std::string_view leadingMembers, Output& out);

// `text` as a JSON string, as the document writes its names.
void AppendJsonString(std::string& out, std::u16string_view text);
