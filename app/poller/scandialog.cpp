// TBusScanDialog: the scan's controls, its progress and the table of addresses found.
#include "app/poller/scandialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>
#include <iterator>

#include "modbus/rtufunctions.h"

namespace talyx::app {

namespace {

template <typename T>
T* Named(T* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

constexpr PollFunction ScanFunctions[] = {PollFunction::ReadCoils, PollFunction::ReadDiscreteInputs,
                                          PollFunction::ReadHoldingRegisters,
                                          PollFunction::ReadInputRegisters};

enum Column { ColSlave, ColBaud, ColAnswer, ColResponse, ColumnCount };

}  // namespace

TBusScanDialog::TBusScanDialog(TRequestChannel& channel, TComPort& port, QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("BusScanDialog"));
  setWindowTitle(tr("总线扫描"));
  Scan = new TBusScan(channel, port, this);

  ScanFirst = Named(new QSpinBox(this), "ScanFirst");
  ScanFirst->setRange(MinSlaveAddress, MaxSlaveAddress);
  ScanLast = Named(new QSpinBox(this), "ScanLast");
  ScanLast->setRange(MinSlaveAddress, MaxSlaveAddress);
  ScanLast->setValue(MaxSlaveAddress);
  ScanFunction = Named(new QComboBox(this), "ScanFunction");
  ScanFunction->addItems(
      {tr("01 读线圈"), tr("02 读离散输入"), tr("03 读保持寄存器"), tr("04 读输入寄存器")});
  ScanFunction->setCurrentIndex(2);
  ScanAddress = Named(new QSpinBox(this), "ScanAddress");
  ScanAddress->setRange(0, 65535);
  ScanTimeout = Named(new QSpinBox(this), "ScanTimeout");
  ScanTimeout->setRange(1, 10000);
  ScanTimeout->setSuffix(QStringLiteral(" ms"));
  ScanTimeout->setValue(static_cast<int>(DefaultScanTimeoutMs));
  ScanAllRates = Named(new QCheckBox(tr("每个常用波特率"), this), "ScanAllRates");
  QStringList rates;
  for (const int32_t rate : CommonBaudRates) rates << QString::number(rate);
  ScanAllRates->setToolTip(rates.join(QStringLiteral(", ")));
  Btn_ScanStart = Named(new QPushButton(tr("开始扫描"), this), "Btn_ScanStart");
  Btn_ScanCancel = Named(new QPushButton(tr("取消"), this), "Btn_ScanCancel");
  ScanProgress = Named(new QProgressBar(this), "ScanProgress");
  ScanProgress->setValue(0);
  ScanStatus = Named(new QLabel(this), "ScanStatus");
  FoundTable = Named(new QTableWidget(0, ColumnCount, this), "FoundTable");
  FoundTable->setHorizontalHeaderLabels({tr("地址"), tr("波特率"), tr("应答"), tr("响应时间")});
  FoundTable->setSelectionBehavior(QAbstractItemView::SelectRows);
  FoundTable->setSelectionMode(QAbstractItemView::SingleSelection);
  FoundTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
  FoundTable->verticalHeader()->hide();
  FoundTable->horizontalHeader()->setStretchLastSection(true);
  Btn_ScanAddRow = Named(new QPushButton(tr("添加为轮询行"), this), "Btn_ScanAddRow");
  Btn_ScanUseRate = Named(new QPushButton(tr("使用此波特率"), this), "Btn_ScanUseRate");

  auto* range = new QHBoxLayout;
  range->addWidget(ScanFirst);
  range->addWidget(new QLabel(tr("至"), this));
  range->addWidget(ScanLast);
  auto* form = new QFormLayout;
  form->addRow(tr("从站地址"), range);
  form->addRow(tr("功能"), ScanFunction);
  form->addRow(tr("地址"), ScanAddress);
  form->addRow(tr("扫描超时"), ScanTimeout);
  form->addRow(QString(), ScanAllRates);
  auto* run = new QHBoxLayout;
  run->addWidget(ScanProgress, 1);
  run->addWidget(Btn_ScanStart);
  run->addWidget(Btn_ScanCancel);
  auto* offers = new QHBoxLayout;
  offers->addWidget(Btn_ScanAddRow);
  offers->addStretch();
  offers->addWidget(Btn_ScanUseRate);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addLayout(run);
  layout->addWidget(ScanStatus);
  layout->addWidget(FoundTable, 1);
  layout->addLayout(offers);

