#include "cli/run.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "census/handle_list_testing.h"
#include "census/process_table.h"
#include "cli/make_report.h"
#include "cli/sampling.h"
#include "gditable/shared_table.h"
#include "gditable/table_location_testing.h"
#include "output/output.h"
#include "output/report.h"
#include "platform/program_io.h"
#include "platform/utf8.h"
#include "platform/sim/sim_control.h"
#include "sample/process_counts.h"
#include "synthetic_watch.h"

namespace {

// While set, nothrow allocations fail: the process table allocates its node
// blocks that way, so running out of memory can be staged in a test.
bool failNothrowNew = false;

}  // namespace

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (failNothrowNew)
    return nullptr;
  try {
    return ::operator new(size);
  } catch (...) {
    return nullptr;
  }
}

namespace {

// While 0 or more, the allocations left before every one fails, as when
// memory runs out for good.
long allocationsLeft = -1;

}  // namespace

void* operator new(std::size_t size) {
  if (allocationsLeft == 0)
    throw std::bad_alloc();
  if (allocationsLeft > 0)
    --allocationsLeft;
  if (void* block = std::malloc(size == 0 ? 1 : size))
    return block;
  throw std::bad_alloc();
}

// The blocks that operator new takes from malloc go back to free.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* block) noexcept { std::free(block); }

void operator delete(void* block, std::size_t) noexcept { std::free(block); }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

namespace {

// Listed in the snapshot as 600, 4, 1000; the process table walks them as
// 4, 600, 1000 (PID mod 17: bins 4, 5 and 14).
constexpr char kSession[] =
    "self 1000\n"
    "process 0 0 denied [System Process]\n"
    "process 600 3 open notepad.exe\n"
    "process 4 6 open System\n"
    "process 612 412 denied csrss.exe\n"
    "process 880 0 open svchost.exe\n"
    "process 1000 2 open kestrel.exe\n"
    "table 4480\n"
    "entry 1 0xFFFFF90000001000 4 0 16 0 0\n"
    "entry 2 0xFFFFF90000002000 600 0 48 0 0\n"
    "entry 3 0xFFFFF90000003000 601 7 16 0 0\n"
    "entry 4 0xFFFFF90000004000 612 0 1 0 0\n"
    "entry 5 0xFFFFF90000005000 600 0 0 0 0\n"
    "entry 6 0xFFFFF90000006000 1000 0 5 0 0\n"
    "entry 7 0xFFFFF90000007000 600 0x12 102 0 0\n"
    "entry 8 0xFFFFF90000008000 880 0 16 0 0\n";

const std::u16string kUsage =
    u"usage: kestrel.exe [-c] [-v [-f <filter>]] [processname|pid]\n"
    u"  processname   List GDI handles loaded by process (partial name accepted)\n"
    u"  pid           List GDI handles associated with the specified process id\n"
    u"  -c            Show GDI count information.\n"
    u"  -v            Show GDI handle information.\n"
    u"  -f            Filter the GDI handle type.\n";

const std::u16string kSummaryHeader =
    u"Process ID    Process Name                  GDI Total    GDI All\n";
const std::u16string kSystemRow =
    u"     4        System                               1         6 \n";
const std::u16string kNotepadRow =
    u"   600        notepad.exe                          3         3 \n";
const std::u16string kKestrelRow =
    u"  1000        kestrel.exe                          1         2 \n";

const std::u16string kSystemPid =
    u"PID:     4  Name: System                        GDI Total:    1  All:    6 \n";
const std::u16string kNotepadPid =
    u"PID:   600  Name: notepad.exe                   GDI Total:    3  All:    3 \n";
const std::u16string kKestrelPid =
    u"PID:  1000  Name: kestrel.exe                   GDI Total:    1  All:    2 \n";

const std::u16string kCountsHeader =
    u" Pen ExtPen Brush Bitmap Font Palette Region   DC MetaDC EnhMetaDC OtherGDi\n";
const std::u16string kSystemCounts =
    u"   0     0      1     0     0      0      0     0     0        0        0\n";
const std::u16string kNotepadCounts =
    u"   1     0      1     0     0      0      0     0     1        0        0\n";
const std::u16string kKestrelCounts =
    u"   0     0      0     1     0      0      0     0     0        0        0\n";

const std::u16string kHandleHeader =
    u"Handle                Object Type           Kernel Address\n";
const std::u16string kSystemBrush =
    u"0x0000000000000001    Brush                 0xFFFFF90000001000\n";
const std::u16string kNotepadPen =
    u"0x0000000000000002    Pen                   0xFFFFF90000002000\n";
const std::u16string kNotepadBrush =
    u"0x0000000000070003    Brush                 0xFFFFF90000003000\n";
const std::u16string kNotepadMetafileDc =
    u"0x0000000000120007    Metafile DC           0xFFFFF90000007000\n";
const std::u16string kKestrelBitmap =
    u"0x0000000000000006    Bitmap                0xFFFFF90000006000\n";

std::u16string Banner() {
  return u"\nkestrel v1.0 - List windows gdi handles.\n" +
         std::u16string(platform::BuildDescription()) + u"\n\n";
}

std::string Quoted(const std::vector<std::u16string>& arguments) {
  std::string text;
  for (const std::u16string& argument : arguments) {
    text += " \"";
    for (char16_t c : argument)
      text += c < 0x80 ? static_cast<char>(c) : '?';
    text += '"';
  }
  return text;
}

class RunKestrelTest : public testing::Test {
 protected:
  void SetUp() override {
    ResetQueryFunctionCache();
    Use(kSession);
  }
  void TearDown() override {
    failNothrowNew = false;
    SetHandleListGrowthForTesting(nullptr);
    ResetQueryFunctionCache();
  }

