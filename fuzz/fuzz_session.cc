// Fuzzes the session description parser with arbitrary bytes: each input is
// either a session or one error that names a line of it, never a crash or a
// hang. A session that parses is then run through the whole program.
//
// The parser may allocate a table region of up to Session::kMaxRegion
// (1 GiB), so scripts/fuzz runs this target with -malloc_limit_mb just above
// that: any larger single allocation is a fault.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cli/exit_codes.h"
#include "cli/run.h"
#include "fuzz_check.h"
#include "output/output.h"
#include "platform/sim/session.h"
#include "platform/sim/sim_control.h"

namespace {

// The parser splits on "\n"; a last line without one counts when non-empty.
size_t CountLines(std::string_view text) {
  size_t lines = 0;
  for (char c : text)
    lines += c == '\n';
  if (!text.empty() && text.back() != '\n')
    ++lines;
  return lines;
}

// Where line `line` (from 1) starts.
size_t LineStart(std::string_view text, size_t line) {
  size_t position = 0;
  for (size_t n = 1; n < line; ++n)
    position = text.find('\n', position) + 1;
  return position;
}

// Sessions whose region is larger are not run: the scan reads the whole
// region, and the fuzzer's inputs are about the parser's paths.
constexpr uint64_t kLargestRunRegion = 1 << 20;

void RunOver(Session session) {
  const std::u16string kBanner =
      u"\nkestrel v1.0 - List windows gdi handles.\n";
  platform::UseSession(std::move(session));
  const std::vector<std::vector<std::u16string>> kViews = {
      {},
      {u"-c", u"-v"},
      {u"-v", u"-f", u"dc", u"exe"},
      {u"-o", u"json", u"-v", u"-s", u"name"},
      // A watch applies the sample blocks, one at each simulated wait.
      {u"-w", u"1", u"-n", u"4", u"-c", u"-v"}};
  for (const std::vector<std::u16string>& arguments : kViews) {
    std::u16string text;
    int code;
    {
      Output out(&text);
      code = RunKestrel(arguments, out);
    }
    FUZZ_CHECK(code == kExitSuccess || code == kExitSystemState);
    if (arguments.empty() || arguments[0] != u"-o")
      FUZZ_CHECK(text.compare(0, kBanner.size(), kBanner) == 0);
    else  // a document, or nothing when the system state is unreadable
      FUZZ_CHECK(code == kExitSystemState
                     ? text.empty()
                     : text.compare(0, 8, u"{\"tool\":") == 0);
    // Every process and snapshot handle is closed again.
    FUZZ_CHECK(platform::OpenHandleCount() == 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  size_t lines = CountLines(text);
  size_t errorLine = 0;
  std::string error;
  bool parsed;
  {
    Session session;
    parsed = ParseSessionText(text, &session, &errorLine, &error);
    if (parsed) {
      FUZZ_CHECK(session.table != nullptr);
      FUZZ_CHECK(session.regionSize <= Session::kMaxRegion);
      for (const SimulatedProcess& process : session.processes)
        FUZZ_CHECK(process.name.size() <= 259);
      if (session.regionSize <= kLargestRunRegion)
        RunOver(std::move(session));
      return 0;
    }
  }
  FUZZ_CHECK(!error.empty());
  // One short line of printable ASCII, whatever bytes the input held.
  FUZZ_CHECK(error.size() <= 300);
  for (char c : error)
    FUZZ_CHECK(c >= 0x20 && c < 0x7F);
  FUZZ_CHECK(errorLine >= 1 && errorLine <= lines);
  // The error names the first bad line: the lines before it parse.
  Session prefix;
  size_t prefixLine = 0;
  std::string prefixError;
  FUZZ_CHECK(ParseSessionText(text.substr(0, LineStart(text, errorLine)),
                              &prefix, &prefixLine, &prefixError));
  return 0;
}
