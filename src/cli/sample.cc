#include "cli/sample.h"

#include "census/census.h"
#include "census/process_table.h"
#include "cli/run_options.h"
#include "gditable/shared_table.h"
#include "report/json_document.h"

const char* TakeSample(const RunOptions& options, ProcessTable& table,
                       SystemTotals* system) {
  // The machine-readable documents also carry USER objects and the peaks.
  bool allCounts = options.format == OutputFormat::Csv ||
                   options.format == OutputFormat::Json;
  if (!CollectProcesses(table, allCounts))
    return "kestrel: cannot take a snapshot of the running processes";
  SharedTableLocation location;
  if (!LocateSharedHandleTable(&location))
    return "kestrel: cannot locate the GDI shared handle table";
  if (options.format == OutputFormat::Json)
    system->session = CollectSessionCounts();
  system->tableSlots = location.entryCount;
  system->tableEntriesUsed =
      ScanSharedHandleTable(location.table, location.entryCount, table);
  return nullptr;
}

std::string UnlistedHandlesMessage(int64_t unlisted) {
  return "kestrel: out of memory: " + std::to_string(unlisted) +
         (unlisted == 1 ? " handle" : " handles") + " could not be listed";
}
