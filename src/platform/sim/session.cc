#include "platform/sim/session.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <vector>

#include "platform/utf8.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Splits off the next field; empty when none is left.
std::string_view NextField(std::string_view& rest) {
  size_t start = 0;
  while (start < rest.size() && IsBlank(rest[start]))
    ++start;
  size_t end = start;
  while (end < rest.size() && !IsBlank(rest[end]))
    ++end;
  std::string_view field = rest.substr(start, end - start);
  rest.remove_prefix(end);
  return field;
}

// A field as an error message quotes it: its first bytes in single quotes,
// each byte outside printable ASCII (and the backslash) as \xNN, so that no
// control byte reaches the terminal, and "..." with the size after a cut.
std::string Quoted(std::string_view field) {
  constexpr size_t kQuotedBytes = 40;
  std::string text = "'";
  for (size_t i = 0; i < field.size() && i < kQuotedBytes; ++i) {
    auto byte = static_cast<unsigned char>(field[i]);
    if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
      text += static_cast<char>(byte);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof(escaped), "\\x%02X", byte);
      text += escaped;
    }
  }
  text += "'";
  if (field.size() > kQuotedBytes)
    text += "... (" + std::to_string(field.size()) + " bytes)";
  return text;
}

// The value of a digit byte, 0 to 15; 16 for a byte that is no digit.
unsigned DigitValue(char c) {
  unsigned byte = static_cast<unsigned char>(c);
  if (byte - '0' < 10)
    return byte - '0';
  // Upper-case letters as lower-case ones; no other byte lands on a to f.
  unsigned letter = (byte | 0x20u) - 'a';
  return letter < 6 ? letter + 10 : 16;
}

// An unsigned decimal or 0x-hexadecimal number no larger than `maximum`.
bool ParseNumber(std::string_view field, uint64_t maximum, uint64_t* value) {
  bool hex = field.size() > 2 && field[0] == '0' &&
             (field[1] == 'x' || field[1] == 'X');
  if (hex)
    field.remove_prefix(2);
  if (field.empty())
    return false;
  const unsigned base = hex ? 16 : 10;
  uint64_t result = 0;
  // Up to 19 decimal or 16 hexadecimal digits fit in 64 bits, so these are
  // read without a check per digit and compared with the maximum once.
  size_t unchecked = std::min(field.size(), hex ? size_t{16} : size_t{19});
  for (size_t i = 0; i < unchecked; ++i) {
    unsigned digit = DigitValue(field[i]);
    if (digit >= base)
      return false;
    result = result * base + digit;
  }
  if (result > maximum)
    return false;
  // Digits beyond those (leading zeros, or a number too large) are checked
  // against the most a number may be before a further digit, worked out by
  // a shift or a division by a constant, not a division per digit.
  const uint64_t limit = hex ? maximum >> 4 : maximum / 10;
  const unsigned lastDigit =
      static_cast<unsigned>(hex ? maximum & 0xF : maximum % 10);
  for (size_t i = unchecked; i < field.size(); ++i) {
    unsigned digit = DigitValue(field[i]);
    if (digit >= base || result > limit ||
        (result == limit && digit > lastDigit))
      return false;
    result = result * base + digit;
  }
  *value = result;
  return true;
}

}  // namespace

void FreeDeleter::operator()(unsigned char* p) const { std::free(p); }

bool SessionParser::Fail(std::string message) {
  error_ = std::move(message);
  return false;
}

bool SessionParser::EnsureTable() {
  if (session_->table)
    return true;
  size_t bytes = static_cast<size_t>(session_->regionSize);
  session_->table.reset(
      static_cast<unsigned char*>(std::calloc(bytes == 0 ? 1 : bytes, 1)));
  // Memory running out is no fault of the description.
  if (!session_->table)
    throw std::bad_alloc();
  return true;
}

