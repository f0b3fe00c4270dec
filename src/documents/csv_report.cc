#include "documents/csv_report.h"

#include <string>

#include "documents/csv_document.h"
#include "text/format.h"

void CsvReport::Sample(const Snapshot& snapshot) {
  if (!watch_) {
    WriteCsvDocument(*snapshot.listed, options_, CsvLeadingColumns(), true,
                     out_);
    return;
  }
  std::string values = std::to_string(snapshot.number) + "," +
                       FormatSeconds(snapshot.milliseconds);
  WriteCsvDocument(*snapshot.listed, options_,
                   {"sample,elapsedSeconds", values}, snapshot.number == 1,
                   out_);
}
