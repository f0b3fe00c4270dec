// Hostile input for the host kestrel binary, end to end: huge argument
// vectors, huge arguments, bytes that are not UTF-8, huge sessions and too
// little memory. Each run must end with a defined exit code and sensible
// output, never with a crash.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/exit_codes.h"
#include "cli/run.h"
#include "output/output.h"
#include "platform/sim/sim_control.h"

extern char** environ;

#if defined(__SANITIZE_ADDRESS__)
#define KESTREL_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KESTREL_UNDER_ASAN 1
#endif
#endif

namespace {

const char kBannerStart[] = "\nkestrel v1.0 - List windows gdi handles.\n";

struct Result {
  int exitCode = -1;  // -1 when a signal ended the run
  int signal = 0;
  std::string out;
  std::string err;
};

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// Writes and removes the files of one test.
class Scratch {
 public:
  Scratch() {
    std::string pattern = testing::TempDir() + "kestrel-hostile-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()))
      dir_ = buffer.data();
  }
  ~Scratch() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  std::string Write(const std::string& name, const std::string& text) const {
    std::ofstream(Path(name), std::ios::binary) << text;
    return Path(name);
  }

 private:
  std::string dir_;
};

// Runs the binary with `arguments` over the session file `session` (the
// built-in sample when empty); a non-zero `addressSpace` limits the child's
// address space (RLIMIT_AS) to that many bytes. Output goes through files,
// so that a run of any size cannot fill a pipe.
Result RunBinary(const Scratch& scratch,
                 const std::vector<std::string>& arguments,
                 const std::string& session, rlim_t addressSpace = 0) {
  std::string binary = KESTREL_BINARY;
  std::vector<char*> argv;
  argv.push_back(binary.data());
  std::vector<std::string> copies = arguments;
  for (std::string& argument : copies)
    argv.push_back(argument.data());
  argv.push_back(nullptr);

  std::vector<std::string> environment;
  for (char** entry = environ; *entry; ++entry) {
    if (std::strncmp(*entry, "KESTREL_SESSION=", 16) != 0)
      environment.push_back(*entry);
  }
  if (!session.empty())
    environment.push_back("KESTREL_SESSION=" + session);
  std::vector<char*> envp;
  for (std::string& entry : environment)
    envp.push_back(entry.data());
  envp.push_back(nullptr);

  std::string outPath = scratch.Path("stdout");
  std::string errPath = scratch.Path("stderr");
  int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  Result result;
  if (out < 0 || err < 0) {
    ADD_FAILURE() << "cannot create the output files in " << scratch.Path("");
    return result;
  }
  pid_t child = fork();
  if (child == 0) {
    // Only async-signal-safe calls between fork and exec.
    if (addressSpace != 0) {
      struct rlimit limit = {addressSpace, addressSpace};
      setrlimit(RLIMIT_AS, &limit);
    }
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    execve(binary.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  close(out);
  close(err);
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child) {
    ADD_FAILURE() << "cannot run " << binary;
    return result;
  }
  if (WIFEXITED(status))
    result.exitCode = WEXITSTATUS(status);
  else if (WIFSIGNALED(status))
    result.signal = WTERMSIG(status);
  result.out = ReadFile(outPath);
  result.err = ReadFile(errPath);
  return result;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);)
    lines.push_back(line);
  return lines;
}

size_t Count(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos;
       at = text.find(what, at + what.size()))
    ++count;
  return count;
}

// A small desktop: processes with handles of a few types, two of them with
// one and two U+FFFD in their names (written as UTF-8).
const char kSmallSession[] =
    "self 1000\n"
    "process 1000 4 open kestrel.exe\n"
    "process 2212 40 open explorer.exe\n"
    "process 3000 7 open notepad.exe\n"
    "process 3100 2 open caf\xEF\xBF\xBD.exe\n"
    "process 3200 2 open x\xEF\xBF\xBD\xEF\xBF\xBDy.exe\n"
    "table 8192\n"
    "entry 0 0xFFFFF90000001000 2212 1 48 0 0\n"
    "entry 1 0xFFFFF90000001020 2212 2 16 0 0\n"
    "entry 2 0xFFFFF90000001040 3000 3 1 0 0\n"
    "entry 3 0xFFFFF90000001060 3001 4 33 0 0\n"
    "entry 4 0xFFFFF90000001080 3100 5 5 0 0\n"
    "entry 5 0xFFFFF900000010A0 3200 6 10 0 0\n";

