// TPollPlot: the chart, its controls, the series' stores and the timed redraw.
#include "app/poller/pollplot.h"

#include <QComboBox>
#include <QDateTime>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

#include "app/shell/messagebox.h"

namespace talyx::app {

namespace {

template <class T>
T* Named(T* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

int64_t RangeMs(TPollPlot::TRange range) {
  switch (range) {
    case TPollPlot::TRange::prMinute:
      return 60'000;
    case TPollPlot::TRange::prTenMinutes:
      return 600'000;
    case TPollPlot::TRange::prHour:
      return 3'600'000;
    case TPollPlot::TRange::prAll:
      break;
  }
  return 0;
}

QString LegendName(const TPlotSeriesInfo& info) {
  return info.Unit.isEmpty() ? info.Name : info.Name + QStringLiteral(" [") + info.Unit + ']';
}

// A chart view whose wheel zooms in and out around the middle of the plot, and that says when
// the mouse (wheel or rubber band) has changed what the axes show.
class TZoomingChartView : public QChartView {
 public:
  TZoomingChartView(QChart* chart, QWidget* parent, std::function<void()> zoomed)
      : QChartView(chart, parent), zoomed_(std::move(zoomed)) {}

 protected:
  void wheelEvent(QWheelEvent* event) override {
    const int delta = event->angleDelta().y();
    if (delta == 0) {
      QChartView::wheelEvent(event);
      return;
    }
    chart()->zoom(delta > 0 ? 1.25 : 0.8);
    event->accept();
    zoomed_();
  }
  void mouseReleaseEvent(QMouseEvent* event) override {
    const QRectF before = chart()->plotArea();
    const QPointF corner = chart()->mapToValue(before.topLeft());
    QChartView::mouseReleaseEvent(event);
    if (chart()->mapToValue(before.topLeft()) != corner) zoomed_();
  }

 private:
  std::function<void()> zoomed_;
};

}  // namespace

TPollPlot::TPollPlot(QWidget* parent) : QWidget(parent) {
  CB_PlotRange = Named(new QComboBox(this), "CB_PlotRange");
  CB_PlotRange->addItems({tr("1分钟"), tr("10分钟"), tr("1小时"), tr("全部")});
  CB_PlotRange->setCurrentIndex(static_cast<int>(range_));
  Btn_PlotPause = Named(new QPushButton(tr("暂停"), this), "Btn_PlotPause");
  Btn_PlotPause->setCheckable(true);
  Btn_PlotResetZoom = Named(new QPushButton(tr("复位缩放"), this), "Btn_PlotResetZoom");
  Btn_PlotExport = Named(new QPushButton(tr("导出PNG..."), this), "Btn_PlotExport");

  chart_ = new QChart();
  timeAxis_ = new QDateTimeAxis(chart_);
  timeAxis_->setFormat(QStringLiteral("HH:mm:ss"));
  valueAxis_ = new QValueAxis(chart_);
  chart_->addAxis(timeAxis_, Qt::AlignBottom);
  chart_->addAxis(valueAxis_, Qt::AlignLeft);
  // A span the mouse chose is kept, and drawn in detail, until the zoom is reset.
  view_ = Named(new TZoomingChartView(chart_, this,
                                      [this] {
                                        zoomed_ = true;
                                        dirty_ = true;
                                      }),
                "PlotView");
  view_->setRubberBand(QChartView::RectangleRubberBand);
  view_->setRenderHint(QPainter::Antialiasing, false);

  auto* controls = new QHBoxLayout();
  controls->addWidget(CB_PlotRange);
  controls->addWidget(Btn_PlotPause);
  controls->addWidget(Btn_PlotResetZoom);
  controls->addWidget(Btn_PlotExport);
  controls->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(controls);
  layout->addWidget(view_, 1);

  connect(CB_PlotRange, &QComboBox::currentIndexChanged, this,
          [this](int index) { SetRange(static_cast<TRange>(index)); });
  connect(Btn_PlotPause, &QPushButton::toggled, this, [this](bool on) { SetPaused(on); });
  connect(Btn_PlotResetZoom, &QPushButton::clicked, this, [this] { ResetZoom(); });
  connect(Btn_PlotExport, &QPushButton::clicked, this, [this] { ChoosePngFile(); });

  redrawTimer_.setInterval(RedrawIntervalMs);
  connect(&redrawTimer_, &QTimer::timeout, this, [this] {
    if (dirty_ && !paused_ && isVisible()) Redraw();
  });
  redrawTimer_.start();
}

TPollPlot::~TPollPlot() = default;

void TPollPlot::SetSeries(const std::vector<TPlotSeriesInfo>& series) {
  std::vector<std::unique_ptr<TSeries>> kept;
  for (const TPlotSeriesInfo& info : series) {
    const auto old = std::find_if(series_.begin(), series_.end(),
                                  [&](const auto& entry) { return entry && entry->Info == info; });
    if (old != series_.end()) {
      kept.push_back(std::move(*old));
      continue;
    }
    auto entry = std::make_unique<TSeries>();
    entry->Info = info;
    entry->Line = new QLineSeries(chart_);
    entry->Line->setName(LegendName(info));
    chart_->addSeries(entry->Line);
    entry->Line->attachAxis(timeAxis_);
    entry->Line->attachAxis(valueAxis_);
    kept.push_back(std::move(entry));
  }
  for (const auto& dropped : series_) {
    if (!dropped) continue;
    chart_->removeSeries(dropped->Line);
    delete dropped->Line;
  }
  series_ = std::move(kept);
  dirty_ = true;
}

void TPollPlot::Add(size_t row, size_t reg, int64_t wallMs, double value) {
  if (!std::isfinite(value)) return;
  for (const auto& entry : series_) {
    if (entry->Info.Row != row || entry->Info.Register != reg) continue;
    entry->Store.Add(wallMs, value);
    dirty_ = true;
  }
}

void TPollPlot::SetRange(TRange range) {
  range_ = range;
  const QSignalBlocker blocker(CB_PlotRange);
  CB_PlotRange->setCurrentIndex(static_cast<int>(range));
  ResetZoom();
}

void TPollPlot::SetPaused(bool paused) {
  paused_ = paused;
  const QSignalBlocker blocker(Btn_PlotPause);
  Btn_PlotPause->setChecked(paused);
}

bool TPollPlot::ExportPng(const QString& path) {
  const QPixmap image = view_->grab();
  return !image.isNull() && image.save(path, "PNG");
}

size_t TPollPlot::StoredPoints() const {
  size_t points = 0;
  for (const auto& entry : series_) points += entry->Store.StoredPoints();
  return points;
}

void TPollPlot::ResetZoom() {
  zoomed_ = false;
  dirty_ = true;
  if (!paused_) Redraw();
}

void TPollPlot::Redraw() {
  dirty_ = false;
  int64_t from = std::numeric_limits<int64_t>::max();
  int64_t to = std::numeric_limits<int64_t>::min();
  for (const auto& entry : series_) {
    if (entry->Store.Empty()) continue;
    from = std::min(from, entry->Store.FirstTime());
    to = std::max(to, entry->Store.LastTime());
  }
  if (zoomed_) {
    from = timeAxis_->min().toMSecsSinceEpoch();
    to = timeAxis_->max().toMSecsSinceEpoch();
  } else if (from > to) {
    for (const auto& entry : series_) entry->Line->clear();
    return;
  } else if (range_ != TRange::prAll) {
    from = to - RangeMs(range_);
  }
  if (to <= from) to = from + 1000;

  // The axes are set before the points go in, so that each series lays its points out once.
  std::vector<QList<QPointF>> drawn(series_.size());
  double low = std::numeric_limits<double>::infinity();
  double high = -low;
  for (size_t index = 0; index < series_.size(); ++index) {
    const std::vector<PlotPoint> points = series_[index]->Store.Query(from, to, MaxDrawnPoints);
    drawn[index].reserve(static_cast<qsizetype>(points.size()));
    for (const PlotPoint& point : points) {
      drawn[index].append(QPointF(static_cast<double>(point.TimeMs), point.Value));
      low = std::min(low, point.Value);
      high = std::max(high, point.Value);
    }
  }
  if (!zoomed_) {
    timeAxis_->setFormat(to - from > 24 * 3'600'000 ? QStringLiteral("MM-dd HH:mm")
                                                    : QStringLiteral("HH:mm:ss"));
    timeAxis_->setRange(QDateTime::fromMSecsSinceEpoch(from), QDateTime::fromMSecsSinceEpoch(to));
    if (low <= high) {
      const double margin = high > low ? (high - low) * 0.05 : std::max(1.0, std::abs(high) * 0.05);
      valueAxis_->setRange(low - margin, high + margin);
    }
  }
  for (size_t index = 0; index < series_.size(); ++index) {
    series_[index]->Line->replace(drawn[index]);
  }
}

void TPollPlot::ChoosePngFile() {
  const QString path =
      QFileDialog::getSaveFileName(this, tr("导出PNG"), QString(), tr("PNG 图像 (*.png)"));
  if (path.isEmpty() || ExportPng(path)) return;
  ShowMessage(tr("无法写入文件 %1").arg(path), MessageKind::Error);
}

}  // namespace talyx::app
