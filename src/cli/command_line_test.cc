#include "cli/command_line.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using Args = std::vector<std::u16string>;

// What one command line should parse into.
struct ParseCase {
  const char* what;
  Args arguments;
  ParseOutcome outcome;
  bool showCounts;
  bool showHandles;
  bool hasTypeFilter;
  std::u16string typeFilter;
  TargetMode targetMode;
  std::u16string targetName;
  uint32_t targetPid;
};

// The fields that a run reads; help and usage errors end before any is used.
void ExpectParses(const ParseCase& c) {
  SCOPED_TRACE(c.what);
  RunOptions options;
  ParseOutcome outcome = ParseCommandLine(c.arguments, &options);
  ASSERT_EQ(c.outcome, outcome);
  if (outcome != ParseOutcome::Run)
    return;
  EXPECT_EQ(c.showCounts, options.showCounts);
  EXPECT_EQ(c.showHandles, options.showHandles);
  EXPECT_EQ(c.hasTypeFilter, options.typeFilter.has_value());
  EXPECT_EQ(c.typeFilter, options.typeFilter.value_or(u""));
  EXPECT_EQ(c.targetMode, options.targetMode);
  if (c.targetMode == TargetMode::ByName) {
    EXPECT_EQ(c.targetName, options.targetName);
  }
  if (c.targetMode == TargetMode::ByPid) {
    EXPECT_EQ(c.targetPid, options.targetPid);
  }
}

constexpr ParseOutcome kRun = ParseOutcome::Run;
constexpr ParseOutcome kHelp = ParseOutcome::Help;
constexpr ParseOutcome kUsage = ParseOutcome::UsageError;
constexpr TargetMode kNone = TargetMode::None;
constexpr TargetMode kName = TargetMode::ByName;
constexpr TargetMode kPid = TargetMode::ByPid;

TEST(ParseCommandLineTest, HelpOptions) {
  // One case a line, or two.
  // clang-format off
  const ParseCase cases[] = {
      {"-h", {u"-h"}, kHelp, false, false, false, u"", kNone, u"", 0},
      {"/h", {u"/h"}, kHelp, false, false, false, u"", kNone, u"", 0},
      {"-?", {u"-?"}, kHelp, false, false, false, u"", kNone, u"", 0},
      {"/?", {u"/?"}, kHelp, false, false, false, u"", kNone, u"", 0},
      {"-help", {u"-help"}, kHelp, false, false, false, u"", kNone, u"", 0},
      {"/help", {u"/help"}, kHelp, false, false, false, u"", kNone, u"", 0},
      // Help is looked for before the duplicate target rule.
      {"notepad -h", {u"notepad", u"-h"}, kHelp, false, false, false, u"",
       kNone, u"", 0},
      {"help before a duplicate", {u"a", u"-?", u"b"}, kHelp, false, false,
       false, u"", kNone, u"", 0},
      // ...but a duplicate seen first ends the run before the help option.
      {"duplicate before help", {u"a", u"b", u"-h"}, kUsage, false, false,
       false, u"", kNone, u"", 0},
      // The comparison is case-sensitive and against the whole argument.
      {"-H", {u"-H"}, kRun, false, false, false, u"", kName, u"-H", 0},
      {"-HELP", {u"-HELP"}, kRun, false, false, false, u"", kName, u"-HELP", 0},
      {"/Help", {u"/Help"}, kRun, false, false, false, u"", kName, u"/Help", 0},
      {"--help", {u"--help"}, kRun, false, false, false, u"", kName, u"--help",
       0},
      {"-h with a space", {u"-h "}, kRun, false, false, false, u"", kName,
       u"-h ", 0},
      {"-h as a filter value", {u"-v", u"-f", u"-h"}, kRun, false, true, true,
       u"-h", kNone, u"", 0},
  };
  // clang-format on
  for (const ParseCase& c : cases)
    ExpectParses(c);
}

