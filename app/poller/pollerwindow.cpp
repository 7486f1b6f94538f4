// TPollerWindow: the poller's controls, its tables and its files.
#include "app/poller/pollerwindow.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

#include "app/poller/pollertablemodel.h"
#include "app/poller/polllog.h"
#include "app/poller/pollloop.h"
#include "app/poller/pollplot.h"
#include "app/poller/pollrowdialog.h"
#include "app/poller/registermap.h"
#include "app/poller/scandialog.h"
#include "app/shell/messagebox.h"

namespace talyx::app {

namespace {

TValueInputHook& InputHook() {
  static TValueInputHook hook;
  return hook;
}

std::optional<QString> AskValue(QWidget* parent, const QString& label, const QString& initial) {
  if (InputHook()) return InputHook()(label, initial);
  bool ok = false;
  const QString text = QInputDialog::getText(parent, TPollerWindow::tr("写入"), label,
                                             QLineEdit::Normal, initial, &ok);
  if (!ok) return std::nullopt;
  return text;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& text) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(QLatin1String(name));
  return button;
}

QSpinBox* MakeSpin(QWidget* parent, const char* name, int low, int high, int value) {
  auto* spin = new QSpinBox(parent);
  spin->setObjectName(QLatin1String(name));
  spin->setRange(low, high);
  spin->setValue(value);
  return spin;
}

QString NumberingText(MapNumbering numbering) {
  switch (numbering) {
    case MapNumbering::mnManual5:
      return TPollerWindow::tr("五位寄存器编号");
    case MapNumbering::mnManual6:
      return TPollerWindow::tr("六位寄存器编号");
    case MapNumbering::mnProtocol:
      break;
  }
  return TPollerWindow::tr("协议地址");
}

QString OutcomeText(const TRequestResult& result) {
  switch (result.Outcome) {
    case TRequestOutcome::roReply:
      return TPollerWindow::tr("写入成功");
    case TRequestOutcome::roException:
      return TPollerWindow::tr("写入失败：异常 %1").arg(ExceptionText(result.Frame.ExceptionCode));
    case TRequestOutcome::roCrcError:
      return TPollerWindow::tr("写入失败：CRC错误");
    case TRequestOutcome::roTimeout:
      return TPollerWindow::tr("写入失败：超时");
    case TRequestOutcome::roPortAway:
      break;
  }
  return TPollerWindow::tr("写入失败：串口未打开");
}

}  // namespace

TValueInputHook SetValueInputHook(TValueInputHook hook) {
  TValueInputHook previous = std::move(InputHook());
  InputHook() = std::move(hook);
  return previous;
}

std::optional<double> ParseWriteValue(const QString& text, const PollRow& row, size_t index) {
  if (index >= row.Registers.size()) return std::nullopt;
  const PollRegister& reg = row.Registers[index];
  const QString trimmed = text.trimmed();
  bool ok = false;
  if (row.Function == PollFunction::ReadCoils) {
    const int bit = trimmed.toInt(&ok);
    if (!ok || (bit != 0 && bit != 1)) return std::nullopt;
    return bit;
  }
  if (reg.Format == formats::TRegisterFormat::rfHex && reg.Scale == 1.0 && reg.Offset == 0.0) {
    QString digits = trimmed;
    if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) digits = digits.mid(2);
    const uint value = digits.toUInt(&ok, 16);
    if (!ok) return std::nullopt;
    return value;
  }
  const double value = QLocale::c().toDouble(trimmed, &ok);
  if (!ok || !std::isfinite(value)) return std::nullopt;
  return value;
}

