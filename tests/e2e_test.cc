// End-to-end tests of the host kestrel binary. Each test runs the program as
// a child process over a session description that it writes to a temporary
// directory (or over the built-in sample session), and compares standard
// output, standard error and the exit code with text derived from the output
// formats, byte for byte.
//
// The golden files under tests/golden hold the sample session's output in
// each view. To rewrite them after an intended change of the output:
//   KESTREL_UPDATE_GOLDEN=1 kestrel_e2e_tests --gtest_filter='Golden*'
// then review the difference line by line before committing it.
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <termios.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

extern char** environ;

namespace {

// ---------------------------------------------------------------------------
// Running the program.

struct RunResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs the kestrel binary with `args`. `session` names the session file, or
// is null for the built-in sample. `extraEnv` holds "NAME=value" entries
// that replace or add to the inherited environment. `stdoutFile`, when set,
// is opened as standard output instead of the pipe that fills `out`.
RunResult RunKestrel(const std::vector<std::string>& args,
                     const std::string* session,
                     const std::vector<std::string>& extraEnv = {},
                     const char* stdoutFile = nullptr) {
  RunResult result;

  std::vector<std::string> env;
  auto overridden = [&](const char* entry) {
    const char* equals = std::strchr(entry, '=');
    if (!equals)
      return false;
    std::string name(entry, static_cast<size_t>(equals - entry) + 1);
    if (name == "KESTREL_SESSION=")
      return true;
    for (const std::string& extra : extraEnv) {
      if (extra.compare(0, name.size(), name) == 0)
        return true;
    }
    return false;
  };
  for (char** entry = environ; *entry; ++entry) {
    if (!overridden(*entry))
      env.push_back(*entry);
  }
  for (const std::string& extra : extraEnv)
    env.push_back(extra);
  if (session)
    env.push_back("KESTREL_SESSION=" + *session);

  std::vector<char*> envp;
  for (std::string& entry : env)
    envp.push_back(entry.data());
  envp.push_back(nullptr);

  std::string binary = KESTREL_BINARY;
  std::vector<std::string> argStorage = {binary};
  argStorage.insert(argStorage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argStorage)
    argv.push_back(arg.data());
  argv.push_back(nullptr);

  int outPipe[2], errPipe[2];
  if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe: " << std::strerror(errno);
    return result;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (stdoutFile)
    posix_spawn_file_actions_addopen(&actions, 1, stdoutFile, O_WRONLY, 0);
  else
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
  pid_t child;
  int spawned = posix_spawn(&child, binary.c_str(), &actions, nullptr,
                            argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(outPipe[1]);
  close(errPipe[1]);
  if (spawned != 0) {
    close(outPipe[0]);
    close(errPipe[0]);
    ADD_FAILURE() << "cannot run " << binary << ": " << std::strerror(spawned);
    return result;
  }

  // Drain both pipes together, so that neither fills up and stalls the child.
  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open = 2;
  while (open > 0) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR)
        continue;
      ADD_FAILURE() << "poll: " << std::strerror(errno);
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0)
        continue;
      char buffer[65536];
      ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  for (pollfd& fd : fds) {
    if (fd.fd >= 0)
      close(fd.fd);
  }

  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) {
    result.exitCode = WEXITSTATUS(status);
  } else {
    ADD_FAILURE() << "kestrel ended by signal " << WTERMSIG(status);
    result.exitCode = 128 + WTERMSIG(status);
  }
  return result;
}

// Whether the locale the program asks for as "chs" exists here.
bool HaveGbkLocale() {
  std::string saved = std::setlocale(LC_ALL, nullptr);
  bool found = std::setlocale(LC_ALL, "zh_CN.GBK") != nullptr;
  std::setlocale(LC_ALL, saved.c_str());
  return found;
}

// Where two outputs part, for a readable failure message on long outputs.
std::string FirstDifference(const std::string& expected,
                            const std::string& actual) {
  std::istringstream e(expected), a(actual);
  std::string expectedLine, actualLine;
  for (int line = 1;; ++line) {
    bool moreExpected = static_cast<bool>(std::getline(e, expectedLine));
    bool moreActual = static_cast<bool>(std::getline(a, actualLine));
    if (!moreExpected && !moreActual)
      return "the outputs differ only in their final newline";
    if (!moreExpected || !moreActual || expectedLine != actualLine) {
      return "line " + std::to_string(line) + ":\n  expected: " +
             (moreExpected ? "\"" + expectedLine + "\"" : "<end>") +
             "\n  actual:   " +
             (moreActual ? "\"" + actualLine + "\"" : "<end>");
    }
  }
}

// ---------------------------------------------------------------------------
// Expected output, from the output formats.

const std::string kBanner =
    "\n"
    "kestrel v1.0 - List windows gdi handles.\n"
    "Host build: the system state is simulated, not read from Windows.\n"
    "Session: the built-in sample, or the file named by KESTREL_SESSION.\n"
    "\n";

const std::string kUsage =
    "usage: kestrel.exe [-c] [-v [-f <filter>]] [processname|pid]\n"
    "  processname   List GDI handles loaded by process (partial name accepted)\n"
    "  pid           List GDI handles associated with the specified process id\n"
    "  -c            Show GDI count information.\n"
    "  -v            Show GDI handle information.\n"
    "  -f            Filter the GDI handle type.\n";

const std::string kSummaryHeader =
    "Process ID    Process Name                  GDI Total    GDI All\n";

const std::string kCountHeader =
    " Pen ExtPen Brush Bitmap Font Palette Region   DC MetaDC EnhMetaDC "
    "OtherGDi\n";

const std::string kHandleHeader =
    "Handle                Object Type           Kernel Address\n";

const std::string kSnapshotMessage =
    "kestrel: cannot take a snapshot of the running processes\n";
const std::string kLocateMessage =
    "kestrel: cannot locate the GDI shared handle table\n";

// The helpers below render the formats with the C library's printf, which
// counts a width in bytes: they serve ASCII names only.

std::string SummaryRow(int pid, const char* name, int total, int all) {
  char line[512];
  std::snprintf(line, sizeof line, "% 6d        %-28s     % 5d     % 5d \n",
                pid, name, total, all);
  return line;
}

std::string PidLine(int pid, const char* name, int total, int all) {
  char line[512];
  std::snprintf(line, sizeof line,
                "PID:% 6d  Name: %-28s  GDI Total:% 5d  All:% 5d \n", pid, name,
                total, all);
  return line;
}

// Pen, ExtPen, Brush, Bitmap, Font, Palette, Region, DC, MetaDC, EnhMetaDC,
// OtherGDi.
struct Counts {
  int pen, extPen, brush, bitmap, font, palette, region, dc, metaDc, enhMetaDc,
      other;
};

std::string CountLines(const Counts& c) {
  char line[256];
  std::snprintf(line, sizeof line,
                "% 4d  % 4d   % 4d  % 4d  % 4d   % 4d   % 4d  % 4d  % 4d     "
                "% 4d     % 4d\n",
                c.pen, c.extPen, c.brush, c.bitmap, c.font, c.palette, c.region,
                c.dc, c.metaDc, c.enhMetaDc, c.other);
  return kCountHeader + line;
}

std::string HandleLine(unsigned long long handle, const char* type,
                       unsigned long long kernel) {
  char line[256];
  std::snprintf(line, sizeof line, "0x%016llX    %-18s    0x%016llX\n", handle,
                type, kernel);
  return line;
}

// ---------------------------------------------------------------------------
// The fixture: a temporary directory for session files.

class KestrelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::path base = std::filesystem::temp_directory_path();
    std::string pattern = (base / "kestrel-e2e-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr) << std::strerror(errno);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  std::string WriteSession(const std::string& text,
                           const std::string& name = "session.txt") {
    std::string path = (std::filesystem::path(dir_) / name).string();
    std::ofstream file(path, std::ios::binary);
    file << text;
    EXPECT_TRUE(file.good()) << "cannot write " << path;
    return path;
  }

  RunResult Run(const std::string& sessionText,
                const std::vector<std::string>& args,
                const std::vector<std::string>& extraEnv = {}) {
    std::string path = WriteSession(sessionText);
    return RunKestrel(args, &path, extraEnv);
  }

  // Runs and expects a complete run: exit code 0, `expected` on standard
  // output after the banner, nothing on standard error.
  void ExpectListing(const std::string& sessionText,
                     const std::vector<std::string>& args,
                     const std::string& expected) {
    RunResult result = Run(sessionText, args);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, kBanner + expected)
        << FirstDifference(kBanner + expected, result.out);
    EXPECT_EQ(result.err, "");
  }

  std::string dir_;
};