TEST(ParseCommandLineTest, Switches) {
  // One case a line, or two.
  // clang-format off
  const ParseCase cases[] = {
      {"no arguments", {}, kRun, false, false, false, u"", kNone, u"", 0},
      {"-c", {u"-c"}, kRun, true, false, false, u"", kNone, u"", 0},
      {"/c", {u"/c"}, kRun, true, false, false, u"", kNone, u"", 0},
      {"-c twice", {u"-c", u"-c"}, kRun, true, false, false, u"", kNone, u"",
       0},
      {"-v", {u"-v"}, kRun, false, true, false, u"", kNone, u"", 0},
      {"/v", {u"/v"}, kRun, false, true, false, u"", kNone, u"", 0},
      {"-c -v", {u"-c", u"-v"}, kRun, true, true, false, u"", kNone, u"", 0},
      {"-C and -V are names", {u"-C"}, kRun, false, false, false, u"", kName,
       u"-C", 0},
      {"-x is a name", {u"-x"}, kRun, false, false, false, u"", kName, u"-x",
       0},
      {"-cv is a name", {u"-cv"}, kRun, false, false, false, u"", kName, u"-cv",
       0},
  };
  // clang-format on
  for (const ParseCase& c : cases)
    ExpectParses(c);
}

TEST(ParseCommandLineTest, TypeFilter) {
  // One case a line, or two.
  // clang-format off
  const ParseCase cases[] = {
      {"-v -f Brush notepad", {u"-v", u"-f", u"Brush", u"notepad"}, kRun, false,
       true, true, u"Brush", kName, u"notepad", 0},
      {"/v /f", {u"/v", u"/f", u"Pen"}, kRun, false, true, true, u"Pen", kNone,
       u"", 0},
      {"-v /f", {u"-v", u"/f", u"Pen"}, kRun, false, true, true, u"Pen", kNone,
       u"", 0},
      // With only one argument after "-v", "-f" is not an option.
      {"-v -f last", {u"-v", u"-f"}, kRun, false, true, false, u"", kName,
       u"-f", 0},
      {"-v /f last", {u"-v", u"/f"}, kRun, false, true, false, u"", kName,
       u"/f", 0},
      // "-f" away from "-v" is positional.
      {"-f alone", {u"-f", u"Brush"}, kUsage, false, false, false, u"", kNone,
       u"", 0},
      {"-f only", {u"-f"}, kRun, false, false, false, u"", kName, u"-f", 0},
      {"-c between", {u"-v", u"-c", u"-f", u"Pen"}, kUsage, false, false, false,
       u"", kNone, u"", 0},
      {"-F is not -f", {u"-v", u"-F", u"Pen"}, kUsage, false, false, false, u"",
       kNone, u"", 0},
      // The filter value is taken whatever it looks like.
      {"filter -c", {u"-v", u"-f", u"-c"}, kRun, false, true, true, u"-c",
       kNone, u"", 0},
      {"filter 42", {u"-v", u"-f", u"42"}, kRun, false, true, true, u"42",
       kNone, u"", 0},
      {"empty filter", {u"-v", u"-f", u""}, kRun, false, true, true, u"", kNone,
       u"", 0},
      {"last filter wins", {u"-v", u"-f", u"Brush", u"-v", u"-f", u"Pen"}, kRun,
       false, true, true, u"Pen", kNone, u"", 0},
      {"a later -v keeps the filter", {u"-v", u"-f", u"Brush", u"-v"}, kRun,
       false, true, true, u"Brush", kNone, u"", 0},
      {"-v -v -f x", {u"-v", u"-v", u"-f", u"x"}, kRun, false, true, true, u"x",
       kNone, u"", 0},
  };
  // clang-format on
  for (const ParseCase& c : cases)
    ExpectParses(c);
}

