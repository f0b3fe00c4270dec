#include "cli/run.h"

#include <memory>
#include <new>
#include <string>

#include "cli/command_line.h"
#include "cli/exit_codes.h"
#include "cli/run_options.h"
#include "cli/sampling.h"
#include "platform/platform.h"
#include "report/format.h"
#include "report/output.h"
#include "report/report.h"

namespace {

void PrintBanner(Output& out) {
  std::u16string banner = u"\nkestrel v1.0 - List windows gdi handles.\n";
  AppendText(banner, platform::BuildDescription());
  banner += u"\n\n";
  out.Write(banner);
}

}  // namespace

int RunKestrel(const std::vector<std::u16string>& arguments, Output& out) {
  // Where "chs" is missing the run goes on in the default locale.
  platform::SetLocale("chs");
  RunOptions options;
  std::string usageMessage;
  ParseOutcome outcome = ParseCommandLine(arguments, &options, &usageMessage);
  // kestrelw.exe has no console to show a run: it writes to a file or not
  // at all.
  if (outcome == ParseOutcome::Run && options.outputFile.empty() &&
      platform::IsWindowless()) {
    platform::WriteStderrLine(
        "kestrel: kestrelw.exe writes only to a file: give -O FILE");
    return kExitUsage;
  }
  // A run's output, the banner included, goes to -O's file; help and a
  // usage error leave the file alone.
  if (outcome == ParseOutcome::Run && !options.outputFile.empty())
    out.SendToFile(options.outputFile);
  // A document is all that a -o csv, json or html run prints on standard
  // output.
  if (options.format == OutputFormat::Text)
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

  WatchPlan plan;
  plan.intervalSeconds = options.WatchInterval();
  plan.sampleCount = options.sampleCount;
  std::unique_ptr<Report> report =
      MakeReport(options, options.Watch() ? &plan : nullptr, out);
  // A watch whose output shows nothing until it ends, or is not seen (a
  // file, a pipe), says on a terminal how far it has come.
  bool quiet = options.format != OutputFormat::Text ||
               !options.outputFile.empty() || !platform::StdoutIsTerminal();
  return RunSamples(options, *report, out,
                    quiet && platform::StderrIsTerminal());
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
    // Whatever the run wrote since the last whole document is one.
    out.EndDocument();
  } catch (const std::bad_alloc&) {
    // A file is not replaced by a document that may be cut short.
    out.Abandon();
    out.Flush();
    platform::WriteStderrLine("kestrel: out of memory");
    code = kExitOutOfMemory;
  }
  out.Flush();
  if (out.Failed()) {
    platform::WriteStderrLine(out.FailureMessage());
    // A run that could not read the system state or ran out of memory says
    // so by its code; any other run did not complete.
    if (code != kExitSystemState && code != kExitOutOfMemory)
      code = kExitOutputFailed;
  }
  return code;
}