// Summary rows start with the PID right-aligned in six columns.
bool ListsPid(const std::string& out, int pid) {
  char row[16];
  std::snprintf(row, sizeof(row), "\n% 6d        ", pid);
  return out.find(row) != std::string::npos;
}

std::string SummaryRow(int pid, const char* name, int total, int all) {
  char row[128];
  std::snprintf(row, sizeof(row), "% 6d        %-28s     % 5d     % 5d \n", pid,
                name, total, all);
  return row;
}

void ExpectBannerOnly(const Result& result) {
  EXPECT_EQ(result.out.rfind(kBannerStart, 0), 0u);
  EXPECT_EQ(Count(result.out, "\n"), 5u) << result.out.substr(0, 2000);
}

TEST(HostileTest, TenThousandArguments) {
  Scratch scratch;
  std::string session = scratch.Write("small.txt", kSmallSession);

  std::vector<std::string> counts(9999, "-c");
  counts.push_back("explorer");
  Result result = RunBinary(scratch, counts, session);
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_NE(result.out.find("PID:  2212  Name: explorer.exe"),
            std::string::npos);
  EXPECT_EQ(Count(result.out, "PID:"), 1u);
  EXPECT_EQ(Count(result.out, " Pen ExtPen Brush"), 1u);
  EXPECT_EQ(result.err, "");

  // PID 0 is no target yet, so it may be given again and again; it matches
  // no process.
  result = RunBinary(scratch, std::vector<std::string>(10000, "0"), session);
  EXPECT_EQ(result.exitCode, 0);
  ExpectBannerOnly(result);

  std::vector<std::string> names;
  for (int i = 0; i < 10000; ++i)
    names.push_back("name" + std::to_string(i));
  result = RunBinary(scratch, names, session);
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.out.find("usage: kestrel.exe"), std::string::npos);
  EXPECT_EQ(result.err,
            "kestrel: one process name or PID only: 'name1' follows 'name0'\n");

  std::vector<std::string> filters;
  for (int i = 0; i < 3333; ++i)
    filters.insert(filters.end(), {"-v", "-f", i % 2 ? "brush" : "pen"});
  filters.push_back("explorer");
  result = RunBinary(scratch, filters, session);
  EXPECT_EQ(result.exitCode, 0);
  // The last filter, "pen", wins.
  EXPECT_EQ(Count(result.out, "    Pen    "), 1u);
  EXPECT_EQ(Count(result.out, "    Brush    "), 0u);
}

// Linux passes no single argument longer than MAX_ARG_STRLEN (32 pages,
// terminator included), and Windows no command line longer than 32,767
// units, so the longest argument the binary can get is 131,071 bytes. A
// 1 MiB argument is handed to the run in-process below.
constexpr size_t kLongestArgument = 32 * 4096 - 1;

TEST(HostileTest, LongestArgumentThatTheSystemPasses) {
  Scratch scratch;
  std::string session = scratch.Write("small.txt", kSmallSession);

  Result result =
      RunBinary(scratch, {std::string(kLongestArgument, 'x')}, session);
  EXPECT_EQ(result.exitCode, 0);
  ExpectBannerOnly(result);

  std::string pid = std::string(kLongestArgument - 4, '0') + "3000";
  result = RunBinary(scratch, {pid}, session);
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_TRUE(ListsPid(result.out, 3000)) << result.out;
  EXPECT_EQ(Count(result.out, "\n"), 7u);  // banner, header, one row

  result = RunBinary(scratch, {std::string(kLongestArgument, '9')}, session);
  EXPECT_EQ(result.exitCode, 0);
  ExpectBannerOnly(result);

  result = RunBinary(
      scratch, {"-v", "-f", std::string(kLongestArgument, 'p'), "explorer"},
      session);
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_NE(result.out.find("PID:  2212"), std::string::npos);
  EXPECT_EQ(Count(result.out, "0x"), 0u);  // no handle passes the filter
}

