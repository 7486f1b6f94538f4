// TFrameTableModel: the bus monitor's table: one row per frame of the store that the filter
// lets through, its texts made when a row is shown.
//
// Principles of operation:
// - The model keeps only the positions of the rows shown (Shown), in order; a new batch of
//   frames appends those the filter accepts, dropped frames leave from the front, and a request
//   marked unanswered is put in its place when the filter now accepts it. Only a new filter
//   goes through every frame again.
// - While paused, new rows wait: they are counted but not shown until the pause ends; frames
//   dropped meanwhile still leave at once.
// - Rows may be shown at most once per interval (SetShowInterval): the first new rows after a
//   quiet interval show at once, those that come within an interval of a showing wait for its
//   end and show together, in order. A saturated line brings a batch every few milliseconds,
//   and each showing repaints every visible row of a view that follows the end.
// - Texts: local time to the millisecond, direction, address, function (hexadecimal), the
//   decoded summary (text/modbusframetext.h), length, CRC, gap before and response time in
//   milliseconds. Times on the engine's microsecond clock become local time through an offset
//   taken when the model is made.
// - Main thread only.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <deque>

#include "app/monitor/framefilter.h"
#include "app/monitor/framestore.h"
#include "text/registerformat.h"

class QIODevice;
class QTimer;

namespace talyx::app {

class TFrameTableModel : public QAbstractTableModel, public TFrameStoreListener {
  Q_OBJECT

 public:
  enum Column {
    ColTime,
    ColDirection,
    ColAddress,
    ColFunction,
    ColSummary,
    ColLength,
    ColCrc,
    ColGap,
    ColResponse,
    ColumnCount
  };

  explicit TFrameTableModel(TFrameStore& store, QObject* parent = nullptr);
  ~TFrameTableModel() override;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

  const TFrameFilter& Filter() const { return filter_; }
  void SetFilter(const TFrameFilter& filter);
  bool Paused() const { return paused_; }
  void SetPaused(bool paused);
  void SetRegisterFormat(formats::TRegisterFormat format);
  // Shows new rows at most once per ms milliseconds; 0 shows every batch at once.
  void SetShowInterval(int ms);

  // The store position of a row.
  uint64_t PositionOf(int row) const { return shown_[static_cast<size_t>(row)]; }
  // The text of one cell.
  QString Text(int row, int column) const;
  // The selected frame's bytes: sixteen a line, hexadecimal and ASCII.
  QString BytesText(int row) const;
  // Writes the rows shown as CSV (a header line, the columns above and the bytes in hex).
  bool WriteCsv(QIODevice& device) const;

  void FramesChanged(uint64_t first, uint64_t end, uint64_t newDropped,
                     const std::vector<uint64_t>& marked) override;
  void FramesCleared() override;

 private:
  void Rebuild();
  // Shows the rows that wait (paused, or within an interval of the last showing) at the end.
  void ShowWaiting();
  // Takes out the rows of frames before newDropped.
  void DropBefore(uint64_t newDropped);
  // A held frame's record changed: its row is redrawn, or added when the filter now takes it.
  void Remark(uint64_t position);

  TFrameStore& store_;
  TFrameFilter filter_;
  formats::TRegisterFormat format_ = formats::TRegisterFormat::rfU16;
  std::deque<uint64_t> shown_;  // positions that pass the filter, in order
  size_t visible_ = 0;          // rows exposed to views: the first visible_ of shown_
  bool paused_ = false;
  QTimer* showTimer_;         // runs for an interval after each showing while an interval is set
  int64_t wallOffsetUs_ = 0;  // local wall clock minus the microsecond clock
};

}  // namespace talyx::app
