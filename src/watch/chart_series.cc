#include "watch/chart_series.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <numeric>

namespace {

using Counts = std::array<uint32_t, kCategoryCount>;

template <typename Count>
uint64_t SumOf(const std::array<Count, kCategoryCount>& counts) {
  return std::accumulate(counts.begin(), counts.end(), uint64_t{0});
}

template <typename To, typename From>
std::array<To, kCategoryCount> Converted(
    const std::array<From, kCategoryCount>& counts) {
  std::array<To, kCategoryCount> converted;
  std::transform(counts.begin(), counts.end(), converted.begin(),
                 [](From count) { return static_cast<To>(count); });
  return converted;
}

template <typename Count>
ChartStretch<uint32_t> Widened(const ChartStretch<Count>& stretch) {
  return {stretch.allLowSeconds,
          stretch.allHighSeconds,
          stretch.totalLowSeconds,
          stretch.totalHighSeconds,
          stretch.allLow,
          stretch.allHigh,
          Converted<uint32_t>(stretch.totalLow),
          Converted<uint32_t>(stretch.totalHigh)};
}

// The points of a least and a greatest in the order they came: one when
// both are one sample. Samples come later each than the last, so when is
// their order.
template <typename Emit>
void EmitInOrder(double lowSeconds, double highSeconds, Emit emit) {
  bool lowFirst = lowSeconds <= highSeconds;
  emit(lowFirst);
  if (lowSeconds != highSeconds)
    emit(!lowFirst);
}

// Halves the stretches: each pair becomes one twice as long, keeping the
// lesser low and the greater high (the earlier on a tie).
template <typename Count>
void MergePairs(std::vector<ChartStretch<Count>>& stretches) {
  size_t merged = 0;
  for (size_t i = 0; i < stretches.size(); i += 2) {
    ChartStretch<Count> stretch = stretches[i];
    if (i + 1 < stretches.size()) {
      const ChartStretch<Count>& next = stretches[i + 1];
      if (next.allLow < stretch.allLow) {
        stretch.allLow = next.allLow;
        stretch.allLowSeconds = next.allLowSeconds;
      }
      if (next.allHigh > stretch.allHigh) {
        stretch.allHigh = next.allHigh;
        stretch.allHighSeconds = next.allHighSeconds;
      }
      if (SumOf(next.totalLow) < SumOf(stretch.totalLow)) {
        stretch.totalLow = next.totalLow;
        stretch.totalLowSeconds = next.totalLowSeconds;
      }
      if (SumOf(next.totalHigh) > SumOf(stretch.totalHigh)) {
        stretch.totalHigh = next.totalHigh;
        stretch.totalHighSeconds = next.totalHighSeconds;
      }
    }
    stretches[merged++] = stretch;
  }
  stretches.resize(merged);
}

// Adds `sample` to the open stretch of `stretches`, or opens one when
// `open` is false.
template <typename Count>
void JoinStretch(std::vector<ChartStretch<Count>>& stretches,
                 const ChartSample& sample, bool open) {
  const Counts& counts = sample.categories;
  if (!open) {
    auto narrowed = Converted<Count>(counts);
    stretches.push_back({sample.seconds, sample.seconds, sample.seconds,
                         sample.seconds, sample.gdiAll, sample.gdiAll, narrowed,
                         narrowed});
    return;
  }
  ChartStretch<Count>& last = stretches.back();
  if (sample.gdiAll < last.allLow) {
    last.allLow = sample.gdiAll;
    last.allLowSeconds = sample.seconds;
  }
  if (sample.gdiAll > last.allHigh) {
    last.allHigh = sample.gdiAll;
    last.allHighSeconds = sample.seconds;
  }
  uint64_t total = SumOf(counts);
  if (total < SumOf(last.totalLow)) {
    last.totalLow = Converted<Count>(counts);
    last.totalLowSeconds = sample.seconds;
  }
  if (total > SumOf(last.totalHigh)) {
    last.totalHigh = Converted<Count>(counts);
    last.totalHighSeconds = sample.seconds;
  }
}

}  // namespace