TEST(ParseCommandLineTest, Targets) {
  // One case a line, or two.
  // clang-format off
  const ParseCase cases[] = {
      {"name", {u"notepad"}, kRun, false, false, false, u"", kName, u"notepad",
       0},
      {"pid", {u"4"}, kRun, false, false, false, u"", kPid, u"", 4},
      {"12ab", {u"12ab"}, kRun, false, false, false, u"", kName, u"12ab", 0},
      {"0x10", {u"0x10"}, kRun, false, false, false, u"", kName, u"0x10", 0},
      {"leading space", {u" 42"}, kRun, false, false, false, u"", kPid, u"",
       42},
      {"+42", {u"+42"}, kRun, false, false, false, u"", kPid, u"", 42},
      {"capped", {u"4294967296"}, kRun, false, false, false, u"", kPid, u"",
       4294967295u},
      {"-1", {u"-1"}, kRun, false, false, false, u"", kPid, u"", 4294967295u},
      {"-4294967296", {u"-4294967296"}, kRun, false, false, false, u"", kPid,
       u"", 1},
      {"+-5", {u"+-5"}, kRun, false, false, false, u"", kName, u"+-5", 0},
      {"- 5", {u"- 5"}, kRun, false, false, false, u"", kName, u"- 5", 0},
      {"lone -", {u"-"}, kRun, false, false, false, u"", kName, u"-", 0},
      {"three spaces", {u"   "}, kRun, false, false, false, u"", kName, u"   ",
       0},
      {"trailing space", {u"42 "}, kRun, false, false, false, u"", kName,
       u"42 ", 0},
      {"empty is PID 0", {u""}, kRun, false, false, false, u"", kPid, u"", 0},
      {"name with spaces", {u"NVIDIA Share"}, kRun, false, false, false, u"",
       kName, u"NVIDIA Share", 0},
      {"Chinese name", {u"\u5FAE\u4FE1"}, kRun, false, false, false, u"", kName,
       u"\u5FAE\u4FE1", 0},
      {"fullwidth digits are a name", {u"\uFF14\uFF12"}, kRun, false, false,
       false, u"", kName, u"\uFF14\uFF12", 0},
      {"options around a target", {u"-c", u"notepad", u"-v"}, kRun, true, true,
       false, u"", kName, u"notepad", 0},
  };
  // clang-format on
  for (const ParseCase& c : cases)
    ExpectParses(c);
}

TEST(ParseCommandLineTest, DuplicateTargets) {
  // One case a line, or two.
  // clang-format off
  const ParseCase cases[] = {
      {"notepad calc", {u"notepad", u"calc"}, kUsage, false, false, false, u"",
       kNone, u"", 0},
      {"two PIDs", {u"4", u"21"}, kUsage, false, false, false, u"", kNone, u"",
       0},
      {"notepad 0", {u"notepad", u"0"}, kUsage, false, false, false, u"", kNone,
       u"", 0},
      {"-1 0", {u"-1", u"0"}, kUsage, false, false, false, u"", kNone, u"", 0},
      // PID 0 counts as no target: a later one replaces it.
      {"0 notepad", {u"0", u"notepad"}, kRun, false, false, false, u"", kName,
       u"notepad", 0},
      {"0 21", {u"0", u"21"}, kRun, false, false, false, u"", kPid, u"", 21},
      {"empty then name", {u"", u"notepad"}, kRun, false, false, false, u"",
       kName, u"notepad", 0},
      {"0 0 0", {u"0", u"0", u"0"}, kRun, false, false, false, u"", kPid, u"",
       0},
      {"-0 then name", {u"-0", u"calc"}, kRun, false, false, false, u"", kName,
       u"calc", 0},
      // An empty name is not possible: "" is PID 0, so this is a duplicate.
      {"name then empty", {u"calc", u""}, kUsage, false, false, false, u"",
       kNone, u"", 0},
      {"0 name 0", {u"0", u"calc", u"0"}, kUsage, false, false, false, u"",
       kNone, u"", 0},
      {"filter is not a target", {u"notepad", u"-v", u"-f", u"Pen"}, kRun,
       false, true, true, u"Pen", kName, u"notepad", 0},
  };
  // clang-format on
  for (const ParseCase& c : cases)
    ExpectParses(c);
}

