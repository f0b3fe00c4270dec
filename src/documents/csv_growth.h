// A CSV watch's growth report: its own CSV file beside -O's (a second
// header in the samples' file would break the readers that take one table
// a file), one row for the shared table and one for each process that grew.
#pragma once

#include <cstdint>
#include <string>

struct RunEnd;

// The header, then the table's row ("table": its used entries as first,
// last and change, its slots as the limit), then each process that grew in
// the growth report's order ("process": GDI All as first, last and change,
// GDI Total, each category's change, the quota as the limit); both with
// their verdict's word and figures and where that leaves them against the
// limit. Fields that do not apply are empty. `processQuota` is the quota
// the samples carried (0: not known).
std::string CsvGrowthDocument(const RunEnd& end, uint32_t processQuota);