bool SessionParser::Take(SessionChange change) {
  using Kind = SessionChange::Kind;
  uint32_t pid = change.process.pid;
  if (!inBlock_) {
    switch (change.kind) {
      case Kind::Process:
        // Before the first block, each line adds a process, even one whose
        // PID is taken.
        firstProcessOf_.emplace(pid, session_->processes.size());
        session_->processes.push_back(std::move(change.process));
        return true;
      case Kind::Counts: {
        auto found = firstProcessOf_.find(pid);
        if (found == firstProcessOf_.end())
          return Fail("no process line above lists PID " + std::to_string(pid));
        SimulatedProcess& process = session_->processes[found->second];
        process.gdiPeak = change.process.gdiPeak;
        process.userObjects = change.process.userObjects;
        process.userPeak = change.process.userPeak;
        return true;
      }
      default:
        break;
    }
    ApplyChange(change, session_);
    return true;
  }
  if (change.kind == Kind::Process) {
    ++livePids_[pid];
  } else if (change.kind == Kind::Exit || change.kind == Kind::Counts) {
    auto live = livePids_.find(pid);
    if (live == livePids_.end())
      return Fail("no process has PID " + std::to_string(pid) + " here");
    if (change.kind == Kind::Exit)
      livePids_.erase(live);
  }
  session_->blocks.back().changes.push_back(std::move(change));
  return true;
}

void ApplyChange(const SessionChange& change, Session* session) {
  using Kind = SessionChange::Kind;
  std::vector<SimulatedProcess>& processes = session->processes;
  auto hasPid = [&change](const SimulatedProcess& process) {
    return process.pid == change.process.pid;
  };
  auto first = [&] {
    return std::find_if(processes.begin(), processes.end(), hasPid);
  };
  switch (change.kind) {
    case Kind::Process: {
      auto found = first();
      if (found != processes.end())
        *found = change.process;
      else
        processes.push_back(change.process);
      break;
    }
    case Kind::Exit:
      processes.erase(
          std::remove_if(processes.begin(), processes.end(), hasPid),
          processes.end());
      break;
    case Kind::Counts: {
      auto found = first();
      if (found != processes.end()) {
        found->gdiPeak = change.process.gdiPeak;
        found->userObjects = change.process.userObjects;
        found->userPeak = change.process.userPeak;
      }
      break;
    }
    case Kind::Global:
      session->globalGdiObjects = change.globalGdi;
      session->globalUserObjects = change.globalUser;
      break;
    case Kind::Flag:
      session->*change.flag = true;
      break;
    case Kind::Interrupt:
    case Kind::Sleep:
      break;
  }
}

// The fields of a line after its record word, read in order; a field that
// is missing or wrong fails the line with a message that names it.
class LineFields {
 public:
  LineFields(std::string_view rest, std::string* error)
      : rest_(rest), error_(error) {}

  // The next field, which must be there.
  bool Word(const char* what, std::string_view* word) {
    *word = NextField(rest_);
    if (word->empty())
      return Fail(std::string("missing field: ") + what);
    return true;
  }
  // The next field as a number, at most `maximum`.
  bool Number(const char* what, uint64_t maximum, uint64_t* value) {
    std::string_view field;
    if (!Word(what, &field))
      return false;
    if (!ParseNumber(field, maximum, value))
      return Fail(std::string(what) + " is not a number from 0 to " +
                  std::to_string(maximum) + ": " + Quoted(field));
    return true;
  }
  bool Number32(const char* what, uint32_t* value) {
    uint64_t wide;
    if (!Number(what, 0xFFFFFFFF, &wide))
      return false;
    *value = static_cast<uint32_t>(wide);
    return true;
  }
  // The rest of the line after one run of blanks.
  std::string_view Rest() {
    size_t start = 0;
    while (start < rest_.size() && IsBlank(rest_[start]))
      ++start;
    return rest_.substr(start);
  }
  // No field is left.
  bool End() {
    std::string_view extra = NextField(rest_);
    if (!extra.empty())
      return Fail("extra field: " + Quoted(extra));
    return true;
  }
  bool Fail(std::string message) {
    *error_ = std::move(message);
    return false;
  }

