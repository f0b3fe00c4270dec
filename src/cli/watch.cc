#include "cli/watch.h"

#include <string>
#include <utility>

#include "census/process_table.h"
#include "cli/run.h"
#include "cli/run_options.h"
#include "cli/sample.h"
#include "platform/platform.h"
#include "report/changes.h"
#include "report/csv_document.h"
#include "report/format.h"
#include "report/growth.h"
#include "report/json_document.h"
#include "report/listing.h"
#include "report/output.h"
#include "report/view.h"

namespace {

// Seconds with up to three decimals, as the documents give the time of a
// sample: "0", "2", "2.004".
std::string Seconds(uint64_t milliseconds) {
  std::string text = std::to_string(milliseconds / 1000);
  uint64_t rest = milliseconds % 1000;
  if (rest != 0) {
    char digits[4] = {static_cast<char>('0' + rest / 100),
                      static_cast<char>('0' + rest / 10 % 10),
                      static_cast<char>('0' + rest % 10), 0};
    std::string fraction = digits;
    fraction.erase(fraction.find_last_not_of('0') + 1);
    text += "." + fraction;
  }
  return text;
}

}  // namespace

int RunWatch(const RunOptions& options, Output& out, WatchObserver* observer) {
  platform::CatchInterrupts();
  const uint64_t interval =
      uint64_t{options.intervalSeconds != 0 ? options.intervalSeconds : 1} *
      1000;
  const bool text = options.format == OutputFormat::Text;
  // The sample being taken and the one before it, whose table the handle
  // changes are found against.
  ProcessTable tables[2];
  ProcessTable* previous = &tables[0];
  ProcessTable* current = &tables[1];
  std::vector<const ProcessRecord*> previousListed;
  GrowthTracker growth;
  // Before a sample and the growth report, an empty line, unless what came
  // before ends with one: the banner and the detail blocks do.
  bool afterEmptyLine = true;

  uint64_t taken = 0;
  uint64_t lastMilliseconds = 0;
  bool interrupted = false;
  bool overThreshold = false;
  int failureCode = kExitSuccess;
  std::string failure;
  const uint64_t start = platform::MonotonicMilliseconds();
  while (options.sampleCount == 0 || taken < options.sampleCount) {
    if (taken > 0 && !platform::WaitUntil(start + taken * interval)) {
      interrupted = true;
      break;
    }
    // Times count from the first sample.
    uint64_t milliseconds =
        taken == 0 ? 0 : platform::MonotonicMilliseconds() - start;
    current->Clear();
    SystemTotals system;
    if (const char* error = TakeSample(options, *current, &system)) {
      failure = error;
      failureCode = kExitSystemState;
      break;
    }
    std::vector<const ProcessRecord*> listed =
        ListedProcesses(*current, options);
    // A sample that lacks handles would show them as vanished.
    if (int64_t unlisted = UnlistedHandles(listed, options)) {
      failure = UnlistedHandlesMessage(unlisted);
      failureCode = kExitOutOfMemory;
      break;
    }
    ++taken;
    lastMilliseconds = milliseconds;

    const SampleListing before = {previous, &previousListed};
    const SampleListing now = {current, &listed};
    // The change lines as text, for an observer.
    std::u16string changes;
    if (taken > 1 && observer) {
      Output capture(&changes);
      PrintChanges(before, now, options, capture);
    }
    out.Hold();
    if (text) {
      std::u16string heading;
      if (!afterEmptyLine)
        heading += u'\n';
      AppendText(heading, u"Sample ");
      AppendNumber(heading, static_cast<int64_t>(taken));
      AppendText(heading, u" at +");
      AppendNumber(heading, static_cast<int64_t>(milliseconds / 1000));
      AppendText(heading, u" s\n");
      out.Write(heading);
      if (taken == 1) {
        PrintView(listed, options, out);
        // Each detail block ends with an empty line.
        afterEmptyLine =
            (options.showCounts || options.showHandles) && !listed.empty();
      } else {
        if (observer)
          out.Write(changes);
        else
          PrintChanges(before, now, options, out);
        afterEmptyLine = false;
      }
    } else if (options.format != OutputFormat::Html) {
      std::string values = std::to_string(taken) + "," + Seconds(milliseconds);
      if (options.format == OutputFormat::Csv) {
        WriteCsvDocument(listed, options, {"sample,elapsedSeconds", values},
                         taken == 1, out);
      } else {
        std::string members = "\"sample\":" + std::to_string(taken) +
                              ",\"elapsedSeconds\":" + Seconds(milliseconds);
        WriteJsonDocument(system, listed, options, members, out);
      }
    }
    out.Release();

    growth.Note(listed, milliseconds);
    if (observer)
      observer->OnSample(taken, milliseconds, listed, changes);
    if (options.threshold != 0 && !listed.empty())
      overThreshold = true;
    std::swap(previous, current);
    previousListed = std::move(listed);
    if (out.Failed())
      break;
    if (platform::InterruptRequested()) {
      interrupted = true;
      break;
    }
  }

  std::vector<const ProcessGrowth*> grown = growth.Grown();
  if (observer)
    observer->OnEnd(grown, interrupted);
  if (text && taken > 0) {
    std::u16string report = afterEmptyLine ? u"" : u"\n";
    AppendGrowthReport(grown, taken, lastMilliseconds, report);
    out.Write(report);
  }
  if (failureCode != kExitSuccess) {
    out.Flush();
    platform::WriteStderrLine(failure);
    return failureCode;
  }
  return overThreshold ? kExitOverThreshold : kExitSuccess;
}
