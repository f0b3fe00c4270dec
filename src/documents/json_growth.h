// A JSON watch's last line: the growth report as one document, after the
// samples' documents.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

struct RunEnd;

// {"growth":{"samples":6,"elapsedSeconds":10,"interrupted":false,
// "processQuota":10000,"table":{...},"processes":[...]},"tool":"kestrel",
// "version":"X.Y.Z"} and a line end: the table's used entries and each
// process that grew, in the growth report's order, with its counts (first,
// last, change, change per minute over its time in the watch), the
// categories that grew, its GDI All's verdict as the watch judged it, and
// where that leaves it against the quota (null where not known). `processQuota` is the quota
// the samples carried (0: not known).
// Written to `write` in pieces of about 64 KiB, so that a long list never
// counts against memory.
void WriteJsonGrowthDocument(
    const RunEnd& end, uint32_t processQuota,
    const std::function<void(const std::string&)>& write);
// The same document whole.
std::string JsonGrowthDocument(const RunEnd& end, uint32_t processQuota);
