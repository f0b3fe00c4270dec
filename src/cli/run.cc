#include "cli/run.h"

#include <cstdint>
#include <new>
#include <string>

#include "census/census.h"
#include "census/process_table.h"
#include "cli/command_line.h"
#include "gditable/shared_table.h"
#include "platform/platform.h"
#include "report/details.h"
#include "report/format.h"
#include "report/output.h"
#include "report/summary.h"

namespace {

void PrintBanner(Output& out) {
  std::u16string banner = u"\nkestrel v1.0 - List windows gdi handles.\n";
  AppendText(banner, platform::BuildDescription());
  banner += u"\n\n";
  out.Write(banner);
}

bool Matches(const ProcessRecord& record, const RunOptions& options) {
  switch (options.targetMode) {
    case TargetMode::None:
      return true;
    case TargetMode::ByName:
      return platform::StrStrIW(record.exeName, options.targetName.c_str()) !=
             nullptr;
    case TargetMode::ByPid:
      return record.pid == options.targetPid;
  }
  return false;
}

// Prints the chosen view; returns the handles the handle view could not list
// because they could not be kept (0 in the other views, which are whole).
int64_t PrintReport(const ProcessTable& table, const RunOptions& options,
                    Output& out) {
  bool headerPrinted = false;
  int64_t unlisted = 0;
  for (const ProcessTable::Node* node = table.First(); node;
       node = table.Next(node)) {
    if (!Matches(node->record, options))
      continue;
    if (options.showCounts || options.showHandles)
      PrintDetails(node->record, options, out);
    else
      PrintSummary(node->record, headerPrinted, out);
    if (options.showHandles)
      unlisted += node->record.unlistedHandles;
  }
  return unlisted;
}

}  // namespace

int RunKestrel(const std::vector<std::u16string>& arguments, Output& out) {
  // Where "chs" is missing the run goes on in the default locale.
  platform::SetLocale("chs");
  PrintBanner(out);

  RunOptions options;
  switch (ParseCommandLine(arguments, &options)) {
    case ParseOutcome::Help:
      out.Write(kUsageText, sizeof(kUsageText) / sizeof(char16_t) - 1);
      return kExitSuccess;
    case ParseOutcome::UsageError:
      out.Write(kUsageText, sizeof(kUsageText) / sizeof(char16_t) - 1);
      return kExitUsage;
    case ParseOutcome::Run:
      break;
  }

  ProcessTable table;
  if (!CollectProcesses(table)) {
    out.Flush();
    platform::WriteStderrLine(
        "kestrel: cannot take a snapshot of the running processes");
    return kExitSystemState;
  }
  SharedTableLocation location;
  if (!LocateSharedHandleTable(&location)) {
    out.Flush();
    platform::WriteStderrLine(
        "kestrel: cannot locate the GDI shared handle table");
    return kExitSystemState;
  }
  ScanSharedHandleTable(location.table, location.entryCount, table);
  int64_t unlisted = PrintReport(table, options, out);
  if (unlisted > 0) {
    out.Flush();
    platform::WriteStderrLine(
        "kestrel: out of memory: " + std::to_string(unlisted) +
        (unlisted == 1 ? " handle" : " handles") + " could not be listed");
    return kExitOutOfMemory;
  }
  return kExitSuccess;
}

int KestrelMain(
    const std::function<std::vector<std::u16string>()>& readArguments) {
  // Outside the try, so that a failed write is seen on every path.
  Output out;
  int code;
  try {
    std::vector<std::u16string> arguments = readArguments();
    if (!platform::Startup())
      return kExitSessionUnusable;
    code = RunKestrel(arguments, out);
  } catch (const std::bad_alloc&) {
    out.Flush();
    platform::WriteStderrLine("kestrel: out of memory");
    code = kExitOutOfMemory;
  }
  out.Flush();
  if (out.Failed()) {
    platform::WriteStderrLine("kestrel: cannot write to standard output");
    if (code == kExitSuccess || code == kExitUsage)
      code = kExitOutputFailed;
  }
  return code;
}
