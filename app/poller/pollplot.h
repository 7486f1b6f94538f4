// TPollPlot: the poller's plot of register values over time.
//
// Principles of operation:
// - Any registers can be ticked: each is a series with its name and unit. Samples are kept per
//   series in a bounded store that decimates old points into min/max pairs per time bucket, so
//   memory stays bounded however long the poller runs and each series draws at most a few
//   thousand points.
// - The view shows the last minute, ten minutes, hour, or all; it redraws on a timer (at most a
//   few times a second), never per sample, so the plot never stalls the event loop. Pause holds
//   the view while samples go on being stored; the mouse zooms (rubber band, wheel) and a reset
//   returns to the chosen range.
// - ExportPng writes the plot as shown.
// - Main thread only.
#pragma once

#include <QString>
#include <QWidget>
#include <cstddef>
#include <cstdint>
#include <vector>

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

  // (The implementation's members follow here.)
};

}  // namespace talyx::app