std::string ArgsText(const std::vector<std::string>& args) {
  std::string text;
  for (const std::string& arg : args)
    text += " \"" + arg + "\"";
  return text.empty() ? " (none)" : text;
}

// ---------------------------------------------------------------------------
// The summary listing.

// PIDs 4 and 21 share bin 4 of 17, and 123456 is in bin 2. The table's
// totals differ from GetGuiResources' counts. A denied process and one
// without GDI objects are not listed, though table entries name them.
const char kShapesSession[] =
    "# the summary's row shapes\n"
    "process 4 6 open System\n"
    "process 21 9 open fontdrvhost.exe\n"
    "process 123456 3 open a-very-long-executable-name-here.exe\n"
    "process 30 5 denied secret.exe\n"
    "process 40 0 open idle.exe\n"
    "entry 1 0xFFFFF90000001000 4 0x0110 16 0 0\n"
    "entry 2 0xFFFFF90000002000 5 0x0201 1 0 0\n"
    "entry 3 0xFFFFF90000003000 123456 0x0305 5 0 0\n"
    "entry 4 0xFFFFF90000004000 30 0x0410 16 0 0\n"
    "entry 5 0xFFFFF90000005000 40 0x0510 16 0 0\n";

TEST_F(KestrelTest, SummaryRowShapesAndBinOrder) {
  ExpectListing(
      kShapesSession, {},
      "Process ID    Process Name                  GDI Total    GDI All\n"
      " 123456        a-very-long-executable-name-here.exe         1         3 \n"
      "    21        fontdrvhost.exe                      0         9 \n"
      "     4        System                               2         6 \n");
}

// "GDI Total" counts the used entries of the table that the scan reaches:
// owner words with bit 0 set count for the even PID, free entries (type 0)
// and entries of unlisted owners count for no one, and the region's last
// page holds no entries.
TEST_F(KestrelTest, SummaryTotalsComeFromTheTable) {
  const char session[] =
      "process 4 6 open System\n"
      "process 8 2 open b.exe\n"
      "table 4336\n"  // one page and ten entries
      "entry 0 0xFFFFF90000000100 4 0 16 0 0\n"
      "entry 3 0xFFFFF90000000200 5 0 1 0 0\n"
      "entry 4 0xFFFFF90000000300 4 0 0 0 0\n"
      "entry 5 0xFFFFF90000000400 8 0 48 0 0\n"
      "entry 6 0xFFFFF90000000500 9 0 48 0 0\n"
      "entry 7 0xFFFFF90000000600 12 0 16 0 0\n"
      "entry 9 0xFFFFF90000000700 4 0 4 0 0\n"
      "entry 10 0xFFFFF90000000800 4 0 4 0 0\n"
      "entry 170 0xFFFFF90000000900 8 0 4 0 0\n";
  ExpectListing(session, {},
                kSummaryHeader + SummaryRow(4, "System", 3, 6) +
                    SummaryRow(8, "b.exe", 2, 2));
}

// A protected process opens with the limited query right alone, which is
// all the census asks for.
TEST_F(KestrelTest, ProtectedProcessIsListed) {
  ExpectListing(
      "process 4 6 open System\n"
      "process 8 5 limited csrss.exe\n"
      "entry 0 0xFFFFF90000000100 8 0x0110 16 0 0\n",
      {},
      kSummaryHeader + SummaryRow(4, "System", 0, 6) +
          SummaryRow(8, "csrss.exe", 1, 5));
}

TEST_F(KestrelTest, OnePageTableGivesZeroTotals) {
  const char session[] =
      "process 4 6 open System\n"
      "process 8 2 open b.exe\n"
      "table 4096\n"
      "entry 0 0xFFFFF90000000100 4 0 16 0 0\n"
      "entry 1 0xFFFFF90000000200 8 0 16 0 0\n";
  ExpectListing(session, {},
                kSummaryHeader + SummaryRow(4, "System", 0, 6) +
                    SummaryRow(8, "b.exe", 0, 2));
}

TEST_F(KestrelTest, NothingToListPrintsTheBannerOnly) {
  ExpectListing("", {}, "");
  ExpectListing(
      "process 4 0 open System\n"
      "process 8 5 denied b.exe\n"
      "entry 0 0xFFFFF90000000100 4 0 16 0 0\n"
      "entry 1 0xFFFFF90000000200 8 0 16 0 0\n",
      {}, "");
}

// PIDs 1 to 37 and 54, then 107 as the 39th record. With 17 bins a chain
// lists its later insertions first; the 39th record rehashes to 53 bins,
// which rebuilds the chains walking the old bins from 0: 1, 54 and 107 share
// bin 1 of 53 and come out in the reverse of that walk.
std::string RehashSession(bool withThe39th) {
  std::string text = "table 4096\n";
  std::vector<int> pids;
  for (int pid = 1; pid <= 37; ++pid)
    pids.push_back(pid);
  pids.push_back(54);
  if (withThe39th)
    pids.push_back(107);
  for (int pid : pids) {
    text += "process " + std::to_string(pid) + " " + std::to_string(pid) +
            " open p" + std::to_string(pid) + ".exe\n";
  }
  return text;
}

std::string RowsInOrder(const std::vector<int>& pids) {
  std::string text = kSummaryHeader;
  for (int pid : pids) {
    std::string name = "p" + std::to_string(pid) + ".exe";
    text += SummaryRow(pid, name.c_str(), 0, pid);
  }
  return text;
}

TEST_F(KestrelTest, OrderWith38RecordsFollowsSeventeenBins) {
  ExpectListing(RehashSession(false), {},
                RowsInOrder({34, 17,         // bin 0
                             35, 18, 1,      // bin 1
                             36, 19, 2,      // bin 2
                             54, 37, 20, 3,  // bin 3
                             21, 4,  22, 5,  23, 6,  24, 7,  25,
                             8,  26, 9,  27, 10, 28, 11, 29, 12,
                             30, 13, 31, 14, 32, 15, 33, 16}));  // bins 4 to 16
}

TEST_F(KestrelTest, OrderWith39RecordsFollowsFiftyThreeBins) {
  std::vector<int> order = {107, 54, 1};  // bin 1
  for (int pid = 2; pid <= 37; ++pid)     // bins 2 to 37
    order.push_back(pid);
  ExpectListing(RehashSession(true), {}, RowsInOrder(order));
}

// ---------------------------------------------------------------------------
// Targets, in the summary listing.

struct TargetCase {
  std::vector<std::string> args;
  std::string expected;  // after the banner
};

TEST_F(KestrelTest, TargetsSelectRows) {
  const std::string system =
      "     4        System                               2         6 \n";
  const std::string fontHost =
      "    21        fontdrvhost.exe                      0         9 \n";
  const std::string longName =
      " 123456        a-very-long-executable-name-here.exe         1         3 \n";
  const TargetCase cases[] = {
      {{"4"}, kSummaryHeader + system},
      {{"21"}, kSummaryHeader + fontHost},
      {{"123456"}, kSummaryHeader + longName},
      {{"+21"}, kSummaryHeader + fontHost},
      {{"0", "system"}, kSummaryHeader + system},
      // Name fragments, without regard to case.
      {{"SYSTEM"}, kSummaryHeader + system},
      {{"FontDrv"}, kSummaryHeader + fontHost},
      {{".EXE"}, kSummaryHeader + longName + fontHost},
      {{"here.exe"}, kSummaryHeader + longName},
      // Targets that match nothing: banner only.
      {{"999"}, ""},
      {{"0"}, ""},
      {{""}, ""},
      {{"nosuch"}, ""},
      {{"0x15"}, ""},
      {{"30"}, ""},  // denied
      {{"secret"}, ""},
      {{"40"}, ""},  // no GDI objects
      {{"idle"}, ""},
  };
  for (const TargetCase& c : cases) {
    SCOPED_TRACE("arguments:" + ArgsText(c.args));
    ExpectListing(kShapesSession, c.args, c.expected);
  }
}

// ---------------------------------------------------------------------------
// Usage.

struct UsageCase {
  std::vector<std::string> args;
  int exitCode;
  std::string err;
};

