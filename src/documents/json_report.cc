#include "documents/json_report.h"

#include <string>

#include "documents/json_document.h"
#include "documents/json_growth.h"
#include "output/output.h"
#include "presentation/format.h"

void JsonReport::Sample(const ListedSample& sample) {
  if (!sample.IsWatch()) {
    WriteJsonDocument(*sample.system, *sample.listed, options_, {}, out_);
    return;
  }
  processQuota_ = sample.system->processQuota;
  std::string members =
      "\"sample\":" + std::to_string(sample.number) +
      ",\"elapsedSeconds\":" + FormatSeconds(sample.milliseconds);
  WriteJsonDocument(*sample.system, *sample.listed, options_, members, out_);
}

void JsonReport::End(const RunEnd& end) {
  if (!end.IsWatch() || end.samples == 0)
    return;
  WriteJsonGrowthDocument(end, processQuota_, [this](const std::string& piece) {
    out_.WriteBytes(piece.data(), piece.size());
  });
}