 private:
  std::string_view rest_;
  std::string* error_;
};

// One record of the description: its word, where it may stand (and what is
// said when it stands elsewhere), and what reads its fields.
struct RecordParser {
  // Before the first sample line, after it, or either.
  enum class Place { Anywhere, BeforeBlocks, InBlock };

  const char* word;
  Place place;
  const char* misplaced;
  bool (SessionParser::*parse)(LineFields& fields);
};

using Place = RecordParser::Place;

const RecordParser SessionParser::kRecords[] = {
    {"self", Place::BeforeBlocks,
     "a self line must come before the first sample line",
     &SessionParser::ParseSelf},
    {"session", Place::BeforeBlocks,
     "a session line must come before the first sample line",
     &SessionParser::ParseSessionId},
    {"process", Place::Anywhere, nullptr, &SessionParser::ParseProcess},
    {"counts", Place::Anywhere, nullptr, &SessionParser::ParseCounts},
    {"global", Place::Anywhere, nullptr, &SessionParser::ParseGlobal},
    {"quota", Place::BeforeBlocks,
     "a quota line must come before the first sample line",
     &SessionParser::ParseQuota},
    {"clock", Place::BeforeBlocks,
     "a clock line must come before the first sample line",
     &SessionParser::ParseClock},
    {"host", Place::BeforeBlocks,
     "a host line must come before the first sample line",
     &SessionParser::ParseHost},
    {"snapshot", Place::Anywhere, nullptr, &SessionParser::ParseSnapshot},
    {"table", Place::BeforeBlocks,
     "a table line must come before the first entry and sample lines",
     &SessionParser::ParseTable},
    {"entry", Place::Anywhere, nullptr, &SessionParser::ParseEntry},
    {"fail", Place::Anywhere, nullptr, &SessionParser::ParseFail},
    {"sample", Place::Anywhere, nullptr, &SessionParser::ParseSample},
    {"free", Place::InBlock,
     "free, exit and interrupt lines belong after a sample line",
     &SessionParser::ParseFree},
    {"exit", Place::InBlock,
     "free, exit and interrupt lines belong after a sample line",
     &SessionParser::ParseExit},
    {"interrupt", Place::InBlock,
     "free, exit and interrupt lines belong after a sample line",
     &SessionParser::ParseInterrupt},
    {"sleep", Place::InBlock, "a sleep line belongs after a sample line",
     &SessionParser::ParseSleep},
    {"program", Place::BeforeBlocks,
     "a program line must come before the first sample line",
     &SessionParser::ParseProgram},
    {"refuse", Place::BeforeBlocks,
     "a refuse line must come before the first sample line",
     &SessionParser::ParseRefuse},
    {"stack", Place::Anywhere, nullptr, &SessionParser::ParseStack},
    {"create", Place::Anywhere, nullptr, &SessionParser::ParseCreate},
    {"delete", Place::Anywhere, nullptr, &SessionParser::ParseDelete},
    {"ends", Place::Anywhere, nullptr, &SessionParser::ParseEnds},
    {"child", Place::Anywhere, nullptr, &SessionParser::ParseChild},
};

