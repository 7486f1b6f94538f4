// TPollTableModel and TPollStatsModel: the values and statistics of the poll loop as tables.
#include "app/poller/pollertablemodel.h"

#include <QBrush>
#include <QDateTime>
#include <QFont>
#include <algorithm>

#include "app/poller/pollloop.h"
#include "modbus/rtufunctions.h"

namespace talyx::app {

namespace {

QString Milliseconds(uint64_t us) {
  return QString::number(static_cast<double>(us) / 1000.0, 'f', 1);
}

}  // namespace

QString ExceptionText(uint8_t code) {
  const std::string_view name = modbus::ExceptionName(code);
  const QString number = QStringLiteral("%1").arg(code, 2, 16, QLatin1Char('0')).toUpper();
  if (name.empty()) return number;
  return number + QLatin1Char(' ') +
         QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

TPollTableModel::TPollTableModel(const TPollLoop& loop, QObject* parent)
    : QAbstractTableModel(parent), loop_(loop) {
  Reset();
}

void TPollTableModel::Reset() {
  beginResetModel();
  const PollSet& set = loop_.Set();
  // The ticked registers of the old layout, kept where the new set has the same register.
  std::vector<TCell> ticked;
  for (const TCell& cell : cells_) {
    if (cell.Plotted) ticked.push_back(cell);
  }
  cells_.clear();
  firstOfRow_.clear();
  for (size_t row = 0; row < set.Rows.size(); ++row) {
    firstOfRow_.push_back(static_cast<int>(cells_.size()));
    for (size_t reg = 0; reg < set.Rows[row].Registers.size(); ++reg) {
      const PollRegister& named = set.Rows[row].Registers[reg];
      TCell cell{row, reg, false, {}, 0, false, named.Name, named.Address};
      cell.Plotted = std::any_of(ticked.begin(), ticked.end(), [&](const TCell& was) {
        return was.Row == row && was.Register == reg && was.Name == named.Name &&
               was.Address == named.Address;
      });
      cells_.push_back(std::move(cell));
    }
  }
  firstOfRow_.push_back(static_cast<int>(cells_.size()));
  last_.assign(set.Rows.size(), {});
  polled_.assign(set.Rows.size(), false);
  endResetModel();
  emit PlotTicksChanged();
}

void TPollTableModel::SetPlotted(int row, bool plotted) {
  TCell& cell = cells_.at(static_cast<size_t>(row));
  if (cell.Plotted == plotted) return;
  cell.Plotted = plotted;
  emit dataChanged(index(row, ColName), index(row, ColName), {Qt::CheckStateRole});
  emit PlotTicksChanged();
}

std::vector<int> TPollTableModel::PlottedRows() const {
  std::vector<int> rows;
  for (size_t row = 0; row < cells_.size(); ++row) {
    if (cells_[row].Plotted) rows.push_back(static_cast<int>(row));
  }
  return rows;
}

void TPollTableModel::Add(const TPollSample& sample) {
  if (sample.Row >= last_.size()) return;
  last_[sample.Row] = sample;
  polled_[sample.Row] = true;
  const int first = firstOfRow_[sample.Row];
  const int end = firstOfRow_[sample.Row + 1];
  if (sample.Ok) {
    const int64_t now = QDateTime::currentMSecsSinceEpoch();
    for (int row = first; row < end; ++row) {
      TCell& cell = cells_[static_cast<size_t>(row)];
      if (cell.Register >= sample.Values.size() || !sample.Values[cell.Register].Valid) continue;
      const QString text = QString::fromStdString(sample.Values[cell.Register].Text);
      if (cell.Valid && text != cell.Value) cell.ChangedAtMs = now;
      cell.Valid = true;
      cell.Value = text;
    }
  }
  if (first < end) emit dataChanged(index(first, ColValue), index(end - 1, ColState));
}

bool TPollTableModel::Changed(int row) const {
  const TCell& cell = cells_.at(static_cast<size_t>(row));
  return cell.ChangedAtMs != 0 &&
         QDateTime::currentMSecsSinceEpoch() - cell.ChangedAtMs < ChangedMs;
}

void TPollTableModel::Refresh() {
  if (!cells_.empty()) {
    emit dataChanged(index(0, ColValue), index(rowCount() - 1, ColState));
  }
}

QString TPollTableModel::StateText(size_t pollRow) const {
  if (loop_.Paused()) return tr("等待串口");
  const TPollRowStats& stats = loop_.Stats(pollRow);
  QString text;
  if (stats.LastOutcome.has_value()) {
    switch (*stats.LastOutcome) {
      case TRequestOutcome::roTimeout:
        text = tr("超时");
        break;
      case TRequestOutcome::roCrcError:
        text = tr("CRC错误");
        break;
      case TRequestOutcome::roException:
        text = tr("异常 %1").arg(ExceptionText(stats.LastException));
        break;
      case TRequestOutcome::roReply:
      case TRequestOutcome::roPortAway:
        break;
    }
  }
  if (loop_.Stale(pollRow)) text = text.isEmpty() ? tr("过期") : tr("过期：%1").arg(text);
  return text;
}

QString TPollTableModel::Text(int row, int column) const {
  const TCell& cell = cells_.at(static_cast<size_t>(row));
  const PollRow& pollRow = loop_.Set().Rows[cell.Row];
  const PollRegister& reg = pollRow.Registers[cell.Register];
  switch (column) {
    case ColRow:
      return QString::number(cell.Row + 1);
    case ColSlave:
      return QString::number(pollRow.Slave);
    case ColAddress:
      return QString::number(reg.Address);
    case ColName:
      return QString::fromStdString(reg.Name);
    case ColValue:
      return cell.Valid ? cell.Value : QString();
    case ColUnit:
      return QString::fromStdString(reg.Unit);
    case ColState:
      return StateText(cell.Row);
    default:
      return {};
  }
}

int TPollTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(cells_.size());
}

int TPollTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : ColumnCount;
}

