// The plot store: bounded however many points come, the extremes kept through decimation, every
// point when they fit, and times that never go back.
#include "app/poller/plotstore.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace talyx::app {
namespace {

bool Holds(const std::vector<PlotPoint>& points, PlotPoint wanted) {
  return std::find(points.begin(), points.end(), wanted) != points.end();
}

TEST(PlotStore, StaysWithinItsBoundsAndStillCoversAllTime) {
  PlotStore store(1000, 100);
  constexpr int64_t Start = 1'700'000'000'000;
  constexpr int Points = 1'000'000;
  for (int i = 0; i < Points; ++i) store.Add(Start + 10LL * i, i);
  EXPECT_LE(store.StoredPoints(), 1000u + 2 * 100u);
  EXPECT_GE(store.StoredPoints(), 1000u + 2 * 100u / 2);
  EXPECT_EQ(store.LastTime(), Start + 10LL * (Points - 1));
  // The oldest bucket still holds the first point, its minimum.
  EXPECT_EQ(store.FirstTime(), Start);
}

TEST(PlotStore, KeepsOldAndNewExtremesThroughDecimation) {
  PlotStore store(1000, 100);
  constexpr int64_t Start = 1'000'000;
  const PlotPoint oldSpike{Start + 10 * 1234, 1000};
  const PlotPoint oldDip{Start + 10 * 500'000, -500};
  const PlotPoint newSpike{Start + 10 * 999'500, 700};
  for (int i = 0; i < 1'000'000; ++i) {
    const int64_t time = Start + 10LL * i;
    double value = (i % 7) * 0.1;
    if (time == oldSpike.TimeMs) value = oldSpike.Value;
    if (time == oldDip.TimeMs) value = oldDip.Value;
    if (time == newSpike.TimeMs) value = newSpike.Value;
    store.Add(time, value);
  }
  const std::vector<PlotPoint> all = store.Query(store.FirstTime(), store.LastTime(), 200);
  EXPECT_LE(all.size(), 200u);
  EXPECT_GT(all.size(), 100u);
  EXPECT_TRUE(Holds(all, oldSpike));
  EXPECT_TRUE(Holds(all, oldDip));
  EXPECT_TRUE(Holds(all, newSpike));
  EXPECT_TRUE(std::is_sorted(all.begin(), all.end(), [](const PlotPoint& a, const PlotPoint& b) {
    return a.TimeMs < b.TimeMs;
  }));
}

TEST(PlotStore, GivesEveryPointOfTheSpanWhenTheyFit) {
  PlotStore store;
  for (int i = 0; i < 10; ++i) store.Add(100 * i, i);
  const std::vector<PlotPoint> span = store.Query(200, 500, 100);
  EXPECT_EQ(span, (std::vector<PlotPoint>{{200, 2}, {300, 3}, {400, 4}, {500, 5}}));
  EXPECT_TRUE(store.Query(1000, 2000, 100).empty());
}

TEST(PlotStore, StoresAPointFromThePastAtTheNewestTime) {
  PlotStore store;
  store.Add(5000, 1);
  store.Add(4000, 2);
  EXPECT_EQ(store.LastTime(), 5000);
  EXPECT_EQ(store.Query(0, 10'000, 10), (std::vector<PlotPoint>{{5000, 1}, {5000, 2}}));
}

}  // namespace
}  // namespace talyx::app