// What a command line with value options parses into: the outcome, the
// three values, the target's name (empty: none) and the usage error's line.
struct ValueCase {
  Args arguments;
  ParseOutcome outcome;
  OutputFormat format;
  SortOrder order;
  uint32_t threshold;
  std::u16string targetName;
  const char* message;
};

TEST(ParseCommandLineTest, ValueOptions) {
  constexpr OutputFormat kText = OutputFormat::Text;
  constexpr OutputFormat kJson = OutputFormat::Json;
  constexpr OutputFormat kCsv = OutputFormat::Csv;
  constexpr SortOrder kTable = SortOrder::Table;
  const char* const kFormats =
      "kestrel: -o takes text, csv, json, html, prometheus, live or junit";
  const char* const kCounts = "kestrel: -t takes a count from 1 to 4294967295";
  const ValueCase cases[] = {
      {{u"-o", u"json"}, kRun, kJson, kTable, 0, u"", ""},
      {{u"/o", u"CSV"}, kRun, kCsv, kTable, 0, u"", ""},
      {{u"-o", u"Html"}, kRun, OutputFormat::Html, kTable, 0, u"", ""},
      {{u"-o", u"csv", u"-o", u"Text"}, kRun, kText, kTable, 0, u"", ""},
      {{u"-s", u"pid"}, kRun, kText, SortOrder::Pid, 0, u"", ""},
      {{u"-s", u"NAME"}, kRun, kText, SortOrder::Name, 0, u"", ""},
      {{u"/s", u"Total"}, kRun, kText, SortOrder::Total, 0, u"", ""},
      {{u"-s", u"all", u"note"}, kRun, kText, SortOrder::All, 0, u"note", ""},
      {{u"-t", u"1"}, kRun, kText, kTable, 1, u"", ""},
      {{u"/t", u"04294967295"}, kRun, kText, kTable, 4294967295u, u"", ""},
      {{u"note", u"-t", u"5000"}, kRun, kText, kTable, 5000, u"note", ""},
      // Without a valid value the option word is a target, as it always was.
      {{u"-o"}, kRun, kText, kTable, 0, u"-o", ""},
      {{u"-o", u"-c"}, kRun, kText, kTable, 0, u"-o", ""},
      // -O takes any file name, but an empty one.
      {{u"-O", u"json"}, kRun, kText, kTable, 0, u"", ""},
      {{u"-O", u""},
       kUsage,
       kText,
       kTable,
       0,
       u"",
       "kestrel: -O takes a file name"},
      {{u"-o", u"Prometheus"},
       kRun,
       OutputFormat::Prometheus,
       kTable,
       0,
       u"",
       ""},
      {{u"-v", u"-o", u"prometheus"},
       kUsage,
       kText,
       kTable,
       0,
       u"",
       "kestrel: -o prometheus has no per-handle output"},
      {{u"-o", u"xml"}, kUsage, kText, kTable, 0, u"", kFormats},
      {{u"note", u"-o", u"jsonl"}, kUsage, kText, kTable, 0, u"", kFormats},
      {{u"-s", u"size"},
       kUsage,
       kText,
       kTable,
       0,
       u"",
       "kestrel: -s takes pid, name, total or all"},
      {{u"-t", u"0"}, kUsage, kText, kTable, 0, u"", kCounts},
      {{u"-t", u"4294967296"}, kUsage, kText, kTable, 0, u"", kCounts},
      {{u"-t", u"+5"}, kUsage, kText, kTable, 0, u"", kCounts},
      // Read as a target, but -o's value makes it a forgotten count.
      {{u"-t", u"-o", u"json"}, kUsage, kJson, kTable, 0, u"", kCounts},
      // -v -f takes the word as its filter first; the value is then a target.
      {{u"-v", u"-f", u"-o", u"json"}, kRun, kText, kTable, 0, u"json", ""},
      {{u"-v", u"-o", u"json"}, kRun, kJson, kTable, 0, u"", ""},
      // A JUnit report needs a gate to report, and has no handles.
      {{u"-o", u"JUnit", u"-t", u"5"},
       kRun,
       OutputFormat::Junit,
       kTable,
       5,
       u"",
       ""},
      {{u"-o", u"junit", u"app"},
       kUsage,
       kText,
       kTable,
       0,
       u"",
       "kestrel: -o junit reports a gate: give -g COUNT (with -w or -n) or -t "
       "COUNT"},
      {{u"-o", u"junit", u"-t", u"5", u"-v"},
       kUsage,
       kText,
       kTable,
       0,
       u"",
       "kestrel: -o junit has no per-handle output"},
  };
  for (const ValueCase& c : cases) {
    std::string trace;
    for (const std::u16string& argument : c.arguments)
      trace += " " + std::string(argument.begin(), argument.end());
    SCOPED_TRACE(trace);
    RunOptions options;
    std::string message = "stale";
    ASSERT_EQ(c.outcome, ParseCommandLine(c.arguments, &options, &message));
    EXPECT_EQ(c.message, message);
    if (c.outcome != kRun)
      continue;
    EXPECT_EQ(c.format, options.format);
    EXPECT_EQ(c.order, options.order);
    EXPECT_EQ(c.threshold, options.threshold);
    EXPECT_EQ(c.targetName, options.targetName);
  }
  RunOptions options;
  ParseCommandLine({u"/O", u"C:\\metrics\\kestrel.prom"}, &options);
  EXPECT_EQ(u"C:\\metrics\\kestrel.prom", options.outputFile);
}

