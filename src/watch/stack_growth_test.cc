#include "watch/stack_growth.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr int kBrush = 0x10;
constexpr int kPen = 0x30;
constexpr int kFont = 0x0A;
constexpr int kDc = 0x01;

platform::FollowedStack Stack(uint32_t id, int type, uint32_t live) {
  platform::FollowedStack stack;
  stack.id = id;
  stack.frames.resize(1);
  stack.frames[0].module = u"app.exe";
  stack.frames[0].moduleOffset = id;
  stack.liveByType[type] = live;
  stack.created = live;
  return stack;
}

// Thirty samples a second apart of a leak, a cache that fills in four
// samples and holds, and a churn, each judged as a process would be and
// ordered as the growth report orders processes.
TEST(StackTrackerTest, JudgesAndOrdersEachStack) {
  StackTracker tracker;
  const uint32_t churn[] = {2, 0, 3, 1, 0, 2, 3, 0, 1, 2};
  for (uint32_t sample = 0; sample < 30; ++sample) {
    platform::FollowState state;
    state.stacks.push_back(Stack(3, kDc, churn[sample % 10]));
    state.stacks.push_back(Stack(2, kFont, 4 * std::min(sample + 1, 4u)));
    state.stacks.push_back(Stack(1, kBrush, 4 * (sample + 1)));
    tracker.Note(state, sample * 1000, -1);
  }
  tracker.Judge();
  const std::vector<const StackGrowth*>& left = tracker.Left();
  ASSERT_EQ(3u, left.size());
  EXPECT_EQ(1u, left[0]->id);
  EXPECT_EQ(TrendWord::StillGrowing, left[0]->trend.word);
  EXPECT_NEAR(240.0, left[0]->trend.perMinute, 0.01);
  EXPECT_EQ(120u, left[0]->live[IndexOf(ObjectCategory::Brush)]);
  EXPECT_EQ(2u, left[1]->id);
  EXPECT_EQ(TrendWord::Held, left[1]->trend.word);
  EXPECT_EQ(16u, left[1]->trend.level);
  EXPECT_EQ(3000u, left[1]->trend.levelMilliseconds);
  EXPECT_EQ(3u, left[2]->id);
  EXPECT_EQ(TrendWord::UpAndDown, left[2]->trend.word);
  EXPECT_EQ(-1, tracker.Unseen());
}

// A stack seen first at a later sample grows from nothing; one the program
// no longer lists holds nothing and leaves the report.
TEST(StackTrackerTest, StacksThatComeAndGo) {
  StackTracker tracker;
  platform::FollowState first;
  first.stacks.push_back(Stack(1, kPen, 5));
  tracker.Note(first, 0, 9);
  platform::FollowState second;
  second.stacks.push_back(Stack(2, kBrush, 3));
  second.stacks[0].liveByType[kPen] = 1;
  tracker.Note(second, 1000, 12);
  tracker.Judge();
  ASSERT_EQ(1u, tracker.Left().size());
  const StackGrowth& stack = *tracker.Left()[0];
  EXPECT_EQ(2u, stack.id);
  EXPECT_EQ(0u, stack.firstLive);
  EXPECT_EQ(4, StackGrowthCount(stack));
  EXPECT_EQ(3u, stack.live[IndexOf(ObjectCategory::Brush)]);
  EXPECT_EQ(1u, stack.live[IndexOf(ObjectCategory::Pen)]);
  // 12 counted by the system, 4 followed.
  EXPECT_EQ(8, tracker.Unseen());
  // A sample without the system's count keeps the last one.
  tracker.Note(second, 2000, -1);
  EXPECT_EQ(8, tracker.Unseen());
  EXPECT_EQ(12, tracker.SystemCount());
}

// Memory stays bounded: stacks beyond those kept are counted together, with
// their objects exact; a kept stack that holds nothing gives its place up.
TEST(StackTrackerTest, KeepsABoundedNumberOfStacks) {
  StackTracker tracker;
  platform::FollowState state;
  const uint32_t beyond = 5;
  for (uint32_t id = 1; id <= StackTracker::kMaxKeptStacks + beyond; ++id)
    state.stacks.push_back(Stack(id, kBrush, 2));
  state.withoutStackByType[kFont] = 7;
  tracker.Note(state, 0, -1);
  EXPECT_EQ(StackTracker::kMaxKeptStacks, tracker.Kept().size());
  EXPECT_EQ(beyond, tracker.StacksBeyondKept());
  EXPECT_EQ(2 * beyond,
            tracker.BeyondKept().count[IndexOf(ObjectCategory::Brush)]);
  EXPECT_EQ(7u, tracker.WithoutStack().count[IndexOf(ObjectCategory::Font)]);
  EXPECT_EQ(2 * (StackTracker::kMaxKeptStacks + beyond) + 7,
            tracker.FollowedLive());

  // Stack 1 lets its objects go; then a new stack takes its place.
  state.stacks[0].liveByType[kBrush] = 0;
  tracker.Note(state, 1000, -1);
  platform::FollowState next = state;
  next.stacks.erase(next.stacks.begin());
  next.stacks.push_back(Stack(5000, kDc, 1));
  tracker.Note(next, 2000, -1);
  EXPECT_EQ(1u, tracker.StacksReplaced());
  EXPECT_EQ(StackTracker::kMaxKeptStacks, tracker.Kept().size());
  EXPECT_EQ(beyond, tracker.StacksBeyondKept());
  for (const StackGrowth& stack : tracker.Kept())
    EXPECT_NE(1u, stack.id);
  EXPECT_EQ(2 * (StackTracker::kMaxKeptStacks + beyond - 1) + 1 + 7,
            tracker.FollowedLive());
}

}  // namespace
