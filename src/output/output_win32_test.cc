// -O's file on Windows, in a folder of the test's own: what is refused, and
// a file that another program holds for a while.
#include "output/output.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

class OutputFileWin32Test : public testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH + 1];
    ASSERT_NE(0u, ::GetTempPathW(MAX_PATH + 1, temp));
    dir_ = reinterpret_cast<const char16_t*>(temp);
    dir_ += u"kestrel_output_" + Utf16(std::to_string(::GetCurrentProcessId()));
    ASSERT_TRUE(::CreateDirectoryW(Wide(dir_), nullptr));
  }
  void TearDown() override {
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW(Wide(dir_ + u"\\*"), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        std::u16string path =
            dir_ + u"\\" + reinterpret_cast<const char16_t*>(found.cFileName);
        ::SetFileAttributesW(Wide(path), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(Wide(path));
        ::RemoveDirectoryW(Wide(path));
      } while (::FindNextFileW(search, &found));
      ::FindClose(search);
    }
    ::RemoveDirectoryW(Wide(dir_));
  }

  static std::u16string Utf16(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
  }
  static const wchar_t* Wide(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
  }
  std::u16string Path(const char16_t* name) const {
    return dir_ + u"\\" + name;
  }
  void Write(const std::u16string& path, const std::string& text) const {
    HANDLE file = ::CreateFileW(Wide(path), GENERIC_WRITE, 0, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written = 0;
    ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written,
                nullptr);
    ::CloseHandle(file);
  }
  std::string Read(const std::u16string& path) const {
    HANDLE file = ::CreateFileW(Wide(path), GENERIC_READ, FILE_SHARE_READ,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
      return "(cannot read)";
    char buffer[256];
    DWORD got = 0;
    ::ReadFile(file, buffer, sizeof(buffer), &got, nullptr);
    ::CloseHandle(file);
    return std::string(buffer, got);
  }
  int Entries() const {
    int count = 0;
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW(Wide(dir_ + u"\\*"), &found);
    if (search == INVALID_HANDLE_VALUE)
      return 0;
    do {
      if (found.cFileName[0] != L'.')
        ++count;
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return count;
  }
  // Writes one document of `text`; whether the file took it.
  static bool Document(Output& out, const char* text) {
    out.WriteBytes(text, std::char_traits<char>::length(text));
    out.EndDocument();
    return !out.Failed() && !out.LastDocumentFailed();
  }

  std::u16string dir_;
};

// A read-only file is refused and keeps its content.
TEST_F(OutputFileWin32Test, RefusesAReadOnlyFile) {
  const std::u16string path = Path(u"read-only.prom");
  Write(path, "old\n");
  ASSERT_TRUE(::SetFileAttributesW(Wide(path), FILE_ATTRIBUTE_READONLY));
  Output out;
  out.SendToFile(path);
  out.KeepLineEnds();
  EXPECT_FALSE(Document(out, "new\n"));
  EXPECT_NE(std::string::npos, out.FailureMessage().find("read-only.prom: "))
      << out.FailureMessage();
  EXPECT_EQ("old\n", Read(path));
  EXPECT_EQ(1, Entries());
}

// A file held open without delete sharing keeps its last document, and the
// next one replaces it once it is let go.
TEST_F(OutputFileWin32Test, HeldFileIsTriedAgainAtTheNextDocument) {
  const std::u16string path = Path(u"m.prom");
  Output out;
  out.SendToFile(path);
  out.KeepLineEnds();
  out.RetryEachDocument();
  EXPECT_TRUE(Document(out, "one\n"));
  HANDLE held = ::CreateFileW(Wide(path), GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  EXPECT_FALSE(Document(out, "two\n"));
  EXPECT_TRUE(out.LastDocumentFailed());
  ::CloseHandle(held);
  EXPECT_EQ("one\n", Read(path));
  EXPECT_EQ(1, Entries());
  EXPECT_TRUE(Document(out, "three\n"));
  EXPECT_EQ("three\n", Read(path));
  EXPECT_EQ(1, Entries());
}

}  // namespace
