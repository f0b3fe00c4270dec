// The CSV document (-o csv): UTF-8, written whatever the code page, with a
// header row and fields quoted as RFC 4180 says.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class Output;
struct ProcessRecord;
struct ReportOptions;

// Columns a caller puts before kestrel's own in every row: their names for
// the header and this document's values, comma-separated without a trailing
// comma (`sample,elapsedSeconds` and `3,1.5`); empty for none.
struct CsvLeadingColumns {
  std::string_view names;
  std::string_view values;
};

// Writes the header row, unless `withHeader` is false (a later part of a
// series), then one row per process: pid, name, the counts and the
// categories; or, under -v, one row per handle that -f keeps: pid, name,
// handle, type, typeCode, kernelAddress.
void WriteCsvDocument(const std::vector<const ProcessRecord*>& processes,
                      const ReportOptions& options,
                      const CsvLeadingColumns& leading, bool withHeader,
                      Output& out);

// `text` as a CSV field, as the document writes its names.
void AppendCsvField(std::string& out, std::u16string_view text);