TEST(HostileTest, OneMebibyteArgumentInProcess) {
  std::string error;
  ASSERT_TRUE(platform::UseSessionText(kSmallSession, &error)) << error;
  const size_t kMebibyte = 1 << 20;
  struct Case {
    std::vector<std::u16string> arguments;
    int exitCode;
    const char16_t* expected;  // in the output after the banner, or null
  };
  const Case cases[] = {
      {{std::u16string(kMebibyte, u'x')}, kExitSuccess, nullptr},
      {{std::u16string(kMebibyte - 4, u'0') + u"3000"},
       kExitSuccess,
       u"\n  3000        notepad.exe"},
      {{std::u16string(kMebibyte, u'9')}, kExitSuccess, nullptr},
      {{u"-v", u"-f", std::u16string(kMebibyte, u'n'), u"notepad"},
       kExitSuccess,
       u"Handle                Object Type           Kernel Address\n\n"},
      {{u"notepad", std::u16string(kMebibyte, u'-')}, kExitUsage, u"usage: "},
  };
  for (const Case& c : cases) {
    std::u16string text;
    int code;
    {
      Output out(&text);
      code = RunKestrel(c.arguments, out);
    }
    EXPECT_EQ(code, c.exitCode);
    size_t banner = 0;
    for (int line = 0; line < 5; ++line)
      banner = text.find(u'\n', banner) + 1;
    std::u16string rest = text.substr(banner);
    if (c.expected)
      EXPECT_NE(rest.find(c.expected), std::u16string::npos);
    else
      EXPECT_EQ(rest, u"");
  }
}

TEST(HostileTest, ArgumentsThatAreNotUtf8) {
  Scratch scratch;
  std::string session = scratch.Write("small.txt", kSmallSession);
  struct Case {
    const char* what;
    std::vector<std::string> arguments;
    int listedPid;  // 0: nothing is listed
  };
  const Case cases[] = {
      // Each bad byte reaches the program as U+FFFD, so the names match.
      {"Latin-1 byte", {"caf\xE9"}, 3100},
      {"two stray bytes", {"x\xFF\xFEy"}, 3200},
      {"truncated sequence", {"x\xC3\xC3y"}, 3200},
      {"overlong slash, two bytes", {"\xC0\xAF"}, 3200},
      // Three and four replacement characters: a run that long is in no name.
      {"encoded surrogate", {"\xED\xA0\x80"}, 0},
      {"past U+10FFFF", {"\xF4\x90\x80\x80"}, 0},
      {"digit and a bad byte is a name", {"3000\x80"}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Result result = RunBinary(scratch, c.arguments, session);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "");
    if (c.listedPid) {
      EXPECT_TRUE(ListsPid(result.out, c.listedPid)) << result.out;
      EXPECT_EQ(Count(result.out, "\n"), 7u);
    } else {
      ExpectBannerOnly(result);
    }
  }

  // A filter of replacement characters matches no type name.
  Result result =
      RunBinary(scratch, {"-v", "-f", "\xC0\xAF", "explorer"}, session);
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_NE(result.out.find("PID:  2212"), std::string::npos);
  EXPECT_EQ(Count(result.out, "0x"), 0u);
}

TEST(HostileTest, HundredThousandProcesses) {
  Scratch scratch;
  const int kProcesses = 100000;
  std::string text = "self 1\ntable 8192\n";
  for (int i = 0; i < kProcesses; ++i) {
    text += "process " + std::to_string(8 + 4 * i) + " " +
            std::to_string(1 + i % 50) + " open p" + std::to_string(i) +
            ".exe\n";
  }
  text += "entry 0 0xFFFFF90000001000 8 1 16 0 0\n";
  text += "entry 1 0xFFFFF90000001020 400004 2 48 0 0\n";
  std::string session = scratch.Write("processes.txt", text);

  Result result = RunBinary(scratch, {}, session);
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.err, "");
  std::vector<std::string> lines = Lines(result.out);
  ASSERT_EQ(lines.size(), 5u + 1 + kProcesses);
  EXPECT_EQ(lines[5].rfind("Process ID", 0), 0u);
  // Every process once, whatever the order the table's bins give.
  std::vector<bool> seen(kProcesses);
  for (size_t i = 6; i < lines.size(); ++i) {
    int pid = std::atoi(lines[i].c_str());
    ASSERT_TRUE(pid >= 8 && (pid - 8) % 4 == 0 && (pid - 8) / 4 < kProcesses)
        << lines[i];
    EXPECT_FALSE(seen[(pid - 8) / 4]) << lines[i];
    seen[(pid - 8) / 4] = true;
  }
  // The entries' owners got their counts.
  EXPECT_NE(result.out.find(SummaryRow(8, "p0.exe", 1, 1)), std::string::npos);
  EXPECT_NE(result.out.find(SummaryRow(400004, "p99999.exe", 1, 50)),
            std::string::npos);
}

