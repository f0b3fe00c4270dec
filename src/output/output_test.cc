#include "output/output.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/utf8.h"

namespace {

namespace fs = std::filesystem;

class OutputFileTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = testing::TempDir() + "kestrel_output_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern.data()));
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Read(const std::string& path) const {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
  }
  size_t Entries() const {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir_))
      ++count;
    return count;
  }

  std::string dir_;
};

// A document the file cannot take leaves the one before, and the next is
// tried afresh; without RetryEachDocument the failure ends the output.
TEST_F(OutputFileTest, RetriesEachDocument) {
  const std::string path = dir_ + "/m.prom";
  for (bool retry : {true, false}) {
    SCOPED_TRACE(retry);
    fs::remove_all(path);
    Output out;
    out.SendToFile(DecodeUtf8(path));
    out.KeepLineEnds();
    if (retry)
      out.RetryEachDocument();
    out.WriteBytes("one\n", 4);
    out.EndDocument();
    EXPECT_FALSE(out.LastDocumentFailed());
    // A folder in its place for a while.
    ASSERT_TRUE(fs::remove(path));
    ASSERT_TRUE(fs::create_directory(path));
    out.WriteBytes("two\n", 4);
    out.EndDocument();
    EXPECT_EQ(retry, out.LastDocumentFailed());
    EXPECT_EQ(!retry, out.Failed());
    EXPECT_EQ("kestrel: cannot write " + path + ": Is a directory",
              out.FailureMessage());
    EXPECT_EQ(1u, Entries());
    ASSERT_TRUE(fs::remove(path));
    out.WriteBytes("three\n", 6);
    out.EndDocument();
    // Nothing written since: the last document's outcome stands.
    out.EndDocument();
    EXPECT_EQ(!retry, out.Failed());
    EXPECT_FALSE(out.LastDocumentFailed());
    EXPECT_EQ(retry ? "three\n" : "", retry ? Read(path) : "");
    EXPECT_EQ(retry ? 1u : 0u, Entries());
  }
}

// A file's name in an error line cannot break the line or command the
// terminal.
TEST_F(OutputFileTest, FailureMessageEscapesControlCharacters) {
  Output out;
  out.SendToFile(DecodeUtf8(dir_ + "/missing/a\nb\x1b]2;x\a\t.txt"));
  out.WriteAscii("text\n", 5);
  out.EndDocument();
  EXPECT_TRUE(out.Failed());
  EXPECT_EQ(
      "kestrel: cannot write " + dir_ +
          "/missing/a\\nb\\x1b]2;x\\x07\\t.txt: No such file or directory",
      out.FailureMessage());
}

// A hold keeps its place in the buffer: what was written before it stays
// when the held part is dropped, and a document abandoned with a hold
// leaves the file as it was.
TEST_F(OutputFileTest, DropsOnlyWhatIsHeld) {
  const std::string path = dir_ + "/watch.txt";
  for (bool abandon : {false, true}) {
    SCOPED_TRACE(abandon);
    { std::ofstream(path, std::ios::binary) << "old\n"; }
    Output out;
    out.SendToFile(DecodeUtf8(path));
    out.KeepLineEnds();
    out.WriteBytes("kept\n", 5);
    out.Hold();
    out.Bytes() += "cut short\n";
    out.PieceDone();
    if (abandon) {
      out.Abandon();
    } else {
      out.DropHeld();
      out.WriteBytes("after\n", 6);
    }
    out.EndDocument();
    EXPECT_FALSE(out.Failed());
    EXPECT_EQ(abandon ? "old\n" : "kept\nafter\n", Read(path));
    EXPECT_EQ(1u, Entries());
  }
  // Without a file, what was sent stays and what is held goes: a page cut
  // short by memory running out leaves nothing of itself.
  std::u16string sent;
  {
    Output out(&sent);
    out.WriteBytes("kept\n", 5);
    out.Hold();
    out.Bytes() += "<!DOCTYPE html>";
    out.Abandon();
  }
  EXPECT_EQ(u"kept\n", sent);
}

// A document sent in pieces never grows the room reserved before its first
// byte, so running out of memory cannot cut it after that byte.
TEST_F(OutputFileTest, PiecesStayInTheReservedRoom) {
  const std::string path = dir_ + "/rows.csv";
  const size_t kLeading = 100;
  Output out;
  out.SendToFile(DecodeUtf8(path));
  out.ReservePieces(kLeading);
  const char* room = out.Bytes().data();
  size_t written = 0;
  for (size_t piece = 1; written < size_t{1} << 20; piece = piece * 7 % 8191) {
    size_t length = Output::kLargestPiece + kLeading - piece;
    out.Bytes().append(length, 'x');
    written += length;
    out.PieceDone();
    ASSERT_EQ(room, out.Bytes().data()) << written;
  }
  out.EndDocument();
  EXPECT_EQ(written, fs::file_size(path));
}

}  // namespace
