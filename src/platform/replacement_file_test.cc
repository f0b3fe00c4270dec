// The host's ReplacementFile over real files, in a folder of the test's own.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/program_io.h"
#include "platform/utf8.h"

namespace {

namespace fs = std::filesystem;

class ReplacementFileTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = testing::TempDir() + "kestrel_replace_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern.data()));
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  void Write(const std::string& name, const std::string& text,
             mode_t mode = 0644) const {
    std::ofstream(Path(name), std::ios::binary) << text;
    chmod(Path(name).c_str(), mode);
  }
  std::string Read(const std::string& name) const {
    std::ifstream file(Path(name), std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
  }
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  // Replaces `name` with "new\n": the reason when that fails.
  std::string Replace(const std::string& name) const {
    platform::ReplacementFile file(DecodeUtf8(Path(name)));
    std::string reason;
    if (file.Create(&reason) && file.Write("new\n", 4, true, &reason) &&
        file.Commit(&reason))
      return "";
    return reason.empty() ? "failed without a reason" : reason;
  }

  std::string dir_;
};

// What each kind of destination gets: only a regular file is replaced,
// links followed, keeping its permissions; the rest is refused and stays
// as it was. No new file is left behind either way.
TEST_F(ReplacementFileTest, ReplacesOnlyRegularFiles) {
  ASSERT_EQ(0, mkdir(Path("folder").c_str(), 0755));
  Write("folder/inside", "old\n");
  Write("regular", "old\n");
  Write("private", "old\n", 0600);
  Write("shared", "old\n", 0664);
  Write("read-only", "old\n", 0444);
  Write("target", "old\n");
  ASSERT_EQ(0, symlink("target", Path("link").c_str()));
  ASSERT_EQ(0, symlink("folder/dangling-target", Path("dangling").c_str()));
  ASSERT_EQ(0, symlink("folder", Path("folder-link").c_str()));
  ASSERT_EQ(0, mkfifo(Path("fifo").c_str(), 0644));
  Write("linked", "old\n");
  ASSERT_EQ(0, link(Path("linked").c_str(), Path("linked-too").c_str()));
  int unix = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  std::string socketPath = Path("socket");
  ASSERT_LT(socketPath.size(), sizeof(address.sun_path));
  socketPath.copy(address.sun_path, socketPath.size());
  ASSERT_EQ(0,
            bind(unix, reinterpret_cast<sockaddr*>(&address), sizeof(address)));
  const std::vector<std::string> before = Entries();

  const struct {
    std::string name;
    std::string reason;   // empty: replaced
    std::string changed;  // the file whose content is now "new\n"
    mode_t mode;          // its permissions after
  } cases[] = {
      {"absent", "", "absent", 0644 & ~0022},
      {"regular", "", "regular", 0644},
      {"private", "", "private", 0600},
      {"shared", "", "shared", 0664},
      {"link", "", "target", 0644},
      {"dangling", "", "folder/dangling-target", 0644 & ~0022},
      {"folder-link", "Is a directory", "", 0},
      {"folder", "Is a directory", "", 0},
      {"fifo", "not a regular file", "", 0},
      {"socket", "not a regular file", "", 0},
      {"read-only", "Permission denied", "", 0},
      {"linked", "it has other hard links", "", 0},
      {"missing/file", "No such file or directory", "", 0},
  };
  mode_t mask = umask(0022);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.reason, Replace(c.name));
    if (c.changed.empty())
      continue;
    EXPECT_EQ("new\n", Read(c.changed));
    struct stat status = {};
    ASSERT_EQ(0, stat(Path(c.changed).c_str(), &status));
    EXPECT_EQ(c.mode, status.st_mode & 07777);
  }
  umask(mask);
  close(unix);
  // The links are links still, and nothing else was touched.
  EXPECT_EQ("target", fs::read_symlink(Path("link")).string());
  EXPECT_EQ("old\n", Read("folder/inside"));
  EXPECT_EQ("old\n", Read("read-only"));
  EXPECT_EQ("old\n", Read("linked"));
  std::vector<std::string> after = before;
  after.push_back("absent");
  std::sort(after.begin(), after.end());
  EXPECT_EQ(after, Entries());
  EXPECT_EQ((std::vector<std::string>{"dangling-target", "inside"}), [&] {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(Path("folder")))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }());
}

