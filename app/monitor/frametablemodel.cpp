// TFrameTableModel: the bus monitor's rows, filtered incrementally, texts made on demand.
#include "app/monitor/frametablemodel.h"

#include <QDateTime>
#include <QIODevice>
#include <QTimer>
#include <algorithm>
#include <string>

#include "platform/clock.h"
#include "platform/hexbytes.h"
#include "text/modbusframetext.h"

namespace talyx::app {

namespace {

QString Milliseconds(uint64_t us) {
  return QString::number(static_cast<double>(us) / 1000.0, 'f', 3);
}

QString Hex(const uint8_t* bytes, size_t count) {
  return QString::fromLatin1(
             platform::HexBytes(std::string(reinterpret_cast<const char*>(bytes), count)))
      .trimmed();
}

QString CsvField(const QString& text) {
  if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"'))) return text;
  QString quoted = text;
  quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
  return QLatin1Char('"') + quoted + QLatin1Char('"');
}

}  // namespace

TFrameTableModel::TFrameTableModel(TFrameStore& store, QObject* parent)
    : QAbstractTableModel(parent),
      store_(store),
      showTimer_(new QTimer(this)),
      wallOffsetUs_(QDateTime::currentMSecsSinceEpoch() * 1000 -
                    static_cast<int64_t>(platform::MicrosecondClock())) {
  showTimer_->setSingleShot(true);
  connect(showTimer_, &QTimer::timeout, this, [this] {
    if (!paused_) ShowWaiting();
  });
  store_.SetListener(this);
  Rebuild();
}

TFrameTableModel::~TFrameTableModel() { store_.SetListener(nullptr); }

int TFrameTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(visible_);
}

int TFrameTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : ColumnCount;
}

QVariant TFrameTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || orientation != Qt::Horizontal) return {};
  switch (section) {
    case ColTime:
      return tr("时间");
    case ColDirection:
      return tr("方向");
    case ColAddress:
      return tr("地址");
    case ColFunction:
      return tr("功能");
    case ColSummary:
      return tr("摘要");
    case ColLength:
      return tr("长度");
    case ColCrc:
      return tr("CRC");
    case ColGap:
      return tr("间隔(ms)");
    case ColResponse:
      return tr("响应(ms)");
    default:
      return {};
  }
}

QVariant TFrameTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= static_cast<int>(visible_)) return {};
  if (role == Qt::DisplayRole) return Text(index.row(), index.column());
  if (role == Qt::TextAlignmentRole && index.column() != ColSummary) {
    return QVariant(Qt::AlignRight | Qt::AlignVCenter);
  }
  return {};
}

QString TFrameTableModel::Text(int row, int column) const {
  const TFrameRecord& record = store_.Record(PositionOf(row));
  const bool raw = record.Has(TFrameRecord::Raw);
  switch (column) {
    case ColTime:
      return QDateTime::fromMSecsSinceEpoch((wallOffsetUs_ + static_cast<int64_t>(record.StartUs)) /
                                            1000)
          .toString(QStringLiteral("HH:mm:ss.zzz"));
    case ColDirection:
      if (record.Has(TFrameRecord::Echo)) return tr("回波");
      return record.Has(TFrameRecord::Sent) ? tr("发送") : tr("接收");
    case ColAddress:
      return raw ? QString() : QString::number(record.Address);
    case ColFunction:
      return raw ? QString() : Hex(&record.Function, 1);
    case ColSummary:
      if (raw) return tr("非帧字节");
      return QString::fromStdString(formats::DescribeFrame(store_.Decode(record), format_));
    case ColLength:
      return QString::number(record.Length);
    case ColCrc:
      // A raw run carries no valid CRC either.
      return record.Has(TFrameRecord::CrcOk) ? tr("正确") : tr("错误");
    case ColGap:
      return Milliseconds(record.GapUs);
    case ColResponse:
      if (record.Has(TFrameRecord::Unanswered)) return tr("无应答");
      return record.Has(TFrameRecord::Paired) ? Milliseconds(record.ResponseUs) : QString();
    default:
      return {};
  }
}

QString TFrameTableModel::BytesText(int row) const {
  const TFrameRecord& record = store_.Record(PositionOf(row));
  const uint8_t* bytes = store_.Bytes(record);
  QString text;
  for (size_t line = 0; line < record.Length; line += 16) {
    const size_t count = std::min<size_t>(16, record.Length - line);
    QString ascii;
    for (size_t i = line; i < line + count; ++i) {
      ascii += bytes[i] >= 0x20 && bytes[i] < 0x7F ? QLatin1Char(static_cast<char>(bytes[i]))
                                                   : QLatin1Char('.');
    }
    if (!text.isEmpty()) text += QLatin1Char('\n');
    text += QStringLiteral("%1  %2  %3")
                .arg(line, 4, 16, QLatin1Char('0'))
                .arg(Hex(bytes + line, count), -47)
                .arg(ascii);
  }
  return text;
}

