#include "documents/trace_documents.h"

#include "documents/csv_document.h"
#include "documents/json_document.h"
#include "documents/version.h"
#include "output/output.h"
#include "presentation/format.h"
#include "presentation/growth_report.h"
#include "presentation/wall_time.h"
#include "text/trace_report.h"
#include "watch/stack_growth.h"

namespace {

std::string Hex(uint64_t value) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  do {
    text.insert(text.begin(), kDigits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  return "0x" + text;
}

void AppendCategories(std::string& out,
                      const uint32_t (&counts)[kCategoryCount]) {
  out += '{';
  bool first = true;
  for (int category = 0; category < kCategoryCount; ++category) {
    if (counts[category] == 0)
      continue;
    if (!first)
      out += ',';
    first = false;
    out += "\"" + std::string(kObjectCategoryNames[category]) +
           "\":" + std::to_string(counts[category]);
  }
  out += '}';
}

void AppendTrend(std::string& out, const Trend& trend) {
  out += "\"trend\":\"" + std::string(TrendWordText(trend.word)) + "\"";
  switch (trend.word) {
    case TrendWord::StillGrowing:
      out += ",\"perMinute\":" + FormatOneDecimal(trend.perMinute);
      break;
    case TrendWord::Held:
      out += ",\"level\":" + std::to_string(trend.level) +
             ",\"levelSeconds\":" + FormatSeconds(trend.levelMilliseconds);
      break;
    case TrendWord::UpAndDown:
      out += ",\"least\":" + std::to_string(trend.least) +
             ",\"greatest\":" + std::to_string(trend.greatest);
      break;
  }
  out += ",\"verdict\":\"" + TrendText(trend) + "\"";
}

void AppendFrame(std::string& out, const platform::StackFrame& frame) {
  out += "{\"text\":";
  AppendJsonString(out, FrameText(frame));
  out += ",\"module\":";
  AppendJsonString(out, frame.module);
  out += ",\"moduleOffset\":\"" + Hex(frame.moduleOffset) + "\"";
  if (!frame.function.empty()) {
    out += ",\"function\":";
    AppendJsonString(out, frame.function);
    out += ",\"functionOffset\":\"" + Hex(frame.functionOffset) + "\"";
  }
  if (!frame.file.empty()) {
    out += ",\"file\":";
    AppendJsonString(out, frame.file);
    out += ",\"line\":" + std::to_string(frame.line);
  }
  out += '}';
}

std::string ExitCodeText(const platform::FollowState& program,
                         const char* none) {
  return program.exited ? std::to_string(program.exitCode) : none;
}

}  // namespace

std::string JsonTraceDocument(const RunEnd& end) {
  const StackTracker& stacks = *end.stacks;
  const platform::FollowState& program = stacks.Program();
  std::string out = "{\"tool\":\"kestrel\",\"version\":\"";
  out += KESTREL_PROJECT_VERSION;
  // When the last sample was taken, and where.
  out += "\",\"time\":\"";
  out += FormatUtcTime(end.lastUnixMilliseconds, TimePrecision::Milliseconds);
  out += "\",\"host\":";
  AppendJsonString(out, end.hostName);
  out += ",\"trace\":{\"program\":";
  AppendJsonString(out, program.name);
  out += ",\"pid\":" + std::to_string(program.pid) +
         ",\"samples\":" + std::to_string(stacks.Samples()) +
         ",\"elapsedSeconds\":" + FormatSeconds(stacks.LastMilliseconds()) +
         ",\"exited\":" + (program.exited ? "true" : "false") +
         ",\"exitCode\":" + ExitCodeText(program, "null") + ",\"stacks\":[";
  const std::vector<const StackGrowth*>& left = stacks.Left();
  for (size_t rank = 0; rank < left.size(); ++rank) {
    const StackGrowth& stack = *left[rank];
    if (rank != 0)
      out += ',';
    out += "{\"stack\":" + std::to_string(rank + 1) +
           ",\"objects\":" + std::to_string(stack.liveTotal) +
           ",\"categories\":";
    AppendCategories(out, stack.live);
    out += ',';
    AppendTrend(out, stack.trend);
    out += ",\"created\":" + std::to_string(stack.created) +
           ",\"firstCreationSeconds\":" +
           FormatSeconds(stack.firstCreationMilliseconds) +
           ",\"lastCreationSeconds\":" +
           FormatSeconds(stack.lastCreationMilliseconds) + ",\"frames\":[";
    for (size_t i = 0; i < stack.frames.size(); ++i) {
      if (i != 0)
        out += ',';
      AppendFrame(out, stack.frames[i]);
    }
    out += "]}";
  }
  out += "],\"withoutStack\":";
  AppendCategories(out, stacks.WithoutStack().count);
  out += ",\"beyondKept\":{\"stacks\":" +
         std::to_string(stacks.StacksBeyondKept()) + ",\"categories\":";
  AppendCategories(out, stacks.BeyondKept().count);
  out += "},\"unseen\":" +
         (stacks.Unseen() < 0 ? std::string("null")
                              : std::to_string(stacks.Unseen())) +
         ",\"notFollowed\":[";
  for (size_t i = 0; i < program.children.size(); ++i) {
    if (i != 0)
      out += ',';
    out +=
        "{\"pid\":" + std::to_string(program.children[i].first) + ",\"name\":";
    AppendJsonString(out, program.children[i].second);
    out += '}';
  }
  out += "]}}\n";
  return out;
}

std::string CsvTraceDocument(const RunEnd& end) {
  const StackTracker& stacks = *end.stacks;
  const platform::FollowState& program = stacks.Program();
  std::string out =
      "time,host,program,pid,exitCode,stack,category,objects,verdict,created,"
      "firstCreationSeconds,lastCreationSeconds,innermostFrame,frames\n";
  // Every row says when the last sample was taken, and where.
  std::string where =
      FormatUtcTime(end.lastUnixMilliseconds, TimePrecision::Milliseconds) +
      ",";
  AppendCsvField(where, end.hostName);
  where += ',';
  std::string lead = where;
  AppendCsvField(lead, program.name);
  lead +=
      "," + std::to_string(program.pid) + "," + ExitCodeText(program, "") + ",";
  // A row a category of `counts` under `stack`, the rest after it.
  auto rows = [&](const std::string& stack,
                  const uint32_t(&counts)[kCategoryCount],
                  const std::string& rest) {
    for (int category = 0; category < kCategoryCount; ++category) {
      if (counts[category] == 0)
        continue;
      out += lead;
      out += stack;
      out += ',';
      out += kObjectCategoryNames[category];
      out += ',';
      out += std::to_string(counts[category]);
      out += ',';
      out += rest;
      out += '\n';
    }
  };
  const std::vector<const StackGrowth*>& left = stacks.Left();
  for (size_t rank = 0; rank < left.size(); ++rank) {
    const StackGrowth& stack = *left[rank];
    // The verdict "up and down, 0 to 3" holds a comma.
    std::string rest;
    AppendCsvField(rest, Utf16(TrendText(stack.trend)));
    rest += "," + std::to_string(stack.created) + "," +
            FormatSeconds(stack.firstCreationMilliseconds) + "," +
            FormatSeconds(stack.lastCreationMilliseconds) + ",";
    AppendCsvField(rest, InnermostFrameText(stack));
    rest += ',';
    std::u16string frames;
    for (const platform::StackFrame& frame : stack.frames) {
      if (!frames.empty())
        frames += u" | ";
      frames += FrameText(frame);
    }
    AppendCsvField(rest, frames);
    rows(std::to_string(rank + 1), stack.live, rest);
  }
  rows("without stack", stacks.WithoutStack().count, ",,,,,");
  rows("beyond kept", stacks.BeyondKept().count, ",,,,,");
  if (stacks.Unseen() > 0)
    out += lead + "not seen created,All," + std::to_string(stacks.Unseen()) +
           ",,,,,,\n";
  for (const auto& child : program.children) {
    out += where;
    AppendCsvField(out, child.second);
    out += "," + std::to_string(child.first) + ",,not followed,,,,,,,,\n";
  }
  return out;
}

void TraceDocumentReport::End(const RunEnd& end) {
  if (!end.stacks)
    return;
  std::string document = json_ ? JsonTraceDocument(end) : CsvTraceDocument(end);
  out_.WriteBytes(document.data(), document.size());
}
