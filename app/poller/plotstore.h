// PlotStore: one plotted series' values over time, in bounded memory, and their decimation for
// drawing.
//
// Principles:
// - The newest points are kept as they came, up to the raw capacity (default 32768: a little
//   more than an hour at 10 polls a second, about five minutes at 100). A point pushed out of
//   them goes into a time bucket that keeps the minimum and the maximum with their times, so a
//   spike survives however old it gets. Buckets start 1 s wide; past the bucket limit (default
//   4096) their width doubles and neighbours merge, so older data covers any length of time.
// - Memory per series: at most the raw capacity in points (16 bytes each) and the bucket limit
//   in buckets (40 bytes each): with the defaults, 512 KiB + 160 KiB.
// - Times never go back: a point older than the newest is stored at the newest's time, so a
//   wall clock that steps back does not reorder the store.
// - Query gives the points within a time span, at most a given number: all of them when they
//   fit, else the minimum and the maximum of each of (number / 2) equal slices of the span, in
//   time order.
// - Free of Qt; one owner, no locking.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace talyx::app {

struct PlotPoint {
  int64_t TimeMs = 0;
  double Value = 0;

  bool operator==(const PlotPoint&) const = default;
};

class PlotStore {
 public:
  static constexpr size_t DefaultRawCapacity = 32768;
  static constexpr size_t DefaultBucketLimit = 4096;
  static constexpr int64_t FirstBucketMs = 1000;

  explicit PlotStore(size_t rawCapacity = DefaultRawCapacity,
                     size_t bucketLimit = DefaultBucketLimit);

  void Add(int64_t timeMs, double value);
  bool Empty() const { return raw_.empty(); }
  // The oldest and newest times held; meaningless when Empty.
  int64_t FirstTime() const;
  int64_t LastTime() const;
  // Points held: raw points and two per bucket.
  size_t StoredPoints() const { return raw_.size() + 2 * buckets_.size(); }
  std::vector<PlotPoint> Query(int64_t fromMs, int64_t toMs, size_t maxPoints) const;

 private:
  struct Bucket {
    int64_t Start = 0;
    PlotPoint Min;
    PlotPoint Max;
  };

  // Puts a point leaving the raw ring into its bucket.
  void Retire(const PlotPoint& point);
  // Doubles the bucket width until the buckets fit their limit.
  void Coarsen();
  const PlotPoint& RawAt(size_t index) const { return raw_[(head_ + index) % raw_.size()]; }
  // The first raw index whose time is at least timeMs.
  size_t RawLowerBound(int64_t timeMs) const;
  // Calls visit(point) for every point within [fromMs, toMs], in time order.
  template <class Visit>
  void ForEach(int64_t fromMs, int64_t toMs, Visit visit) const;

  size_t rawCapacity_;
  size_t bucketLimit_;
  std::vector<PlotPoint> raw_;  // a ring once full: head_ is the oldest
  size_t head_ = 0;
  std::vector<Bucket> buckets_;  // older than every raw point, in time order
  int64_t bucketMs_ = FirstBucketMs;
};

}  // namespace talyx::app