TEST_F(KestrelTest, HelpAndUsageErrorsPrintTheUsageText) {
  const UsageCase cases[] = {
      {{"-h"}, 0, ""},
      {{"/h"}, 0, ""},
      {{"-?"}, 0, ""},
      {{"/?"}, 0, ""},
      {{"-help"}, 0, ""},
      {{"/help"}, 0, ""},
      {{"notepad", "-h"}, 0, ""},
      {{"-c", "-v", "-f", "brush", "/?"}, 0, ""},
      {{"notepad", "calc"}, 1, "'calc' follows 'notepad'"},
      {{"4", "21"}, 1, "'21' follows PID 4"},
      {{"notepad", "0"}, 1, "'0' follows 'notepad'"},
      {{"notepad", "calc", "-h"}, 1, "'calc' follows 'notepad'"},
  };
  for (const UsageCase& c : cases) {
    SCOPED_TRACE("arguments:" + ArgsText(c.args));
    RunResult result = Run(kShapesSession, c.args);
    EXPECT_EQ(result.exitCode, c.exitCode);
    EXPECT_EQ(result.out, kBanner + kUsage);
    EXPECT_EQ(result.err,
              c.err.empty()
                  ? ""
                  : "kestrel: one process name or PID only: " + c.err + "\n");
  }
}