TEST(HostileTest, SixteenMebibyteRegionFullOfUsedEntries) {
  Scratch scratch;
  const uint64_t kRegion = 16 << 20;
  const uint32_t kEntries = static_cast<uint32_t>((kRegion - 4096) / 24);
  const int kRecorded = 64;  // owners 0-63 of 80 are recorded processes
  const int kOwners = 80;
  const int kTypes[] = {1, 4, 5, 6, 8, 10, 16, 33, 37, 38, 48, 70, 80, 102, 7};

  std::string path = scratch.Path("region.txt");
  FILE* file = std::fopen(path.c_str(), "w");
  ASSERT_NE(file, nullptr);
  std::fprintf(file, "self 1\n");
  for (int owner = 0; owner < kRecorded; ++owner)
    std::fprintf(file, "process %d 1 open owner%d.exe\n", 8 + 4 * owner, owner);
  std::fprintf(file, "table %llu\n", static_cast<unsigned long long>(kRegion));
  // Only the first 65,536 entries are read: no handle names one beyond.
  std::map<int, int> expected;  // PID -> entries
  for (uint32_t i = 0; i < kEntries; ++i) {
    int owner = static_cast<int>(i % kOwners);
    int pid = 8 + 4 * owner;
    if (owner < kRecorded && i < 65536)
      ++expected[pid];
    // Bit 0 of the owner word is set on every other entry.
    std::fprintf(file, "entry %u 0x%llX %u %u %d 0 0\n", i,
                 0xFFFFF90000000000ull + 32ull * i, pid | ((i / kOwners) & 1),
                 i & 0xFFFF, kTypes[i % 15]);
  }
  ASSERT_EQ(std::fclose(file), 0);

  Result result = RunBinary(scratch, {}, path);
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.err, "");
  std::vector<std::string> lines = Lines(result.out);
  ASSERT_EQ(lines.size(), 5u + 1 + kRecorded);
  for (size_t i = 6; i < lines.size(); ++i) {
    std::istringstream row(lines[i]);
    int pid = 0, total = 0, all = 0;
    std::string name;
    row >> pid >> name >> total >> all;
    EXPECT_EQ(total, expected[pid]) << lines[i];
  }

  result = RunBinary(scratch, {"-c", "-v"}, path);
  EXPECT_EQ(result.exitCode, 0);
  int listed = 0;
  for (const auto& entry : expected)
    listed += entry.second;
  // Per block: the PID line, two count lines, the handle header, the handles
  // and one empty line.
  EXPECT_EQ(Lines(result.out).size(), 5u + static_cast<size_t>(kRecorded) * 5 +
                                          static_cast<size_t>(listed));
  EXPECT_EQ(Count(result.out, "\n0x"), static_cast<size_t>(listed));
}

// A description that never ends a line is cut at the line limit, not read
// until memory runs out.
TEST(HostileTest, SessionOfDevZero) {
  Scratch scratch;
  Result result = RunBinary(scratch, {}, "/dev/zero");
  EXPECT_EQ(result.exitCode, 4);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err,
            "kestrel: /dev/zero:1: the line is longer than 65536 bytes\n");
}

TEST(HostileTest, OutOfMemory) {
#ifdef KESTREL_UNDER_ASAN
  GTEST_SKIP()
      << "AddressSanitizer reserves more address space than any limit allows";
#else
  Scratch scratch;
  struct Case {
    const char* what;
    int processes;
    size_t nameLength;
    rlim_t limit;
  };
  // About 7 MiB of address space starts the binary. Short names fit the
  // session in memory and exhaust it in the process table; long ones exhaust
  // it while the session is read.
  const Case cases[] = {
      {"process table", 50000, 4, 16 << 20},
      {"session", 100000, 150, 12 << 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string text = "self 1\ntable 4096\n";
    for (int i = 0; i < c.processes; ++i) {
      text += "process " + std::to_string(8 + 4 * i) + " 3 open " +
              std::string(c.nameLength, 'n') + std::to_string(i) + "\n";
    }
    std::string session = scratch.Write("many.txt", text);
    Result result = RunBinary(scratch, {}, session, c.limit);
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.err, "kestrel: out of memory\n");
    // Nothing is listed: at most the banner came out before.
    EXPECT_TRUE(result.out.empty() || result.out.rfind(kBannerStart, 0) == 0);
    EXPECT_EQ(result.out.find("Process ID"), std::string::npos);
  }
  // A table region larger than the memory left.
  Result result = RunBinary(
      scratch, {}, scratch.Write("region.txt", "table 1073741824\n"), 16 << 20);
  EXPECT_EQ(result.exitCode, 3);
  EXPECT_EQ(result.err, "kestrel: out of memory\n");
#endif
}

