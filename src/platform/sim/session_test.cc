#include "platform/sim/session.h"

#include <cstring>
#include <set>
#include <string>

#include <gtest/gtest.h>

namespace {

// The outcome of parsing one description.
struct Parsed {
  bool ok = false;
  size_t line = 0;
  std::string error;
  Session session;
};

Parsed Parse(std::string_view text) {
  Parsed parsed;
  parsed.ok =
      ParseSessionText(text, &parsed.session, &parsed.line, &parsed.error);
  return parsed;
}

// The table entry at `index`, read as the scan reads it.
struct Entry {
  uint64_t kernel;
  uint32_t owner;
  uint16_t unique;
  uint8_t type;
  uint8_t flags;
  uint64_t user;
};

Entry EntryAt(const Session& session, uint64_t index) {
  const unsigned char* at = session.table.get() + 24 * index;
  Entry entry;
  std::memcpy(&entry.kernel, at, 8);
  std::memcpy(&entry.owner, at + 8, 4);
  std::memcpy(&entry.unique, at + 12, 2);
  entry.type = at[14];
  entry.flags = at[15];
  std::memcpy(&entry.user, at + 16, 8);
  return entry;
}

TEST(SessionTest, Defaults) {
  Parsed parsed = Parse("");
  ASSERT_TRUE(parsed.ok) << parsed.error;
  const Session& s = parsed.session;
  EXPECT_EQ(1000u, s.selfPid);
  EXPECT_TRUE(s.processes.empty());
  EXPECT_FALSE(s.snapshotFails);
  EXPECT_EQ(1576960u, s.regionSize);
  // The table exists, zero-filled, even with no entry line.
  ASSERT_NE(nullptr, s.table);
  for (uint64_t i = 0; i < s.regionSize; i += 4093)
    ASSERT_EQ(0, s.table[i]) << i;
  EXPECT_EQ(0, s.table[s.regionSize - 1]);
  EXPECT_FALSE(s.failNtdllLookup || s.failOpenSelf || s.failQueryStatus ||
               s.failPebNull || s.failVirtualQuery || s.failRegionUnreadable);
}

TEST(SessionTest, EveryRecordKind) {
  Parsed parsed = Parse(
      "self 4524\n"
      "process 4 6 open System\n"
      "process 612 412 denied csrss.exe\n"
      "snapshot fail\n"
      "table 4192\n"
      "entry 3 0xFFFFF90000001234 0x1195 0x4A2 16 0x40 0x2A0000\n"
      "fail ntdll-lookup\n"
      "fail open-self\n"
      "fail query-status\n"
      "fail peb-null\n"
      "fail virtual-query\n"
      "fail region-unreadable\n");
  ASSERT_TRUE(parsed.ok) << parsed.line << ": " << parsed.error;
  const Session& s = parsed.session;
  EXPECT_EQ(4524u, s.selfPid);
  ASSERT_EQ(2u, s.processes.size());
  EXPECT_EQ(4u, s.processes[0].pid);
  EXPECT_EQ(6u, s.processes[0].gdiObjects);
  EXPECT_TRUE(s.processes[0].canOpen);
  EXPECT_EQ(u"System", s.processes[0].name);
  EXPECT_EQ(612u, s.processes[1].pid);
  EXPECT_EQ(412u, s.processes[1].gdiObjects);
  EXPECT_FALSE(s.processes[1].canOpen);
  EXPECT_EQ(u"csrss.exe", s.processes[1].name);
  EXPECT_TRUE(s.snapshotFails);
  EXPECT_EQ(4192u, s.regionSize);
  ASSERT_NE(nullptr, s.table);
  Entry entry = EntryAt(s, 3);
  EXPECT_EQ(0xFFFFF90000001234u, entry.kernel);
  EXPECT_EQ(0x1195u, entry.owner);
  EXPECT_EQ(0x4A2u, entry.unique);
  EXPECT_EQ(16u, entry.type);
  EXPECT_EQ(0x40u, entry.flags);
  EXPECT_EQ(0x2A0000u, entry.user);
  // The neighbouring entries stay zero.
  for (size_t i = 0; i < 24; ++i) {
    EXPECT_EQ(0, s.table[2 * 24 + i]);
    EXPECT_EQ(0, s.table[4 * 24 + i]);
  }
  EXPECT_TRUE(s.failNtdllLookup);
  EXPECT_TRUE(s.failOpenSelf);
  EXPECT_TRUE(s.failQueryStatus);
  EXPECT_TRUE(s.failPebNull);
  EXPECT_TRUE(s.failVirtualQuery);
  EXPECT_TRUE(s.failRegionUnreadable);
}

TEST(SessionTest, EntryBytesAreLittleEndianInLayoutOrder) {
  Parsed parsed = Parse(
      "table 4096\n"
      "entry 0 0x0807060504030201 0x0C0B0A09 0x0E0D 0x0F 0x10 "
      "0x1817161514131211\n");
  ASSERT_TRUE(parsed.ok) << parsed.error;
  for (int i = 0; i < 24; ++i)
    EXPECT_EQ(i + 1, parsed.session.table[i]) << "byte " << i;
}

TEST(SessionTest, CommentsAndBlankLines) {
  Parsed parsed = Parse(
      "# a comment\n"
      "\n"
      "   \t \n"
      "  # an indented comment\n"
      "#process 1 1 open hidden\n"
      "\t#\n"
      "process 8 1 open a.exe # not a comment\n"
      "#\n");
  ASSERT_TRUE(parsed.ok) << parsed.line << ": " << parsed.error;
  ASSERT_EQ(1u, parsed.session.processes.size());
  EXPECT_EQ(u"a.exe # not a comment", parsed.session.processes[0].name);
}

TEST(SessionTest, Numbers) {
  struct Case {
    const char* text;
    uint32_t pid;
  };
  const Case cases[] = {
      {"0", 0},
      {"42", 42},
      {"007", 7},
      {"0x2A", 42},
      {"0x2a", 42},
      {"0X2A", 42},
      {"0x0", 0},
      {"0x00000000FFFFFFFF", 0xFFFFFFFF},
      {"4294967295", 4294967295u},
      {"0xFFFFFFFF", 4294967295u},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Parsed parsed = Parse(std::string("self ") + c.text);
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(c.pid, parsed.session.selfPid);
  }
  const char* bad[] = {"0x",  "x10", "-1",    "+1",   "1e3",  "0x1G",
                       "1.0", "٣",   "0b101", "12ab", "0xx1", "1,000"};
  for (const char* text : bad) {
    SCOPED_TRACE(text);
    Parsed parsed = Parse(std::string("self ") + text);
    EXPECT_FALSE(parsed.ok);
    EXPECT_EQ(1u, parsed.line);
    EXPECT_NE(std::string::npos, parsed.error.find("PID")) << parsed.error;
  }
}

TEST(SessionTest, NumberRangesFollowFieldWidths) {
  struct Case {
    const char* line;
    bool ok;
  };
  const Case cases[] = {
      {"self 4294967295", true},
      {"self 4294967296", false},
      {"self 0x100000000", false},
      {"process 4294967295 4294967295 open a", true},
      {"process 4294967296 1 open a", false},
      {"process 1 4294967296 open a", false},
      {"process 1 0x1FFFFFFFF open a", false},
      {"table 1073741825", false},
      {"table 0x40000001", false},
      {"table 18446744073709551616", false},
      {"entry 0 0xFFFFFFFFFFFFFFFF 0 0 0 0 0", true},
      {"entry 0 18446744073709551615 0 0 0 0 18446744073709551615", true},
      {"entry 0 18446744073709551616 0 0 0 0 0", false},
      {"entry 0 0x10000000000000000 0 0 0 0 0", false},
      // Leading zeros: digits past the 19 (16) that always fit in 64 bits.
      {"self 00000000000000000000004294967295", true},
      {"entry 0 0x0FFFFFFFFFFFFFFFF 0 0 0 0 0", true},
      {"entry 0 000018446744073709551616 0 0 0 0 0", false},
      {"entry 0 0 0xFFFFFFFF 0 0 0 0", true},
      {"entry 0 0 0x100000000 0 0 0 0", false},
      {"entry 0 0 0 0xFFFF 0 0 0", true},
      {"entry 0 0 0 65536 0 0 0", false},
      {"entry 0 0 0 0 255 0 0", true},
      {"entry 0 0 0 0 256 0 0", false},
      {"entry 0 0 0 0 0 0xFF 0", true},
      {"entry 0 0 0 0 0 0x100 0", false},
      {"entry 0 0 0 0 0 0 0x10000000000000000", false},
      {"entry 4294967296 0 0 0 0 0 0", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    Parsed parsed = Parse(c.line);
    EXPECT_EQ(c.ok, parsed.ok) << parsed.error;
    if (!c.ok) {
      EXPECT_EQ(1u, parsed.line);
      EXPECT_FALSE(parsed.error.empty());
    }
  }
}

TEST(SessionTest, LargestRegionIsAccepted) {
  // The parser allocates the table only with the first entry or at the end,
  // so the bound can be checked without a gigabyte of memory.
  Session session;
  SessionParser parser(&session);
  EXPECT_TRUE(parser.ParseLine("table 1073741824"));
  EXPECT_EQ(1073741824u, session.regionSize);
  EXPECT_EQ(nullptr, session.table);
  EXPECT_FALSE(parser.ParseLine("table 1073741825"));
}

TEST(SessionTest, MissingAndExtraFields) {
  const char* lines[] = {
      "self",
      "self 1 2",
      "process",
      "process 1",
      "process 1 2",
      "process 1 2 open",
      "process 1 2 open   \t ",
      "snapshot",
      "snapshot fail now",
      "table",
      "table 4096 1",
      "entry 0 0 0 0 0 0",
      "entry 0 0 0 0 0 0 0 0",
      "entry",
      "fail",
      "fail peb-null virtual-query",
  };
  for (const char* line : lines) {
    SCOPED_TRACE(line);
    Parsed parsed = Parse(line);
    EXPECT_FALSE(parsed.ok);
    EXPECT_EQ(1u, parsed.line);
    bool named = parsed.error.find("missing") != std::string::npos ||
                 parsed.error.find("extra") != std::string::npos;
    EXPECT_TRUE(named) << parsed.error;
  }
}

TEST(SessionTest, UnknownWords) {
  const char* lines[] = {
      "proc 1 2 open a.exe",
      "Process 1 2 open a.exe",
      "SELF 1",
      "process 1 2 allowed a.exe",
      "process 1 2 Open a.exe",
      "snapshot ok",
      "fail everything",
      "fail Peb-Null",
      "entry-7 0 0 0 0 0 0",
  };
  for (const char* line : lines) {
    SCOPED_TRACE(line);
    Parsed parsed = Parse(line);
    EXPECT_FALSE(parsed.ok);
    EXPECT_FALSE(parsed.error.empty());
  }
  EXPECT_EQ("unknown record 'proc'", Parse("proc 1 2 open a.exe").error);
}

TEST(SessionTest, CountsAndGlobal) {
  Parsed parsed = Parse(
      "process 4 6 open a.exe\n"
      "process 4 7 open b.exe\n"
      "process 8 3 open c.exe\n"
      "counts 4 9 10 0x0B\n"
      "global 7658 4506\n");
  ASSERT_TRUE(parsed.ok) << parsed.error;
  const Session& s = parsed.session;
  // The first line with the PID gets the counts, as GetGuiResources reads it.
  EXPECT_EQ(9u, s.processes[0].gdiPeak);
  EXPECT_EQ(10u, s.processes[0].userObjects);
  EXPECT_EQ(11u, s.processes[0].userPeak);
  EXPECT_FALSE(s.processes[1].gdiPeak.has_value());
  EXPECT_EQ(7658u, s.globalGdiObjects);
  EXPECT_EQ(4506u, s.globalUserObjects);

  parsed = Parse("counts 4 9 10 11\nprocess 4 6 open a.exe\n");
  EXPECT_FALSE(parsed.ok);
  EXPECT_EQ("no process line above lists PID 4", parsed.error);
  for (const char* line : {"process 4 6 open a\ncounts 4 9 10",
                           "process 4 6 open a\ncounts 4 9 10 11 12",
                           "global 1", "global 1 2 3", "global 1 4294967296"})
    EXPECT_FALSE(Parse(line).ok) << line;
}

TEST(SessionTest, EntriesMustLieInsideTheRegion) {
  // 24 * (INDEX + 1) must not exceed the region.
  EXPECT_TRUE(Parse("table 48\nentry 1 0 0 0 1 0 0\n").ok);
  EXPECT_FALSE(Parse("table 48\nentry 2 0 0 0 1 0 0\n").ok);
  EXPECT_FALSE(Parse("table 47\nentry 1 0 0 0 1 0 0\n").ok);
  EXPECT_FALSE(Parse("table 0\nentry 0 0 0 0 1 0 0\n").ok);
  EXPECT_FALSE(Parse("table 23\nentry 0 0 0 0 1 0 0\n").ok);
  // The default region: (1576960 / 24) - 1 = 65705 is the last entry.
  EXPECT_TRUE(Parse("entry 65705 0 0 0 1 0 0\n").ok);
  Parsed outside = Parse("entry 65706 0 0 0 1 0 0\n");
  EXPECT_FALSE(outside.ok);
  EXPECT_NE(std::string::npos, outside.error.find("65706")) << outside.error;
  EXPECT_FALSE(Parse("entry 4294967295 0 0 0 1 0 0\n").ok);
}

TEST(SessionTest, TableComesBeforeEntries) {
  Parsed parsed = Parse("table 4096\nentry 0 0 0 0 1 0 0\ntable 8192\n");
  EXPECT_FALSE(parsed.ok);
  EXPECT_EQ(3u, parsed.line);
  // Several table lines before the first entry: the last one counts.
  parsed = Parse("table 4096\ntable 8192\nentry 300 0 0 0 1 0 0\n");
  ASSERT_TRUE(parsed.ok) << parsed.error;
  EXPECT_EQ(8192u, parsed.session.regionSize);
}

TEST(SessionTest, ProcessNames) {
  struct Case {
    const char* what;
    std::string line;
    std::u16string name;
  };
  const Case cases[] = {
      {"plain", "process 1 1 open a.exe", u"a.exe"},
      {"spaces kept", "process 1 1 open NVIDIA Share.exe", u"NVIDIA Share.exe"},
      {"several spaces kept", "process 1 1 open a  b   c", u"a  b   c"},
      {"trailing blanks kept", "process 1 1 open a.exe  ", u"a.exe  "},
      {"one run of blanks skipped", "process 1 1 open \t  a.exe", u"a.exe"},
      {"tab inside", "process 1 1 open a\tb.exe", u"a\tb.exe"},
      {"tabs as separators", "process\t1\t1\topen\ta.exe", u"a.exe"},
      {"CRLF", "process 1 1 open a.exe\r", u"a.exe"},
      {"Chinese", "process 1 1 open \xE5\xBE\xAE\xE4\xBF\xA1.exe",
       u"\u5FAE\u4FE1.exe"},
      {"accents", "process 1 1 open caf\xC3\xA9.exe", u"caf\u00E9.exe"},
      {"outside the BMP", "process 1 1 open \xF0\x9F\x98\x80.exe",
       u"\U0001F600.exe"},
      {"looks like a number", "process 1 1 open 42", u"42"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Parsed parsed = Parse(c.line);
    ASSERT_TRUE(parsed.ok) << parsed.error;
    ASSERT_EQ(1u, parsed.session.processes.size());
    EXPECT_EQ(c.name, parsed.session.processes[0].name);
  }
}

TEST(SessionTest, NamesAreCutTo259Units) {
  std::string name259(259, 'a');
  Parsed parsed = Parse("process 1 1 open " + name259);
  ASSERT_TRUE(parsed.ok);
  EXPECT_EQ(259u, parsed.session.processes[0].name.size());

  parsed = Parse("process 1 1 open " + name259 + "bc");
  ASSERT_TRUE(parsed.ok);
  EXPECT_EQ(std::u16string(259, u'a'), parsed.session.processes[0].name);

  // The limit counts UTF-16 units, not bytes: 259 three-byte characters fit.
  std::string chinese;
  for (int i = 0; i < 259; ++i)
    chinese += "\xE5\xBE\xAE";
  parsed = Parse("process 1 1 open " + chinese);
  ASSERT_TRUE(parsed.ok);
  EXPECT_EQ(std::u16string(259, u'\u5FAE'), parsed.session.processes[0].name);

  // 130 characters outside the BMP take 260 units; 259 are kept.
  std::string emoji;
  for (int i = 0; i < 130; ++i)
    emoji += "\xF0\x9F\x98\x80";
  parsed = Parse("process 1 1 open " + emoji);
  ASSERT_TRUE(parsed.ok);
  EXPECT_EQ(259u, parsed.session.processes[0].name.size());
}

TEST(SessionTest, InvalidUtf8NameIsAnError) {
  for (const char* name : {"a\xFF.exe", "\xC3", "\xED\xA0\x80", "\xC0\xAF"}) {
    SCOPED_TRACE(name);
    Parsed parsed = Parse(std::string("process 1 1 open ") + name);
    EXPECT_FALSE(parsed.ok);
    EXPECT_NE(std::string::npos, parsed.error.find("UTF-8")) << parsed.error;
  }
}

TEST(SessionTest, NulByteIsAnError) {
  Parsed parsed = Parse(std::string("process 1 1 open a\0b\n", 21));
  EXPECT_FALSE(parsed.ok);
  EXPECT_EQ(1u, parsed.line);
}

TEST(SessionTest, CrlfLines) {
  Parsed parsed = Parse(
      "# comment\r\n"
      "\r\n"
      "self 7\r\n"
      "table 0x1000\r\n"
      "entry 2 1 4 0 5 0 0x10\r\n"
      "fail peb-null\r\n"
      "snapshot fail\r\n");
  ASSERT_TRUE(parsed.ok) << parsed.line << ": " << parsed.error;
  EXPECT_EQ(7u, parsed.session.selfPid);
  EXPECT_EQ(4096u, parsed.session.regionSize);
  EXPECT_EQ(0x10u, EntryAt(parsed.session, 2).user);
  EXPECT_TRUE(parsed.session.failPebNull);
  EXPECT_TRUE(parsed.session.snapshotFails);

  parsed = Parse("self 1\r\nself 2 3\r\n");
  EXPECT_FALSE(parsed.ok);
  EXPECT_EQ(2u, parsed.line);
}

TEST(SessionTest, LastLineWithoutNewline) {
  Parsed parsed = Parse("self 1\nself 2");
  ASSERT_TRUE(parsed.ok);
  EXPECT_EQ(2u, parsed.session.selfPid);
}

// What a hostile file holds reaches no terminal: errors quote a field's
// first 40 bytes with control bytes escaped, and a line has a length limit.
TEST(SessionTest, HostileLines) {
  const struct {
    std::string text;
    const char* error;  // empty: the text parses
  } kCases[] = {
      {"\xEF\xBB\xBFself 7\n", ""},
      {"bogus\x1B[2J\\\r\n", "unknown record 'bogus\\x1B[2J\\x5C'"},
      {"self " + std::string(100, '9'),
       "PID is not a number from 0 to 4294967295: "
       "'9999999999999999999999999999999999999999'... (100 bytes)"},
      {"# " + std::string(65535, 'x') + "\n",
       "the line is longer than 65536 bytes"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text.substr(0, 20));
    Parsed parsed = Parse(c.text);
    EXPECT_EQ(parsed.ok, *c.error == 0);
    EXPECT_EQ(c.error, parsed.error);
  }
}

TEST(SessionTest, SampleBlocks) {
  Parsed parsed = Parse(
      "process 4 6 open System\n"
      "entry 0 1 4 0 16 0 0\n"
      "sample\n"
      "entry 0 2 4 0 5 0 0\n"
      "exit 4\n"
      "process 4 7 open System\n"
      "sample\n"
      "sample\n"
      "fail peb-null\n");
  ASSERT_TRUE(parsed.ok) << parsed.error;
  // The blocks are kept for a watch's waits: the first state is without
  // them.
  EXPECT_EQ(16, EntryAt(parsed.session, 0).type);
  EXPECT_FALSE(parsed.session.failPebNull);
  ASSERT_EQ(1u, parsed.session.processes.size());
  ASSERT_EQ(3u, parsed.session.blocks.size());
  EXPECT_EQ(1u, parsed.session.blocks[0].entries.size());
  EXPECT_EQ(2u, parsed.session.blocks[0].changes.size());
  EXPECT_TRUE(parsed.session.blocks[1].changes.empty());
  EXPECT_EQ(1u, parsed.session.blocks[2].changes.size());

  const struct {
    std::string text;
    std::string error;
  } kErrors[] = {
      {"free 3\n", "free, exit and interrupt lines belong after a sample line"},
      {"interrupt\n",
       "free, exit and interrupt lines belong after a sample line"},
      {"sample\nexit 9\n", "no process has PID 9 here"},
      {"process 4 1 open a\nsample\nexit 4\ncounts 4 1 1 1\n",
       "no process has PID 4 here"},
      {"sample\ntable 5000\n",
       "a table line must come before the first entry and sample lines"},
      {"sample\nself 4\n",
       "a self line must come before the first sample line"},
      {"table 40\nsample\nfree 1\n",
       "entry 1 lies outside the table region of 40 bytes"},
      {"sample 2\n", "extra field: '2'"},
      {"sleep 5\n", "a sleep line belongs after a sample line"},
      {"sample\nsession 2\n",
       "a session line must come before the first sample line"},
  };
  for (const auto& c : kErrors) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(c.error, Parse(c.text).error);
  }
}

TEST(SessionTest, ErrorsNameTheirLine) {
  Parsed parsed = Parse(
      "# header\n"
      "\n"
      "process 4 6 open System\n"
      "   \n"
      "process 8 x open a.exe\n"
      "self 1\n");
  EXPECT_FALSE(parsed.ok);
  EXPECT_EQ(5u, parsed.line);
  EXPECT_NE(std::string::npos, parsed.error.find("GDI")) << parsed.error;
  EXPECT_NE(std::string::npos, parsed.error.find("'x'")) << parsed.error;

  Session session;
  SessionParser parser(&session);
  EXPECT_TRUE(parser.ParseLine("# one"));
  EXPECT_TRUE(parser.ParseLine(""));
  EXPECT_FALSE(parser.ParseLine("bogus"));
  EXPECT_EQ(3u, parser.LineNumber());
  EXPECT_EQ("unknown record 'bogus'", parser.Error());
}

// The sample session is what the host build shows when no session is
// given, so it must exercise what a real desktop does.
class SampleSessionTest : public testing::Test {
 protected:
  void SetUp() override {
    size_t line = 0;
    std::string error;
    ASSERT_TRUE(ParseSessionText(kSampleSession, &session, &line, &error))
        << "line " << line << ": " << error;
    for (const SimulatedProcess& process : session.processes)
      listed.insert(process.pid);
  }

  // Processes that the census records.
  bool Recorded(const SimulatedProcess& process) const {
    return process.pid != 0 && process.gdiObjects > 0 &&
           (process.canOpen || process.pid == session.selfPid);
  }

  Session session;
  std::set<uint32_t> listed;
};

TEST_F(SampleSessionTest, Processes) {
  int recorded = 0;
  bool sixDigitPid = false, longName = false, chineseName = false;
  bool denied = false, zeroGdi = false;
  std::set<uint32_t> recordedPids;
  for (const SimulatedProcess& process : session.processes) {
    if (Recorded(process)) {
      ++recorded;
      recordedPids.insert(process.pid);
      sixDigitPid |= process.pid >= 100000 && process.pid <= 999999;
      longName |= process.name.size() > 28;
      for (char16_t unit : process.name)
        chineseName |= unit >= 0x4E00 && unit <= 0x9FFF;
    }
    denied |= !process.canOpen && process.gdiObjects > 0;
    zeroGdi |= process.canOpen && process.gdiObjects == 0;
  }
  // Enough to rehash from 17 to 53 bins.
  EXPECT_GE(recorded, 45);
  EXPECT_EQ(1u, recordedPids.count(4));
  EXPECT_EQ(1u, recordedPids.count(21));
  EXPECT_TRUE(sixDigitPid);
  EXPECT_TRUE(longName);
  EXPECT_TRUE(chineseName);
  EXPECT_TRUE(denied);
  EXPECT_TRUE(zeroGdi);
  EXPECT_FALSE(session.snapshotFails);
}

TEST_F(SampleSessionTest, Table) {
  ASSERT_NE(nullptr, session.table);
  const std::set<uint8_t> named = {1,  4,  5,  6,  8,  10, 16,
                                   33, 37, 38, 48, 70, 80, 102};
  // Full types, from the handles' upper words, as Windows writes them: the
  // type byte holds the full type's base (its low five bits).
  std::set<uint8_t> typesSeen;
  int used = 0;
  bool ownerBitSet = false, unknownType = false, unlistedOwner = false;
  bool stock = false;
  uint64_t entries = (session.regionSize - 4096) / 24;
  for (uint64_t i = 0; i < entries; ++i) {
    Entry entry = EntryAt(session, i);
    if (entry.type == 0)
      continue;
    ++used;
    uint8_t full = entry.unique & 0x7F;
    EXPECT_EQ(full & 0x1F, entry.type) << "entry " << i;
    typesSeen.insert(full);
    unknownType |= named.count(full) == 0;
    ownerBitSet |= (entry.owner & 1) != 0;
    unlistedOwner |= listed.count(entry.owner & 0xFFFFFFFEu) == 0;
    stock |= (entry.unique & 0x80) != 0 && entry.owner == 0;
  }
  EXPECT_GE(used, 1000);
  for (uint8_t type : named)
    EXPECT_EQ(1u, typesSeen.count(type)) << "type " << int(type);
  EXPECT_TRUE(unknownType);
  EXPECT_TRUE(stock);
  EXPECT_TRUE(ownerBitSet);
  EXPECT_TRUE(unlistedOwner);
  EXPECT_FALSE(session.failNtdllLookup || session.failOpenSelf ||
               session.failQueryStatus || session.failPebNull ||
               session.failVirtualQuery || session.failRegionUnreadable);
}

}  // namespace

namespace {

// A followed program's records: before the first sample line, and per
// block; a frame with and without symbols.
TEST(SessionTest, FollowRecords) {
  Parsed parsed = Parse(
      "program 8200 2 painter.exe\n"
      "refuse 8200 32-bit\n"
      "stack 1 app.exe!Leak+0x1c@src/app.c:42 app.exe+0x1a2c\n"
      "create 8200 1 pen 4\n"
      "sample\n"
      "delete 8200 - extpen 1\n"
      "child 8200 8232 Helper One.exe\n"
      "ends 8200 3221225477\n");
  ASSERT_TRUE(parsed.ok) << parsed.line << ": " << parsed.error;
  const Session& s = parsed.session;
  ASSERT_EQ(1u, s.programs.size());
  EXPECT_EQ(8200u, s.programs[0].pid);
  EXPECT_EQ(2u, s.programs[0].unseen);
  EXPECT_EQ(u"painter.exe", s.programs[0].name);
  EXPECT_EQ(platform::FollowFailure::Not64Bit, s.programs[0].refusal);
  const std::vector<platform::StackFrame>& frames = s.stacks.at(1);
  ASSERT_EQ(2u, frames.size());
  EXPECT_EQ(u"app.exe", frames[0].module);
  EXPECT_EQ(u"Leak", frames[0].function);
  EXPECT_EQ(0x1cu, frames[0].functionOffset);
  EXPECT_EQ(u"src/app.c", frames[0].file);
  EXPECT_EQ(42u, frames[0].line);
  EXPECT_EQ(u"", frames[1].function);
  EXPECT_EQ(0x1a2cu, frames[1].moduleOffset);
  ASSERT_EQ(1u, s.follow.size());
  EXPECT_EQ(0x30, s.follow[0].type);
  EXPECT_EQ(4u, s.follow[0].count);
  ASSERT_EQ(1u, s.blocks.size());
  const std::vector<FollowChange>& block = s.blocks[0].follow;
  ASSERT_EQ(3u, block.size());
  EXPECT_EQ(FollowChange::Kind::Delete, block[0].kind);
  EXPECT_EQ(0u, block[0].stack);
  EXPECT_EQ(0x50, block[0].type);
  EXPECT_EQ(8232u, block[1].count);
  EXPECT_EQ(u"Helper One.exe", block[1].childName);
  EXPECT_EQ(FollowChange::Kind::Exit, block[2].kind);
  EXPECT_EQ(0xC0000005u, block[2].count);
}

TEST(SessionTest, FollowRecordErrors) {
  const struct {
    const char* text;
    const char* error;
  } cases[] = {
      {"create 1 - pen 1\n", "no program line above has PID 1"},
      {"program 1 0 a.exe\ncreate 1 7 pen 1\n", "no stack line above has ID 7"},
      {"program 1 0 a.exe\ncreate 1 - ink 1\n", "unknown TYPE 'ink'"},
      {"program 1 0 a.exe\ncreate 1 0 pen 1\n",
       "STACK is a stack's ID or '-', not '0'"},
      {"program 1 0 a.exe\nprogram 1 0 b.exe\n",
       "a program line above has PID 1"},
      {"program 1 0 a.exe\nrefuse 1 tired\n", "unknown refusal 'tired'"},
      {"stack 1 app.exe!f\n",
       "a frame is MODULE+0xOFFSET or MODULE!FUNCTION+0xOFFSET[@FILE:LINE], "
       "not 'app.exe!f'"},
      {"stack 1 app.exe+0x1@a.c:1\n",
       "a frame is MODULE+0xOFFSET or MODULE!FUNCTION+0xOFFSET[@FILE:LINE], "
       "not 'app.exe+0x1@a.c:1'"},
      {"stack 1 a+0x1\nstack 1 a+0x2\n", "a stack line above has ID 1"},
      {"sample\nprogram 1 0 a.exe\n",
       "a program line must come before the first sample line"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Parsed parsed = Parse(c.text);
    EXPECT_FALSE(parsed.ok);
    EXPECT_EQ(c.error, parsed.error);
  }
}

}  // namespace

namespace {

TEST(SessionTest, ClockAndHostRecords) {
  const struct {
    const char* text;
    bool ok;
    uint64_t startMilliseconds;
    int32_t offsetMinutes;
    const char16_t* host;
    const char* error;  // what a failure's message holds
  } kCases[] = {
      {"", true, 1767225600000, 0, u"SIMULATED-PC", ""},
      {"clock 1709251199\n", true, 1709251199000, 0, u"SIMULATED-PC", ""},
      {"clock 0 -300\nhost build-07.corp\n", true, 0, -300, u"build-07.corp",
       ""},
      {"clock 253402300799 +1439\n", true, 253402300799000, 1439,
       u"SIMULATED-PC", ""},
      // The name is the rest of the line, spaces and all.
      {"host  PC \xE4\xB8\xAD, \"x\"\n", true, 1767225600000, 0,
       u"PC \u4E2D, \"x\"", ""},
      {"clock 253402300800\n", false, 0, 0, nullptr, "SECONDS"},
      {"clock 60 60\n", false, 0, 0, nullptr, "OFFSET"},
      {"clock 60 +1440\n", false, 0, 0, nullptr, "OFFSET"},
      {"clock 60 -\n", false, 0, 0, nullptr, "OFFSET"},
      {"clock 60 +5 x\n", false, 0, 0, nullptr, "extra field"},
      {"clock\n", false, 0, 0, nullptr, "missing field: SECONDS"},
      {"host\n", false, 0, 0, nullptr, "missing field: NAME"},
      {"host \xFF\n", false, 0, 0, nullptr, "UTF-8"},
      {"sample\nclock 60\n", false, 0, 0, nullptr, "before the first sample"},
      {"sample\nhost x\n", false, 0, 0, nullptr, "before the first sample"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    Parsed parsed = Parse(c.text);
    ASSERT_EQ(c.ok, parsed.ok) << parsed.error;
    if (!c.ok) {
      EXPECT_NE(std::string::npos, parsed.error.find(c.error)) << parsed.error;
      continue;
    }
    EXPECT_EQ(c.startMilliseconds, parsed.session.clockStartMilliseconds);
    EXPECT_EQ(c.offsetMinutes, parsed.session.localOffsetMinutes);
    EXPECT_EQ(std::u16string(c.host), parsed.session.hostName);
  }
}

}  // namespace