bool SessionParser::ParseLine(std::string_view line) {
  ++lineNumber_;
  if (line.size() > kMaxLineBytes)
    return Fail("the line is longer than " + std::to_string(kMaxLineBytes) +
                " bytes");
  // A byte-order mark may open the description.
  if (lineNumber_ == 1 && line.substr(0, 3) == "\xEF\xBB\xBF")
    line.remove_prefix(3);
  if (!line.empty() && line.back() == '\r')
    line.remove_suffix(1);
  if (line.find('\0') != std::string_view::npos)
    return Fail("the line holds a NUL byte");
  std::string_view rest = line;
  std::string_view word = NextField(rest);
  if (word.empty() || word[0] == '#')
    return true;
  for (const RecordParser& record : kRecords) {
    if (word != record.word)
      continue;
    if ((record.place == Place::BeforeBlocks && inBlock_) ||
        (record.place == Place::InBlock && !inBlock_))
      return Fail(record.misplaced);
    LineFields fields(rest, &error_);
    return (this->*record.parse)(fields);
  }
  return Fail("unknown record " + Quoted(word));
}

bool SessionParser::ParseSelf(LineFields& fields) {
  return fields.Number32("PID", &session_->selfPid) && fields.End();
}

bool SessionParser::ParseSessionId(LineFields& fields) {
  return fields.Number32("ID", &session_->sessionId) && fields.End();
}

bool SessionParser::ParseProcess(LineFields& fields) {
  SessionChange change;
  change.kind = SessionChange::Kind::Process;
  SimulatedProcess& process = change.process;
  std::string_view access;
  if (!fields.Number32("PID", &process.pid) ||
      !fields.Number32("GDI", &process.gdiObjects) ||
      !fields.Word("ACCESS", &access))
    return false;
  if (access != "open" && access != "limited" && access != "denied")
    return Fail("ACCESS is 'open', 'limited' or 'denied', not " +
                Quoted(access));
  // The name is the rest of the line after one run of blanks.
  std::string_view name = fields.Rest();
  if (name.empty())
    return Fail("missing field: NAME");
  if (!IsValidUtf8(name))
    return Fail("NAME is not valid UTF-8");
  process.canOpen = access != "denied";
  process.limitedOnly = access == "limited";
  process.name = DecodeUtf8(name);
  if (process.name.size() > 259)
    process.name.resize(259);
  return Take(std::move(change));
}

bool SessionParser::ParseCounts(LineFields& fields) {
  SessionChange change;
  change.kind = SessionChange::Kind::Counts;
  uint32_t gdiPeak;
  if (!fields.Number32("PID", &change.process.pid) ||
      !fields.Number32("GDIPEAK", &gdiPeak) ||
      !fields.Number32("USER", &change.process.userObjects) ||
      !fields.Number32("USERPEAK", &change.process.userPeak) || !fields.End())
    return false;
  change.process.gdiPeak = gdiPeak;
  return Take(std::move(change));
}

bool SessionParser::ParseGlobal(LineFields& fields) {
  SessionChange change;
  change.kind = SessionChange::Kind::Global;
  if (!fields.Number32("GDI", &change.globalGdi) ||
      !fields.Number32("USER", &change.globalUser) || !fields.End())
    return false;
  return Take(std::move(change));
}

bool SessionParser::ParseQuota(LineFields& fields) {
  uint32_t quota;
  if (!fields.Number32("N", &quota) || !fields.End())
    return false;
  session_->processQuota = quota;
  return true;
}

bool SessionParser::ParseClock(LineFields& fields) {
  // Up to 9999-12-31 23:59:59 UTC, the last instant ISO 8601's four-digit
  // years name.
  constexpr uint64_t kLastSecond = 253402300799;
  uint64_t seconds;
  if (!fields.Number("SECONDS", kLastSecond, &seconds))
    return false;
  session_->clockStartMilliseconds = seconds * 1000;
  session_->localOffsetMinutes = 0;
  std::string_view rest = fields.Rest();
  if (rest.empty())
    return true;
  std::string_view offset;
  if (!fields.Word("OFFSET", &offset) || !fields.End())
    return false;
  // A signed number of minutes, less than a day either way.
  uint64_t minutes = 0;
  bool signedWell = offset.size() > 1 && (offset[0] == '+' || offset[0] == '-');
  if (!signedWell || !ParseNumber(offset.substr(1), 1439, &minutes))
    return Fail("OFFSET is minutes from -1439 to +1439, signed: " +
                Quoted(offset));
  session_->localOffsetMinutes = static_cast<int32_t>(minutes);
  if (offset[0] == '-')
    session_->localOffsetMinutes = -session_->localOffsetMinutes;
  return true;
}