bool TFrameTableModel::WriteCsv(QIODevice& device) const {
  QStringList header;
  for (int column = 0; column < ColumnCount; ++column) {
    header << CsvField(headerData(column, Qt::Horizontal).toString());
  }
  header << tr("字节");
  if (device.write((header.join(QLatin1Char(',')) + QLatin1Char('\n')).toUtf8()) < 0) return false;
  for (int row = 0; row < static_cast<int>(visible_); ++row) {
    QStringList fields;
    for (int column = 0; column < ColumnCount; ++column) fields << CsvField(Text(row, column));
    const TFrameRecord& record = store_.Record(PositionOf(row));
    fields << Hex(store_.Bytes(record), record.Length);
    if (device.write((fields.join(QLatin1Char(',')) + QLatin1Char('\n')).toUtf8()) < 0) {
      return false;
    }
  }
  return true;
}

void TFrameTableModel::SetFilter(const TFrameFilter& filter) {
  if (filter == filter_) return;
  filter_ = filter;
  Rebuild();
}

void TFrameTableModel::SetRegisterFormat(formats::TRegisterFormat format) {
  format_ = format;
  if (visible_ > 0) {
    emit dataChanged(index(0, ColSummary), index(static_cast<int>(visible_) - 1, ColSummary));
  }
}

void TFrameTableModel::SetPaused(bool paused) {
  paused_ = paused;
  if (!paused_) ShowWaiting();
}

void TFrameTableModel::SetShowInterval(int ms) {
  showTimer_->setInterval(std::max(ms, 0));
  if (ms > 0) return;
  showTimer_->stop();
  if (!paused_) ShowWaiting();
}

void TFrameTableModel::Rebuild() {
  beginResetModel();
  shown_.clear();
  for (uint64_t position = store_.Dropped(); position < store_.End(); ++position) {
    if (filter_.Accepts(store_.Record(position))) shown_.push_back(position);
  }
  visible_ = shown_.size();
  endResetModel();
}

void TFrameTableModel::ShowWaiting() {
  if (visible_ == shown_.size()) return;
  beginInsertRows(QModelIndex(), static_cast<int>(visible_), static_cast<int>(shown_.size()) - 1);
  visible_ = shown_.size();
  endInsertRows();
  if (showTimer_->interval() > 0) showTimer_->start();
}

void TFrameTableModel::DropBefore(uint64_t newDropped) {
  const auto keep = std::lower_bound(shown_.begin(), shown_.end(), newDropped);
  const auto gone = static_cast<size_t>(keep - shown_.begin());
  if (gone == 0) return;
  const size_t goneVisible = std::min(gone, visible_);
  if (goneVisible > 0) beginRemoveRows(QModelIndex(), 0, static_cast<int>(goneVisible) - 1);
  shown_.erase(shown_.begin(), keep);
  visible_ -= goneVisible;
  if (goneVisible > 0) endRemoveRows();
}

void TFrameTableModel::Remark(uint64_t position) {
  const auto at = std::lower_bound(shown_.begin(), shown_.end(), position);
  const auto row = static_cast<size_t>(at - shown_.begin());
  if (at != shown_.end() && *at == position) {
    if (row < visible_) {
      emit dataChanged(index(static_cast<int>(row), 0),
                       index(static_cast<int>(row), ColumnCount - 1));
    }
    return;
  }
  if (!filter_.Accepts(store_.Record(position))) return;
  // A row before the waiting ones is shown at once; one among them waits with them.
  const bool show = row < visible_ || (row == visible_ && visible_ == shown_.size());
  if (show) beginInsertRows(QModelIndex(), static_cast<int>(row), static_cast<int>(row));
  shown_.insert(at, position);
  if (show) {
    ++visible_;
    endInsertRows();
  }
}

void TFrameTableModel::FramesChanged(uint64_t first, uint64_t end, uint64_t newDropped,
                                     const std::vector<uint64_t>& marked) {
  DropBefore(newDropped);
  // New frames are appended below with their marks already on them.
  for (const uint64_t position : marked) {
    if (position < first) Remark(position);
  }
  for (uint64_t position = first; position < end; ++position) {
    if (filter_.Accepts(store_.Record(position))) shown_.push_back(position);
  }
  if (!paused_ && !showTimer_->isActive()) ShowWaiting();
}

void TFrameTableModel::FramesCleared() { Rebuild(); }

}  // namespace talyx::app
