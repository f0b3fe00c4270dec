#include "cli/run.h"

#include <memory>
#include <new>
#include <string>

#include "cli/command_line.h"
#include "cli/following.h"
#include "cli/make_report.h"
#include "cli/output_file_name.h"
#include "cli/run_options.h"
#include "cli/sampling.h"
#include "live/live_report.h"
#include "output/format_policy.h"
#include "output/output.h"
#include "platform/follow.h"
#include "platform/program_io.h"
#include "presentation/format.h"

namespace {

void PrintBanner(Output& out) {
  std::u16string banner = u"\nkestrel v1.0 - List windows gdi handles.\n";
  AppendText(banner, platform::BuildDescription());
  banner += u"\n\n";
  out.Write(banner);
}

}  // namespace

RunOutcome RunStages(const std::vector<std::u16string>& arguments,
                     Output& out) {
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
        "kestrel: kestrelw.exe writes only to a file: give -O FILE",
        platform::MessageKind::UsageError);
    RunOutcome refused;
    refused.parse = ParseOutcome::UsageError;
    return refused;
  }
  // -o live draws on the console it runs in, and nowhere else.
  platform::LiveTerminal liveTerminal;
  if (outcome == ParseOutcome::Run && options.format == OutputFormat::Live) {
    usageMessage =
        LiveViewRefusal(options.Watch(), !options.outputFile.empty());
    std::string reason;
    if (usageMessage.empty() && !liveTerminal.Open(&reason))
      usageMessage = "kestrel: -o live draws on the console: " + reason;
    if (!usageMessage.empty())
      outcome = ParseOutcome::UsageError;
  }
  // -x: the program is followed before anything is written, so that a
  // refusal leaves -O's file alone; the run watches its process.
  platform::FollowedProgramPtr followed;
  if (outcome == ParseOutcome::Run && options.follow) {
    platform::FollowFailure failure = platform::FollowFailure::None;
    followed = platform::StartFollowing(options.followRequest, &failure);
    platform::FollowState state;
    if (followed && !platform::ReadFollowState(*followed, &state)) {
      followed.reset();
      failure = platform::FollowFailure::ExitedEarly;
    }
    if (!followed) {
      platform::WriteStderrLine(
          FollowRefusalMessage(options.followRequest, failure));
      RunOutcome refused;
      refused.cannotFollow = !EndedBeforeFollowing(failure);
      refused.followEnded = EndedBeforeFollowing(failure);
      return refused;
    }
    options.targetMode = TargetMode::ByPid;
    options.targetPid = state.pid;
    options.targetName.clear();
  }
  // A run's output, the banner included, goes to -O's file; help and a
  // usage error leave the file alone.
  std::u16string outputFile;
  if (outcome == ParseOutcome::Run && !options.outputFile.empty()) {
    uint32_t session = 0;
    bool known = platform::ProcessIdToSessionId(platform::GetCurrentProcessId(),
                                                &session);
    outputFile = OutputFileName(options.outputFile, known, session);
    out.SendToFile(outputFile);
  }
  if (PolicyOf(options.format).banner)
    PrintBanner(out);

  RunOutcome parsed;
  parsed.parse = outcome;
  switch (outcome) {
    case ParseOutcome::Help:
      out.Write(kUsageText, sizeof(kUsageText) / sizeof(char16_t) - 1);
      return parsed;
    case ParseOutcome::UsageError:
      out.Write(kUsageText, sizeof(kUsageText) / sizeof(char16_t) - 1);
      if (!usageMessage.empty()) {
        out.Flush();
        platform::WriteStderrLine(usageMessage,
                                  platform::MessageKind::UsageError);
      }
      return parsed;
    case ParseOutcome::Run:
      break;
  }

  WatchPlan plan;
  plan.intervalSeconds = options.WatchInterval();
  plan.sampleCount = options.sampleCount;
  plan.growthGate = options.growthGate;
  if (!outputFile.empty())
    plan.growthFile = GrowthFileName(outputFile);
  std::unique_ptr<Report> report =
      MakeReport(options, options.Watch() ? &plan : nullptr, out,
                 options.follow, &liveTerminal);
  // A watch whose output is not seen (-O, a file) says on a terminal how
  // far it has come. Output to a terminal or to a pipe, whose reader may
  // show it there, would be broken up by the line.
  bool unseen = !options.outputFile.empty() ||
                (!platform::StdoutIsTerminal() && !platform::StdoutIsPipe());
  return RunSamples(options, *report, out,
                    unseen && platform::StderrIsTerminal(), followed.get());
}

int RunKestrel(const std::vector<std::u16string>& arguments, Output& out) {
  return ExitCodeOf(RunStages(arguments, out));
}

int KestrelMain(
    const std::function<std::vector<std::u16string>()>& readArguments) {
  // Outside the try, so that a failed write is seen on every path.
  Output out;
  RunOutcome outcome;
  try {
    std::vector<std::u16string> arguments = readArguments();
    if (!platform::Startup()) {
      outcome.sessionUnusable = true;
      return ExitCodeOf(outcome);
    }
    outcome = RunStages(arguments, out);
    // Whatever the run wrote since the last whole document is one.
    out.EndDocument();
  } catch (const std::bad_alloc&) {
    // A file is not replaced by a document that may be cut short.
    out.Abandon();
    out.Flush();
    platform::WriteStderrLine("kestrel: out of memory",
                              platform::MessageKind::OutOfMemory);
    outcome.failure = Failure::OutOfMemory;
  }
  out.Flush();
  if (out.Failed()) {
    platform::WriteStderrLine(out.FailureMessage(),
                              platform::MessageKind::WriteFailed);
    outcome.outputFailed = true;
  }
  return ExitCodeOf(outcome);
}