bool SessionParser::ParseHost(LineFields& fields) {
  std::string_view name = fields.Rest();
  if (name.empty())
    return Fail("missing field: NAME");
  if (!IsValidUtf8(name))
    return Fail("NAME is not valid UTF-8");
  session_->hostName = DecodeUtf8(name);
  return true;
}

bool SessionParser::ParseSnapshot(LineFields& fields) {
  std::string_view what;
  if (!fields.Word("'fail'", &what))
    return false;
  if (what != "fail")
    return Fail("a snapshot line reads 'snapshot fail', not " +
                Quoted("snapshot " + std::string(what)));
  if (!fields.End())
    return false;
  SessionChange change;
  change.kind = SessionChange::Kind::Flag;
  change.flag = &Session::snapshotFails;
  return Take(std::move(change));
}

bool SessionParser::ParseTable(LineFields& fields) {
  if (sawEntry_)
    return Fail(
        "a table line must come before the first entry and sample lines");
  uint64_t region;
  if (!fields.Number("REGION", Session::kMaxRegion, &region) || !fields.End())
    return false;
  session_->regionSize = region;
  return true;
}

bool SessionParser::InTable(uint64_t index) {
  if (sizeof(platform::GdiTableEntry) * (index + 1) <= session_->regionSize)
    return true;
  return Fail("entry " + std::to_string(index) +
              " lies outside the table region of " +
              std::to_string(session_->regionSize) + " bytes");
}

bool SessionParser::ParseEntry(LineFields& fields) {
  uint64_t index, kernel, owner, unique, type, flags, user;
  if (!fields.Number("INDEX", 0xFFFFFFFF, &index) ||
      !fields.Number("KERNEL", ~0ull, &kernel) ||
      !fields.Number("OWNER", 0xFFFFFFFF, &owner) ||
      !fields.Number("UNIQUE", 0xFFFF, &unique) ||
      !fields.Number("TYPE", 0xFF, &type) ||
      !fields.Number("FLAGS", 0xFF, &flags) ||
      !fields.Number("USER", ~0ull, &user) || !fields.End() || !InTable(index))
    return false;
  sawEntry_ = true;
  EntryChange change;
  change.index = static_cast<uint32_t>(index);
  platform::GdiTableEntry entry = {};
  entry.kernelAddress = kernel;
  entry.ownerWord = static_cast<uint32_t>(owner);
  entry.unique = static_cast<uint16_t>(unique);
  entry.typeCode = static_cast<uint8_t>(type);
  entry.flags = static_cast<uint8_t>(flags);
  entry.userAddress = user;
  std::memcpy(change.bytes, &entry, sizeof(entry));
  if (inBlock_) {
    session_->blocks.back().entries.push_back(change);
    return true;
  }
  EnsureTable();
  std::memcpy(session_->table.get() + sizeof(platform::GdiTableEntry) * index,
              &entry, sizeof(entry));
  return true;
}

bool SessionParser::ParseFail(LineFields& fields) {
  std::string_view what;
  if (!fields.Word("WHAT", &what) || !fields.End())
    return false;
  static const struct {
    const char* word;
    bool Session::*flag;
  } kSteps[] = {{"ntdll-lookup", &Session::failNtdllLookup},
                {"open-self", &Session::failOpenSelf},
                {"query-status", &Session::failQueryStatus},
                {"peb-null", &Session::failPebNull},
                {"virtual-query", &Session::failVirtualQuery},
                {"region-unreadable", &Session::failRegionUnreadable}};
  SessionChange change;
  change.kind = SessionChange::Kind::Flag;
  for (const auto& step : kSteps) {
    if (what == step.word)
      change.flag = step.flag;
  }
  if (!change.flag)
    return Fail("unknown failure " + Quoted(what));
  return Take(std::move(change));
}

