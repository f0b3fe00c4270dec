#include "documents/json_report.h"

#include <string>

#include "text/format.h"
#include "documents/json_document.h"

void JsonReport::Sample(const Snapshot& snapshot) {
  if (!watch_) {
    WriteJsonDocument(*snapshot.system, *snapshot.listed, options_, {}, out_);
    return;
  }
  std::string members =
      "\"sample\":" + std::to_string(snapshot.number) +
      ",\"elapsedSeconds\":" + FormatSeconds(snapshot.milliseconds);
  WriteJsonDocument(*snapshot.system, *snapshot.listed, options_, members,
                    out_);
}