TEST_F(KestrelTest, ValueOptionsOnTheCommandLine) {
  // An invalid value: the usage error, and a line naming the values.
  RunResult result = Run(kShapesSession, {"-o", "xml"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.out, kBanner + kUsage);
  EXPECT_EQ(
      result.err,
      "kestrel: -o takes text, csv, json, html, prometheus, live or junit\n");
  // A document run prints no banner, even with the usage text.
  result = Run(kShapesSession, {"-o", "json", "a", "b"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.out, kUsage);
  EXPECT_EQ(result.err,
            "kestrel: one process name or PID only: 'b' follows 'a'\n");
  // The threshold gate: 6 when a process reaches the count, 0 when none.
  result = Run(kShapesSession, {"-t", "7"});
  EXPECT_EQ(result.exitCode, 6);
  EXPECT_EQ(result.out,
            kBanner + kSummaryHeader + SummaryRow(21, "fontdrvhost.exe", 0, 9));
  result = Run(kShapesSession, {"-o", "csv", "-t", "10"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out.find('\n'), result.out.size() - 1);  // the header
}

TEST_F(KestrelTest, HelpComesBeforeTheSystemStateIsRead) {
  RunResult result = Run("snapshot fail\nfail open-self\n", {"-h"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out, kBanner + kUsage);
  EXPECT_EQ(result.err, "");
}

// ---------------------------------------------------------------------------
// System state that cannot be read: the banner, one message, exit code 2.

struct FailureCase {
  const char* record;
  const std::string* message;
};

TEST_F(KestrelTest, UnreadableSystemStateEndsWithExitCode2) {
  const FailureCase cases[] = {
      {"snapshot fail", &kSnapshotMessage},
      {"fail ntdll-lookup", &kLocateMessage},
      {"fail open-self", &kLocateMessage},
      {"fail query-status", &kLocateMessage},
      {"fail peb-null", &kLocateMessage},
      {"fail virtual-query", &kLocateMessage},
      {"fail region-unreadable", &kLocateMessage},
  };
  for (const FailureCase& c : cases) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{},
                                                 {"-c", "-v"},
                                                 {"System"},
                                                 {"-o", "json"},
                                                 {"-o", "csv", "-v"},
                                                 {"-o", "html", "-v"}}) {
      SCOPED_TRACE(std::string(c.record) + ", arguments:" + ArgsText(args));
      RunResult result =
          Run(std::string(kShapesSession) + c.record + "\n", args);
      EXPECT_EQ(result.exitCode, 2);
      // A document run writes no document.
      EXPECT_EQ(result.out, !args.empty() && args[0] == "-o" ? "" : kBanner);
      EXPECT_EQ(result.err, *c.message);
    }
  }
}

// ---------------------------------------------------------------------------
// The detail views.

// Bins of 17: 123456 in bin 2, then 21 and 4 in bin 4, then 80 in bin 12.
// PID 4 also owns entry 65541, inside the region but past the 65,536 entries
// a handle's index can name, so it is never read; 21 owns nothing.
const char kDetailSession[] =
    "process 4 9 open System\n"
    "process 21 2 open empty.exe\n"
    "process 123456 3 open a-very-long-executable-name-here.exe\n"
    "process 80 5 open x-files.exe\n"
    "table 1577104\n"  // one page and 65542 entries
    "entry 5 26 4 0 16 0 0\n"
    "entry 6 0xFFFFF90000001000 5 0x0106 1 0 0x20000\n"
    "entry 7 0xFFFFF90000002000 4 0x0221 33 0 0\n"
    "entry 8 0xFFFFF90000003000 4 0x0366 102 0x40 0\n"
    "entry 9 0xFFFFF90000004000 4 0x0403 3 0 0\n"
    "entry 10 0xFFFFF90000005000 5 0x0530 48 0 0\n"
    "entry 11 0xFFFFF90000005800 4 0x0510 0 0 0\n"
    "entry 12 0xFFFFF90000006000 123456 0x0626 38 0 0\n"
    "entry 13 0xFFFFF90000007000 123457 0x0746 70 0 0\n"
    "entry 14 0xFFFFF90000008000 123456 0x0825 37 0 0\n"
    "entry 15 0xFFFFF90000009000 80 0x0950 80 0 0\n"
    "entry 16 0xFFFFF9000000A000 999 0x0A10 16 0 0\n"
    "entry 17 0xFFFFF9000000B000 80 0x0B04 4 0 0\n"
    "entry 18 0xFFFFF9000000C000 80 0x0C0A 10 0 0\n"
    "entry 19 0xFFFFF9000000D000 80 0x0D08 8 0 0\n"
    "entry 20 0xFFFFF9000000E000 80 0x0E06 6 0 0\n"
    "entry 65541 0xFFFFF9000000F000 4 1 5 0 0\n";

const char kLongName[] = "a-very-long-executable-name-here.exe";

const std::string kLongPid = PidLine(123456, kLongName, 3, 3);
const std::string kEmptyPid = PidLine(21, "empty.exe", 0, 2);
const std::string kSystemPid = PidLine(4, "System", 6, 9);
const std::string kFilesPid = PidLine(80, "x-files.exe", 5, 5);

const std::string kLongCounts = CountLines({0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 1});
const std::string kEmptyCounts = CountLines({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
const std::string kSystemCounts = CountLines({1, 0, 1, 0, 0, 0, 0, 1, 1, 0, 2});
const std::string kFilesCounts = CountLines({0, 1, 0, 0, 1, 1, 1, 0, 0, 0, 1});

const std::string kLongMetafile =
    HandleLine(0x0626000C, "Metafile", 0xFFFFF90000006000);
const std::string kLongEnhanced =
    HandleLine(0x0746000D, "Enhanced Metafile", 0xFFFFF90000007000);
const std::string kLongDib =
    HandleLine(0x0825000E, "DIB Section", 0xFFFFF90000008000);
const std::string kLongHandles = kLongMetafile + kLongEnhanced + kLongDib;

const std::string kSystemBrush = HandleLine(0x5, "Brush", 0x1A);
const std::string kSystemDc = HandleLine(0x01060006, "DC", 0xFFFFF90000001000);
const std::string kSystemAltDc =
    HandleLine(0x02210007, "Alt. DC", 0xFFFFF90000002000);
const std::string kSystemMetaDc =
    HandleLine(0x03660008, "Metafile DC", 0xFFFFF90000003000);
const std::string kSystemUnknown =
    HandleLine(0x04030009, "Unknown", 0xFFFFF90000004000);
const std::string kSystemPen =
    HandleLine(0x0530000A, "Pen", 0xFFFFF90000005000);
const std::string kSystemHandles = kSystemBrush + kSystemDc + kSystemAltDc +
                                   kSystemMetaDc + kSystemUnknown + kSystemPen;

const std::string kFilesHandles =
    HandleLine(0x0950000F, "ExtPen", 0xFFFFF90000009000) +
    HandleLine(0x0B040011, "Region", 0xFFFFF9000000B000) +
    HandleLine(0x0C0A0012, "Font", 0xFFFFF9000000C000) +
    HandleLine(0x0D080013, "Palette", 0xFFFFF9000000D000) +
    HandleLine(0x0E060014, "Client Object", 0xFFFFF9000000E000);

TEST_F(KestrelTest, CountView) {
  ExpectListing(kDetailSession, {"-c"},
                kLongPid + kLongCounts + "\n" +        //
                    kEmptyPid + kEmptyCounts + "\n" +  //
                    kSystemPid + kSystemCounts + "\n" + kFilesPid +
                    kFilesCounts + "\n");
}

TEST_F(KestrelTest, HandleView) {
  ExpectListing(kDetailSession, {"-v"},
                kLongPid + kHandleHeader + kLongHandles + "\n" +  //
                    kEmptyPid + kHandleHeader + "\n" +            //
                    kSystemPid + kHandleHeader + kSystemHandles + "\n" +
                    kFilesPid + kHandleHeader + kFilesHandles + "\n");
}

TEST_F(KestrelTest, CountAndHandleView) {
  const std::string expected =
      kLongPid + kLongCounts + kHandleHeader + kLongHandles + "\n" + kEmptyPid +
      kEmptyCounts + kHandleHeader + "\n" +  //
      kSystemPid + kSystemCounts + kHandleHeader + kSystemHandles + "\n" +
      kFilesPid + kFilesCounts + kHandleHeader + kFilesHandles + "\n";
  ExpectListing(kDetailSession, {"-c", "-v"}, expected);
  ExpectListing(kDetailSession, {"-v", "-c"}, expected);
  ExpectListing(kDetailSession, {"/c", "/v", "-c"}, expected);
}

// The process line and its counters cover every entry; the filter narrows
// the handle lines only.
TEST_F(KestrelTest, TypeFilterSelectsHandleLines) {
  const TargetCase cases[] = {
      {{"-v", "-f", "dc"},
       kLongPid + kHandleHeader + "\n" + kEmptyPid + kHandleHeader + "\n" +
           kSystemPid + kHandleHeader + kSystemDc + kSystemAltDc +
           kSystemMetaDc + "\n" + kFilesPid + kHandleHeader + "\n"},
      {{"-v", "-f", "METAFILE"},
       kLongPid + kHandleHeader + kLongMetafile + kLongEnhanced + "\n" +
           kEmptyPid + kHandleHeader + "\n" + kSystemPid + kHandleHeader +
           kSystemMetaDc + "\n" + kFilesPid + kHandleHeader + "\n"},
      {{"/v", "/f", "unk", "system"},
       kSystemPid + kHandleHeader + kSystemUnknown + "\n"},
      {{"-c", "-v", "-f", "bRuSh", "4"},
       kSystemPid + kSystemCounts + kHandleHeader + kSystemBrush + "\n"},
      // The last of two filters holds.
      {{"-v", "-f", "pen", "-v", "-f", "brush", "sys"},
       kSystemPid + kHandleHeader + kSystemBrush + "\n"},
      {{"-v", "-f", "nothing", "123456"}, kLongPid + kHandleHeader + "\n"},
  };
  for (const TargetCase& c : cases) {
    SCOPED_TRACE("arguments:" + ArgsText(c.args));
    ExpectListing(kDetailSession, c.args, c.expected);
  }
}

TEST_F(KestrelTest, DetailViewsWithTargets) {
  const TargetCase cases[] = {
      {{"-c", "4"}, kSystemPid + kSystemCounts + "\n"},
      {{"-c", "EXE"},
       kLongPid + kLongCounts + "\n" + kEmptyPid + kEmptyCounts + "\n" +
           kFilesPid + kFilesCounts + "\n"},
      {{"-v", "123456"}, kLongPid + kHandleHeader + kLongHandles + "\n"},
      {{"-v", "Empty"}, kEmptyPid + kHandleHeader + "\n"},
      {{"LONG-executable", "-c", "-v"},
       kLongPid + kLongCounts + kHandleHeader + kLongHandles + "\n"},
      {{"-c", "-v", "21"}, kEmptyPid + kEmptyCounts + kHandleHeader + "\n"},
      {{"-c", "-v", "5"}, ""},
      {{"-v", "nosuch"}, ""},
      // "-f" as the last argument is no filter: it is the name fragment.
      {{"-v", "-f"}, kFilesPid + kHandleHeader + kFilesHandles + "\n"},
      {{"-c", "-v", "-f"},
       kFilesPid + kFilesCounts + kHandleHeader + kFilesHandles + "\n"},
  };
  for (const TargetCase& c : cases) {
    SCOPED_TRACE("arguments:" + ArgsText(c.args));
    ExpectListing(kDetailSession, c.args, c.expected);
  }
}

// The lines of one block, written out in full.
TEST_F(KestrelTest, DetailBlockBytes) {
  ExpectListing(
      kDetailSession, {"-c", "-v", "-f", "brush", "system"},
      "PID:     4  Name: System                        GDI Total:    6  All:    9 \n"
      " Pen ExtPen Brush Bitmap Font Palette Region   DC MetaDC EnhMetaDC OtherGDi\n"
      "   1     0      1     0     0      0      0     1     1        0        2\n"
      "Handle                Object Type           Kernel Address\n"
      "0x0000000000000005    Brush                 0x000000000000001A\n"
      "\n");
  ExpectListing(
      kDetailSession, {"-v", "-f", "bitmap", "123456"},
      "PID: 123456  Name: a-very-long-executable-name-here.exe  GDI Total:    3  All:    3 \n"
      "Handle                Object Type           Kernel Address\n"
      "\n");
}

// ---------------------------------------------------------------------------
// Unusable session descriptions: nothing on standard output, one line on
// standard error naming the file and the line, exit code 4.

struct BadSessionCase {
  const char* what;
  std::string text;
  int line;
  const char* mentions;  // a token of the bad line the message names
};

TEST_F(KestrelTest, BadSessionLinesEndWithExitCode4) {
  const std::string head = "# a session\n\nprocess 4 6 open System\n";
  const BadSessionCase cases[] = {
      {"unknown record", head + "bogus 1\n", 4, "bogus"},
      {"missing field", head + "process 8 2 open\n", 4, "missing"},
      {"missing number", head + "entry 0 0 4 0 16 0\n", 4, "missing"},
      {"extra field", head + "self 1000 surplus\n", 4, "surplus"},
      {"extra field after an entry", head + "entry 0 0 4 0 16 0 0 surplus\n", 4,
       "surplus"},
      {"unique out of range", head + "entry 0 0 4 0x10000 16 0 0\n", 4,
       "0x10000"},
      {"type out of range", head + "entry 0 0 4 0 256 0 0\n", 4, "256"},
      {"PID out of range", head + "process 4294967296 2 open b.exe\n", 4,
       "4294967296"},
      {"not a number", head + "process 8 lots open b.exe\n", 4, "lots"},
      {"unknown access", head + "process 8 2 maybe b.exe\n", 4, "maybe"},
      {"unknown failure", head + "fail everything\n", 4, "everything"},
      {"entry outside the region",
       head + "table 4096\nentry 169 0 4 0 16 0 0\nentry 170 0 4 0 16 0 0\n", 6,
       "170"},
      {"table after an entry", head + "entry 0 0 4 0 16 0 0\ntable 8192\n", 5,
       "table"},
  };
  for (const BadSessionCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::string path = WriteSession(c.text);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {"-h"}, {"-c", "-v", "System"}}) {
      SCOPED_TRACE("arguments:" + ArgsText(args));
      RunResult result = RunKestrel(args, &path);
      EXPECT_EQ(result.exitCode, 4);
      EXPECT_EQ(result.out, "");
      std::string prefix =
          "kestrel: " + path + ":" + std::to_string(c.line) + ": ";
      EXPECT_EQ(result.err.compare(0, prefix.size(), prefix), 0) << result.err;
      EXPECT_GT(result.err.size(), prefix.size() + 1) << result.err;
      EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
      EXPECT_NE(result.err.find(c.mentions), std::string::npos) << result.err;
    }
  }
}

// Standard output that cannot be written: one line on standard error and
// exit code 5, whether the report fails on the way (the sample's handle view
// is far larger than one buffer) or only at the final flush (help), and
// also when -t matched: an unwritten listing is no complete run.
TEST_F(KestrelTest, UnwritableStandardOutputEndsWithExitCode5) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"-v"}, {"-h"}, {"-t", "1"}}) {
    SCOPED_TRACE(ArgsText(args));
    RunResult result = RunKestrel(args, nullptr, {}, "/dev/full");
    EXPECT_EQ(result.exitCode, 5);
    EXPECT_EQ(result.err, "kestrel: cannot write to standard output\n");
  }
}

