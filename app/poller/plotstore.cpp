// PlotStore: the raw ring, the min/max buckets and the decimating query.
#include "app/poller/plotstore.h"

#include <algorithm>

namespace talyx::app {

namespace {

int64_t FloorTo(int64_t time, int64_t width) {
  const int64_t quotient = time / width;
  return (time % width < 0 ? quotient - 1 : quotient) * width;
}

}  // namespace

PlotStore::PlotStore(size_t rawCapacity, size_t bucketLimit)
    : rawCapacity_(std::max<size_t>(rawCapacity, 1)),
      bucketLimit_(std::max<size_t>(bucketLimit, 2)) {}

int64_t PlotStore::FirstTime() const {
  if (!buckets_.empty()) return std::min(buckets_.front().Min.TimeMs, buckets_.front().Max.TimeMs);
  return raw_.empty() ? 0 : RawAt(0).TimeMs;
}

int64_t PlotStore::LastTime() const { return raw_.empty() ? 0 : RawAt(raw_.size() - 1).TimeMs; }

void PlotStore::Add(int64_t timeMs, double value) {
  const PlotPoint point{raw_.empty() ? timeMs : std::max(timeMs, LastTime()), value};
  if (raw_.size() < rawCapacity_) {
    raw_.push_back(point);
    return;
  }
  Retire(raw_[head_]);
  raw_[head_] = point;
  head_ = (head_ + 1) % raw_.size();
}

void PlotStore::Retire(const PlotPoint& point) {
  const int64_t start = FloorTo(point.TimeMs, bucketMs_);
  if (!buckets_.empty() && buckets_.back().Start == start) {
    Bucket& bucket = buckets_.back();
    if (point.Value < bucket.Min.Value) bucket.Min = point;
    if (point.Value > bucket.Max.Value) bucket.Max = point;
    return;
  }
  buckets_.push_back({start, point, point});
  if (buckets_.size() > bucketLimit_) Coarsen();
}

void PlotStore::Coarsen() {
  while (buckets_.size() > bucketLimit_) {
    bucketMs_ *= 2;
    size_t kept = 0;
    for (const Bucket& bucket : buckets_) {
      const int64_t start = FloorTo(bucket.Start, bucketMs_);
      if (kept > 0 && buckets_[kept - 1].Start == start) {
        Bucket& merged = buckets_[kept - 1];
        if (bucket.Min.Value < merged.Min.Value) merged.Min = bucket.Min;
        if (bucket.Max.Value > merged.Max.Value) merged.Max = bucket.Max;
      } else {
        buckets_[kept] = bucket;
        buckets_[kept].Start = start;
        ++kept;
      }
    }
    buckets_.resize(kept);
  }
}

size_t PlotStore::RawLowerBound(int64_t timeMs) const {
  size_t low = 0;
  size_t high = raw_.size();
  while (low < high) {
    const size_t middle = low + (high - low) / 2;
    if (RawAt(middle).TimeMs < timeMs) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return low;
}

template <class Visit>
void PlotStore::ForEach(int64_t fromMs, int64_t toMs, Visit visit) const {
  const auto inSpan = [&](const PlotPoint& point) {
    return point.TimeMs >= fromMs && point.TimeMs <= toMs;
  };
  for (const Bucket& bucket : buckets_) {
    if (bucket.Start > toMs) return;
    const bool minFirst = bucket.Min.TimeMs <= bucket.Max.TimeMs;
    const PlotPoint& first = minFirst ? bucket.Min : bucket.Max;
    const PlotPoint& second = minFirst ? bucket.Max : bucket.Min;
    if (inSpan(first)) visit(first);
    if (!(second == first) && inSpan(second)) visit(second);
  }
  for (size_t index = RawLowerBound(fromMs); index < raw_.size(); ++index) {
    const PlotPoint& point = RawAt(index);
    if (point.TimeMs > toMs) return;
    visit(point);
  }
}

std::vector<PlotPoint> PlotStore::Query(int64_t fromMs, int64_t toMs, size_t maxPoints) const {
  std::vector<PlotPoint> points;
  if (toMs < fromMs || maxPoints == 0) return points;
  size_t inSpan = 0;
  ForEach(fromMs, toMs, [&](const PlotPoint&) { ++inSpan; });
  if (inSpan <= maxPoints) {
    points.reserve(inSpan);
    ForEach(fromMs, toMs, [&](const PlotPoint& point) { points.push_back(point); });
    return points;
  }
  // Each slice gives its minimum and maximum, in the order they came.
  const size_t slices = std::max<size_t>(maxPoints / 2, 1);
  const double perMs = static_cast<double>(slices) / (static_cast<double>(toMs - fromMs) + 1.0);
  points.reserve(2 * slices);
  size_t slice = 0;
  bool open = false;
  PlotPoint low;
  PlotPoint high;
  const auto close = [&] {
    if (!open) return;
    const bool lowFirst = low.TimeMs <= high.TimeMs;
    points.push_back(lowFirst ? low : high);
    if (!(low == high)) points.push_back(lowFirst ? high : low);
  };
  ForEach(fromMs, toMs, [&](const PlotPoint& point) {
    const auto at = std::min(
        slices - 1, static_cast<size_t>(static_cast<double>(point.TimeMs - fromMs) * perMs));
    if (!open || at != slice) {
      close();
      slice = at;
      open = true;
      low = point;
      high = point;
      return;
    }
    if (point.Value < low.Value) low = point;
    if (point.Value > high.Value) high = point;
  });
  close();
  return points;
}

}  // namespace talyx::app
