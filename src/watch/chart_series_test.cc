#include "watch/chart_series.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <vector>

namespace {

constexpr int kBrush = 2;
constexpr int kBitmap = 3;

// Sample `i` of a churning process: GDI All and its brushes wobble apart.
ChartSample Wobble(size_t i) {
  ChartSample sample;
  sample.seconds = static_cast<double>(i);
  sample.gdiAll = static_cast<uint32_t>(100 + i % 7);
  sample.categories[kBrush] = static_cast<uint32_t>(50 + i % 5);
  sample.categories[kBitmap] = 10;
  return sample;
}

TEST(ChartSeriesTest, ShortSeriesKeptWhole) {
  const size_t kCounts[] = {0, 1, 2, kMaxChartPoints - 1, kMaxChartPoints};
  for (size_t count : kCounts) {
    SCOPED_TRACE(count);
    ChartSeries series;
    for (size_t i = 0; i < count; ++i)
      series.Add(Wobble(i));
    std::vector<SeriesPoint> all = series.GdiAll();
    std::vector<SeriesPoint> total = series.GdiTotal();
    std::vector<CategorySample> categories = series.Categories();
    ASSERT_EQ(count, all.size());
    ASSERT_EQ(count, total.size());
    ASSERT_EQ(count, categories.size());
    for (size_t i = 0; i < count; ++i) {
      ChartSample expected = Wobble(i);
      EXPECT_EQ(expected.seconds, all[i].x);
      EXPECT_EQ(expected.gdiAll, all[i].y);
      EXPECT_EQ(expected.seconds, total[i].x);
      EXPECT_EQ(60 + i % 5, total[i].y);
      EXPECT_EQ(expected.categories, categories[i].counts);
    }
  }
}

// Past what fits, each line keeps its own spike (a peak or a dip), both
// ends and the order, within the bound, and the layers stay whole samples.
TEST(ChartSeriesTest, LongSeriesKeepsEachLinesSpikesEndsAndOrder) {
  const struct {
    size_t count;
    size_t allSpike;
    uint32_t allValue;
    size_t totalSpike;
    uint32_t brushes;
  } kCases[] = {
      {kMaxChartPoints + 1, 25, 1000, 26, 0},
      {1000, 1, 1000, 998, 0},
      {1000, 998, 0, 1, 5000},
      {100000, 777, 1000, 54321, 0},
      {100000, 54321, 0, 777, 70000},
      {1000003, 999999, 9, 3, 999},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.count << " samples, spikes at "
                                    << c.allSpike << " and " << c.totalSpike);
    ChartSeries series;
    for (size_t i = 0; i < c.count; ++i) {
      ChartSample sample = Wobble(i);
      if (i == c.allSpike)
        sample.gdiAll = c.allValue;
      if (i == c.totalSpike)
        sample.categories[kBrush] = c.brushes;
      series.Add(sample);
    }
    std::vector<SeriesPoint> all = series.GdiAll();
    std::vector<SeriesPoint> total = series.GdiTotal();
    std::vector<CategorySample> categories = series.Categories();
    for (const std::vector<SeriesPoint>* line : {&all, &total}) {
      EXPECT_LE(line->size(), kMaxChartPoints);
      EXPECT_GE(line->size(), kMaxChartPoints / 2);
      EXPECT_EQ(0, line->front().x);
      EXPECT_EQ(static_cast<double>(c.count - 1), line->back().x);
      for (size_t i = 1; i < line->size(); ++i)
        EXPECT_LT((*line)[i - 1].x, (*line)[i].x) << i;
    }
    auto has = [](const std::vector<SeriesPoint>& line, size_t x, double y) {
      return std::any_of(line.begin(), line.end(), [&](const SeriesPoint& p) {
        return p.x == static_cast<double>(x) && p.y == y;
      });
    };
    EXPECT_TRUE(has(all, c.allSpike, c.allValue));
    EXPECT_TRUE(has(total, c.totalSpike, c.brushes + 10.0));
    ASSERT_EQ(total.size(), categories.size());
    for (size_t i = 0; i < categories.size(); ++i) {
      ChartSample expected = Wobble(static_cast<size_t>(categories[i].seconds));
      if (categories[i].seconds == static_cast<double>(c.totalSpike))
        expected.categories[kBrush] = c.brushes;
      EXPECT_EQ(expected.categories, categories[i].counts) << i;
      EXPECT_EQ(total[i].x, categories[i].seconds);
    }
  }
}

}  // namespace