  // The range cannot turn round: the last address follows the first up.
  connect(ScanFirst, &QSpinBox::valueChanged, ScanLast, &QSpinBox::setMinimum);
  connect(Btn_ScanStart, &QPushButton::clicked, this, &TBusScanDialog::StartScan);
  connect(Btn_ScanCancel, &QPushButton::clicked, Scan, &TBusScan::Cancel);
  connect(Scan, &TBusScan::Progress, this, [this](size_t done, size_t total) {
    ScanProgress->setMaximum(static_cast<int>(total));
    ScanProgress->setValue(static_cast<int>(done));
  });
  connect(Scan, &TBusScan::Answered, this, &TBusScanDialog::AddAnswer);
  connect(Scan, &TBusScan::Finished, this, &TBusScanDialog::ScanEnded);
  connect(FoundTable, &QTableWidget::itemSelectionChanged, this, &TBusScanDialog::UpdateButtons);
  connect(Btn_ScanAddRow, &QPushButton::clicked, this, [this] {
    const int row = FoundTable->currentRow();
    if (row < 0) return;
    const auto slave = static_cast<uint8_t>(FoundTable->item(row, ColSlave)->text().toUInt());
    emit AddPollRow(slave, running_.Function, running_.Address);
  });
  connect(Btn_ScanUseRate, &QPushButton::clicked, this, [this] {
    if (Scan->BestBaud() > 0) emit UseRate(Scan->BestBaud());
  });
  UpdateButtons();
}

TScanSettings TBusScanDialog::Settings() const {
  TScanSettings settings;
  settings.First = static_cast<uint8_t>(ScanFirst->value());
  settings.Last = static_cast<uint8_t>(ScanLast->value());
  settings.Function = ScanFunctions[ScanFunction->currentIndex()];
  settings.Address = static_cast<uint16_t>(ScanAddress->value());
  settings.TimeoutMs = static_cast<uint32_t>(ScanTimeout->value());
  if (ScanAllRates->isChecked()) {
    settings.Rates.assign(std::begin(CommonBaudRates), std::end(CommonBaudRates));
  }
  return settings;
}

void TBusScanDialog::StartScan() {
  running_ = Settings();
  FoundTable->setRowCount(0);
  if (!Scan->Start(running_)) {
    ScanStatus->setText(tr("串口未打开。"));
    return;
  }
  ScanProgress->setMaximum(static_cast<int>(Scan->Total()));
  ScanProgress->setValue(0);
  ScanStatus->setText(tr("正在扫描..."));
  UpdateButtons();
}

void TBusScanDialog::AddAnswer(const TScanAnswer& answer) {
  QString text;
  switch (answer.Outcome) {
    case TRequestOutcome::roException:
      text = tr("异常应答 %1 %2")
                 .arg(answer.ExceptionCode, 2, 16, QLatin1Char('0'))
                 .arg(QString::fromLatin1(modbus::ExceptionName(answer.ExceptionCode)));
      break;
    case TRequestOutcome::roCrcError:
      text = tr("CRC错误");
      break;
    default:
      text = tr("正常应答");
      break;
  }
  const int row = FoundTable->rowCount();
  FoundTable->insertRow(row);
  const QString cells[ColumnCount] = {
      QString::number(answer.Slave), QString::number(answer.Baud), text.trimmed(),
      QString::number(static_cast<double>(answer.ResponseUs) / 1000.0, 'f', 1) +
          QStringLiteral(" ms")};
  for (int column = 0; column < ColumnCount; ++column) {
    FoundTable->setItem(row, column, new QTableWidgetItem(cells[column]));
  }
}

void TBusScanDialog::ScanEnded(TScanEnd end) {
  const auto found = static_cast<int>(Scan->Answers().size());
  switch (end) {
    case TScanEnd::seDone:
      ScanStatus->setText(tr("扫描完成，%1 个应答。").arg(found));
      break;
    case TScanEnd::seCancelled:
      ScanStatus->setText(tr("扫描已取消，%1 个应答。").arg(found));
      break;
    case TScanEnd::sePortAway:
      ScanStatus->setText(tr("串口已关闭，扫描停止。"));
      break;
    case TScanEnd::seRateRefused:
      ScanStatus->setText(tr("串口不接受此波特率，扫描停止：%1").arg(Scan->Failure()));
      break;
  }
  UpdateButtons();
}

void TBusScanDialog::UpdateButtons() {
  const bool running = Scan->Running();
  Btn_ScanStart->setEnabled(!running);
  Btn_ScanCancel->setEnabled(running);
  Btn_ScanAddRow->setEnabled(FoundTable->currentRow() >= 0);
  // The rate is offered once a scan over several rates has ended with answers.
  const int32_t best = running || running_.Rates.empty() ? 0 : Scan->BestBaud();
  Btn_ScanUseRate->setEnabled(best > 0);
  Btn_ScanUseRate->setText(best > 0 ? tr("使用波特率 %1").arg(best) : tr("使用此波特率"));
}

}  // namespace talyx::app