  void Use(const std::string& text) {
    std::string error;
    ASSERT_TRUE(platform::UseSessionText(text, &error)) << error;
  }

  // Runs with the output captured in `output_` and standard error in
  // `errors_`; returns the exit code.
  int Run(const std::vector<std::u16string>& arguments) {
    output_.clear();
    testing::internal::CaptureStderr();
    int code;
    {
      Output out(&output_);
      code = RunKestrel(arguments, out);
    }
    errors_ = testing::internal::GetCapturedStderr();
    EXPECT_EQ(0u, platform::OpenHandleCount());
    return code;
  }

  std::u16string output_;
  std::string errors_;
};

// A report whose end writes a line and then runs out of memory.
class EndOutOfMemoryReport : public Report {
 public:
  explicit EndOutOfMemoryReport(Output& out) : out_(out) {}
  void Sample(const ListedSample& sample) override {
    out_.WriteAscii("sample ", 7);
    std::string number = std::to_string(sample.number) + "\n";
    out_.WriteAscii(number.data(), number.size());
  }
  void End(const RunEnd&) override {
    out_.WriteAscii("report\n", 7);
    throw std::bad_alloc();
  }

 private:
  Output& out_;
};

// Running out of memory in a watch's report keeps its samples, each whole,
// and what the report wrote, which it leaves whole (a page held whole is
// cut back and closed by its report), and fails the run.
TEST_F(RunKestrelTest, WatchThatRunsOutOfMemoryInItsReport) {
  const struct {
    OutputFormat format;
    bool thrown;
    const char16_t* kept;
  } kCases[] = {
      {OutputFormat::Text, false, u"sample 1\nsample 2\nreport\n"},
      {OutputFormat::Html, false, u"sample 1\nsample 2\nreport\n"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(static_cast<int>(c.format));
    RunOptions options;
    options.format = c.format;
    options.sampleCount = 2;
    std::u16string captured;
    bool thrown = false;
    RunOutcome outcome;
    testing::internal::CaptureStderr();
    {
      Output out(&captured);
      EndOutOfMemoryReport report(out);
      try {
        outcome = RunSamples(options, report, out);
      } catch (const std::bad_alloc&) {
        thrown = true;
        out.Abandon();
      }
    }
    std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(c.thrown, thrown);
    EXPECT_EQ(c.kept, captured);
    if (!c.thrown) {
      EXPECT_EQ(Failure::OutOfMemory, outcome.failure);
      EXPECT_EQ("kestrel: out of memory\n", errors);
    }
  }
}

// Runs out of memory for good at the given allocation of the report's end,
// and has memory again once the end is over.
class OutOfMemoryInEnd : public Report {
 public:
  OutOfMemoryInEnd(Report& report, long allocations)
      : report_(report), allocations_(allocations) {}
  void Sample(const ListedSample& sample) override { report_.Sample(sample); }
  void End(const RunEnd& end) override {
    struct Restore {
      ~Restore() { allocationsLeft = -1; }
    } restore;
    allocationsLeft = allocations_;
    report_.End(end);
  }

 private:
  Report& report_;
  long allocations_;
};

// Memory that runs out for good at any point of a watch's end leaves -O's
// file with the samples and as much of the growth report as was whole: the
// page ends as a page, with the parts it completed, the growth report's
// heading and a note that memory ran out; text keeps its lines whole, names
// outside ASCII too. Each allocation of the end fails in turn.
TEST_F(RunKestrelTest, WatchThatRunsOutOfMemoryAtAnyPointOfItsEnd) {
  const std::string session =
      "self 1000\nprocess 600 3 open notepad.exe\n"
      "process 700 5 open caf\xC3\xA9.exe\ntable 4096\n"
      "sample\nprocess 600 9 open notepad.exe\n"
      "process 700 8 open caf\xC3\xA9.exe\n"
      "sample\nprocess 600 20 open notepad.exe\n";
  const std::string path = testing::TempDir() + "kestrel_end_out_of_memory";
  const std::string kNote =
      "<p class=\"note\">Memory ran out while this page was written: the rest "
      "of it is left out.</p>\n";
  // What -O's file holds after a watch whose end runs out of memory at
  // `allocations` (never, below 0), and whether it did.
  auto watch = [&](OutputFormat format, long allocations, bool* ranOut) {
    Use(session);
    RunOptions options;
    options.format = format;
    options.sampleCount = 3;
    WatchPlan plan{1, 3};
    testing::internal::CaptureStderr();
    RunOutcome outcome;
    {
      Output out;
      out.SendToFile(std::u16string(path.begin(), path.end()));
      std::unique_ptr<Report> report = MakeReport(options, &plan, out);
      OutOfMemoryInEnd failing(*report, allocations);
      outcome = RunSamples(options, failing, out);
      out.EndDocument();
    }
    std::string errors = testing::internal::GetCapturedStderr();
    *ranOut = outcome.failure == Failure::OutOfMemory;
    EXPECT_EQ(*ranOut ? "kestrel: out of memory\n" : "", errors);
    std::string kept;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
      char buffer[4096];
      for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        kept.append(buffer, n);
      std::fclose(file);
    }
    return kept;
  };
  for (OutputFormat format : {OutputFormat::Html, OutputFormat::Text}) {
    bool ranOut = false;
    const std::string whole = watch(format, -1, &ranOut);
    const size_t samplesEnd = format == OutputFormat::Html
                                  ? whole.find("<h2>GDI All</h2>")
                                  : whole.find("Growth over");
    ASSERT_NE(std::string::npos, samplesEnd);
    for (long allocations = 0; ranOut || allocations == 0; ++allocations) {
      SCOPED_TRACE(std::to_string(static_cast<int>(format)) + " at " +
                   std::to_string(allocations));
      std::string kept = watch(format, allocations, &ranOut);
      if (!ranOut) {
        EXPECT_TRUE(whole == kept);
        break;
      }
      if (format == OutputFormat::Text) {
        // Whole lines of the report, after every sample.
        EXPECT_EQ(whole.substr(0, kept.size()), kept);
        EXPECT_TRUE(kept.size() >= samplesEnd && kept.back() == '\n');
        continue;
      }
      size_t note = kept.find(kNote);
      ASSERT_NE(std::string::npos, note);
      EXPECT_EQ("</html>\n", kept.substr(kept.size() - 8));
      EXPECT_NE(std::string::npos, kept.find("<h2>Growth</h2>"));
      // What comes before the note is the page's start, up to a whole part,
      // and the closing of the part it was in.
      std::string before = kept.substr(0, note);
      for (const char* closing : {"</tbody>\n</table></div>\n", "</details>\n",
                                  "<h2>Growth</h2>\n"}) {
        std::string tail(closing);
        if (before.size() >= tail.size() &&
            before.compare(before.size() - tail.size(), tail.size(), tail) ==
                0 &&
            whole.compare(0, before.size(), before) != 0) {
          before.resize(before.size() - tail.size());
          break;
        }
      }
      EXPECT_TRUE(whole.compare(0, before.size(), before) == 0)
          << before.substr(samplesEnd);
      EXPECT_GE(before.size(), samplesEnd);
      EXPECT_EQ(kept.find("<tr class=\"growth\">") == std::string::npos,
                before.find("<tbody>") == std::string::npos ||
                    before.find("<tr class=\"growth\">") == std::string::npos);
    }
  }
  // No .tmp beside it: the folder holds it alone of its name.
  EXPECT_EQ(0, std::remove(path.c_str()));
}

TEST_F(RunKestrelTest, Banner) {
  ASSERT_EQ(0, Run({}));
  // An empty line, the title, two lines about the build, an empty line.
  std::vector<std::u16string> lines;
  size_t start = 0;
  for (int i = 0; i < 5; ++i) {
    size_t end = output_.find(u'\n', start);
    ASSERT_NE(std::u16string::npos, end);
    lines.push_back(output_.substr(start, end - start));
    start = end + 1;
  }
  EXPECT_EQ(u"", lines[0]);
  EXPECT_EQ(u"kestrel v1.0 - List windows gdi handles.", lines[1]);
  EXPECT_FALSE(lines[2].empty());
  EXPECT_FALSE(lines[3].empty());
  EXPECT_EQ(u"", lines[4]);
  EXPECT_EQ(Banner(), output_.substr(0, start));
  EXPECT_EQ("", errors_);
}

TEST_F(RunKestrelTest, Views) {
  const struct {
    std::vector<std::u16string> arguments;
    std::u16string listing;
  } kCases[] = {
      // Every recorded process, in the table's order, not the snapshot's.
      {{}, kSummaryHeader + kSystemRow + kNotepadRow + kKestrelRow},
      {{u"-c"},
       kSystemPid + kCountsHeader + kSystemCounts + u"\n" + kNotepadPid +
           kCountsHeader + kNotepadCounts + u"\n" + kKestrelPid +
           kCountsHeader + kKestrelCounts + u"\n"},
      {{u"/c", u"-c"},
       kSystemPid + kCountsHeader + kSystemCounts + u"\n" + kNotepadPid +
           kCountsHeader + kNotepadCounts + u"\n" + kKestrelPid +
           kCountsHeader + kKestrelCounts + u"\n"},
      {{u"-v"},
       kSystemPid + kHandleHeader + kSystemBrush + u"\n" + kNotepadPid +
           kHandleHeader + kNotepadPen + kNotepadBrush + kNotepadMetafileDc +
           u"\n" + kKestrelPid + kHandleHeader + kKestrelBitmap + u"\n"},
      {{u"-v", u"-c", u"600"},
       kNotepadPid + kCountsHeader + kNotepadCounts + kHandleHeader +
           kNotepadPen + kNotepadBrush + kNotepadMetafileDc + u"\n"},
      // The filter narrows handle lines; the other blocks keep their shape.
      {{u"-v", u"-f", u"brush"},
       kSystemPid + kHandleHeader + kSystemBrush + u"\n" + kNotepadPid +
           kHandleHeader + kNotepadBrush + u"\n" + kKestrelPid + kHandleHeader +
           u"\n"},
      {{u"-v", u"-f", u"brush", u"note"},
       kNotepadPid + kHandleHeader + kNotepadBrush + u"\n"},
      {{u"/v", u"/f", u"DC", u"-c", u"NOTEPAD"},
       kNotepadPid + kCountsHeader + kNotepadCounts + kHandleHeader +
           kNotepadMetafileDc + u"\n"},
      // Name targets ignore case and may match several processes.
      {{u"EXE"}, kSummaryHeader + kNotepadRow + kKestrelRow},
      {{u"sYsTeM"}, kSummaryHeader + kSystemRow},
      {{u"4"}, kSummaryHeader + kSystemRow},
      {{u"1000", u"-c"}, kKestrelPid + kCountsHeader + kKestrelCounts + u"\n"},
      // PID 0 is replaced by a later target.
      {{u"0", u"notepad"}, kSummaryHeader + kNotepadRow},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(Quoted(c.arguments));
    EXPECT_EQ(0, Run(c.arguments));
    EXPECT_EQ(Banner() + c.listing, output_);
    EXPECT_EQ("", errors_);
  }
}

TEST_F(RunKestrelTest, TargetsThatMatchNothing) {
  const std::vector<std::u16string> kArguments[] = {
      {u"calc"},
      {u"12345"},
      {u"-c", u"601"},  // the owner word's bit 0 is no PID
      {u"612"},         // denied: never recorded
      {u"880"},         // no GDI objects: never recorded
      {u""},            // PID 0
      {u"-v", u"-f", u"pen", u"0x258"},
  };
  for (const auto& arguments : kArguments) {
    SCOPED_TRACE(Quoted(arguments));
    EXPECT_EQ(0, Run(arguments));
    EXPECT_EQ(Banner(), output_);
  }
}

TEST_F(RunKestrelTest, NoRecordedProcess) {
  Use("self 1000\n"
      "process 612 412 denied csrss.exe\n"
      "process 880 0 open svchost.exe\n"
      "entry 1 0 880 0 16 0 0\n");
  EXPECT_EQ(0, Run({}));
  EXPECT_EQ(Banner(), output_);
  EXPECT_EQ(0, Run({u"-c", u"-v"}));
  EXPECT_EQ(Banner(), output_);
}

TEST_F(RunKestrelTest, Help) {
  // Help is seen before a duplicate target, and ends the run before the
  // census: the snapshot would fail here.
  Use(std::string(kSession) + "snapshot fail\n");
  const std::vector<std::u16string> kArguments[] = {
      {u"-h"},
      {u"/h"},
      {u"-?"},
      {u"/?"},
      {u"-help"},
      {u"/help"},
      {u"notepad", u"-h"},
      {u"-c", u"-v", u"-f", u"x", u"/?", u"a", u"b"},
  };
  for (const auto& arguments : kArguments) {
    SCOPED_TRACE(Quoted(arguments));
    EXPECT_EQ(0, Run(arguments));
    EXPECT_EQ(Banner() + kUsage, output_);
    EXPECT_EQ("", errors_);
  }
}

TEST_F(RunKestrelTest, TwoTargets) {
  Use(std::string(kSession) + "snapshot fail\n");
  // The usage text on standard output as ever; what was wrong on standard
  // error.
  const struct {
    std::vector<std::u16string> arguments;
    const char* error;
  } kCases[] = {
      {{u"notepad", u"calc"}, "'calc' follows 'notepad'"},
      {{u"notepad", u"0"}, "'0' follows 'notepad'"},
      {{u"4", u"600"}, "'600' follows PID 4"},
      {{u"-H", u"x"}, "'x' follows '-H'"},
      {{u"-v", u"-f", u"x", u"notepad", u"-f"}, "'-f' follows 'notepad'"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(Quoted(c.arguments));
    EXPECT_EQ(1, Run(c.arguments));
    EXPECT_EQ(Banner() + kUsage, output_);
    EXPECT_EQ(
        std::string("kestrel: one process name or PID only: ") + c.error + "\n",
        errors_);
  }
}

TEST_F(RunKestrelTest, SnapshotFails) {
  Use(std::string(kSession) + "snapshot fail\n");
  for (const auto& arguments :
       {std::vector<std::u16string>{}, {u"-c", u"-v", u"notepad"}}) {
    SCOPED_TRACE(Quoted(arguments));
    EXPECT_EQ(2, Run(arguments));
    EXPECT_EQ(Banner(), output_);
    EXPECT_EQ("kestrel: cannot take a snapshot of the running processes\n",
              errors_);
  }
}

TEST_F(RunKestrelTest, TableCannotBeLocated) {
  for (const char* step : {"ntdll-lookup", "open-self", "query-status",
                           "peb-null", "virtual-query", "region-unreadable"}) {
    SCOPED_TRACE(step);
    ResetQueryFunctionCache();
    Use(std::string(kSession) + "fail " + step + "\n");
    for (const auto& arguments :
         {std::vector<std::u16string>{}, {u"-c", u"-v"}, {u"notepad"}}) {
      SCOPED_TRACE(Quoted(arguments));
      EXPECT_EQ(2, Run(arguments));
      EXPECT_EQ(Banner(), output_);
      EXPECT_EQ("kestrel: cannot locate the GDI shared handle table\n",
                errors_);
    }
  }
}

// A watch over a session that changes at each wait: the clock moves by the
// interval, an interrupt ends it after the sample it arrives in, a sample
// that cannot be read ends it after the growth report, -t gives exit code 6,
// -g exit code 7 once a process grew by its count; the growth report
// measures against the registry's quota.
TEST_F(RunKestrelTest, Watch) {
  const std::string kStart =
      "self 1000\n"
      "quota 2000\n"
      "process 4 6 open System\n"
      "process 600 3 open notepad.exe\n"
      "table 4480\n"
      "entry 1 0xFFFFF90000001000 4 0x0110 16 0 0\n"
      "entry 2 0xFFFFF90000002000 600 0x0230 16 0 0\n"
      "sample\n"
      "entry 3 0xFFFFF90000003000 600 0x0305 5 0 0\n"
      "process 600 4 open notepad.exe\n"
      "sample\n";
  const std::u16string kSample1 =
      u"Sample 1 at +0 s (00:00:00)\n" + kSummaryHeader + kSystemRow +
      u"   600        notepad.exe                          1         3 \n";
  const std::u16string kNotepadGrew =
      u"   600  notepad.exe                   GDI Total 1 -> 2 (+1)  "
      u"GDI All 3 -> 4 (+1)\n";
  const std::u16string kTable =
      u"Table: 2 -> 3 of 16 entries (+1, full in about 1 min)\n";
  auto grew = [&](const char16_t* perMinute, const char16_t* quotaIn) {
    return kTable +
           u"   600  notepad.exe                   GDI All 3 -> 4 (+1, " +
           perMinute + u")  GDI Total 1 -> 2 (+1, " + perMinute +
           u")  Bitmap +1  still growing " + perMinute +
           u", quota 2,000 in about " + quotaIn + u"\n";
  };
  const struct {
    std::string blocks;
    std::vector<std::u16string> arguments;
    int code;
    std::u16string output;
    std::string errors;
  } cases[] = {
      {"interrupt\n",
       {u"-w", u"3", u"-n", u"10"},
       0,
       kSample1 + u"\nSample 2 at +3 s (00:00:03)\n" + kNotepadGrew +
           u"\nSample 3 at +6 s (00:00:06)\n\nGrowth over 3 samples, 6 s:\n" +
           grew(u"+10.0/min", u"3 h 20 min"),
       ""},
      {"snapshot fail\n",
       {u"-w", u"5", u"-n", u"3"},
       2,
       kSample1 + u"\nSample 2 at +5 s (00:00:05)\n" + kNotepadGrew +
           u"\nGrowth over 2 samples, 5 s:\n" +
           grew(u"+12.0/min", u"2 h 46 min"),
       "kestrel: cannot take a snapshot of the running processes\n"},
      // -n alone: a sample every second. A process that reaches -t's count
      // shows its change; its growth counts from its first sample in the
      // watch, listed or not.
      {"",
       {u"-n", u"2", u"-t", u"4", u"note"},
       6,
       u"Sample 1 at +0 s (00:00:00)\n\nSample 2 at +1 s (00:00:01)\n" +
           kNotepadGrew + u"\nGrowth over 2 samples, 1 s:\n" +
           grew(u"+60.0/min", u"33 min"),
       "kestrel: -t 4: notepad.exe (PID 600) reached GDI All 4 at sample 2\n"},
      // notepad.exe's GDI All grew by 1: a gate of 1 fails the watch, one
      // of 2 does not.
      {"",
       {u"-w", u"3", u"-n", u"2", u"-g", u"1", u"note"},
       7,
       u"Sample 1 at +0 s (00:00:00)\n" + kSummaryHeader +
           u"   600        notepad.exe                          1         3 \n"
           u"\nSample 2 at +3 s (00:00:03)\n" +
           kNotepadGrew + u"\nGrowth over 2 samples, 3 s:\n" +
           grew(u"+20.0/min", u"100 min"),
       "kestrel: -g 1: notepad.exe (PID 600) GDI All 3 -> 4 (+1, "
       "+20.0/min), still growing +20.0/min\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Quoted(c.arguments) + " " + c.blocks);
    Use(kStart + c.blocks);
    EXPECT_EQ(c.code, Run(c.arguments));
    EXPECT_EQ(Banner() + c.output, output_);
    EXPECT_EQ(c.errors, errors_);
  }
}

// A watch's sample line tells the local clock's time at the sample: the
// zone's offset applies, and the day turns over at local midnight.
TEST_F(RunKestrelTest, WatchSampleLinesTellTheLocalTime) {
  const struct {
    const char* clock;
    const char16_t* first;
    const char16_t* second;
  } kCases[] = {
      // 2026-12-31 23:59:59 UTC, an hour ahead: the next year, locally.
      {"clock 1798761599 +60\n", u"Sample 1 at +0 s (00:59:59)\n",
       u"Sample 2 at +2 s (01:00:01)\n"},
      // Five hours behind: the day before.
      {"clock 1767232799 -300\n", u"Sample 1 at +0 s (20:59:59)\n",
       u"Sample 2 at +2 s (21:00:01)\n"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.clock);
    Use(std::string(c.clock) + "process 600 3 open notepad.exe\n");
    EXPECT_EQ(0, Run({u"-w", u"2", u"-n", u"2"}));
    std::string shown;
    AppendUtf8(output_, shown);
    EXPECT_NE(std::u16string::npos, output_.find(c.first)) << shown;
    EXPECT_NE(std::u16string::npos, output_.find(c.second)) << shown;
  }
}

// How a gating run ends, and what it says on standard error: a forgotten
// value; a target that matched nothing (8); a -g watch interrupted before
// its last sample (9), unless its gate fired (7); -g over a process -t kept
// out of the views. The watch: System holds 6, notepad.exe grows 3 -> 4.
TEST_F(RunKestrelTest, GateOutcomes) {
  const std::string kStart =
      "self 1000\n"
      "process 4 6 open System\n"
      "process 600 3 open notepad.exe\n"
      "table 4480\n"
      "entry 1 0xFFFFF90000001000 4 0x0110 16 0 0\n"
      "entry 2 0xFFFFF90000002000 600 0x0230 16 0 0\n"
      "sample\n"
      "entry 3 0xFFFFF90000003000 600 0x0305 5 0 0\n"
      "process 600 4 open notepad.exe\n"
      "sample\n";
  const char* const kNotepadFailed =
      "kestrel: -g 1: notepad.exe (PID 600) GDI All 3 -> 4 (+1, +60.0/min), "
      "still growing +60.0/min";
  const struct {
    std::string blocks;
    std::vector<std::u16string> arguments;
    int code;
    std::string errors;
  } cases[] = {
      {"",
       {u"-w", u"2", u"-n", u"3", u"-O"},
       1,
       "kestrel: -O takes a file name\n"},
      {"",
       {u"-w", u"2", u"-n"},
       1,
       "kestrel: -n takes a count from 1 to 1000000\n"},
      {"",
       {u"-n", u"3", u"-g", u"1", u"nosuchapp"},
       8,
       "kestrel: no process matched 'nosuchapp'\n"},
      {"", {u"-t", u"1", u"4242"}, 8, "kestrel: no process matched PID 4242\n"},
      // Nothing matched is no failure where nothing gates.
      {"", {u"-n", u"2", u"nosuchapp"}, 0, ""},
      // -t's count reached by no process the target matched: a pass.
      {"", {u"-t", u"100", u"note"}, 0, ""},
      {"interrupt\n",
       {u"-n", u"10", u"-g", u"5"},
       9,
       "kestrel: -g: the watch was interrupted after sample 3 of 10, before "
       "its last: the gate did not judge it\n"},
      {"interrupt\n",
       {u"-w", u"1", u"-g", u"5", u"note"},
       9,
       "kestrel: -g: the watch was interrupted after sample 3; without -n it "
       "has no last sample: the gate did not judge it\n"},
      {"interrupt\n",
       {u"-n", u"10", u"-g", u"1"},
       7,
       "kestrel: -g 1: notepad.exe (PID 600) GDI All 3 -> 4 (+1, +30.0/min), "
       "still growing +30.0/min\n"},
      // Without -n the gate judges what an interrupted watch saw, and
      // fires.
      {"interrupt\n",
       {u"-w", u"1", u"-g", u"1", u"note"},
       7,
       "kestrel: -g 1: notepad.exe (PID 600) GDI All 3 -> 4 (+1, +30.0/min), "
       "still growing +30.0/min\n"},
      // An interrupt during the last sample stops nothing early.
      {"interrupt\n", {u"-n", u"3", u"-g", u"5"}, 0, ""},
      // -t 6 lists System alone; notepad.exe still fails -g.
      {"",
       {u"-n", u"2", u"-t", u"6", u"-g", u"1"},
       7,
       std::string(kNotepadFailed) + " (not listed: under -t's count)\n"},
      {"",
       {u"-n", u"2", u"-t", u"6", u"-g", u"2"},
       6,
       "kestrel: -t 6: System (PID 4) reached GDI All 6 at sample 1\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Quoted(c.arguments) + " " + c.blocks);
    Use(kStart + c.blocks);
    EXPECT_EQ(c.code, Run(c.arguments));
    EXPECT_EQ(c.errors, errors_);
  }
}

// A process held at its quota can make no more objects: -g fails it though
// it no longer grows; one held a step below passes.
TEST_F(RunKestrelTest, GateAtTheQuota) {
  for (uint32_t held : {256u, 255u}) {
    SCOPED_TRACE(held);
    std::string session =
        "quota 256\nprocess 600 3 open notepad.exe\nsample\nprocess 600 " +
        std::to_string(held) + " open notepad.exe\n";
    for (int i = 0; i < 8; ++i)
      session += "sample\n";
    Use(session);
    EXPECT_EQ(held == 256 ? 7 : 0, Run({u"-n", u"10", u"-g", u"1", u"note"}));
    EXPECT_EQ(held == 256 ? "kestrel: -g 1: notepad.exe (PID 600) GDI All 3 -> "
                            "256 (+253, +1686.7/min), held at 256 since +1 s, "
                            "already at the quota\n"
                          : "",
              errors_);
  }
}

// A machine that sleeps for eight hours in the wait before sample 3: that
// sample is taken on waking, at the real time, and the next an interval
// later, not at once to catch up on the grid; -n counts the samples taken.
TEST_F(RunKestrelTest, WatchAfterSleep) {
  Use("process 600 3 open notepad.exe\n"
      "sample\n"
      "sample\n"
      "sleep 28800\n"
      "sample\n");
  ASSERT_EQ(0, Run({u"-w", u"15", u"-n", u"5", u"-o", u"json"}));
  std::string lines(output_.begin(), output_.end());
  for (const char* sample : {"{\"sample\":2,\"elapsedSeconds\":15,",
                             "\n{\"sample\":3,\"elapsedSeconds\":28830,",
                             "\n{\"sample\":4,\"elapsedSeconds\":28845,",
                             "\n{\"sample\":5,\"elapsedSeconds\":28860,"})
    EXPECT_NE(std::string::npos, lines.find(sample)) << sample;
  EXPECT_EQ(std::string::npos, lines.find("\"sample\":6,"));
}

// How an HTML watch ended, on its lead line: an interrupt during the last
// sample asked for stops nothing early; a failed sample is named; a watch
// whose first sample fails writes no page, as a single run does.
TEST_F(RunKestrelTest, HtmlWatchOutcomes) {
  const std::string kStart =
      "self 1000\n"
      "process 600 3 open notepad.exe\n"
      "table 4480\n"
      "entry 2 0xFFFFF90000002000 600 0x0230 16 0 0\n"
      "sample\n"
      "sample\n";
  const struct {
    std::string session;
    std::vector<std::u16string> arguments;
    int code;
    std::string lead;  // empty: no page
  } cases[] = {
      {kStart + "interrupt\n",
       {u"-n", u"3"},
       0,
       "3 samples, one every 1 s, over 2 s.</p>"},
      {kStart + "interrupt\n",
       {u"-n", u"4"},
       0,
       "3 samples, one every 1 s, over 2 s; stopped early by an interrupt.</p>"},
      {kStart + "snapshot fail\n",
       {u"-n", u"4"},
       2,
       "2 samples, one every 1 s, over 1 s; the watch ended at sample 3: the "
       "system state could not be read.</p>"},
      {"snapshot fail\n", {u"-n", u"4"}, 2, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Quoted(c.arguments) + " " + c.session);
    Use(c.session);
    std::vector<std::u16string> arguments = {u"-o", u"html"};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    EXPECT_EQ(c.code, Run(arguments));
    std::string page(output_.begin(), output_.end());
    if (c.lead.empty())
      EXPECT_EQ("", page);
    else
      EXPECT_NE(std::string::npos, page.find("<p class=\"lead\">" + c.lead))
          << page.substr(0, 2000);
  }
}

// A long watch gives a small page: each series is reduced as it arrives,
// the changes are kept within their share of the page.
TEST_F(RunKestrelTest, HtmlWatchOfAThousandSamplesUnderOneMegabyte) {
  Use(SyntheticWatchSession(1000, 60));
  EXPECT_EQ(0, Run({u"-o", u"html", u"-w", u"2", u"-n", u"1000"}));
  std::string html(output_.begin(), output_.end());
  EXPECT_LT(html.size(), 1000u * 1000u);
  // Ten lines in each of the two line charts, each drawn wide and narrow.
  size_t lines = 0;
  for (size_t at = html.find("<path class=\"series\""); at != std::string::npos;
       at = html.find("<path class=\"series\"", at + 1))
    ++lines;
  EXPECT_EQ(40u, lines);
  EXPECT_NE(std::string::npos,
            html.find("samples that had some, up to sample"));
  EXPECT_NE(std::string::npos, html.find("<h3>Sample 1000,"));
}

TEST_F(RunKestrelTest, OnePageTableListsCountsOfZero) {
  Use("self 1000\n"
      "process 4 6 open System\n"
      "table 4096\n");
  EXPECT_EQ(0, Run({}));
  EXPECT_EQ(
      Banner() + kSummaryHeader +
          u"     4        System                               0         6 \n",
      output_);
}

TEST_F(RunKestrelTest, OutOfMemoryPropagates) {
  failNothrowNew = true;
  std::u16string output;
  {
    Output out(&output);
    EXPECT_THROW(RunKestrel({u"-c"}, out), OutOfMemoryError);
  }
  failNothrowNew = false;
  EXPECT_EQ(Banner(), output);
  // The snapshot handle is closed on the way out.
  EXPECT_EQ(0u, platform::OpenHandleCount());
}

// Handles that could not be kept are counted, and the handle view says how
// many it could not list; the other views are whole.
TEST_F(RunKestrelTest, HandlesThatCannotBeKept) {
  SetHandleListGrowthForTesting([](void*, size_t) -> void* { return nullptr; });
  EXPECT_EQ(3, Run({u"-c", u"-v", u"600"}));
  EXPECT_EQ(Banner() + kNotepadPid + kCountsHeader + kNotepadCounts +
                kHandleHeader + u"\n",
            output_);
  EXPECT_EQ("kestrel: out of memory: 3 handles could not be listed\n", errors_);
  EXPECT_EQ(0, Run({u"-c", u"600"}));
  EXPECT_EQ(Banner() + kNotepadPid + kCountsHeader + kNotepadCounts + u"\n",
            output_);
  EXPECT_EQ("", errors_);
}

// A document under -v whose handles could not all be kept is not written
// at all, in every format that takes -v: it would list fewer handles than
// its counts say, and a reader could not tell.
TEST_F(RunKestrelTest, DocumentWithHandlesLostIsNotWritten) {
  SetHandleListGrowthForTesting([](void*, size_t) -> void* { return nullptr; });
  for (const char16_t* format : {u"csv", u"json", u"html"}) {
    SCOPED_TRACE(Quoted({format}));
    EXPECT_EQ(3, Run({u"-o", format, u"-v", u"600"}));
    EXPECT_EQ(u"", output_);
    EXPECT_EQ("kestrel: out of memory: 3 handles could not be listed\n",
              errors_);
  }
}

// KestrelMain reads its session from the file KESTREL_SESSION names.
class KestrelMainTest : public RunKestrelTest {
 protected:
  void SetUp() override {
    RunKestrelTest::SetUp();
    const char* old = std::getenv("KESTREL_SESSION");
    hadSession_ = old != nullptr;
    if (old)
      oldSession_ = old;
    path_ = testing::TempDir() + "kestrel_main_test_session.txt";
    std::FILE* file = std::fopen(path_.c_str(), "wb");
    ASSERT_NE(nullptr, file);
    std::fputs(kSession, file);
    std::fclose(file);
    setenv("KESTREL_SESSION", path_.c_str(), 1);
  }
  void TearDown() override {
    if (hadSession_)
      setenv("KESTREL_SESSION", oldSession_.c_str(), 1);
    else
      unsetenv("KESTREL_SESSION");
    std::remove(path_.c_str());
    RunKestrelTest::TearDown();
  }

  int Main(const std::vector<std::u16string>& arguments) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int code = KestrelMain([&] { return arguments; });
    errors_ = testing::internal::GetCapturedStderr();
    stdout_ = testing::internal::GetCapturedStdout();
    return code;
  }

  static std::string Narrow(const std::u16string& text) {
    return std::string(text.begin(), text.end());
  }

  bool hadSession_ = false;
  std::string oldSession_;
  std::string path_;
  std::string stdout_;
};

TEST_F(KestrelMainTest, OutOfMemory) {
  failNothrowNew = true;
  int code = Main({});
  failNothrowNew = false;
  EXPECT_EQ(3, code);
  EXPECT_EQ(Narrow(Banner()), stdout_);
  EXPECT_EQ("kestrel: out of memory\n", errors_);
  EXPECT_EQ(0u, platform::OpenHandleCount());
}

// A watch of metrics whose -O file cannot be replaced goes on to its last
// sample, says so once, and exits 5 since the last replace failed.
TEST_F(KestrelMainTest, MetricsWatchOutlastsAFileItCannotReplace) {
  std::string folder = testing::TempDir() + "kestrel_main_test_folder";
  ASSERT_EQ(0, mkdir(folder.c_str(), 0755));
  int code = Main({u"-o", u"prometheus", u"-w", u"1", u"-n", u"3", u"-O",
                   std::u16string(folder.begin(), folder.end())});
  rmdir(folder.c_str());
  EXPECT_EQ(5, code);
  EXPECT_EQ("kestrel: cannot write " + folder + ": Is a directory\n", errors_);
  EXPECT_EQ("", stdout_);
  // The simulated clock moved to the third sample.
  EXPECT_EQ(2000u, platform::MonotonicMilliseconds());
}

}  // namespace