ChartSeries::ChartSeries(size_t maxPoints)
    : maxStretches_(
          static_cast<uint32_t>((maxPoints < 4 ? 4 : maxPoints) / 2 - 1)) {}

void ChartSeries::Add(const ChartSample& sample) {
  if (added_ == 0) {
    first_ = sample;
  } else {
    // The latest before it joins the open stretch.
    if (added_ >= 2)
      Join(latest_);
    latest_ = sample;
  }
  ++added_;
}

void ChartSeries::Join(const ChartSample& sample) {
  if (Narrow* narrow = std::get_if<Narrow>(&stretches_)) {
    const Counts& counts = sample.categories;
    if (std::any_of(counts.begin(), counts.end(), [](uint32_t count) {
          return count > std::numeric_limits<uint16_t>::max();
        })) {
      Wide wide;
      wide.reserve(maxStretches_);
      std::transform(narrow->begin(), narrow->end(), std::back_inserter(wide),
                     Widened<uint16_t>);
      stretches_ = std::move(wide);
    }
  }
  std::visit(
      [&](auto& stretches) {
        if (stretches.empty())
          stretches.reserve(maxStretches_);
        bool open = !stretches.empty() && inOpen_ < width_;
        if (!open && stretches.size() == maxStretches_) {
          // The first, the latest and two points a stretch stay within
          // bounds. Every stretch was full: the last one now is unless it
          // had no pair.
          bool paired = stretches.size() % 2 == 0;
          MergePairs(stretches);
          inOpen_ = paired ? 2 * width_ : width_;
          width_ *= 2;
          open = inOpen_ < width_;
        }
        JoinStretch(stretches, sample, open);
        inOpen_ = open ? inOpen_ + 1 : 1;
      },
      stretches_);
}

std::vector<SeriesPoint> ChartSeries::GdiAll() const {
  std::vector<SeriesPoint> points;
  auto add = [&](double seconds, uint32_t value) {
    points.push_back({seconds, static_cast<double>(value)});
  };
  if (added_ == 0)
    return points;
  std::visit(
      [&](const auto& stretches) {
        points.reserve(2 * stretches.size() + 2);
        add(first_.seconds, first_.gdiAll);
        for (const auto& stretch : stretches) {
          EmitInOrder(stretch.allLowSeconds, stretch.allHighSeconds,
                      [&](bool low) {
                        if (low)
                          add(stretch.allLowSeconds, stretch.allLow);
                        else
                          add(stretch.allHighSeconds, stretch.allHigh);
                      });
        }
      },
      stretches_);
  if (added_ >= 2)
    add(latest_.seconds, latest_.gdiAll);
  return points;
}

std::vector<CategorySample> ChartSeries::Categories() const {
  std::vector<CategorySample> samples;
  auto add = [&](double seconds, const Counts& counts) {
    CategorySample sample;
    sample.seconds = seconds;
    sample.counts = counts;
    samples.push_back(sample);
  };
  if (added_ == 0)
    return samples;
  std::visit(
      [&](const auto& stretches) {
        samples.reserve(2 * stretches.size() + 2);
        add(first_.seconds, first_.categories);
        for (const auto& stretch : stretches) {
          EmitInOrder(stretch.totalLowSeconds, stretch.totalHighSeconds,
                      [&](bool low) {
                        if (low)
                          add(stretch.totalLowSeconds,
                              Converted<uint32_t>(stretch.totalLow));
                        else
                          add(stretch.totalHighSeconds,
                              Converted<uint32_t>(stretch.totalHigh));
                      });
        }
      },
      stretches_);
  if (added_ >= 2)
    add(latest_.seconds, latest_.categories);
  return samples;
}

std::vector<SeriesPoint> ChartSeries::GdiTotal() const {
  std::vector<SeriesPoint> points;
  for (const CategorySample& sample : Categories())
    points.push_back(
        {sample.seconds, static_cast<double>(SumOf(sample.counts))});
  return points;
}