TEST_F(KestrelTest, UnreadableSessionFileEndsWithExitCode4) {
  const std::string missing = dir_ + "/missing.txt";
  const std::string directory = dir_;
  for (const std::string* path : {&missing, &directory}) {
    SCOPED_TRACE(*path);
    RunResult result = RunKestrel({}, path);
    EXPECT_EQ(result.exitCode, 4);
    EXPECT_EQ(result.out, "");
    std::string prefix = "kestrel: " + *path + ": ";
    EXPECT_EQ(result.err.compare(0, prefix.size(), prefix), 0) << result.err;
    EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
  }
}

// ---------------------------------------------------------------------------
// Names outside ASCII: output is in the locale's code page, and widths
// count UTF-16 units. PIDs 8, 9 and 10 sit in bins 8, 9 and 10.

const char kChineseSession[] =
    "process 8 64 open 微信.exe\n"
    "process 9 3 open ก.exe\n"   // Thai: GBK has no such character
    "process 10 2 open 😀.exe\n"  // a surrogate pair, two units
    "entry 0 0xFFFFF90000001000 8 0x0110 16 0 0\n";

TEST_F(KestrelTest, ChineseNamesPrintInGbk) {
  if (!HaveGbkLocale())
    GTEST_SKIP() << "the zh_CN.GBK locale is not installed";
  const std::string padding(22, ' ');  // six units in a 28-unit column
  ExpectListing(kChineseSession, {},
                kSummaryHeader + "     8        \xCE\xA2\xD0\xC5.exe" +
                    padding +
                    "     "
                    "    1     "
                    "   64 \n" +
                    "     9        ?.exe " + padding +
                    "     "
                    "    0     "
                    "    3 \n" +
                    "    10        ??.exe" + padding +
                    "     "
                    "    0     "
                    "    2 \n");
  ExpectListing(kChineseSession, {"-c", "信"},
                "PID:     8  Name: \xCE\xA2\xD0\xC5.exe" + padding +
                    "  GDI Total:    1  All:   64 \n" +
                    CountLines({0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0}) + "\n");
}

TEST_F(KestrelTest, WithoutTheLocaleNonAsciiUnitsPrintAsQuestionMarks) {
  // An empty locale directory hides every installed locale from the C
  // library, so the program stays in the default one.
  std::string empty = dir_ + "/no-locales";
  ASSERT_EQ(mkdir(empty.c_str(), 0755), 0) << std::strerror(errno);
  const std::string padding(22, ' ');
  RunResult result = Run(kChineseSession, {}, {"LOCPATH=" + empty});
  std::string expected = kBanner + kSummaryHeader + "     8        ??.exe" +
                         padding +
                         "     "
                         "    1     "
                         "   64 \n" +
                         "     9        ?.exe " + padding +
                         "     "
                         "    0     "
                         "    3 \n" +
                         "    10        ??.exe" + padding +
                         "     "
                         "    0     "
                         "    2 \n";
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out, expected) << FirstDifference(expected, result.out);
  EXPECT_EQ(result.err, "");
}

// ---------------------------------------------------------------------------
// One rule for a terminal, whatever the format: a character of a name that
// could steer the terminal shows there as "?"; a file gets the document as
// it is.

// Runs kestrel with standard output on a terminal of its own (a
// pseudo-terminal that passes bytes as they are written) and returns what
// the terminal was sent.
RunResult RunOnTerminal(const std::vector<std::string>& args,
                        const std::string& session,
                        const std::vector<std::string>& extraEnv) {
  RunResult result;
  int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
    ADD_FAILURE() << "no pseudo-terminal: " << std::strerror(errno);
    return result;
  }
  std::string slavePath = ptsname(master);
  int slave = open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios settings = {};
  if (slave < 0 || tcgetattr(slave, &settings) != 0) {
    ADD_FAILURE() << "cannot open " << slavePath;
    close(master);
    return result;
  }
  cfmakeraw(&settings);
  tcsetattr(slave, TCSANOW, &settings);
  std::vector<std::string> env = {"KESTREL_SESSION=" + session};
  for (char** entry = environ; *entry; ++entry) {
    if (std::strncmp(*entry, "KESTREL_SESSION=", 16) != 0)
      env.push_back(*entry);
  }
  env.insert(env.end(), extraEnv.begin(), extraEnv.end());
  std::vector<char*> envp;
  for (std::string& entry : env)
    envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::vector<std::string> argStorage = {KESTREL_BINARY};
  argStorage.insert(argStorage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argStorage)
    argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, slave, 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t child;
  int spawned = posix_spawn(&child, KESTREL_BINARY, &actions, nullptr,
                            argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    ADD_FAILURE() << "cannot run kestrel: " << std::strerror(spawned);
    close(slave);
    close(master);
    return result;
  }
  // The test holds the terminal open itself, so that the program's end
  // never hangs it up: a hung-up terminal may drop what is still on its
  // way to the reading end. Once the program has ended, what it wrote is
  // read until the terminal stays quiet.
  char buffer[65536];
  int status = 0;
  bool ended = false;
  for (;;) {
    pollfd ready = {master, POLLIN, 0};
    int polled = poll(&ready, 1, ended ? 200 : 50);
    if (polled < 0 && errno == EINTR)
      continue;
    if (polled > 0) {
      ssize_t got = read(master, buffer, sizeof buffer);
      if (got > 0) {
        result.out.append(buffer, static_cast<size_t>(got));
        continue;
      }
      if (got < 0 && errno == EINTR)
        continue;
      break;
    }
    if (ended)
      break;
    pid_t waited = waitpid(child, &status, WNOHANG);
    ended = waited == child || (waited < 0 && errno != EINTR);
  }
  close(slave);
  close(master);
  if (!ended) {
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
  }
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

// The code points of UTF-8 `bytes`; a byte of no sequence stands for
// itself.
std::vector<char32_t> CodePoints(const std::string& bytes) {
  std::vector<char32_t> points;
  for (size_t i = 0; i < bytes.size();) {
    auto byte = static_cast<unsigned char>(bytes[i]);
    size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    if (length == 1 || i + length > bytes.size()) {
      points.push_back(byte);
      ++i;
      continue;
    }
    char32_t value = byte & (0x3F >> (length - 1));
    for (size_t k = 1; k < length; ++k)
      value = (value << 6) | (static_cast<unsigned char>(bytes[i + k]) & 0x3F);
    points.push_back(value);
    i += length;
  }
  return points;
}

