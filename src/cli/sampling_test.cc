#include "cli/sampling.h"

#include <gtest/gtest.h>

namespace {

TEST(NextSampleDueTest, KeepsTheGridUnlessASampleMissedOne) {
  const struct {
    const char* what;
    uint64_t due, now, next;
  } cases[] = {
      {"on time", 10000, 10000, 25000},
      {"late, within the interval: the next comes at once", 10000, 24000,
       25000},
      {"late by exactly an interval", 10000, 25000, 25000},
      {"overdue by more: a new grid from now", 10000, 25001, 40001},
      {"eight hours asleep", 10000, 28810000, 28825000},
      {"woken before the due time", 10000, 9000, 25000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.next, NextSampleDue(c.due, c.now, 15000));
  }
}

}  // namespace
