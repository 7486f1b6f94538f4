// TPollPlot: the poller's plot of register values over time.
//
// Principles of operation:
// - Any registers can be ticked: each is a series with its name and unit. Samples are kept per
//   series in a bounded store that decimates old points into min/max pairs per time bucket, so
//   memory stays bounded however long the poller runs and each series draws at most
//   MaxDrawnPoints points (min/max pairs of equal time slices when there are more).
// - The view shows the last minute, ten minutes, hour, or all; it redraws on a timer (at most a
//   few times a second), never per sample, so the plot never stalls the event loop. Pause holds
//   the view while samples go on being stored; the mouse zooms (rubber band, wheel) and a reset
//   returns to the chosen range.
// - One value axis for every series; each series' legend entry says its unit, "name [unit]".
//   Values that are not finite are not plotted.
// - Bounds: each series' store holds at most PlotStore's raw capacity and bucket limit
//   (plotstore.h), about 670 KiB.
// - ExportPng writes the plot as shown.
// - Main thread only.
#pragma once

#include <QString>
#include <QTimer>
#include <QWidget>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "app/poller/plotstore.h"

class QChart;
class QChartView;
class QComboBox;
class QDateTimeAxis;
class QLineSeries;
class QPushButton;
class QValueAxis;

namespace talyx::app {

// One plotted register: the row and register index it comes from, its name and unit.
struct TPlotSeriesInfo {
  size_t Row = 0;
  size_t Register = 0;
  QString Name;
  QString Unit;

  bool operator==(const TPlotSeriesInfo&) const = default;
};

class TPollPlot : public QWidget {
  Q_OBJECT

 public:
  enum class TRange : uint8_t { prMinute, prTenMinutes, prHour, prAll };

  explicit TPollPlot(QWidget* parent = nullptr);
  ~TPollPlot() override;

  // The ticked registers; series no longer listed are dropped, new ones start empty.
  void SetSeries(const std::vector<TPlotSeriesInfo>& series);
  // A value of one series at a time (ms since the epoch); ignored for a series not plotted.
  void Add(size_t row, size_t reg, int64_t wallMs, double value);
  void SetRange(TRange range);
  void SetPaused(bool paused);
  // Writes the plot as a PNG image; false when the file cannot be written.
  bool ExportPng(const QString& path);

  // Points held over all series (each series' store is bounded, plotstore.h).
  size_t StoredPoints() const;

  static constexpr size_t MaxDrawnPoints = 1000;
  static constexpr int RedrawIntervalMs = 250;

  QComboBox* CB_PlotRange;
  QPushButton* Btn_PlotPause;
  QPushButton* Btn_PlotResetZoom;
  QPushButton* Btn_PlotExport;

 private:
  struct TSeries {
    TPlotSeriesInfo Info;
    PlotStore Store;
    QLineSeries* Line = nullptr;
  };

  // Replaces each series' points with the decimated ones of the view's time span.
  void Redraw();
  void ResetZoom();
  void ChoosePngFile();

  std::vector<std::unique_ptr<TSeries>> series_;
  QChart* chart_;
  QChartView* view_;
  QDateTimeAxis* timeAxis_;
  QValueAxis* valueAxis_;
  QTimer redrawTimer_;
  TRange range_ = TRange::prTenMinutes;
  bool paused_ = false;
  bool dirty_ = false;   // stored points not yet drawn
  bool zoomed_ = false;  // the mouse set the axes: keep them, draw their span
};

}  // namespace talyx::app
