#include "platform/sim/session.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

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
  std::string_view record = NextField(rest);
  if (record.empty() || record[0] == '#')
    return true;

  // Reads the next numeric field into `value`, at most `maximum`.
  auto number = [&](const char* what, uint64_t maximum, uint64_t* value) {
    std::string_view field = NextField(rest);
    if (field.empty())
      return Fail(std::string("missing field: ") + what);
    if (!ParseNumber(field, maximum, value))
      return Fail(std::string(what) + " is not a number from 0 to " +
                  std::to_string(maximum) + ": " + Quoted(field));
    return true;
  };
  auto noMoreFields = [&]() {
    std::string_view extra = NextField(rest);
    if (!extra.empty())
      return Fail("extra field: " + Quoted(extra));
    return true;
  };

  if (record == "self") {
    if (inBlock_)
      return Fail("a self line must come before the first sample line");
    uint64_t pid;
    if (!number("PID", 0xFFFFFFFF, &pid) || !noMoreFields())
      return false;
    session_->selfPid = static_cast<uint32_t>(pid);
    return true;
  }
  if (record == "session") {
    if (inBlock_)
      return Fail("a session line must come before the first sample line");
    uint64_t id;
    if (!number("ID", 0xFFFFFFFF, &id) || !noMoreFields())
      return false;
    session_->sessionId = static_cast<uint32_t>(id);
    return true;
  }
  if (record == "process") {
    uint64_t pid, gdi;
    if (!number("PID", 0xFFFFFFFF, &pid) || !number("GDI", 0xFFFFFFFF, &gdi))
      return false;
    std::string_view access = NextField(rest);
    if (access.empty())
      return Fail("missing field: ACCESS");
    if (access != "open" && access != "limited" && access != "denied")
      return Fail("ACCESS is 'open', 'limited' or 'denied', not " +
                  Quoted(access));
    // The name is the rest of the line after one run of blanks.
    size_t start = 0;
    while (start < rest.size() && IsBlank(rest[start]))
      ++start;
    std::string_view name = rest.substr(start);
    if (name.empty())
      return Fail("missing field: NAME");
    if (!IsValidUtf8(name))
      return Fail("NAME is not valid UTF-8");
    SessionChange change;
    change.kind = SessionChange::Kind::Process;
    SimulatedProcess& process = change.process;
    process.pid = static_cast<uint32_t>(pid);
    process.gdiObjects = static_cast<uint32_t>(gdi);
    process.canOpen = access != "denied";
    process.limitedOnly = access == "limited";
    process.name = DecodeUtf8(name);
    if (process.name.size() > 259)
      process.name.resize(259);
    return Take(std::move(change));
  }
  if (record == "counts") {
    uint64_t pid, gdiPeak, user, userPeak;
    if (!number("PID", 0xFFFFFFFF, &pid) ||
        !number("GDIPEAK", 0xFFFFFFFF, &gdiPeak) ||
        !number("USER", 0xFFFFFFFF, &user) ||
        !number("USERPEAK", 0xFFFFFFFF, &userPeak) || !noMoreFields())
      return false;
    SessionChange change;
    change.kind = SessionChange::Kind::Counts;
    change.process.pid = static_cast<uint32_t>(pid);
    change.process.gdiPeak = static_cast<uint32_t>(gdiPeak);
    change.process.userObjects = static_cast<uint32_t>(user);
    change.process.userPeak = static_cast<uint32_t>(userPeak);
    return Take(std::move(change));
  }
  if (record == "global") {
    uint64_t gdi, user;
    if (!number("GDI", 0xFFFFFFFF, &gdi) ||
        !number("USER", 0xFFFFFFFF, &user) || !noMoreFields())
      return false;
    SessionChange change;
    change.kind = SessionChange::Kind::Global;
    change.globalGdi = static_cast<uint32_t>(gdi);
    change.globalUser = static_cast<uint32_t>(user);
    return Take(std::move(change));
  }
  if (record == "quota") {
    if (inBlock_)
      return Fail("a quota line must come before the first sample line");
    uint64_t quota;
    if (!number("N", 0xFFFFFFFF, &quota) || !noMoreFields())
      return false;
    session_->processQuota = static_cast<uint32_t>(quota);
    return true;
  }
  if (record == "snapshot") {
    std::string_view what = NextField(rest);
    if (what.empty())
      return Fail("missing field: 'fail'");
    if (what != "fail")
      return Fail("a snapshot line reads 'snapshot fail', not " +
                  Quoted("snapshot " + std::string(what)));
    if (!noMoreFields())
      return false;
    SessionChange change;
    change.kind = SessionChange::Kind::Flag;
    change.flag = &Session::snapshotFails;
    return Take(std::move(change));
  }
  if (record == "table") {
    if (sawEntry_ || inBlock_)
      return Fail(
          "a table line must come before the first entry and sample lines");
    uint64_t region;
    if (!number("REGION", Session::kMaxRegion, &region) || !noMoreFields())
      return false;
    session_->regionSize = region;
    return true;
  }
  if (record == "entry") {
    uint64_t index, kernel, owner, unique, type, flags, user;
    if (!number("INDEX", 0xFFFFFFFF, &index) ||
        !number("KERNEL", ~0ull, &kernel) ||
        !number("OWNER", 0xFFFFFFFF, &owner) ||
        !number("UNIQUE", 0xFFFF, &unique) || !number("TYPE", 0xFF, &type) ||
        !number("FLAGS", 0xFF, &flags) || !number("USER", ~0ull, &user) ||
        !noMoreFields())
      return false;
    if (sizeof(platform::GdiTableEntry) * (index + 1) > session_->regionSize)
      return Fail("entry " + std::to_string(index) +
                  " lies outside the table region of " +
                  std::to_string(session_->regionSize) + " bytes");
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
  if (record == "fail") {
    std::string_view what = NextField(rest);
    if (what.empty())
      return Fail("missing field: WHAT");
    if (!noMoreFields())
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
  if (record == "sample") {
    if (!noMoreFields())
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
  if ((record == "free" || record == "exit" || record == "interrupt") &&
      !inBlock_)
    return Fail("free, exit and interrupt lines belong after a sample line");
  if (record == "sleep" && !inBlock_)
    return Fail("a sleep line belongs after a sample line");
  if (record == "free" || record == "exit") {
    bool free = record == "free";
    uint64_t number64;
    if (!number(free ? "INDEX" : "PID", 0xFFFFFFFF, &number64) ||
        !noMoreFields())
      return false;
    if (!free) {
      SessionChange change;
      change.kind = SessionChange::Kind::Exit;
      change.process.pid = static_cast<uint32_t>(number64);
      return Take(std::move(change));
    }
    if (sizeof(platform::GdiTableEntry) * (number64 + 1) > session_->regionSize)
      return Fail("entry " + std::to_string(number64) +
                  " lies outside the table region of " +
                  std::to_string(session_->regionSize) + " bytes");
    EntryChange change;
    change.index = static_cast<uint32_t>(number64);
    session_->blocks.back().entries.push_back(change);
    return true;
  }
  if (record == "interrupt") {
    if (!noMoreFields())
      return false;
    SessionChange change;
    change.kind = SessionChange::Kind::Interrupt;
    return Take(std::move(change));
  }
  if (record == "sleep") {
    uint64_t seconds;
    if (!number("SECONDS", 0xFFFFFFFF, &seconds) || !noMoreFields())
      return false;
    SessionChange change;
    change.kind = SessionChange::Kind::Sleep;
    change.sleepMilliseconds = seconds * 1000;
    return Take(std::move(change));
  }
  return Fail("unknown record " + Quoted(record));
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
