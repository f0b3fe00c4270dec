#include "html/latest_changes.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Kept(const LatestChanges& changes) {
  std::string out;
  changes.ForEach([&out](const std::string& block) { out += block; });
  return out;
}

// The latest samples' changes stay; those left out are always the first
// samples that had changes, counted, with the last of them named.
TEST(LatestChangesTest, KeepsTheLatestWithinTheBudget) {
  const struct {
    const char* what;
    std::vector<std::pair<uint64_t, std::string>> blocks;
    std::string kept;
    uint64_t leftOut;
    uint64_t lastLeftOut;
  } kCases[] = {
      {"all fit", {{2, "aaa"}, {3, "bbb"}, {5, "cc"}}, "aaabbbcc", 0, 0},
      {"exactly the budget", {{2, "aaaaa"}, {3, "bbbbb"}}, "aaaaabbbbb", 0, 0},
      {"the earliest make room",
       {{2, "aaaa"}, {3, "bbbb"}, {4, "cccc"}, {7, "ddd"}},
       "ccccddd",
       2,
       3},
      {"one too large leaves out all before it",
       {{2, "aa"}, {3, "bbbbbbbbbbb"}, {4, "cc"}},
       "cc",
       2,
       3},
      {"the latest too large", {{2, "aa"}, {3, "bbbbbbbbbbb"}}, "", 2, 3},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    LatestChanges changes(10);
    for (const auto& [sample, block] : c.blocks)
      changes.Add(sample, block);
    EXPECT_EQ(c.kept, Kept(changes));
    EXPECT_EQ(c.leftOut, changes.LeftOut());
    EXPECT_EQ(c.lastLeftOut, changes.LastLeftOut());
  }
}

TEST(LatestChangesTest, LeaveOutUpToCountsEveryOneBefore) {
  LatestChanges changes(10);
  changes.Add(2, "aa");
  changes.Add(5, "bb");
  changes.LeaveOutUpTo(9);
  changes.Add(11, "cc");
  EXPECT_EQ("cc", Kept(changes));
  EXPECT_EQ(3u, changes.LeftOut());
  EXPECT_EQ(9u, changes.LastLeftOut());
}

}  // namespace
