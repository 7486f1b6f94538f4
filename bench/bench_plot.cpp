// The poller's plot on its own, offscreen: the cost of storing samples (a million into one
// series' bounded store) and of one redraw of 20 series with their painting, for the last minute
// and for all of an hour's data at 10 polls a second. Prints the figures and the peak RSS.
#include <sys/resource.h>

#include <QApplication>
#include <QPixmap>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "app/poller/plotstore.h"
#include "app/poller/pollplot.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

long PeakRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  using namespace talyx::app;
  constexpr int64_t Start = 1'796'849'103'000;

  {
    PlotStore store;
    constexpr int Samples = 1'000'000;
    const Clock::time_point began = Clock::now();
    for (int i = 0; i < Samples; ++i) store.Add(Start + 10LL * i, std::sin(i / 100.0));
    const double addMs = MsSince(began);
    const Clock::time_point queried = Clock::now();
    const size_t drawn =
        store.Query(store.FirstTime(), store.LastTime(), TPollPlot::MaxDrawnPoints).size();
    std::printf(
        "store: %d samples in %.1f ms (%.1f ns each), %zu points held, a query of all "
        "in %.2f ms giving %zu points\n",
        Samples, addMs, addMs * 1e6 / Samples, store.StoredPoints(), MsSince(queried), drawn);
  }

  constexpr int Series = 20;
  constexpr int HourAtTenHz = 36'000;
  TPollPlot plot;
  plot.resize(1200, 700);
  plot.show();
  std::vector<TPlotSeriesInfo> infos;
  for (int s = 0; s < Series; ++s) {
    infos.push_back({0, static_cast<size_t>(s), QStringLiteral("r%1").arg(s), QStringLiteral("V")});
  }
  plot.SetSeries(infos);
  for (int i = 0; i < HourAtTenHz; ++i) {
    for (int s = 0; s < Series; ++s) {
      plot.Add(0, static_cast<size_t>(s), Start + 100LL * i, s + std::sin((i + 37 * s) / 50.0));
    }
  }
  constexpr int Rounds = 20;
  const struct {
    TPollPlot::TRange range;
    const char* name;
  } ranges[] = {{TPollPlot::TRange::prMinute, "minute"}, {TPollPlot::TRange::prAll, "all"}};
  for (const auto& range : ranges) {
    std::vector<double> redraws;
    std::vector<double> paints;
    for (int round = 0; round < Rounds; ++round) {
      const Clock::time_point began = Clock::now();
      plot.SetRange(range.range);  // redraws at once when not paused
      redraws.push_back(MsSince(began));
      const Clock::time_point painting = Clock::now();
      const QPixmap painted = plot.grab();
      paints.push_back(MsSince(painting));
      if (painted.isNull()) std::printf("the plot did not paint\n");
    }
    std::sort(redraws.begin(), redraws.end());
    std::sort(paints.begin(), paints.end());
    std::printf(
        "%d series of %d points, %s: redraw median %.1f ms (max %.1f), paint median %.1f "
        "ms (max %.1f), over %d rounds\n",
        Series, HourAtTenHz, range.name, redraws[Rounds / 2], redraws.back(), paints[Rounds / 2],
        paints.back(), Rounds);
  }
  std::printf("points held: %zu; peak RSS %ld KiB\n", plot.StoredPoints(), PeakRssKb());
  std::printf("(bench_plot: offscreen platform, %dx%d plot, no antialiasing)\n", plot.width(),
              plot.height());
  return 0;
}
