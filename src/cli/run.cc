#include "cli/run.h"

#include <cstdint>
#include <new>
#include <string>

#include "census/process_table.h"
#include "cli/command_line.h"
#include "cli/sample.h"
#include "cli/watch.h"
#include "cli/watch_html.h"
#include "platform/platform.h"
#include "report/csv_document.h"
#include "report/format.h"
#include "report/html_document.h"
#include "report/json_document.h"
#include "report/listing.h"
#include "report/output.h"
#include "report/view.h"

namespace {

void PrintBanner(Output& out) {
  std::u16string banner = u"\nkestrel v1.0 - List windows gdi handles.\n";
  AppendText(banner, platform::BuildDescription());
  banner += u"\n\n";
  out.Write(banner);
}

int ReportUnlistedHandles(int64_t unlisted, Output& out) {
  out.Flush();
  platform::WriteStderrLine(UnlistedHandlesMessage(unlisted));
  return kExitOutOfMemory;
}

}  // namespace

int RunKestrel(const std::vector<std::u16string>& arguments, Output& out) {
  // Where "chs" is missing the run goes on in the default locale.
  platform::SetLocale("chs");
  RunOptions options;
  std::string usageMessage;
  ParseOutcome outcome = ParseCommandLine(arguments, &options, &usageMessage);
  // A document is all that a -o csv, json or html run prints on standard
  // output.
  bool document = options.format != OutputFormat::Text;
  if (!document)
    PrintBanner(out);

  switch (outcome) {
    case ParseOutcome::Help:
      out.Write(kUsageText, sizeof(kUsageText) / sizeof(char16_t) - 1);
      return kExitSuccess;
    case ParseOutcome::UsageError:
      out.Write(kUsageText, sizeof(kUsageText) / sizeof(char16_t) - 1);
      if (!usageMessage.empty()) {
        out.Flush();
        platform::WriteStderrLine(usageMessage);
      }
      return kExitUsage;
    case ParseOutcome::Run:
      break;
  }

  if (options.Watch()) {
    if (options.format != OutputFormat::Html)
      return RunWatch(options, out);
    int interval = static_cast<int>(options.intervalSeconds);
    WatchHtmlCollector html(interval != 0 ? interval : 1, out);
    return RunWatch(options, out, &html);
  }

  ProcessTable table;
  SystemTotals system;
  if (const char* error = TakeSample(options, table, &system)) {
    out.Flush();
    platform::WriteStderrLine(error);
    return kExitSystemState;
  }

  std::vector<const ProcessRecord*> listed = ListedProcesses(table, options);
  int64_t unlisted = UnlistedHandles(listed, options);
  // A document that would lack handles is not written at all.
  if (unlisted > 0 && document)
    return ReportUnlistedHandles(unlisted, out);
  switch (options.format) {
    case OutputFormat::Text:
      PrintView(listed, options, out);
      break;
    case OutputFormat::Csv:
      WriteCsvDocument(listed, options, CsvLeadingColumns(), true, out);
      break;
    case OutputFormat::Json:
      WriteJsonDocument(system, listed, options, {}, out);
      break;
    case OutputFormat::Html:
      WriteHtmlDocument(listed, options, out);
      break;
  }
  if (unlisted > 0)
    return ReportUnlistedHandles(unlisted, out);
  // The budget gate: -t fails the run when any process reached the count.
  if (options.threshold != 0 && !listed.empty())
    return kExitOverThreshold;
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