TPollerWindow::TPollerWindow(TPollLoop& loop, TRequestChannel& channel, TComPort& port,
                             TSettingsFile settings, QWidget* parent)
    : QWidget(parent, Qt::Window),
      loop_(loop),
      channel_(channel),
      port_(port),
      settings_(std::move(settings)) {
  setObjectName(QStringLiteral("PollerWindow"));
  setWindowTitle(tr("寄存器轮询"));
  pollerSettings_ = TPollerSettings::Read(settings_);
  loop_.SetOptions(pollerSettings_.Options);

  Btn_PollStart = MakeButton(this, "Btn_PollStart", tr("开始"));
  Btn_PollStop = MakeButton(this, "Btn_PollStop", tr("停止"));
  Btn_AddRow = MakeButton(this, "Btn_AddRow", tr("添加行..."));
  Btn_EditRow = MakeButton(this, "Btn_EditRow", tr("编辑行..."));
  Btn_RemoveRow = MakeButton(this, "Btn_RemoveRow", tr("删除行"));
  Btn_Import = MakeButton(this, "Btn_Import", tr("导入..."));
  Btn_Export = MakeButton(this, "Btn_Export", tr("导出..."));
  Btn_Scan = MakeButton(this, "Btn_Scan", tr("总线扫描..."));
  const TPollOptions& options = loop_.Options();
  SE_Timeout = MakeSpin(this, "SE_Timeout", TPollOptions::MinTimeoutMs, TPollOptions::MaxTimeoutMs,
                        static_cast<int>(options.TimeoutMs));
  SE_Retries =
      MakeSpin(this, "SE_Retries", 0, TPollOptions::MaxRetries, static_cast<int>(options.Retries));
  SE_Turnaround = MakeSpin(this, "SE_Turnaround", 0, TPollOptions::MaxTurnaroundMs,
                           static_cast<int>(options.TurnaroundMs));
  for (QSpinBox* spin : {SE_Timeout, SE_Retries, SE_Turnaround}) {
    connect(spin, &QSpinBox::valueChanged, this, [this] { OptionsChanged(); });
  }

  Values = new TPollTableModel(loop_, this);
  Stats = new TPollStatsModel(loop_, this);
  ValuesView = new QTableView(this);
  ValuesView->setObjectName(QStringLiteral("ValuesView"));
  ValuesView->setModel(Values);
  StatsView = new QTableView(this);
  StatsView->setObjectName(QStringLiteral("StatsView"));
  StatsView->setModel(Stats);
  for (QTableView* view : {ValuesView, StatsView}) {
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->verticalHeader()->hide();
    view->horizontalHeader()->setStretchLastSection(true);
  }
  PlotPage = new QWidget(this);
  PlotPage->setObjectName(QStringLiteral("PlotPage"));
  Plot = new TPollPlot(PlotPage);
  auto* plotLayout = new QVBoxLayout(PlotPage);
  plotLayout->setContentsMargins(0, 0, 0, 0);
  plotLayout->addWidget(Plot);
  Tabs = new QTabWidget(this);
  Tabs->setObjectName(QStringLiteral("Tabs"));
  Tabs->addTab(ValuesView, tr("数值"));
  Tabs->addTab(StatsView, tr("统计"));
  Tabs->addTab(PlotPage, tr("曲线"));
  LogBar = new QWidget(this);
  LogBar->setObjectName(QStringLiteral("LogBar"));
  BuildLogBar();
  Lbl_State = new QLabel(this);
  Lbl_State->setObjectName(QStringLiteral("Lbl_State"));

  auto* buttons = new QHBoxLayout;
  for (QPushButton* button : {Btn_PollStart, Btn_PollStop, Btn_AddRow, Btn_EditRow, Btn_RemoveRow,
                              Btn_Import, Btn_Export, Btn_Scan}) {
    buttons->addWidget(button);
  }
  buttons->addStretch();
  auto* optionsBar = new QHBoxLayout;
  optionsBar->addWidget(new QLabel(tr("超时(ms)"), this));
  optionsBar->addWidget(SE_Timeout);
  optionsBar->addWidget(new QLabel(tr("重试"), this));
  optionsBar->addWidget(SE_Retries);
  optionsBar->addWidget(new QLabel(tr("应答后延时(ms)"), this));
  optionsBar->addWidget(SE_Turnaround);
  optionsBar->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(buttons);
  layout->addLayout(optionsBar);
  layout->addWidget(LogBar);
  layout->addWidget(Tabs);
  layout->addWidget(Lbl_State);
  resize(760, 520);

  connect(Btn_PollStart, &QPushButton::clicked, this, [this] { loop_.Start(); });
  connect(Btn_PollStop, &QPushButton::clicked, this, [this] { loop_.Stop(); });
  connect(Btn_AddRow, &QPushButton::clicked, this, [this] { OpenRowDialog(-1); });
  connect(Btn_EditRow, &QPushButton::clicked, this, [this] {
    if (SelectedPollRow() >= 0) OpenRowDialog(SelectedPollRow());
  });
  connect(Btn_RemoveRow, &QPushButton::clicked, this, [this] { RemoveRow(); });
  connect(Btn_Scan, &QPushButton::clicked, this, [this] { OpenScan(); });
  connect(Btn_Import, &QPushButton::clicked, this, [this] {
    const QString path = QFileDialog::getOpenFileName(this, tr("导入寄存器表"), {},
                                                      tr("CSV 文件 (*.csv);;所有文件 (*)"));
    if (!path.isEmpty()) ImportMap(path);
  });
  connect(Btn_Export, &QPushButton::clicked, this, [this] {
    const QString path = QFileDialog::getSaveFileName(this, tr("导出寄存器表"), {},
                                                      tr("CSV 文件 (*.csv);;所有文件 (*)"));
    if (!path.isEmpty()) ExportMap(path);
  });
  connect(ValuesView, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
    if (index.column() == TPollTableModel::ColValue) WriteValue(index.row());
  });
  connect(&loop_, &TPollLoop::Polled, Values, &TPollTableModel::Add);
  connect(&loop_, &TPollLoop::Polled, this, [this](const TPollSample& sample) { Sampled(sample); });
  connect(Values, &TPollTableModel::PlotTicksChanged, this, [this] { PlotTicksChanged(); });
  connect(&loop_, &TPollLoop::PausedChanged, this, [this] { Refresh(); });
  connect(&loop_, &TPollLoop::RunningChanged, this, [this] { Refresh(); });
  refreshTimer_ = new QTimer(this);
  refreshTimer_->setInterval(RefreshMs);
  connect(refreshTimer_, &QTimer::timeout, this, [this] { Refresh(); });
  refreshTimer_->start();

  const std::string path = pollerSettings_.PollFilePath(settings_);
  if (QFileInfo::exists(QString::fromStdString(path))) {
    RegisterMapReading reading = LoadPollSetFile(path);
    if (reading.Ok) {
      loop_.SetPollSet(std::move(reading.Set));
    } else {
      ShowMessage(tr("无法读取轮询文件 %1：第 %2 行：%3")
                      .arg(QString::fromStdString(path))
                      .arg(reading.Line)
                      .arg(QString::fromStdString(reading.Problem)),
                  MessageKind::Error);
    }
  }
  Values->Reset();
  Stats->Reset();
  Refresh();
}