// Every usage error says what was wrong; a run with an option beyond the
// usage text takes no option word whose value is missing or invalid as its
// target, while one with only -c, -v, -f and a target still does.
TEST(ParseCommandLineTest, UsageErrorsSayWhy) {
  const struct {
    Args arguments;
    ParseOutcome outcome;
    std::string message;
    std::u16string targetName;  // of a run
  } cases[] = {
      {{u"notepad", u"calc"},
       kUsage,
       "kestrel: one process name or PID only: 'calc' follows 'notepad'",
       u""},
      {{u"4", u"notepad"},
       kUsage,
       "kestrel: one process name or PID only: 'notepad' follows PID 4",
       u""},
      {{u"-f", u"brush", u"-v", u"4524"},
       kUsage,
       "kestrel: one process name or PID only: 'brush' follows '-f' (-f "
       "filters only right after -v)",
       u""},
      {{u"a\x1b]0;b", u"c"},
       kUsage,
       "kestrel: one process name or PID only: 'c' follows 'a\\x1b]0;b'",
       u""},
      {{u"a\nb", u"c"},
       kUsage,
       "kestrel: one process name or PID only: 'c' follows 'a\\nb'",
       u""},
      {{u"a", std::u16string(100, u'b')},
       kUsage,
       "kestrel: one process name or PID only: '" + std::string(80, 'b') +
           "...' follows 'a'",
       u""},
      // A forgotten value at the end, or before another option.
      {{u"-w", u"2", u"-n", u"3", u"-O"},
       kUsage,
       "kestrel: -O takes a file name",
       u""},
      {{u"-w", u"2", u"-n"},
       kUsage,
       "kestrel: -n takes a count from 1 to 1000000",
       u""},
      {{u"-n", u"-w", u"2"},
       kUsage,
       "kestrel: -n takes a count from 1 to 1000000",
       u""},
      {{u"-w", u"2", u"-O", u"-c"},
       kUsage,
       "kestrel: -O takes a file name",
       u""},
      {{u"-n", u"3", u"-g", u"-c"},
       kUsage,
       "kestrel: -g takes a count from 1 to 4294967295",
       u""},
      {{u"-o", u"csv", u"-s"},
       kUsage,
       "kestrel: -s takes pid, name, total or all",
       u""},
      {{u"-n", u"2", u"-w", u"0", u"notepad"},
       kUsage,
       "kestrel: -w takes seconds from 1 to 86400",
       u""},
      // Only the usage text's options: the option word is the target.
      {{u"-O"}, kRun, "", u"-O"},
      {{u"-c", u"-n"}, kRun, "", u"-n"},
      {{u"-O", u"-c"}, kRun, "", u"-O"},
      {{u"-v", u"-f", u"-O"}, kRun, "", u"-O"},
      // -O takes any other name, one that starts with a dash too.
      {{u"-O", u"-report.csv", u"-o", u"csv"}, kRun, "", u""},
  };
  for (const auto& c : cases) {
    std::string trace;
    for (const std::u16string& argument : c.arguments)
      trace += " " + std::string(argument.begin(), argument.end());
    SCOPED_TRACE(trace);
    RunOptions options;
    std::string message;
    ASSERT_EQ(c.outcome, ParseCommandLine(c.arguments, &options, &message));
    EXPECT_EQ(c.message, message);
    if (c.outcome == kRun) {
      EXPECT_EQ(c.targetName,
                options.typeFilter ? *options.typeFilter : options.targetName);
    }
  }
}

