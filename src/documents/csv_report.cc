#include "documents/csv_report.h"

#include <string>

#include "documents/csv_document.h"
#include "documents/csv_growth.h"
#include "output/output.h"
#include "platform/utf8.h"
#include "watch/growth.h"
#include "presentation/format.h"
#include "presentation/wall_time.h"

void CsvReport::Sample(const ListedSample& sample) {
  // Every row says when and where its sample was taken.
  std::string whenAndWhere = FormatUtcTime(sample.system->unixMilliseconds,
                                           TimePrecision::Milliseconds) +
                             ",";
  AppendCsvField(whenAndWhere, sample.system->hostName);
  if (!sample.IsWatch()) {
    WriteCsvDocument(*sample.listed, options_, {"time,host", whenAndWhere},
                     true, out_);
    return;
  }
  processQuota_ = sample.system->processQuota;
  std::string values = std::to_string(sample.number) + "," +
                       FormatSeconds(sample.milliseconds) + "," + whenAndWhere;
  WriteCsvDocument(*sample.listed, options_,
                   {"sample,elapsedSeconds,time,host", values},
                   sample.number == 1, out_);
}

void CsvReport::End(const RunEnd& end) {
  if (!end.IsWatch() || end.samples == 0 || !watch_)
    return;
  // Standard output holds one table; the growth rows are never dropped
  // unsaid.
  if (watch_->growthFile.empty()) {
    const size_t grown = end.growth->Grown().size();
    if (grown != 0)
      note_.line = "kestrel: -o csv: the growth report (" +
                   std::to_string(grown) +
                   (grown == 1 ? " process" : " processes") +
                   " grew) is written only beside -O's file: give -O FILE "
                   "for FILE-growth.csv";
    return;
  }
  const std::string document = CsvGrowthDocument(end, processQuota_);
  Output file;
  file.SendToFile(watch_->growthFile);
  file.WriteBytes(document.data(), document.size());
  file.EndDocument();
  if (file.Failed()) {
    note_.line = file.FailureMessage();
    note_.writeFailed = true;
  }
}