void TPollerWindow::SetPollSet(PollSet set) {
  loop_.SetPollSet(std::move(set));
  if (Log != nullptr && Log->Running()) Log->SetPollSet(loop_.Set());
  Values->Reset();
  Stats->Reset();
  const std::string path = pollerSettings_.PollFilePath(settings_);
  const std::string failure = SavePollSetFile(path, loop_.Set());
  if (!failure.empty()) {
    ShowMessage(tr("无法保存轮询文件 %1：%2")
                    .arg(QString::fromStdString(path), QString::fromStdString(failure)),
                MessageKind::Error);
  }
  Refresh();
}

bool TPollerWindow::ImportMap(const QString& path) {
  RegisterMapReading reading = LoadPollSetFile(path.toStdString());
  if (!reading.Ok) {
    ShowMessage(tr("无法导入 %1：第 %2 行：%3")
                    .arg(path)
                    .arg(reading.Line)
                    .arg(QString::fromStdString(reading.Problem)),
                MessageKind::Error);
    return false;
  }
  size_t registers = 0;
  for (const PollRow& row : reading.Set.Rows) registers += row.Registers.size();
  SetPollSet(std::move(reading.Set));
  lastResult_ = tr("已导入 %1 个寄存器（%2）").arg(registers).arg(NumberingText(reading.Numbering));
  Refresh();
  return true;
}

bool TPollerWindow::ExportMap(const QString& path) {
  const std::string failure = SavePollSetFile(path.toStdString(), loop_.Set());
  if (failure.empty()) return true;
  ShowMessage(tr("无法导出 %1：%2").arg(path, QString::fromStdString(failure)), MessageKind::Error);
  return false;
}

int TPollerWindow::SelectedPollRow() const {
  if (Tabs->currentWidget() == ValuesView) {
    const QModelIndex current = ValuesView->currentIndex();
    return current.isValid() ? static_cast<int>(Values->PollRowOf(current.row())) : -1;
  }
  const QModelIndex current = StatsView->currentIndex();
  return current.isValid() ? current.row() : -1;
}