TEST(ParseCommandLineTest, WatchOptions) {
  const char* const kSeconds = "kestrel: -w takes seconds from 1 to 86400";
  const char* const kSamples = "kestrel: -n takes a count from 1 to 1000000";
  const struct {
    Args arguments;
    ParseOutcome outcome;
    uint32_t interval, count;
    const char* message;
  } cases[] = {
      {{u"-w", u"2", u"-n", u"6", u"-c"}, kRun, 2, 6, ""},
      {{u"/w", u"86400"}, kRun, 86400, 0, ""},
      {{u"/n", u"1000000"}, kRun, 0, 1000000, ""},
      {{u"-w", u"86401"}, kUsage, 0, 0, kSeconds},
      {{u"-w", u"0"}, kUsage, 0, 0, kSeconds},
      {{u"-n", u"1000001"}, kUsage, 0, 0, kSamples},
      // A target named "-w", as before: no watch.
      {{u"-w"}, kRun, 0, 0, ""},
      // The growth gate judges a watch, and only a watch.
      {{u"-n", u"3", u"-g", u"200"}, kRun, 0, 3, ""},
      {{u"-g", u"200"},
       kUsage,
       0,
       0,
       "kestrel: -g needs a watch (-w SECONDS or -n COUNT)"},
  };
  for (const auto& c : cases) {
    RunOptions options;
    std::string message;
    ASSERT_EQ(c.outcome, ParseCommandLine(c.arguments, &options, &message));
    EXPECT_EQ(c.message, message);
    EXPECT_EQ(c.interval, options.intervalSeconds);
    EXPECT_EQ(c.count, options.sampleCount);
    EXPECT_EQ(c.interval != 0 || c.count != 0, options.Watch());
  }
}

// The text for a trace message: ASCII as is, anything else as "?".
std::string Narrow(const std::u16string& text) {
  std::string narrow;
  for (char16_t c : text)
    narrow.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return narrow;
}

// One conversion: the text, the value and the units consumed.
struct ConvertCase {
  std::u16string text;
  uint32_t value;
  size_t consumed;
};

TEST(ConvertTargetNumberTest, Examples) {
  const ConvertCase cases[] = {
      {u"0", 0, 1},
      {u"42", 42, 2},
      {u" 42", 42, 3},
      {u"\t\n\v\f\r42", 42, 7},
      {u"+42", 42, 3},
      {u"-42", 4294967254u, 3},
      {u"007", 7, 3},
      {u"4294967295", 4294967295u, 10},
      {u"4294967296", 4294967295u, 10},
      {u"99999999999999999999", 4294967295u, 20},
      {u"-1", 4294967295u, 2},
      {u"-4294967295", 1, 11},
      {u"-4294967296", 1, 11},
      {u"-0", 0, 2},
      // The conversion stops at the first non-digit.
      {u"12ab", 12, 2},
      {u"0x10", 0, 1},
      {u"42 ", 42, 2},
      {u"1.5", 1, 1},
      // No digit after the sign and white space: nothing is consumed.
      {u"", 0, 0},
      {u"-", 0, 0},
      {u"+", 0, 0},
      {u"   ", 0, 0},
      {u"+-5", 0, 0},
      {u"-+5", 0, 0},
      {u"- 5", 0, 0},
      {u"abc", 0, 0},
      // Only ASCII white space and digits count.
      {u"\u300042", 0, 0},
      {u"\uFF14\uFF12", 0, 0},
      {u"\u0664\u0662", 0, 0},
  };
  for (const ConvertCase& c : cases) {
    SCOPED_TRACE("\"" + Narrow(c.text) + "\"");
    size_t consumed = 12345;
    uint32_t value =
        ConvertTargetNumber(c.text.data(), c.text.size(), &consumed);
    EXPECT_EQ(c.value, value);
    EXPECT_EQ(c.consumed, consumed);
  }
}