bool SessionParser::ParseSample(LineFields& fields) {
  if (!fields.End())
    return false;
  if (!inBlock_) {
    EnsureTable();
    for (const SimulatedProcess& process : session_->processes)
      ++livePids_[process.pid];
  }
  inBlock_ = true;
  session_->blocks.emplace_back();
  return true;
}

bool SessionParser::ParseFree(LineFields& fields) {
  uint64_t index;
  if (!fields.Number("INDEX", 0xFFFFFFFF, &index) || !fields.End() ||
      !InTable(index))
    return false;
  EntryChange change;
  change.index = static_cast<uint32_t>(index);
  session_->blocks.back().entries.push_back(change);
  return true;
}

bool SessionParser::ParseExit(LineFields& fields) {
  SessionChange change;
  change.kind = SessionChange::Kind::Exit;
  if (!fields.Number32("PID", &change.process.pid) || !fields.End())
    return false;
  return Take(std::move(change));
}

bool SessionParser::ParseInterrupt(LineFields& fields) {
  if (!fields.End())
    return false;
  SessionChange change;
  change.kind = SessionChange::Kind::Interrupt;
  return Take(std::move(change));
}

bool SessionParser::ParseSleep(LineFields& fields) {
  uint64_t seconds;
  if (!fields.Number("SECONDS", 0xFFFFFFFF, &seconds) || !fields.End())
    return false;
  SessionChange change;
  change.kind = SessionChange::Kind::Sleep;
  change.sleepMilliseconds = seconds * 1000;
  return Take(std::move(change));
}

namespace {

// The full type codes of a create or delete line's TYPE.
constexpr struct {
  const char* word;
  uint8_t code;
} kFollowTypes[] = {
    {"dc", 0x01},          {"region", 0x04},   {"bitmap", 0x05},
    {"palette", 0x08},     {"font", 0x0A},     {"brush", 0x10},
    {"dibsection", 0x25},  {"metafile", 0x26}, {"pen", 0x30},
    {"enhmetafile", 0x46}, {"extpen", 0x50},   {"metadc", 0x66},
};

constexpr struct {
  const char* word;
  platform::FollowFailure failure;
} kRefusals[] = {
    {"not-found", platform::FollowFailure::ProgramNotFound},
    {"cannot-start", platform::FollowFailure::CannotStart},
    {"no-such-process", platform::FollowFailure::NoSuchProcess},
    {"denied", platform::FollowFailure::AccessDenied},
    {"protected", platform::FollowFailure::Protected},
    {"32-bit", platform::FollowFailure::Not64Bit},
    {"exits-early", platform::FollowFailure::ExitedEarly},
    {"agent-missing", platform::FollowFailure::AgentMissing},
    {"agent-failed", platform::FollowFailure::AgentFailed},
};

// A frame field: MODULE+0xOFFSET, or MODULE!FUNCTION+0xOFFSET[@FILE:LINE].
bool ParseFrame(std::string_view field, platform::StackFrame* frame) {
  std::string_view location;
  size_t at = field.find('@');
  if (at != std::string_view::npos) {
    location = field.substr(at + 1);
    field = field.substr(0, at);
  }
  size_t plus = field.rfind('+');
  if (plus == std::string_view::npos || plus == 0)
    return false;
  std::string_view offsetText = field.substr(plus + 1);
  uint64_t offset;
  if (offsetText.substr(0, 2) != "0x" ||
      !ParseNumber(offsetText, ~0ull, &offset))
    return false;
  std::string_view name = field.substr(0, plus);
  if (!IsValidUtf8(name) || !IsValidUtf8(location))
    return false;
  size_t bang = name.find('!');
  if (bang == std::string_view::npos) {
    if (!location.empty())
      return false;
    frame->module = DecodeUtf8(name);
    frame->moduleOffset = offset;
    return true;
  }
  if (bang == 0 || bang + 1 == name.size())
    return false;
  frame->module = DecodeUtf8(name.substr(0, bang));
  frame->function = DecodeUtf8(name.substr(bang + 1));
  frame->functionOffset = offset;
  if (location.empty())
    return true;
  size_t colon = location.rfind(':');
  uint64_t line;
  if (colon == std::string_view::npos || colon == 0 ||
      !ParseNumber(location.substr(colon + 1), 0xFFFFFFFF, &line))
    return false;
  frame->file = DecodeUtf8(location.substr(0, colon));
  frame->line = static_cast<uint32_t>(line);
  return true;
}

// A name that ends the line, as a process line's: UTF-8, cut to 259 units.
bool ReadName(LineFields& fields, std::u16string* name) {
  std::string_view text = fields.Rest();
  if (text.empty())
    return fields.Fail("missing field: NAME");
  if (!IsValidUtf8(text))
    return fields.Fail("NAME is not valid UTF-8");
  *name = DecodeUtf8(text);
  if (name->size() > 259)
    name->resize(259);
  return true;
}

}  // namespace

