#include "documents/csv_report.h"

#include <string>

#include "documents/csv_document.h"
#include "presentation/format.h"

void CsvReport::Sample(const ListedSample& sample) {
  if (!sample.IsWatch()) {
    WriteCsvDocument(*sample.listed, options_, CsvLeadingColumns(), true, out_);
    return;
  }
  std::string values =
      std::to_string(sample.number) + "," + FormatSeconds(sample.milliseconds);
  WriteCsvDocument(*sample.listed, options_, {"sample,elapsedSeconds", values},
                   sample.number == 1, out_);
}
