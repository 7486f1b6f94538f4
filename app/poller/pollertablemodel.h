// TPollTableModel and TPollStatsModel: the poller's values table (a row per named register of
// every poll row) and its statistics table (a row per poll row).
//
// Principles of operation:
// - The values table follows the loop's samples in place: a sample changes the value cells of
//   its row's registers only. A value that changed is marked (bold, coloured) for ChangedMs.
//   A register whose row is stale shows its last value marked stale (grey, "过期" in the state
//   column); while the loop waits for the port every row shows "等待串口"; a failed poll keeps
//   the last value and says why (timeout, CRC error, the exception with its name).
// - Refresh re-reads what time changes (the marks' end, staleness), for a timer of the window.
// - A register is ticked for the plot by the check box of its name cell. A new poll set keeps
//   the tick of a register still at the same row and index with the same name and address, and
//   drops the rest. PlotTicksChanged says when the ticks may have changed.
// - The statistics table shows each poll row's counters from the loop, refreshed the same way.
// - Main thread only.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

#include "app/poller/pollsample.h"

namespace talyx::app {

class TPollLoop;

class TPollTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  static constexpr int64_t ChangedMs = 1000;
  enum Column { ColRow, ColSlave, ColAddress, ColName, ColValue, ColUnit, ColState, ColumnCount };

  explicit TPollTableModel(const TPollLoop& loop, QObject* parent = nullptr);

  // The loop has a new poll set: the table is laid out again, with no values.
  void Reset();
  void Add(const TPollSample& sample);
  // The poll row and register index of a table row.
  size_t PollRowOf(int row) const { return cells_.at(static_cast<size_t>(row)).Row; }
  size_t RegisterOf(int row) const { return cells_.at(static_cast<size_t>(row)).Register; }
  QString Text(int row, int column) const;
  bool Changed(int row) const;
  void Refresh();
  // Ticks or unticks a table row's register for the plot.
  void SetPlotted(int row, bool plotted);
  // The table rows ticked for the plot, in table order.
  std::vector<int> PlottedRows() const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 signals:
  void PlotTicksChanged();

 private:
  struct TCell {
    size_t Row = 0;
    size_t Register = 0;
    bool Valid = false;
    QString Value;
    int64_t ChangedAtMs = 0;  // when the value last changed (0: never marked)
    bool Plotted = false;
    std::string Name;  // the register's name and address, to keep its tick across poll sets
    uint16_t Address = 0;
  };
  // The state of a poll row: "" when its last poll was good.
  QString StateText(size_t pollRow) const;

  const TPollLoop& loop_;
  std::vector<TCell> cells_;
  std::vector<int> firstOfRow_;    // the first table row of each poll row
  std::vector<TPollSample> last_;  // each poll row's last sample (Ok false until one came)
  std::vector<bool> polled_;
};

class TPollStatsModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column {
    ColRow,
    ColSlave,
    ColFunction,
    ColStart,
    ColCount,
    ColPeriod,
    ColAchieved,
    ColRequests,
    ColGood,
    ColTimeouts,
    ColCrcErrors,
    ColExceptions,
    ColLastResponse,
    ColAverageResponse,
    ColMaxResponse,
    ColumnCount
  };

  explicit TPollStatsModel(const TPollLoop& loop, QObject* parent = nullptr);

  void Reset();
  void Refresh();
  QString Text(int row, int column) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  const TPollLoop& loop_;
};

// The exception's code and name, as the window shows it: "02 Illegal Data Address".
QString ExceptionText(uint8_t code);

}  // namespace talyx::app