bool SessionParser::ParseProgram(LineFields& fields) {
  SimulatedProgram program;
  if (!fields.Number32("PID", &program.pid) ||
      !fields.Number32("UNSEEN", &program.unseen) ||
      !ReadName(fields, &program.name))
    return false;
  if (FindProgram(program.pid))
    return Fail("a program line above has PID " + std::to_string(program.pid));
  session_->programs.push_back(std::move(program));
  return true;
}

bool SessionParser::ParseRefuse(LineFields& fields) {
  uint32_t pid;
  std::string_view why;
  if (!fields.Number32("PID", &pid) || !fields.Word("WHY", &why) ||
      !fields.End())
    return false;
  SimulatedProgram* program = FindProgram(pid);
  if (!program)
    return Fail("no program line above has PID " + std::to_string(pid));
  for (const auto& refusal : kRefusals) {
    if (why == refusal.word) {
      program->refusal = refusal.failure;
      return true;
    }
  }
  return Fail("unknown refusal " + Quoted(why));
}

bool SessionParser::ParseStack(LineFields& fields) {
  uint32_t id;
  if (!fields.Number32("ID", &id))
    return false;
  if (id == 0)
    return Fail("a stack's ID is 1 or more");
  std::vector<platform::StackFrame> frames;
  std::string_view rest = fields.Rest();
  for (std::string_view field = NextField(rest); !field.empty();
       field = NextField(rest)) {
    platform::StackFrame frame;
    if (!ParseFrame(field, &frame))
      return Fail(
          "a frame is MODULE+0xOFFSET or "
          "MODULE!FUNCTION+0xOFFSET[@FILE:LINE], not " +
          Quoted(field));
    frames.push_back(std::move(frame));
  }
  if (!session_->stacks.emplace(id, std::move(frames)).second)
    return Fail("a stack line above has ID " + std::to_string(id));
  return true;
}

bool SessionParser::ParseObjects(LineFields& fields, FollowChange::Kind kind) {
  FollowChange change;
  change.kind = kind;
  std::string_view stack, type;
  if (!fields.Number32("PID", &change.pid) || !fields.Word("STACK", &stack))
    return false;
  uint64_t id = 0;
  if (stack != "-" && (!ParseNumber(stack, 0xFFFFFFFF, &id) || id == 0))
    return Fail("STACK is a stack's ID or '-', not " + Quoted(stack));
  change.stack = static_cast<uint32_t>(id);
  if (!fields.Word("TYPE", &type))
    return false;
  const auto* known = std::find_if(
      std::begin(kFollowTypes), std::end(kFollowTypes),
      [type](const auto& candidate) { return type == candidate.word; });
  if (known == std::end(kFollowTypes))
    return Fail("unknown TYPE " + Quoted(type));
  change.type = known->code;
  if (!fields.Number32("COUNT", &change.count) || !fields.End())
    return false;
  return TakeFollow(std::move(change));
}

