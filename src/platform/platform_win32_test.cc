// The Windows backend against the live system: the process snapshot, process
// queries and the runtime's conversions. Runs natively and under Wine; where
// Wine differs from Windows, the tests check what both do and print what this
// system wrote.
#include "platform/platform.h"
#include "platform/program_io.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <clocale>
#include <string>
#include <vector>

// After the project's header: windows.h defines some of their names as
// macros, so from here on the system's constants are used.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

namespace {

std::u16string Lower(std::u16string text) {
  for (char16_t& c : text) {
    if (c >= u'A' && c <= u'Z')
      c = static_cast<char16_t>(c + 32);
  }
  return text;
}

std::string Narrow(const std::u16string& text) {
  std::string out;
  for (char16_t c : text)
    out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

TEST(PlatformWin32Test, SnapshotListsOwnProcess) {
  platform::HANDLE snapshot =
      platform::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  ASSERT_NE(INVALID_HANDLE_VALUE, snapshot);

  uint32_t self = platform::GetCurrentProcessId();
  EXPECT_EQ(::GetCurrentProcessId(), self);

  platform::PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  int processes = 0;
  int ownEntries = 0;
  std::u16string ownName;
  for (bool more = platform::Process32FirstW(snapshot, &entry); more;
       more = platform::Process32NextW(snapshot, &entry)) {
    ++processes;
    if (entry.th32ProcessID == self) {
      ++ownEntries;
      ownName = entry.szExeFile;
    }
  }
  EXPECT_TRUE(platform::CloseHandle(snapshot));

  std::printf("snapshot: %d processes, own process %u is \"%s\"\n", processes,
              self, Narrow(ownName).c_str());
  EXPECT_EQ(1, ownEntries);
  // The snapshot names the executable file alone, without its folder.
  EXPECT_EQ(u"kestrel_tests.exe", Lower(ownName));
}

TEST(PlatformWin32Test, OpenProcessAndGuiResourcesOnOwnProcess) {
  // One object of our own, so that Windows has something to count.
  HBRUSH brush = ::CreateSolidBrush(RGB(1, 2, 3));
  ASSERT_NE(nullptr, brush);

  uint32_t self = platform::GetCurrentProcessId();
  platform::HANDLE process =
      platform::OpenProcess(PROCESS_QUERY_INFORMATION, false, self);
  ASSERT_NE(nullptr, process);
  // The handle really designates this process.
  EXPECT_EQ(self, ::GetProcessId(static_cast<::HANDLE>(process)));
  uint32_t count = platform::GetGuiResources(process, GR_GDIOBJECTS);
  EXPECT_TRUE(platform::CloseHandle(process));
  // Wine reports 0 for every process; Windows counts at least the brush.
  std::printf("GetGuiResources(own process, GR_GDIOBJECTS) = %u\n", count);
  ::DeleteObject(brush);
}

TEST(PlatformWin32Test, OpenProcessFailsWithNullForNoSuchProcess) {
  // Process ids are multiples of 4; this one is never handed out.
  EXPECT_EQ(nullptr, platform::OpenProcess(PROCESS_QUERY_INFORMATION, false,
                                           0xFFFFFFF0u));
}

std::string InCodePage(const std::u16string& text) {
  std::string bytes;
  platform::AppendInCodePage(text.data(), text.size(), bytes);
  return bytes;
}

std::string Hex(const std::string& bytes) {
  std::string out;
  char buffer[4];
  for (unsigned char b : bytes) {
    std::snprintf(buffer, sizeof(buffer), "%02X ", b);
    out += buffer;
  }
  return out;
}

class ChsLocaleTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(platform::SetLocale("chs")); }
  void TearDown() override { EXPECT_TRUE(platform::SetLocale("C")); }
};

TEST_F(ChsLocaleTest, NamesCodePage936) {
  std::string name = std::setlocale(LC_ALL, nullptr);
  std::printf("setlocale(LC_ALL, \"chs\") gives \"%s\"\n", name.c_str());
  ASSERT_GE(name.size(), 4u);
  EXPECT_EQ(".936", name.substr(name.size() - 4));
}

