// TMonitorWindow: the bus monitor's controls, wired to the table model, the store and the feed.
#include "app/monitor/monitorwindow.h"

#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QSplitter>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include "app/monitor/framerowdelegate.h"
#include "app/shell/messagebox.h"

namespace talyx::app {

namespace {

QString Ms(uint64_t us) { return QString::number(static_cast<double>(us) / 1000.0, 'f', 3); }

template <typename T>
T* Named(T* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

}  // namespace

TMonitorWindow::TMonitorWindow(TFrameStore& store, TMonitorFeed& feed, QWidget* parent)
    : QWidget(parent, Qt::Window), store_(store), feed_(feed) {
  setObjectName(QStringLiteral("MonitorWindow"));
  setWindowTitle(tr("总线监视"));
  resize(960, 600);

  Model = new TFrameTableModel(store_, this);
  FrameTable = Named(new QTableView(this), "FrameTable");
  FrameTable->setModel(Model);
  FrameTable->setItemDelegate(new TFrameRowDelegate(FrameTable));
  FrameTable->setSelectionBehavior(QAbstractItemView::SelectRows);
  FrameTable->setSelectionMode(QAbstractItemView::SingleSelection);
  FrameTable->setWordWrap(false);
  FrameTable->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  FrameTable->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  FrameTable->verticalHeader()->hide();
  FrameTable->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  FrameTable->horizontalHeader()->setStretchLastSection(false);
  FrameTable->setColumnWidth(TFrameTableModel::ColSummary, 420);
  FrameBytes = Named(new QPlainTextEdit(this), "FrameBytes");
  FrameBytes->setReadOnly(true);
  FrameBytes->setFont(QFont(QStringLiteral("monospace")));

  FilterAddress = Named(new QSpinBox(this), "FilterAddress");
  FilterAddress->setRange(-1, 255);
  FilterAddress->setValue(-1);
  FilterAddress->setSpecialValueText(tr("全部"));
  FilterFunction = Named(new QSpinBox(this), "FilterFunction");
  FilterFunction->setRange(-1, 255);
  FilterFunction->setValue(-1);
  FilterFunction->setDisplayIntegerBase(16);
  FilterFunction->setSpecialValueText(tr("全部"));
  ErrorsOnly = Named(new QCheckBox(tr("仅错误"), this), "ErrorsOnly");
  ExceptionsOnly = Named(new QCheckBox(tr("仅异常"), this), "ExceptionsOnly");
  HideEcho = Named(new QCheckBox(tr("隐藏回波"), this), "HideEcho");
  HideEcho->setChecked(true);
  ResponseTimeout = Named(new QSpinBox(this), "ResponseTimeout");
  ResponseTimeout->setRange(1, 60000);
  ResponseTimeout->setSuffix(QStringLiteral(" ms"));
  ResponseTimeout->setValue(static_cast<int>(feed_.ResponseTimeoutMs()));
  Btn_Pause = Named(new QPushButton(tr("暂停"), this), "Btn_Pause");
  Btn_Pause->setCheckable(true);
  Btn_Clear = Named(new QPushButton(tr("清除"), this), "Btn_Clear");
  Btn_ExportCsv = Named(new QPushButton(tr("导出CSV..."), this), "Btn_ExportCsv");
  Counters = Named(new QLabel(this), "Counters");
  ResponseTimes = Named(new QLabel(this), "ResponseTimes");
  ResponseTimes->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* controls = new QHBoxLayout;
  controls->addWidget(new QLabel(tr("地址"), this));
  controls->addWidget(FilterAddress);
  controls->addWidget(new QLabel(tr("功能"), this));
  controls->addWidget(FilterFunction);
  controls->addWidget(ErrorsOnly);
  controls->addWidget(ExceptionsOnly);
  controls->addWidget(HideEcho);
  controls->addWidget(new QLabel(tr("应答超时"), this));
  controls->addWidget(ResponseTimeout);
  controls->addStretch();
  controls->addWidget(Btn_Pause);
  controls->addWidget(Btn_Clear);
  controls->addWidget(Btn_ExportCsv);
  auto* splitter = new QSplitter(Qt::Vertical, this);
  splitter->addWidget(FrameTable);
  splitter->addWidget(FrameBytes);
  splitter->setStretchFactor(0, 4);
  splitter->setStretchFactor(1, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(controls);
  layout->addWidget(splitter, 1);
  layout->addWidget(Counters);
  layout->addWidget(ResponseTimes);

  for (QSpinBox* box : {FilterAddress, FilterFunction}) {
    connect(box, &QSpinBox::valueChanged, this, [this] { ApplyFilter(); });
  }
  for (QCheckBox* box : {ErrorsOnly, ExceptionsOnly, HideEcho}) {
    connect(box, &QCheckBox::toggled, this, [this] { ApplyFilter(); });
  }
  connect(ResponseTimeout, &QSpinBox::valueChanged, this,
          [this](int ms) { feed_.SetResponseTimeout(static_cast<uint32_t>(ms)); });
  connect(Btn_Pause, &QPushButton::toggled, this,
          [this](bool paused) { Model->SetPaused(paused); });
  connect(Btn_Clear, &QPushButton::clicked, this, [this] {
    store_.Clear();
    FrameBytes->clear();
    RefreshCounters();
  });
  connect(Btn_ExportCsv, &QPushButton::clicked, this, [this] { ChooseCsvFile(); });
  connect(FrameTable->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this] { ShowSelectedBytes(); });
  // Rows added while the view showed its last row keep it in view.
  connect(Model, &QAbstractItemModel::rowsAboutToBeInserted, this, [this] {
    QScrollBar* bar = FrameTable->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    QTimer::singleShot(0, this, [this, atEnd] { FollowEnd(atEnd); });
  });

  countersTimer_ = new QTimer(this);
  countersTimer_->setInterval(250);
  connect(countersTimer_, &QTimer::timeout, this, [this] { RefreshCounters(); });
  RefreshCounters();
}

void TMonitorWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  Model->SetShowInterval(TableFrameMs);
  RefreshCounters();
  countersTimer_->start();
}

void TMonitorWindow::hideEvent(QHideEvent* event) {
  countersTimer_->stop();
  Model->SetShowInterval(0);
  QWidget::hideEvent(event);
}

void TMonitorWindow::ApplyFilter() {
  TFrameFilter filter;
  filter.Address = FilterAddress->value();
  filter.Function = FilterFunction->value();
  filter.ErrorsOnly = ErrorsOnly->isChecked();
  filter.ExceptionsOnly = ExceptionsOnly->isChecked();
  filter.HideEcho = HideEcho->isChecked();
  Model->SetFilter(filter);
  FrameBytes->clear();
}

void TMonitorWindow::ShowSelectedBytes() {
  const QModelIndex current = FrameTable->currentIndex();
  FrameBytes->setPlainText(current.isValid() ? Model->BytesText(current.row()) : QString());
}

void TMonitorWindow::FollowEnd(bool wasAtEnd) {
  if (wasAtEnd) FrameTable->scrollToBottom();
}

void TMonitorWindow::RefreshCounters() {
  const TMonitorCounters& counters = store_.Counters();
  Counters->setText(tr("帧：%1  CRC错误：%2  异常：%3  无应答：%4  已丢弃：%5")
                        .arg(counters.Frames)
                        .arg(counters.CrcErrors)
                        .arg(counters.Exceptions)
                        .arg(counters.Unanswered)
                        .arg(store_.Dropped()));
  QStringList lines;
  const auto& times = store_.ResponseTimes();
  for (size_t address = 0; address < times.size(); ++address) {
    const TResponseStats& stats = times[address];
    if (stats.Count == 0) continue;
    lines << tr("地址 %1：响应 最小 %2 ms，平均 %3 ms，最大 %4 ms")
                 .arg(address)
                 .arg(Ms(stats.MinUs))
                 .arg(Ms(stats.SumUs / stats.Count))
                 .arg(Ms(stats.MaxUs));
  }
  ResponseTimes->setText(lines.join(QLatin1Char('\n')));
}

bool TMonitorWindow::ExportCsv(const QString& path) {
  QFile file(path);
  if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && Model->WriteCsv(file) &&
      file.flush()) {
    return true;
  }
  ShowMessage(tr("无法写入文件 %1：%2").arg(path, file.errorString()), MessageKind::Error);
  return false;
}

void TMonitorWindow::ChooseCsvFile() {
  const QString path =
      QFileDialog::getSaveFileName(this, tr("导出CSV"), QString(), tr("CSV 文件 (*.csv)"));
  if (!path.isEmpty()) ExportCsv(path);
}

}  // namespace talyx::app
