#include "documents/json_report.h"

#include <string>

#include "documents/json_document.h"
#include "presentation/format.h"

void JsonReport::Sample(const ListedSample& sample) {
  if (!sample.IsWatch()) {
    WriteJsonDocument(*sample.system, *sample.listed, options_, {}, out_);
    return;
  }
  std::string members =
      "\"sample\":" + std::to_string(sample.number) +
      ",\"elapsedSeconds\":" + FormatSeconds(sample.milliseconds);
  WriteJsonDocument(*sample.system, *sample.listed, options_, members, out_);
}
