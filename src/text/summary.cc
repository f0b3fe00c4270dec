#include "text/summary.h"

#include <string>

#include "census/process_record.h"
#include "output/output.h"
#include "presentation/format.h"

void PrintSummary(const ProcessRecord& record, bool& headerPrinted,
                  Output& out) {
  std::u16string line;
  if (!headerPrinted) {
    headerPrinted = true;
    AppendText(line,
               u"Process ID    Process Name                  "
               u"GDI Total    GDI All\n");
  }
  // "% 6d        %-28s     % 5d     % 5d \n"
  AppendSpaceSigned(line, static_cast<int32_t>(record.pid), 6);
  AppendText(line, u"        ");
  AppendPadded(line, record.exeName, 28, true);
  AppendText(line, u"     ");
  AppendSpaceSigned(line, record.entryCount, 5);
  AppendText(line, u"     ");
  AppendSpaceSigned(line, record.guiObjectCount, 5);
  AppendText(line, u" \n");
  out.Write(line);
}
