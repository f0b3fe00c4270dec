#include "html/series_reduction.h"

#include <numeric>

namespace {

uint64_t SumOf(const std::array<uint32_t, kObjectCategoryCount>& counts) {
  return std::accumulate(counts.begin(), counts.end(), uint64_t{0});
}

// The pair's points in the order they came: one when both are one sample.
template <typename Kept, typename Emit>
void EmitInOrder(const Kept& low, const Kept& high, Emit emit) {
  const Kept& early = low.order <= high.order ? low : high;
  const Kept& late = &early == &low ? high : low;
  emit(early);
  if (late.order != early.order)
    emit(late);
}

}  // namespace

ChartSeries::ChartSeries(size_t maxPoints)
    : maxStretches_((maxPoints < 4 ? 4 : maxPoints) / 2 - 1) {}

void ChartSeries::Add(const ChartSample& sample) {
  if (added_ == 0) {
    first_ = sample;
  } else {
    // The latest before it joins the open stretch.
    if (added_ >= 2)
      Join(latest_, added_ - 1);
    latest_ = sample;
  }
  ++added_;
}

void ChartSeries::Join(const ChartSample& sample, uint32_t order) {
  if (stretches_.empty())
    stretches_.reserve(maxStretches_);
  if (stretches_.empty() || inOpen_ == width_) {
    // The first, the latest and two points a stretch stay within bounds.
    if (stretches_.size() == maxStretches_)
      MergePairs();
    if (stretches_.empty() || inOpen_ == width_) {
      AllKept all = {sample.seconds, sample.gdiAll, order};
      CategoriesKept categories = {sample.seconds, order, sample.categories};
      stretches_.push_back({all, all, categories, categories});
      inOpen_ = 1;
      return;
    }
  }
  Stretch& open = stretches_.back();
  if (sample.gdiAll < open.allLow.value)
    open.allLow = {sample.seconds, sample.gdiAll, order};
  if (sample.gdiAll > open.allHigh.value)
    open.allHigh = {sample.seconds, sample.gdiAll, order};
  uint64_t total = SumOf(sample.categories);
  if (total < SumOf(open.totalLow.counts))
    open.totalLow = {sample.seconds, order, sample.categories};
  if (total > SumOf(open.totalHigh.counts))
    open.totalHigh = {sample.seconds, order, sample.categories};
  ++inOpen_;
}

// Halves the stretches: each pair becomes one twice as long, keeping the
// lesser low and the greater high (the earlier on a tie).
void ChartSeries::MergePairs() {
  size_t merged = 0;
  for (size_t i = 0; i < stretches_.size(); i += 2) {
    Stretch stretch = stretches_[i];
    if (i + 1 < stretches_.size()) {
      const Stretch& next = stretches_[i + 1];
      if (next.allLow.value < stretch.allLow.value)
        stretch.allLow = next.allLow;
      if (next.allHigh.value > stretch.allHigh.value)
        stretch.allHigh = next.allHigh;
      if (SumOf(next.totalLow.counts) < SumOf(stretch.totalLow.counts))
        stretch.totalLow = next.totalLow;
      if (SumOf(next.totalHigh.counts) > SumOf(stretch.totalHigh.counts))
        stretch.totalHigh = next.totalHigh;
    }
    stretches_[merged++] = stretch;
  }
  // Every stretch was full: the last one now is unless it had no pair.
  inOpen_ = stretches_.size() % 2 == 0 ? 2 * width_ : width_;
  stretches_.resize(merged);
  width_ *= 2;
}

std::vector<SeriesPoint> ChartSeries::GdiAll() const {
  std::vector<SeriesPoint> points;
  auto add = [&](double seconds, uint32_t value) {
    points.push_back({seconds, static_cast<double>(value)});
  };
  if (added_ == 0)
    return points;
  points.reserve(2 * stretches_.size() + 2);
  add(first_.seconds, first_.gdiAll);
  for (const Stretch& stretch : stretches_) {
    EmitInOrder(stretch.allLow, stretch.allHigh,
                [&](const AllKept& kept) { add(kept.seconds, kept.value); });
  }
  if (added_ >= 2)
    add(latest_.seconds, latest_.gdiAll);
  return points;
}

std::vector<CategorySample> ChartSeries::Categories() const {
  std::vector<CategorySample> samples;
  auto add = [&](double seconds,
                 const std::array<uint32_t, kObjectCategoryCount>& counts) {
    CategorySample sample;
    sample.seconds = seconds;
    sample.counts = counts;
    samples.push_back(sample);
  };
  if (added_ == 0)
    return samples;
  samples.reserve(2 * stretches_.size() + 2);
  add(first_.seconds, first_.categories);
  for (const Stretch& stretch : stretches_) {
    EmitInOrder(
        stretch.totalLow, stretch.totalHigh,
        [&](const CategoriesKept& kept) { add(kept.seconds, kept.counts); });
  }
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