TEST(ConvertTargetNumberTest, StopsAtTheGivenLength) {
  // The length bounds the text, even where more digits follow in memory.
  const char16_t text[] = u"12345";
  size_t consumed = 0;
  EXPECT_EQ(123u, ConvertTargetNumber(text, 3, &consumed));
  EXPECT_EQ(3u, consumed);
  // An embedded NUL ends the digits like any other non-digit.
  const char16_t withNul[] = {u'4', u'\0', u'2'};
  EXPECT_EQ(4u, ConvertTargetNumber(withNul, 3, &consumed));
  EXPECT_EQ(1u, consumed);
}

}  // namespace

// -x takes the rest of the line: kestrel's options come before it, the
// program's after; a PID stands alone. Where no program or PID follows, the
// word is a target as before.
TEST(ParseCommandLineTest, FollowOption) {
  const struct {
    const char* what;
    Args arguments;
    ParseOutcome outcome;
    bool attach;
    uint32_t pid;
    std::u16string program;
    Args programArguments;
    bool showCounts;
  } cases[] = {
      {"launch",
       {u"-x", u"painter.exe"},
       kRun,
       false,
       0,
       u"painter.exe",
       {},
       false},
      {"the program's own options",
       {u"-c", u"/x", u"app", u"-c", u"-n", u"5"},
       kRun,
       false,
       0,
       u"app",
       {u"-c", u"-n", u"5"},
       true},
      {"attach", {u"-x", u"4242"}, kRun, true, 4242, u"", {}, false},
      {"a PID takes no arguments",
       {u"-x", u"4242", u"-c"},
       kUsage,
       false,
       0,
       u"",
       {},
       false},
      {"a target beside it",
       {u"notepad", u"-x", u"app"},
       kUsage,
       false,
       0,
       u"",
       {},
       false},
      {"no file name", {u"-x", u"a|b"}, kUsage, false, 0, u"", {}, false},
      {"empty", {u"-x", u""}, kUsage, false, 0, u"", {}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RunOptions options;
    ASSERT_EQ(c.outcome, ParseCommandLine(c.arguments, &options));
    if (c.outcome != kRun)
      continue;
    EXPECT_TRUE(options.follow);
    EXPECT_TRUE(options.Watch());
    EXPECT_EQ(1u, options.WatchInterval());
    EXPECT_EQ(c.attach, options.followRequest.attach);
    EXPECT_EQ(c.pid, options.followRequest.pid);
    EXPECT_EQ(c.program, options.followRequest.program);
    EXPECT_EQ(c.programArguments, options.followRequest.arguments);
    EXPECT_EQ(c.showCounts, options.showCounts);
  }
  // Alone, -x is a name to match, as it always was.
  RunOptions alone;
  ASSERT_EQ(kRun, ParseCommandLine({u"-x"}, &alone));
  EXPECT_FALSE(alone.follow);
  EXPECT_EQ(u"-x", alone.targetName);
  // -g needs no -w or -n under -x.
  RunOptions gated;
  EXPECT_EQ(kRun, ParseCommandLine({u"-g", u"50", u"-x", u"app"}, &gated));
  EXPECT_EQ(50u, gated.growthGate);
}