// A watch that runs out of memory at its third sample (30,000 processes
// appear) replaces -O's file with the two samples it had and the growth
// report, as it prints them on standard output, then exits 3.
TEST(HostileTest, OutOfMemoryLateInAWatchKeepsItsSamples) {
#ifdef KESTREL_UNDER_ASAN
  GTEST_SKIP()
      << "AddressSanitizer reserves more address space than any limit allows";
#else
  Scratch scratch;
  std::string text =
      "self 1\nprocess 1 4 open kestrel.exe\n"
      "process 8 7 open notepad.exe\ntable 4096\n"
      "sample\nprocess 8 9 open notepad.exe\nsample\n";
  for (int i = 0; i < 30000; ++i)
    text += "process " + std::to_string(12 + 4 * i) + " 3 open n\n";
  std::string session = scratch.Write("late.txt", text);
  std::string file = scratch.Write("watch.txt", "old\n");
  const std::vector<std::string> watch = {"-w", "1", "-n", "4"};
  Result printed = RunBinary(scratch, watch, session, 24 << 20);
  std::vector<std::string> toFile = watch;
  toFile.insert(toFile.end(), {"-O", file});
  Result written = RunBinary(scratch, toFile, session, 24 << 20);
  for (const Result* result : {&printed, &written}) {
    EXPECT_EQ(result->signal, 0);
    EXPECT_EQ(result->exitCode, 3);
    EXPECT_EQ(result->err, "kestrel: out of memory\n");
  }
  EXPECT_EQ(written.out, "");
  EXPECT_EQ(ReadFile(file), printed.out);
  EXPECT_EQ(Count(printed.out, "\nSample "), 2u);
  EXPECT_NE(printed.out.find("\nGrowth over 2 samples, 1 s:\n"),
            std::string::npos);
  EXPECT_NE(printed.out.find("notepad.exe                   GDI All 7 -> 9"),
            std::string::npos);
#endif
}

// An HTML watch under less and less memory: whatever the limit, -O's file is
// a whole page (or, when the first sample fails, its old content), and at
// some limit between a sample failing and the watch ending well, memory
// runs out while the page is written, which then ends at its last whole
// part with a note that says so.
TEST(HostileTest, HtmlWatchThatRunsOutOfMemoryInItsPageEndsAsAPage) {
#ifdef KESTREL_UNDER_ASAN
  GTEST_SKIP()
      << "AddressSanitizer reserves more address space than any limit allows";
#else
  Scratch scratch;
  // 3,000 processes that grow: a thousand rows of the growth table.
  std::string text = "self 1\nprocess 1 4 open kestrel.exe\ntable 4096\n";
  for (int i = 0; i < 3000; ++i)
    text += "process " + std::to_string(8 + 4 * i) + " 3 open p.exe\n";
  text += "sample\n";
  for (int i = 0; i < 3000; ++i)
    text += "process " + std::to_string(8 + 4 * i) + " " +
            std::to_string(10 + i % 50) + " open p.exe\n";
  std::string session = scratch.Write("grow.txt", text);
  std::string file = scratch.Path("watch.html");
  auto run = [&](rlim_t limit) {
    std::ofstream(file) << "old\n";
    return RunBinary(scratch, {"-w", "1", "-n", "2", "-o", "html", "-O", file},
                     session, limit);
  };
  // The least memory the watch ends well in, to 64 KiB.
  rlim_t low = 8 << 20, high = 256 << 20;
  ASSERT_EQ(0, run(high).exitCode);
  while (high - low > (64 << 10)) {
    rlim_t middle = low + (high - low) / 2;
    (run(middle).exitCode == 0 ? high : low) = middle;
  }
  int cut = 0;
  for (rlim_t limit = high; limit > (8 << 20); limit -= 64 << 10) {
    SCOPED_TRACE(limit);
    Result result = run(limit);
    std::string page = ReadFile(file);
    EXPECT_EQ(result.signal, 0);
    if (page == "old\n" ||
        page.find("; the watch ended at sample") != std::string::npos)
      break;
    if (result.exitCode == 0)
      continue;
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.err, "kestrel: out of memory\n");
    EXPECT_NE(page.find("<p class=\"note\">Memory ran out while this page "
                        "was written: the rest of it is left out.</p>"),
              std::string::npos);
    EXPECT_NE(page.find("<h2>Growth</h2>"), std::string::npos);
    EXPECT_EQ(page.substr(page.size() - 8), "</html>\n");
    ++cut;
  }
  EXPECT_GT(cut, 0);
  // No .tmp file stays.
  for (const auto& entry :
       std::filesystem::directory_iterator(scratch.Path("")))
    EXPECT_NE(entry.path().extension(), ".tmp") << entry.path();
#endif
}

}  // namespace
