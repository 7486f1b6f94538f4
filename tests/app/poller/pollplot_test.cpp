// The plot under the offscreen platform: series with their names and units, the range setting
// the time axis, pause holding the view, zoom and its reset, PNG export, and bounded memory
// under a million samples.
#include "app/poller/pollplot.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QImage>
#include <QPushButton>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLineSeries>
#include <functional>

#include "../../port/qttesting.h"

namespace talyx::app {
namespace {

constexpr int64_t Start = 1'796'849'103'000;

bool WaitFor(const std::function<bool()>& condition) {
  QElapsedTimer waited;
  waited.start();
  while (!condition() && waited.elapsed() < 5000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return condition();
}

class PollPlot : public ::testing::Test {
 protected:
  PollPlot() {
    talyx::testing::EnsureQtApplication();
    plot = std::make_unique<TPollPlot>();
    plot->resize(800, 500);
    plot->show();
    chart = plot->findChild<QChartView*>("PlotView")->chart();
  }

  QLineSeries* Line(int index) const { return static_cast<QLineSeries*>(chart->series()[index]); }
  int64_t AxisSpanMs() const {
    const auto* axis = static_cast<QDateTimeAxis*>(chart->axes(Qt::Horizontal).front());
    return axis->max().toMSecsSinceEpoch() - axis->min().toMSecsSinceEpoch();
  }
  // One sample a second for `seconds`, values 0, 1, 2...
  void AddSeconds(int seconds, size_t row = 0, size_t reg = 0) {
    for (int i = 0; i < seconds; ++i) plot->Add(row, reg, Start + 1000LL * i, i);
  }

  std::unique_ptr<TPollPlot> plot;
  QChart* chart = nullptr;
};

TEST_F(PollPlot, ShowsEachTickedRegisterWithItsNameAndUnit) {
  plot->SetSeries({{0, 0, "温度", "°C"}, {1, 2, "flow", ""}});
  AddSeconds(10, 0, 0);
  AddSeconds(5, 1, 2);
  AddSeconds(5, 3, 0);
  ASSERT_EQ(chart->series().size(), 2);
  EXPECT_EQ(Line(0)->name(), "温度 [°C]");
  EXPECT_EQ(Line(1)->name(), "flow");
  EXPECT_TRUE(WaitFor([&] { return Line(0)->count() == 10 && Line(1)->count() == 5; }))
      << Line(0)->count() << " " << Line(1)->count();

  plot->SetSeries({{1, 2, "flow", ""}});
  ASSERT_EQ(chart->series().size(), 1);
  EXPECT_EQ(Line(0)->name(), "flow");
  EXPECT_EQ(plot->StoredPoints(), 5u);
}

TEST_F(PollPlot, TheRangeSetsTheTimeAxisToTheNewestSamples) {
  plot->SetSeries({{0, 0, "v", ""}});
  AddSeconds(7200);
  const struct {
    int index;
    int64_t spanMs;
  } ranges[] = {{0, 60'000}, {2, 3'600'000}, {3, 7'199'000}, {1, 600'000}};
  for (const auto& range : ranges) {
    plot->CB_PlotRange->setCurrentIndex(range.index);
    EXPECT_TRUE(WaitFor([&] { return AxisSpanMs() == range.spanMs; }))
        << range.index << ": " << AxisSpanMs();
    ASSERT_GT(Line(0)->count(), 0);
    EXPECT_EQ(Line(0)->at(Line(0)->count() - 1).y(), 7199);
  }
}

TEST_F(PollPlot, PauseHoldsTheViewWhileSamplesAreStored) {
  plot->SetSeries({{0, 0, "v", ""}});
  AddSeconds(10);
  ASSERT_TRUE(WaitFor([&] { return Line(0)->count() == 10; }));
  plot->Btn_PlotPause->click();
  for (int i = 10; i < 30; ++i) plot->Add(0, 0, Start + 1000LL * i, i);
  plot->CB_PlotRange->setCurrentIndex(0);
  // Nothing to wait for: a few redraw intervals pass without a redraw.
  QElapsedTimer held;
  held.start();
  while (held.elapsed() < 3 * TPollPlot::RedrawIntervalMs) QCoreApplication::processEvents();
  EXPECT_EQ(Line(0)->count(), 10);
  EXPECT_EQ(plot->StoredPoints(), 30u);
  plot->Btn_PlotPause->click();
  EXPECT_TRUE(WaitFor([&] { return Line(0)->count() == 30; }));
}

TEST_F(PollPlot, ResetZoomReturnsToTheChosenRange) {
  plot->SetSeries({{0, 0, "v", ""}});
  AddSeconds(120);
  plot->CB_PlotRange->setCurrentIndex(0);
  ASSERT_TRUE(WaitFor([&] { return AxisSpanMs() == 60'000; }));
  QWheelEvent wheel(QPointF(400, 250), QPointF(400, 250), QPoint(), QPoint(0, 120), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(plot->findChild<QChartView*>("PlotView")->viewport(), &wheel);
  EXPECT_NEAR(static_cast<double>(AxisSpanMs()), 48'000, 100);
  ASSERT_EQ(Line(0)->count(), 61);
  // A newer sample: the zoomed span stays, and is drawn from its own points.
  plot->Add(0, 0, Start + 200'000, 1);
  EXPECT_TRUE(WaitFor([&] { return Line(0)->count() > 40 && Line(0)->count() < 55; }))
      << Line(0)->count();
  EXPECT_NEAR(static_cast<double>(AxisSpanMs()), 48'000, 100);
  plot->Btn_PlotResetZoom->click();
  EXPECT_TRUE(WaitFor([&] { return AxisSpanMs() == 60'000; }));
}

TEST_F(PollPlot, ExportsAPngImageOfThePlot) {
  plot->SetSeries({{0, 0, "v", "V"}});
  AddSeconds(100);
  ASSERT_TRUE(WaitFor([&] { return Line(0)->count() == 100; }));
  QTemporaryDir folder;
  const QString path = folder.filePath("plot.png");
  ASSERT_TRUE(plot->ExportPng(path));
  QImage image;
  ASSERT_TRUE(image.load(path, "PNG"));
  EXPECT_GT(image.width(), 100);
  EXPECT_GT(image.height(), 100);
  EXPECT_FALSE(plot->ExportPng(folder.filePath("no/such/folder/plot.png")));
}

TEST_F(PollPlot, AMillionSamplesKeepMemoryAndDrawnPointsBounded) {
  plot->SetSeries({{0, 0, "a", ""}, {0, 1, "b", ""}});
  constexpr int Samples = 1'000'000;
  for (int i = 0; i < Samples; ++i) {
    plot->Add(0, 0, Start + 10LL * i, i % 1000);
    plot->Add(0, 1, Start + 10LL * i, -(i % 500));
  }
  EXPECT_LE(plot->StoredPoints(),
            2 * (PlotStore::DefaultRawCapacity + 2 * PlotStore::DefaultBucketLimit));
  for (const int range : {0, 3}) {
    plot->CB_PlotRange->setCurrentIndex(range);
    ASSERT_TRUE(WaitFor([&] { return Line(0)->count() > 0 && Line(1)->count() > 0; }));
    for (const int line : {0, 1}) {
      EXPECT_LE(static_cast<size_t>(Line(line)->count()), TPollPlot::MaxDrawnPoints);
    }
  }
  EXPECT_GT(static_cast<size_t>(Line(0)->count()), TPollPlot::MaxDrawnPoints / 2);
}

}  // namespace
}  // namespace talyx::app