std::string Utf8(char32_t c) {
  std::string bytes;
  if (c < 0x80) {
    bytes.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    bytes.push_back(static_cast<char>(0xC0 | (c >> 6)));
    bytes.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    bytes.push_back(static_cast<char>(0xE0 | (c >> 12)));
    bytes.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    bytes.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
  return bytes;
}

// What can steer a terminal: C0 but the line end, DEL, C1, the
// bidirectional controls and isolates, the line and paragraph separators.
bool Steers(char32_t c) {
  return (c < 0x20 && c != '\n') || (c >= 0x7F && c <= 0x9F) || c == 0x061C ||
         c == 0x200E || c == 0x200F || c == 0x2028 || c == 0x2029 ||
         (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

TEST_F(KestrelTest, NothingThatSteersATerminalReachesOneInAnyFormat) {
  // One process a kind of character: the escape of a clipboard write
  // (OSC 52) and a title (OSC 0), a bell, a carriage return, a tab, DEL, C1
  // CSI, the right-to-left override, an isolate, the Arabic letter mark,
  // a right-to-left mark, the line and paragraph separators.
  const std::vector<std::string> kinds = {
      "osc\x1b]52;c;aGVsbG8=\x07",
      "t\x1b]0;pwned\x1b\\",
      "bell\x07",
      "cr\r",
      "tab\t",
      "del\x7f",
      "c1" + Utf8(0x9B) + "2J",
      "rlo" + Utf8(0x202E) + "txt",
      "fsi" + Utf8(0x2068),
      "alm" + Utf8(0x061C),
      "rlm" + Utf8(0x200F),
      "ls" + Utf8(0x2028),
      "ps" + Utf8(0x2029),
  };
  std::string text = "self 1\ntable 4096\n";
  for (size_t i = 0; i < kinds.size(); ++i) {
    text += "process " + std::to_string(8 + 4 * i) + " 3 open " + kinds[i] +
            ".exe\n";
  }
  std::string session = WriteSession(text);
  // Outside ASCII the text views would take the locale's code page: here
  // they stay in ASCII, which a terminal reads the same as UTF-8.
  std::string noLocales = dir_ + "/no-locales";
  ASSERT_EQ(mkdir(noLocales.c_str(), 0755), 0) << std::strerror(errno);
  const std::vector<std::string> env = {"LOCPATH=" + noLocales};
  const std::string file = dir_ + "/document";
  for (const char* format : {"text", "csv", "json", "html", "prometheus"}) {
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{}, std::vector<std::string>{"-c"}}) {
      if (options.size() == 1 && std::string(format) != "text")
        continue;
      std::vector<std::string> args = options;
      args.insert(args.end(), {"-o", format});
      SCOPED_TRACE(ArgsText(args));
      std::vector<std::string> toFile = args;
      toFile.insert(toFile.end(), {"-O", file});
      ASSERT_EQ(RunKestrel(toFile, &session, env).exitCode, 0);
      std::string document;
      {
        std::ifstream in(file, std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        document = bytes.str();
      }
      RunResult shown = RunOnTerminal(args, session, env);
      EXPECT_EQ(shown.exitCode, 0);
      // The file holds the characters as the document has them; the
      // terminal gets the same document with each one as "?".
      std::string expected;
      size_t steering = 0;
      for (char32_t c : CodePoints(document)) {
        steering += Steers(c) ? 1 : 0;
        expected += Steers(c) ? "?" : Utf8(c);
      }
      EXPECT_GT(steering, 0u);
      EXPECT_EQ(expected, shown.out) << FirstDifference(expected, shown.out);
      for (char32_t c : CodePoints(shown.out))
        EXPECT_FALSE(Steers(c)) << "U+" << std::hex << c;
    }
  }
}

// ---------------------------------------------------------------------------
// Golden files: the built-in sample session in each view, a guard against
// unnoticed change. KESTREL_UPDATE_GOLDEN=1 rewrites them.

struct GoldenCase {
  const char* file;
  std::vector<std::string> args;
  int exitCode = 0;
  // How each line on standard error starts, and how many there are; none
  // when empty.
  std::string errLinesStart = "";
  size_t errLines = 0;
};

std::string ReadFile(const std::string& path, bool* ok) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  *ok = static_cast<bool>(file);
  return text.str();
}

TEST(GoldenTest, SampleSessionViews) {
  // The sample holds Chinese names, which print as GBK bytes.
  if (!HaveGbkLocale())
    GTEST_SKIP() << "the zh_CN.GBK locale is not installed; the golden files "
                    "hold GBK output";
  const char* update = std::getenv("KESTREL_UPDATE_GOLDEN");
  bool updating = update && std::strcmp(update, "1") == 0;
  const GoldenCase cases[] = {
      {"sample_summary.txt", {}},
      {"sample_counts.txt", {"-c"}},
      {"sample_handles.txt", {"-v"}},
      {"sample_counts_handles.txt", {"-c", "-v"}},
      {"sample_handles_brush.txt", {"-v", "-f", "brush"}},
      {"sample_name_code.txt", {"code"}},
      {"sample_counts_by_all.txt", {"-s", "all", "-c"}},
      // One line a process that reached the count.
      {"sample_at_least_200_by_name.txt",
       {"-t", "200", "-s", "name"},
       6,
       "kestrel: -t 200: ",
       9},
      {"sample_json.txt", {"-o", "json"}},
      {"sample_json_brush_note.txt",
       {"-o", "json", "-v", "-f", "brush", "note"}},
      {"sample_csv.txt", {"-o", "csv", "-s", "pid"}},
      {"sample_csv_handles_notepad.txt", {"-o", "csv", "-v", "notepad"}},
      {"sample_html.txt", {"-o", "html"}},
      // Six samples of the watch: mspaint.exe leaks, one process starts,
      // one exits.
      {"sample_watch.txt", {"-w", "2", "-n", "6"}},
      {"sample_watch_counts.txt", {"-w", "2", "-n", "6", "-c"}},
      {"sample_watch_handles_brush.txt",
       {"-w", "2", "-n", "6", "-v", "-f", "brush"}},
      {"sample_watch_html.txt", {"-w", "2", "-n", "6", "-o", "html"}},
  };
  for (const GoldenCase& c : cases) {
    SCOPED_TRACE(std::string(c.file) + ", arguments:" + ArgsText(c.args));
    RunResult result = RunKestrel(c.args, nullptr);
    EXPECT_EQ(result.exitCode, c.exitCode);
    size_t lines = 0;
    for (size_t start = 0; start < result.err.size(); ++lines) {
      EXPECT_EQ(
          result.err.compare(start, c.errLinesStart.size(), c.errLinesStart), 0)
          << result.err;
      start = result.err.find('\n', start);
      start = start == std::string::npos ? result.err.size() : start + 1;
    }
    EXPECT_EQ(lines, c.errLines) << result.err;
    std::string path = std::string(KESTREL_GOLDEN_DIR) + "/" + c.file;
    if (updating) {
      std::ofstream file(path, std::ios::binary);
      file << result.out;
      EXPECT_TRUE(file.good()) << "cannot write " << path;
      std::printf("rewrote %s\n", path.c_str());
      continue;
    }
    bool ok = false;
    std::string golden = ReadFile(path, &ok);
    ASSERT_TRUE(ok) << "cannot read " << path
                    << "; KESTREL_UPDATE_GOLDEN=1 writes it";
    // The outputs are long: report where they part rather than both whole.
    EXPECT_TRUE(result.out == golden)
        << c.file << " differs at " << FirstDifference(golden, result.out)
        << "\nIf the change is intended, rerun with KESTREL_UPDATE_GOLDEN=1 "
           "and review the new files line by line.";
  }
}

// A pipe closed by its reader is a failed write too, not the end of the
// program by a signal: a watch without -n into `head -c 1`.
TEST_F(KestrelTest, ClosedPipeEndsWithExitCode5) {
  std::string errors = testing::TempDir() + "kestrel_closed_pipe.txt";
  std::string command = "bash -c '{ \"" KESTREL_BINARY
                        "\" -w 1; echo \"exit $?\" >&2; } 2>\"" +
                        errors + "\" | head -c 1 >/dev/null'";
  ASSERT_EQ(0, std::system(command.c_str()));
  bool ok = false;
  EXPECT_EQ(ReadFile(errors, &ok),
            "kestrel: cannot write to standard output\nexit 5\n");
  EXPECT_TRUE(ok);
  std::remove(errors.c_str());
}

// A closed standard output (`>&-`) loses what is written to it: the run
// says so and exits 5, in every format, a watch included; with -O nothing
// goes there, and the run succeeds.
TEST_F(KestrelTest, ClosedStandardOutputEndsWithExitCode5) {
  const struct {
    std::string args;
    const char* errors;
  } kCases[] = {
      {"", "kestrel: cannot write to standard output\nexit 5\n"},
      {"-o json", "kestrel: cannot write to standard output\nexit 5\n"},
      {"-o html -w 1 -n 3",
       "kestrel: cannot write to standard output\nexit 5\n"},
      {"-o csv -O " + dir_ + "/out.csv", "exit 0\n"},
  };
  std::string errors = dir_ + "/errors.txt";
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.args);
    std::string command = "bash -c '{ \"" KESTREL_BINARY "\" " + c.args +
                          " >&-; echo \"exit $?\" >&2; } 2>\"" + errors + "\"'";
    ASSERT_EQ(0, std::system(command.c_str()));
    bool ok = false;
    EXPECT_EQ(ReadFile(errors, &ok), c.errors);
    EXPECT_TRUE(ok);
  }
}

}  // namespace