// The destination is judged again when it is replaced, as at the first
// write: one that gained a hard link or lost its write permission since
// keeps its content, refused with the same reason; a mode changed meanwhile
// is taken.
TEST_F(ReplacementFileTest, JudgedAgainWhenReplaced) {
  const struct {
    const char* name;
    int (*change)(const char* path);
    std::string reason;
    mode_t mode;
  } cases[] = {
      {"linked",
       [](const char* path) {
         return link(path, (std::string(path) + "-too").c_str());
       },
       "it has other hard links", 0644},
      {"read-only", [](const char* path) { return chmod(path, 0444); },
       "Permission denied", 0444},
      {"private", [](const char* path) { return chmod(path, 0600); }, "", 0600},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Write(c.name, "old\n");
    platform::ReplacementFile file(DecodeUtf8(Path(c.name)));
    std::string reason;
    ASSERT_TRUE(file.Create(&reason)) << reason;
    ASSERT_TRUE(file.Write("new\n", 4, true, &reason)) << reason;
    ASSERT_EQ(0, c.change(Path(c.name).c_str()));
    EXPECT_EQ(c.reason.empty(), file.Commit(&reason));
    EXPECT_EQ(c.reason, reason);
    EXPECT_EQ(c.reason.empty() ? "new\n" : "old\n", Read(c.name));
    struct stat status = {};
    ASSERT_EQ(0, stat(Path(c.name).c_str(), &status));
    EXPECT_EQ(c.mode, status.st_mode & 07777);
  }
  // No new file stays beside them.
  EXPECT_EQ((std::vector<std::string>{"linked", "linked-too", "private",
                                      "read-only"}),
            Entries());
}

// A name that cannot be written as given (an argument that was not valid
// UTF-8) is refused, and so is a link that another user planted in a
// sticky, world-writable folder, which the kernel would not follow for us
// either; the file the link names keeps its content.
TEST_F(ReplacementFileTest, RefusesWhatCannotBeWrittenAsGiven) {
  EXPECT_EQ("Invalid or incomplete multibyte or wide character", [&] {
    platform::ReplacementFile file(
        DecodeUtf8MarkingInvalidBytes(Path("a\xff.txt")));
    std::string reason;
    file.Create(&reason);
    return reason;
  }());
  EXPECT_EQ(std::vector<std::string>{}, Entries());
  if (geteuid() != 0)
    GTEST_SKIP() << "a link of another user's needs root to make";
  ASSERT_EQ(0, mkdir(Path("shared").c_str(), 0777));
  ASSERT_EQ(0, chmod(Path("shared").c_str(), 01777));
  Write("target", "old\n");
  ASSERT_EQ(0, symlink(Path("target").c_str(), Path("shared/planted").c_str()));
  ASSERT_EQ(0, symlink(Path("target").c_str(), Path("shared/own").c_str()));
  ASSERT_EQ(0, lchown(Path("shared/planted").c_str(), 65534, 65534));
  EXPECT_EQ("Permission denied", Replace("shared/planted"));
  EXPECT_EQ("old\n", Read("target"));
  EXPECT_EQ("", Replace("shared/own"));
  EXPECT_EQ("new\n", Read("target"));
}

// The new file's name stays within the system's limit, however long the
// destination's: its name is cut, never inside a character.
TEST(ReplacementFileNameTest, FitsTheLimit) {
  platform::ReplacementFile::FileNameLimit bytes;
  bytes.utf8 = true;
  platform::ReplacementFile::FileNameLimit units;
  units.backslashSeparates = true;
  const std::u16string longest(255, u'a');
  const struct {
    std::u16string target;
    platform::ReplacementFile::FileNameLimit limit;
    std::u16string path;
  } cases[] = {
      {u"dir/m.prom", bytes, u"dir/m.prom.42-0.tmp"},
      {u"dir/" + longest, bytes,
       u"dir/" + longest.substr(0, 246) + u".42-0.tmp"},
      // A two-byte letter that would end past the limit is left out whole.
      {u"d/" + std::u16string(245, u'a') + u"\u00E9", bytes,
       u"d/" + std::u16string(245, u'a') + u".42-0.tmp"},
      {u"d/" + std::u16string(244, u'a') + u"\u00E9", bytes,
       u"d/" + std::u16string(244, u'a') + u"\u00E9.42-0.tmp"},
      {u"d/" + std::u16string(245, u'a') + u"\U0001F600", units,
       u"d/" + std::u16string(245, u'a') + u".42-0.tmp"},
      {u"C:\\d\\" + longest, units,
       u"C:\\d\\" + longest.substr(0, 246) + u".42-0.tmp"},
      // On other hosts a backslash is a letter of the name.
      {u"d\\" + longest, bytes,
       (u"d\\" + longest).substr(0, 246) + u".42-0.tmp"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path.size());
    EXPECT_EQ(c.path,
              platform::ReplacementFile::NewPath(c.target, 42, 0, c.limit));
  }
}

}  // namespace
