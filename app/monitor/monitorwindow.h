// TMonitorWindow: the bus monitor: every Modbus frame on the line in a table, the selected
// frame's bytes, filters, pause, clear, counters and CSV export.
//
// Principles of operation:
// - The window shows the store (framestore.h) through TFrameTableModel; it owns neither the
//   store nor the feed, so frames keep coming while it is hidden.
// - The response timeout is the feed's: a new value starts pairing afresh.
// - The counters and response times are refreshed on a timer while the window is visible, not
//   per frame.
// - While the window is visible, new rows show at most once per TableFrameMs and the table
//   follows the end once per showing: at a saturated line every showing repaints the whole
//   table, the window's main cost. A hidden window shows rows at once (nothing is painted).
// - Export asks for a file and writes the rows shown; a failure is reported by message box.
// - Main thread only.
#pragma once

#include <QString>
#include <QWidget>

#include "app/monitor/framestore.h"
#include "app/monitor/frametablemodel.h"
#include "app/monitor/monitorfeed.h"

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTableView;
class QTimer;

namespace talyx::app {

class TMonitorWindow : public QWidget {
  Q_OBJECT

 public:
  // How often, at most, new rows show while the window is visible.
  static constexpr int TableFrameMs = 40;

  TMonitorWindow(TFrameStore& store, TMonitorFeed& feed, QWidget* parent = nullptr);

  // Writes the rows shown to the file; false (and a message) when it cannot be written.
  bool ExportCsv(const QString& path);
  // Brings the counters and response times up to date.
  void RefreshCounters();

  TFrameTableModel* Model;
  QTableView* FrameTable;
  QPlainTextEdit* FrameBytes;
  QSpinBox* FilterAddress;
  QSpinBox* FilterFunction;
  QCheckBox* ErrorsOnly;
  QCheckBox* ExceptionsOnly;
  QCheckBox* HideEcho;
  QSpinBox* ResponseTimeout;
  QPushButton* Btn_Pause;
  QPushButton* Btn_Clear;
  QPushButton* Btn_ExportCsv;
  QLabel* Counters;
  QLabel* ResponseTimes;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void ApplyFilter();
  void ShowSelectedBytes();
  void FollowEnd(bool wasAtEnd);
  void ChooseCsvFile();

  TFrameStore& store_;
  TMonitorFeed& feed_;
  QTimer* countersTimer_;
};

}  // namespace talyx::app