namespace {

// ---------------------------------------------------------------------------
// -O FILE: the file gets what standard output would, and only ever whole.

std::string FileText(const std::string& path) {
  bool ok = false;
  std::string text = ReadFile(path, &ok);
  EXPECT_TRUE(ok) << "cannot read " << path;
  return text;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(KestrelTest, OutputFileTakesWhatStandardOutputWould) {
  const std::string file = dir_ + "/kestrel.prom";
  RunResult direct = RunKestrel({"-c", "notepad"}, nullptr);
  RunResult written = RunKestrel({"-c", "notepad", "-O", file}, nullptr);
  EXPECT_EQ(0, written.exitCode);
  EXPECT_EQ("", written.out + written.err);
  EXPECT_EQ(direct.out, FileText(file));
  // A watch of metrics replaces it at each sample: the last one stays.
  const std::vector<std::string> watch = {"-o", "prometheus", "-w",
                                          "1",  "-n",         "6"};
  direct = RunKestrel(watch, nullptr);
  std::vector<std::string> args = watch;
  args.insert(args.end(), {"-O", file});
  written = RunKestrel(args, nullptr);
  EXPECT_EQ(0, written.exitCode);
  EXPECT_EQ("", written.out + written.err);
  EXPECT_EQ(direct.out.substr(
                direct.out.rfind("# HELP kestrel_process_gdi_objects ")),
            FileText(file));
  EXPECT_EQ(std::vector<std::string>{"kestrel.prom"}, FolderEntries(dir_));
}

// A file that cannot be written or replaced: exit code 5 and one line with
// its name and the reason; it keeps what it held, and no other file stays.
TEST_F(KestrelTest, UnwritableOutputFileEndsWithExitCode5) {
  const std::string file = dir_ + "/kestrel.prom";
  const std::string folder = dir_ + "/folder";
  ASSERT_EQ(0, mkdir(folder.c_str(), 0755));
  const std::string errors = testing::TempDir() + "kestrel_output_file.txt";
  const struct {
    std::string command;  // after the environment
    std::string target;
    std::string reason;
  } cases[] = {
      {"\"" KESTREL_BINARY "\" -O ", dir_ + "/missing/kestrel.prom",
       "No such file or directory"},
      {"\"" KESTREL_BINARY "\" -o prometheus -O ", folder, "Is a directory"},
      // Writes past 1 KiB fail (the signal ignored, as Windows has none).
      {"ulimit -f 1; trap \"\" XFSZ; exec \"" KESTREL_BINARY "\" -v -O ", file,
       "File too large"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command + c.target);
    {
      std::ofstream old(file, std::ios::binary);
      old << "old\n";
    }
    std::string command = "env -u KESTREL_SESSION bash -c '" + c.command +
                          "\"$0\"' '" + c.target + "' 2>\"" + errors + "\"";
    int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(5, WEXITSTATUS(status));
    EXPECT_EQ("kestrel: cannot write " + c.target + ": " + c.reason + "\n",
              FileText(errors));
    EXPECT_EQ("old\n", FileText(file));
    EXPECT_EQ(std::vector<std::string>({"folder", "kestrel.prom"}),
              FolderEntries(dir_));
  }
  std::remove(errors.c_str());
}

// A closed terminal (SIGHUP) ends a watch as Ctrl+C does: -O's file takes
// the samples and the growth report, and no new file stays beside it. A
// signal ignored when the watch started (a script's background job: SIGINT)
// stays ignored, and the next one ends it. The host's watch runs on the
// simulated clock, without waiting, until then.
TEST_F(KestrelTest, HangUpEndsAWatchAsAnInterruptDoes) {
  const struct {
    int ignored;  // at start, or 0
    int sent;     // first; SIGTERM after it when ignored
  } kCases[] = {{0, SIGHUP}, {SIGINT, SIGINT}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.sent);
    const std::string file = dir_ + "/watch.txt";
    pid_t child = fork();
    if (child == 0) {
      unsetenv("KESTREL_SESSION");
      if (c.ignored != 0)
        signal(c.ignored, SIG_IGN);
      execl(KESTREL_BINARY, KESTREL_BINARY, "-w", "60", "-O", file.c_str(),
            static_cast<char*>(nullptr));
      _exit(127);
    }
    ASSERT_GT(child, 0);
    // Signalled once its new file exists, that is, once it has a sample.
    int status = 0;
    pid_t ended = 0;
    while (FolderEntries(dir_).empty() &&
           (ended = waitpid(child, &status, WNOHANG)) == 0)
      usleep(1000);
    ASSERT_EQ(0, ended) << "the watch ended by itself";
    kill(child, c.sent);
    if (c.ignored != 0) {
      usleep(200000);
      EXPECT_EQ(0, waitpid(child, &status, WNOHANG)) << "ended by it";
      kill(child, SIGTERM);
    }
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(0, WEXITSTATUS(status));
    EXPECT_EQ(std::vector<std::string>{"watch.txt"}, FolderEntries(dir_));
    std::string text = FileText(file);
    EXPECT_EQ(0u, text.find("\nkestrel v1.0"));
    EXPECT_NE(std::string::npos, text.find("\nGrowth over "));
    std::remove(file.c_str());
  }
}

// -O's file is judged again when the watch replaces it at its end: one
// that gained a hard link, or was made read-only, while the watch ran is
// refused as it would have been at the start (the same line, exit 5) and
// keeps its content; no new file stays.
TEST_F(KestrelTest, OutputFileIsJudgedAgainWhenReplaced) {
  const struct {
    const char* what;
    int (*change)(const char* path);
    const char* reason;
  } kCases[] = {
      {"a hard link",
       [](const char* path) {
         return link(path, (std::string(path) + "-link").c_str());
       },
       "it has other hard links"},
      {"read-only", [](const char* path) { return chmod(path, 0444); },
       "Permission denied"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    const std::string folder = dir_ + "/" + c.what;
    ASSERT_EQ(0, mkdir(folder.c_str(), 0755));
    const std::string file = folder + "/watch.txt";
    const std::string errors = dir_ + "/errors.txt";
    { std::ofstream(file, std::ios::binary) << "old\n"; }
    pid_t child = fork();
    if (child == 0) {
      unsetenv("KESTREL_SESSION");
      int fd = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(fd, 2);
      execl(KESTREL_BINARY, KESTREL_BINARY, "-w", "60", "-O", file.c_str(),
            static_cast<char*>(nullptr));
      _exit(127);
    }
    ASSERT_GT(child, 0);
    // Changed once its new file exists, that is, once it has a sample.
    int status = 0;
    pid_t ended = 0;
    while (FolderEntries(folder).size() < 2 &&
           (ended = waitpid(child, &status, WNOHANG)) == 0)
      usleep(1000);
    ASSERT_EQ(0, ended) << "the watch ended by itself";
    ASSERT_EQ(0, c.change(file.c_str()));
    kill(child, SIGINT);
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(5, WEXITSTATUS(status));
    EXPECT_EQ("kestrel: cannot write " + file + ": " + c.reason + "\n",
              FileText(errors));
    EXPECT_EQ("old\n", FileText(file));
    for (const std::string& name : FolderEntries(folder))
      EXPECT_EQ(std::string::npos, name.find(".tmp")) << name;
  }
}

// A signal that ends a single run removes its new file on the way: here
// SIGXFSZ, raised when the file outgrows the limit.
TEST_F(KestrelTest, SignalThatEndsARunRemovesItsNewFile) {
  const std::string file = dir_ + "/out.txt";
  {
    std::ofstream old(file, std::ios::binary);
    old << "old\n";
  }
  std::string command =
      "env -u KESTREL_SESSION bash -c 'ulimit -f 1; exec \"" KESTREL_BINARY
      "\" -v -O \"$0\"' '" +
      file + "'";
  int status = std::system(command.c_str());
  // bash reports the signal as 128 + its number.
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(128 + SIGXFSZ, WEXITSTATUS(status));
  EXPECT_EQ("old\n", FileText(file));
  EXPECT_EQ(std::vector<std::string>{"out.txt"}, FolderEntries(dir_));
}

// With standard error closed, no file the run opens takes its place: the
// error line of a failed third sample never lands in the document.
TEST_F(KestrelTest, ClosedStandardErrorIsNotTakenByTheFile) {
  const std::string file = dir_ + "/fd.json";
  std::string session = WriteSession(
      "self 1\nprocess 1 4 open kestrel.exe\ntable 4096\n"
      "sample\nsample\nsnapshot fail\n");
  std::string command = "KESTREL_SESSION='" + session +
                        "' bash -c 'exec \"" KESTREL_BINARY
                        "\" -n 6 -o json -O \"$0\" 2>&-' '" +
                        file + "'";
  int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(2, WEXITSTATUS(status));
  std::string text = FileText(file);
  EXPECT_EQ(std::string::npos, text.find("kestrel:")) << text;
  EXPECT_EQ(0u, text.find('{'));
}

}  // namespace

// A warming cache and a leak meet -g: the gate fails the run for the leak,
// which is still growing, and never for the cache, which grew more and held.
TEST_F(KestrelTest, GateFailsALeakNotAWarmedCache) {
  std::string session;
  for (int i = 0; i < 20; ++i) {
    session += "process 100 " + std::to_string(50 + 20 * std::min(i, 5)) +
               " open cache.exe\n";
    session += "process 200 " + std::to_string(50 + 5 * i) + " open leak.exe\n";
    session += "sample\n";
  }
  const struct {
    const char* gate;
    int exitCode;
  } cases[] = {{"60", 7}, {"96", 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.gate);
    RunResult result = Run(session, {"-w", "10", "-n", "20", "-g", c.gate});
    EXPECT_EQ(c.exitCode, result.exitCode);
    std::string report = result.out.substr(result.out.find("Growth over"));
    EXPECT_NE(std::string::npos,
              report.find("leak.exe                      GDI All 50 -> 145 "
                          "(+95, +30.0/min)"))
        << report;
    EXPECT_NE(std::string::npos,
              report.find("still growing +30.0/min, quota 10,000 in about 5 h "
                          "29 min\n"))
        << report;
    EXPECT_NE(std::string::npos, report.find("held at 150 since +50 s\n"))
        << report;
    EXPECT_LT(report.find("leak.exe"), report.find("cache.exe"));
  }
}

// -t chooses what is shown, not where growth starts: a process listed from
// its second sample grew from its first, and fails the gate by it.
TEST_F(KestrelTest, GateCountsGrowthBeforeTheFirstListing) {
  RunResult result =
      Run("process 300 10 open app.exe\nsample\n"
          "process 300 200 open app.exe\nsample\n"
          "process 300 260 open app.exe\nsample\n",
          {"-n", "3", "-t", "100", "-g", "100"});
  EXPECT_EQ(7, result.exitCode);
  EXPECT_NE(std::string::npos,
            result.out.find("app.exe                       GDI All 10 -> 260 "
                            "(+250, +7500.0/min)"))
      << result.out;
}

// -x refuses, in one line on standard error and with its exit code, what
// it cannot follow; -O's file and standard output stay untouched.
TEST_F(KestrelTest, FollowRefusals) {
  const std::string session =
      "process 500 30 open other.exe\n"
      "process 501 30 denied secret.exe\n"
      "program 8300 0 old.exe\nrefuse 8300 32-bit\n"
      "program 8400 0 quick.exe\nrefuse 8400 exits-early\n"
      "program 8500 0 guard.exe\nrefuse 8500 protected\n"
      "program 8600 0 broken.exe\nrefuse 8600 cannot-start\n"
      "program 8700 0 gone.exe\nrefuse 8700 no-such-process\n"
      "program 8800 0 bare.exe\nrefuse 8800 agent-missing\n"
      "program 8900 0 odd.exe\nrefuse 8900 agent-failed\n"
      "program 9000 0 lost.exe\nrefuse 9000 not-found\n";
  const struct {
    std::vector<std::string> args;
    int exitCode;
    const char* err;
  } cases[] = {
      {{"-x", "nosuch.exe"},
       10,
       "kestrel: -x: cannot find the program nosuch.exe\n"},
      {{"-x", "lost.exe"},
       10,
       "kestrel: -x: cannot find the program lost.exe\n"},
      {{"-x", "broken.exe", "--flag"},
       10,
       "kestrel: -x: cannot start the program broken.exe\n"},
      {{"-x", "999"}, 10, "kestrel: -x: no running process has PID 999\n"},
      {{"-x", "8700"}, 10, "kestrel: -x: no running process has PID 8700\n"},
      {{"-x", "501"},
       10,
       "kestrel: -x: PID 501 is another user's process or runs elevated: it "
       "cannot be followed\n"},
      {{"-x", "8500"},
       10,
       "kestrel: -x: PID 8500 is a protected process: it cannot be "
       "followed\n"},
      {{"-x", "old"},
       10,
       "kestrel: -x: the program old is a 32-bit program: 64-bit programs are "
       "followed\n"},
      {{"-x", "quick.exe"},
       11,
       "kestrel: -x: the program quick.exe exited before following began\n"},
      {{"-x", "bare.exe"},
       10,
       "kestrel: -x: the agent that follows programs is not beside kestrel's "
       "own program\n"},
      {{"-x", "odd.exe"},
       10,
       "kestrel: -x: the agent could not be set up in the program odd.exe\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(ArgsText(c.args));
    std::string file = (std::filesystem::path(dir_) / "kept.txt").string();
    { std::ofstream(file) << "kept"; }
    std::vector<std::string> args = {"-O", file};
    args.insert(args.end(), c.args.begin(), c.args.end());
    RunResult result = Run(session, args);
    EXPECT_EQ(c.exitCode, result.exitCode);
    EXPECT_EQ(c.err, result.err);
    EXPECT_EQ("", result.out);
    bool ok = false;
    EXPECT_EQ("kept", ReadFile(file, &ok));
  }
}

// The sample's painter.exe, followed to its exit: the leak first, still
// growing; the cache held; the churn up and down. -g fails the run for the
// leak alone, naming its innermost frame; -n stops following early.
TEST(FollowTest, SampleProgram) {
  const std::string child =
      "kestrel: -x: painter.exe started PainterHelper.exe (PID 8232), which "
      "is not followed\n";
  const char* update = std::getenv("KESTREL_UPDATE_GOLDEN");
  // Each format's rendering of it: the text report after the watch's; one
  // JSON document and one CSV table of the stacks alone; the HTML page's
  // section.
  const struct {
    const char* file;
    std::vector<std::string> args;
  } formats[] = {
      {"sample_trace.txt", {"-x", "painter"}},
      {"sample_trace_json.txt", {"-o", "json", "-x", "painter"}},
      {"sample_trace_csv.txt", {"-o", "csv", "-x", "painter"}},
      {"sample_trace_html.txt", {"-o", "html", "-x", "painter"}},
  };
  for (const auto& c : formats) {
    SCOPED_TRACE(c.file);
    RunResult result = RunKestrel(c.args, nullptr);
    EXPECT_EQ(0, result.exitCode);
    EXPECT_EQ(child, result.err);
    std::string path = std::string(KESTREL_GOLDEN_DIR) + "/" + c.file;
    if (update && std::strcmp(update, "1") == 0) {
      std::ofstream(path, std::ios::binary) << result.out;
      continue;
    }
    bool ok = false;
    std::string golden = ReadFile(path, &ok);
    ASSERT_TRUE(ok) << path;
    EXPECT_TRUE(result.out == golden)
        << "differs at " << FirstDifference(golden, result.out);
  }

  const struct {
    std::vector<std::string> args;
    int exitCode;
    std::string err;
  } gates[] = {
      {{"-g", "100", "-x", "painter"},
       7,
       // The stack that leaked, and the process that grew past the count.
       child + "kestrel: -g: still growing, 120 objects left by "
               "painter.exe!MakeHatchBrush+0x2a (painter.c:41)\n"
               "kestrel: -g 100: painter.exe (PID 8200) GDI All 12 -> 135 "
               "(+123, +263.6/min), still growing +240.0/min\n"},
      {{"-g", "124", "-x", "painter"}, 0, child},
  };
  for (const auto& c : gates) {
    SCOPED_TRACE(ArgsText(c.args));
    RunResult gated = RunKestrel(c.args, nullptr);
    EXPECT_EQ(c.exitCode, gated.exitCode);
    EXPECT_EQ(c.err, gated.err);
  }

  RunResult early = RunKestrel({"-n", "5", "-v", "-x", "painter"}, nullptr);
  EXPECT_EQ(0, early.exitCode);
  EXPECT_NE(std::string::npos,
            early.out.find("Trace of painter.exe (PID 8200) over 5 samples, "
                           "4 s: still running, no longer followed\n"))
      << early.out;
  // -v: every frame.
  EXPECT_NE(std::string::npos, early.out.find("    ntdll.dll+0x52651\n"));
}
