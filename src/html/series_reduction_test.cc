#include "html/series_reduction.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <vector>

namespace {

std::vector<SeriesPoint> Ramp(size_t count) {
  std::vector<SeriesPoint> points;
  for (size_t i = 0; i < count; ++i)
    points.push_back({static_cast<double>(i), static_cast<double>(i % 7)});
  return points;
}

TEST(SeriesReductionTest, ShortSeriesUnchanged) {
  const size_t kCounts[] = {0, 1, 2, 499, 500};
  for (size_t count : kCounts) {
    SCOPED_TRACE(count);
    std::vector<SeriesPoint> points = Ramp(count);
    std::vector<SeriesPoint> reduced = ReduceSeries(points, kMaxChartPoints);
    ASSERT_EQ(points.size(), reduced.size());
    for (size_t i = 0; i < count; ++i)
      EXPECT_EQ(points[i].x, reduced[i].x);
  }
}

TEST(SeriesReductionTest, LongSeriesKeepsSpikesEndsAndOrder) {
  const struct {
    size_t count;
    size_t spike;
    double height;
  } kCases[] = {
      {501, 250, 1000},    {1000, 1, 1000},      {1000, 998, -1000},
      {100000, 777, 1000}, {100000, 54321, -50}, {1000003, 999999, 9},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message()
                 << c.count << " points, spike at " << c.spike);
    std::vector<SeriesPoint> points = Ramp(c.count);
    points[c.spike].y = c.height;
    std::vector<SeriesPoint> reduced = ReduceSeries(points, kMaxChartPoints);
    EXPECT_LE(reduced.size(), kMaxChartPoints);
    EXPECT_GE(reduced.size(), kMaxChartPoints - 2);
    EXPECT_EQ(0, reduced.front().x);
    EXPECT_EQ(static_cast<double>(c.count - 1), reduced.back().x);
    bool spikeKept = false;
    for (size_t i = 0; i < reduced.size(); ++i) {
      EXPECT_TRUE(i == 0 || reduced[i - 1].x < reduced[i].x) << i;
      spikeKept = spikeKept || reduced[i].x == static_cast<double>(c.spike);
    }
    EXPECT_TRUE(spikeKept);
  }
}

// The same promise kept a point at a time, in memory that does not grow.
TEST(SeriesReductionTest, StreamingKeepsSpikesEndsAndOrder) {
  const struct {
    size_t count;
    size_t spike;
    double height;
  } kCases[] = {
      {500, 250, 1000},    {501, 250, 1000},     {1000, 998, -1000},
      {100000, 777, 1000}, {100000, 54321, -50}, {1000003, 999999, 9},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message()
                 << c.count << " points, spike at " << c.spike);
    StreamingSeries<SeriesPoint, ValueOf> series;
    for (size_t i = 0; i < c.count; ++i) {
      SeriesPoint point = {static_cast<double>(i), static_cast<double>(i % 7)};
      if (i == c.spike)
        point.y = c.height;
      series.Add(point);
    }
    std::vector<SeriesPoint> kept = series.Points();
    EXPECT_LE(kept.size(), kMaxChartPoints);
    EXPECT_GE(kept.size(), std::min(c.count, kMaxChartPoints / 2));
    EXPECT_EQ(0, kept.front().x);
    EXPECT_EQ(static_cast<double>(c.count - 1), kept.back().x);
    bool spikeKept = false;
    for (size_t i = 0; i < kept.size(); ++i) {
      EXPECT_TRUE(i == 0 || kept[i - 1].x < kept[i].x) << i;
      spikeKept = spikeKept || kept[i].x == static_cast<double>(c.spike);
    }
    EXPECT_TRUE(spikeKept);
  }
}

}  // namespace