bool SessionParser::ParseCreate(LineFields& fields) {
  return ParseObjects(fields, FollowChange::Kind::Create);
}

bool SessionParser::ParseDelete(LineFields& fields) {
  return ParseObjects(fields, FollowChange::Kind::Delete);
}

bool SessionParser::ParseEnds(LineFields& fields) {
  FollowChange change;
  change.kind = FollowChange::Kind::Exit;
  if (!fields.Number32("PID", &change.pid) ||
      !fields.Number32("CODE", &change.count) || !fields.End())
    return false;
  return TakeFollow(std::move(change));
}

bool SessionParser::ParseChild(LineFields& fields) {
  FollowChange change;
  change.kind = FollowChange::Kind::Child;
  if (!fields.Number32("PID", &change.pid) ||
      !fields.Number32("CHILDPID", &change.count) ||
      !ReadName(fields, &change.childName))
    return false;
  return TakeFollow(std::move(change));
}

SimulatedProgram* SessionParser::FindProgram(uint32_t pid) {
  for (SimulatedProgram& program : session_->programs) {
    if (program.pid == pid)
      return &program;
  }
  return nullptr;
}

bool SessionParser::TakeFollow(FollowChange change) {
  if (!FindProgram(change.pid))
    return Fail("no program line above has PID " + std::to_string(change.pid));
  if (change.stack != 0 && session_->stacks.count(change.stack) == 0)
    return Fail("no stack line above has ID " + std::to_string(change.stack));
  if (inBlock_)
    session_->blocks.back().follow.push_back(std::move(change));
  else
    session_->follow.push_back(std::move(change));
  return true;
}

bool SessionParser::Finish() { return EnsureTable(); }

bool ParseSessionText(std::string_view text, Session* session,
                      size_t* errorLine, std::string* error) {
  SessionParser parser(session);
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!parser.ParseLine(line)) {
      *errorLine = parser.LineNumber();
      *error = parser.Error();
      return false;
    }
  }
  if (!parser.Finish()) {
    *errorLine = parser.LineNumber();
    *error = parser.Error();
    return false;
  }
  return true;
}

bool LoadSession(const char* path, Session* session, std::string* error) {
  if (!path) {
    size_t line = 0;
    if (ParseSessionText(kSampleSession, session, &line, error))
      return true;
    *error =
        "<built-in sample session>:" + std::to_string(line) + ": " + *error;
    return false;
  }
  std::string name = path;
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    *error =
        name + ": cannot read the session description: " + std::strerror(errno);
    return false;
  }
  SessionParser parser(session);
  bool ok = true;
  // Lines are read into a buffer one byte longer than the longest the
  // parser takes, so that a longer one is cut there and rejected, rather
  // than grown without bound.
  std::vector<char> line(SessionParser::kMaxLineBytes + 2);
  while (ok) {
    file.getline(line.data(), static_cast<std::streamsize>(line.size()));
    auto extracted = static_cast<size_t>(file.gcount());
    if (extracted == 0 && !file)
      break;
    // Unless the file ended or the line was cut, the newline was
    // extracted, and counted.
    bool newline = file.good();
    ok = parser.ParseLine(
        std::string_view(line.data(), extracted - (newline ? 1 : 0)));
    if (!newline)
      break;
  }
  if (ok && file.bad()) {
    *error = name + ": cannot read the session description";
    return false;
  }
  if (ok)
    ok = parser.Finish();
  if (!ok) {
    *error = name + ":" + std::to_string(parser.LineNumber()) + ": " +
             parser.Error();
    return false;
  }
  return true;
}