QVariant TPollTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  if (role == Qt::DisplayRole) return Text(index.row(), index.column());
  if (role == Qt::CheckStateRole && index.column() == ColName) {
    return cells_[static_cast<size_t>(index.row())].Plotted ? Qt::Checked : Qt::Unchecked;
  }
  if (index.column() != ColValue) return {};
  const size_t pollRow = PollRowOf(index.row());
  if (role == Qt::FontRole && Changed(index.row())) {
    QFont font;
    font.setBold(true);
    return font;
  }
  if (role == Qt::ForegroundRole) {
    if (loop_.Paused() || loop_.Stale(pollRow)) return QBrush(Qt::gray);
    if (Changed(index.row())) return QBrush(Qt::blue);
  }
  return {};
}

bool TPollTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || index.column() != ColName || role != Qt::CheckStateRole) return false;
  SetPlotted(index.row(), value.toInt() == Qt::Checked);
  return true;
}

Qt::ItemFlags TPollTableModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags flags = QAbstractTableModel::flags(index);
  if (index.isValid() && index.column() == ColName) flags |= Qt::ItemIsUserCheckable;
  return flags;
}

QVariant TPollTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case ColRow:
      return tr("行");
    case ColSlave:
      return tr("从站");
    case ColAddress:
      return tr("地址");
    case ColName:
      return tr("名称");
    case ColValue:
      return tr("数值");
    case ColUnit:
      return tr("单位");
    case ColState:
      return tr("状态");
    default:
      return {};
  }
}

TPollStatsModel::TPollStatsModel(const TPollLoop& loop, QObject* parent)
    : QAbstractTableModel(parent), loop_(loop) {}

void TPollStatsModel::Reset() {
  beginResetModel();
  endResetModel();
}

void TPollStatsModel::Refresh() {
  if (rowCount() > 0) emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
}

QString TPollStatsModel::Text(int row, int column) const {
  const auto at = static_cast<size_t>(row);
  const PollRow& pollRow = loop_.Set().Rows[at];
  const TPollRowStats& stats = loop_.Stats(at);
  switch (column) {
    case ColRow:
      return QString::number(row + 1);
    case ColSlave:
      return QString::number(pollRow.Slave);
    case ColFunction:
      return QStringLiteral("%1").arg(static_cast<int>(pollRow.Function), 2, 10, QLatin1Char('0'));
    case ColStart:
      return QString::number(pollRow.Start);
    case ColCount:
      return QString::number(pollRow.Count);
    case ColPeriod:
      return QString::number(pollRow.PeriodMs);
    case ColAchieved:
      return stats.AchievedPeriodUs == 0 ? QString() : Milliseconds(stats.AchievedPeriodUs);
    case ColRequests:
      return QString::number(stats.Requests);
    case ColGood:
      return QString::number(stats.GoodReplies);
    case ColTimeouts:
      return QString::number(stats.Timeouts);
    case ColCrcErrors:
      return QString::number(stats.CrcErrors);
    case ColExceptions:
      return stats.Exceptions == 0 ? QStringLiteral("0")
                                   : QStringLiteral("%1 (%2)")
                                         .arg(stats.Exceptions)
                                         .arg(ExceptionText(stats.LastException));
    case ColLastResponse:
      return stats.GoodReplies == 0 ? QString() : Milliseconds(stats.LastResponseUs);
    case ColAverageResponse:
      return stats.GoodReplies == 0 ? QString() : Milliseconds(stats.AverageResponseUs());
    case ColMaxResponse:
      return stats.GoodReplies == 0 ? QString() : Milliseconds(stats.MaxResponseUs);
    default:
      return {};
  }
}

int TPollStatsModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(loop_.Set().Rows.size());
}

int TPollStatsModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : ColumnCount;
}

QVariant TPollStatsModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || role != Qt::DisplayRole) return {};
  return Text(index.row(), index.column());
}

QVariant TPollStatsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case ColRow:
      return tr("行");
    case ColSlave:
      return tr("从站");
    case ColFunction:
      return tr("功能");
    case ColStart:
      return tr("起始");
    case ColCount:
      return tr("数量");
    case ColPeriod:
      return tr("周期(ms)");
    case ColAchieved:
      return tr("实际周期(ms)");
    case ColRequests:
      return tr("请求");
    case ColGood:
      return tr("正确");
    case ColTimeouts:
      return tr("超时");
    case ColCrcErrors:
      return tr("CRC错误");
    case ColExceptions:
      return tr("异常");
    case ColLastResponse:
      return tr("最近响应(ms)");
    case ColAverageResponse:
      return tr("平均响应(ms)");
    case ColMaxResponse:
      return tr("最大响应(ms)");
    default:
      return {};
  }
}

}  // namespace talyx::app