TEST_F(ChsLocaleTest, AppendInCodePage) {
  struct Case {
    const char* what;
    std::u16string text;
    std::string bytes;
  };
  const Case cases[] = {
      {"ASCII", u"notepad.exe -v\n", "notepad.exe -v\n"},
      {"Chinese", u"\u5FAE\u8F6F", "\xCE\xA2\xC8\xED"},  // 微软
      {"Chinese in ASCII", u"a\u4E2D\u6587b",            // 中文
       "a\xD6\xD0\xCE\xC4"
       "b"},
      {"ideographic space", u"\u3000", "\xA1\xA1"},
      {"fullwidth A", u"\uFF21", "\xA3\xC1"},
      {"middle dot", u"\u00B7", "\xA1\xA4"},
      {"em dash", u"\u2014", "\xA1\xAA"},
      {"euro sign", u"\u20AC", "\x80"},
      // Pinyin letters with tone marks are in code page 936.
      {"e acute", u"\u00E9", "\xA8\xA6"},
      {"a grave", u"\u00E0", "\xA8\xA4"},
      {"u diaeresis", u"\u00FC", "\xA8\xB9"},
      {"a macron", u"\u0101", "\xA8\xA1"},
      // Other accented Latin letters are not.
      {"a diaeresis", u"\u00E4", "?"},
      {"c cedilla", u"\u00E7", "?"},
      {"o stroke", u"\u00F8", "?"},
      {"no-break space", u"\u00A0", "?"},
      {"Thai", u"\u0E01", "?"},
      {"Hangul", u"\uD55C", "?"},
      {"lone high surrogate",
       u"a\xD800"
       "b",
       "a?b"},
      {"lone low surrogate", u"\xDC00", "?"},
      // Converted unit by unit, a pair is two lone surrogates.
      {"surrogate pair", u"\U0001F600", "??"},
      {"unrepresentable in Chinese", u"\u5FAE\u0E01\u5FAE",
       "\xCE\xA2?\xCE\xA2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bytes = InCodePage(c.text);
    std::printf("chs: %-26s -> %s\n", c.what, Hex(bytes).c_str());
    EXPECT_EQ(c.bytes, bytes);
  }
}

// The runtime's own conversion falls back on a look-alike for some
// characters that code page 936 lacks (a capital letter on the small one's
// code, a letter without its accent); those must come out as "?" like any
// other character without a code of its own.
TEST_F(ChsLocaleTest, NoLookAlikeForMissingCharacters) {
  struct Case {
    const char* what;
    std::u16string text;
  };
  const Case cases[] = {
      {"capital E acute", u"\u00C9"},   // the runtime gives e acute's code
      {"capital A macron", u"\u0100"},  // the runtime gives a macron's code
      {"a circumflex", u"\u00E2"},      // the runtime gives "a"
      {"capital thorn", u"\u00DE"},     // the runtime gives "T"
      {"eth", u"\u00F0"},               // the runtime gives "e"
      {"superscript two", u"\u00B2"},   // the runtime gives "2"
      {"broken bar", u"\u00A6"},        // the runtime gives "|"
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bytes = InCodePage(c.text);
    std::printf("chs: %-26s -> %s\n", c.what, Hex(bytes).c_str());
    EXPECT_EQ("?", bytes);
  }
}

TEST(PlatformWin32Test, AppendInCodePageInCLocale) {
  ASSERT_TRUE(platform::SetLocale("C"));
  std::string bytes = InCodePage(u"ab\u5FAE\u00E9");
  std::printf("C: ab, U+5FAE, U+00E9 -> %s\n", Hex(bytes).c_str());
  // The "C" locale passes Latin-1 through as single bytes.
  EXPECT_EQ("ab?\xE9", bytes);
}

}  // namespace