void TPollerWindow::OpenRowDialog(int pollRow) {
  const PollSet& set = loop_.Set();
  const bool adding = pollRow < 0 || static_cast<size_t>(pollRow) >= set.Rows.size();
  delete RowDialog;
  RowDialog = new TPollRowDialog(adding ? PollRow{} : set.Rows[static_cast<size_t>(pollRow)], this);
  connect(RowDialog, &QDialog::accepted, this, [this, pollRow, adding] {
    PollSet changed = loop_.Set();
    if (adding) {
      changed.Rows.push_back(RowDialog->Row());
    } else {
      changed.Rows[static_cast<size_t>(pollRow)] = RowDialog->Row();
    }
    SetPollSet(std::move(changed));
  });
  connect(RowDialog, &QDialog::finished, this, [this] {
    RowDialog->deleteLater();
    RowDialog = nullptr;
  });
  RowDialog->open();
}

void TPollerWindow::RemoveRow() {
  const int pollRow = SelectedPollRow();
  if (pollRow < 0) return;
  PollSet changed = loop_.Set();
  changed.Rows.erase(changed.Rows.begin() + pollRow);
  SetPollSet(std::move(changed));
}

void TPollerWindow::OptionsChanged() {
  TPollOptions options;
  options.TimeoutMs = static_cast<uint32_t>(SE_Timeout->value());
  options.Retries = static_cast<uint32_t>(SE_Retries->value());
  options.TurnaroundMs = static_cast<uint32_t>(SE_Turnaround->value());
  loop_.SetOptions(options);
  pollerSettings_.Options = loop_.Options();
  SaveSettings();
}

void TPollerWindow::WriteValue(int tableRow) {
  const size_t pollRow = Values->PollRowOf(tableRow);
  const size_t index = Values->RegisterOf(tableRow);
  const PollRow& row = loop_.Set().Rows[pollRow];
  if (row.Function != PollFunction::ReadCoils &&
      row.Function != PollFunction::ReadHoldingRegisters) {
    return;
  }
  if (!loop_.Running()) {
    ShowMessage(tr("轮询未运行：请先开始轮询。"), MessageKind::Warning);
    return;
  }
  const PollRegister& reg = row.Registers[index];
  const QString name =
      reg.Name.empty() ? QString::number(reg.Address) : QString::fromStdString(reg.Name);
  const std::optional<QString> typed = AskValue(this, tr("%1 的新值：").arg(name),
                                                Values->Text(tableRow, TPollTableModel::ColValue));
  if (!typed.has_value()) return;
  const std::optional<double> value = ParseWriteValue(*typed, row, index);
  if (!value.has_value() || WriteRequest(row, index, *value).empty()) {
    ShowMessage(tr("“%1”不是 %2 可以写入的值。").arg(*typed, name), MessageKind::Warning);
    return;
  }
  const QString question = tr("将 %1 写入从站 %2 的 %3（地址 %4）？")
                               .arg(typed->trimmed())
                               .arg(row.Slave)
                               .arg(name)
                               .arg(reg.Address);
  if (ShowMessage(question, MessageKind::Warning, QMessageBox::Yes | QMessageBox::No) !=
      QMessageBox::Yes) {
    return;
  }
  // The set may change while the write waits: the window checks it is still shown.
  const QPointer<TPollerWindow> window(this);
  loop_.Write(pollRow, index, *value, [window](const TRequestResult& result) {
    if (window == nullptr) return;
    window->lastResult_ = OutcomeText(result);
    window->Refresh();
  });
  lastResult_ = tr("正在写入...");
  Refresh();
}

void TPollerWindow::Refresh() {
  Values->Refresh();
  Stats->Refresh();
  const bool scanning = ScanDialog != nullptr && ScanDialog->Scan->Running();
  Btn_PollStart->setEnabled(!loop_.Running() && !scanning);
  if (Log != nullptr) Lbl_LogFile->setText(QFileInfo(Log->FilePath()).fileName());
  Btn_PollStop->setEnabled(loop_.Running());
  QString state = !loop_.Running() ? tr("已停止") : loop_.Paused() ? tr("等待串口") : tr("轮询中");
  if (!lastResult_.isEmpty()) state += QStringLiteral("    ") + lastResult_;
  Lbl_State->setText(state);
}

}  // namespace talyx::app
