// TPollerWindow: the plot of the ticked registers, the CSV log's bar and the bus scan.
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/poller/pollertablemodel.h"
#include "app/poller/pollerwindow.h"
#include "app/poller/polllog.h"
#include "app/poller/pollloop.h"
#include "app/poller/pollplot.h"
#include "app/poller/scandialog.h"
#include "app/shell/messagebox.h"
#include "errors/exception.h"

namespace talyx::app {

namespace {

enum RotateItem { riDaily, riBySize };

}  // namespace

void TPollerWindow::BuildLogBar() {
  const TPollLogSettings& log = pollerSettings_.Log;
  Btn_LogStart = new QPushButton(tr("记录"), LogBar);
  Btn_LogStart->setObjectName(QStringLiteral("Btn_LogStart"));
  Btn_LogStart->setCheckable(true);
  ED_LogFolder = new QLineEdit(log.Folder, LogBar);
  ED_LogFolder->setObjectName(QStringLiteral("ED_LogFolder"));
  ED_LogFolder->setPlaceholderText(DefaultPollLogFolder());
  Btn_LogFolder = new QPushButton(QStringLiteral("..."), LogBar);
  Btn_LogFolder->setObjectName(QStringLiteral("Btn_LogFolder"));
  CB_LogBom = new QCheckBox(QStringLiteral("BOM"), LogBar);
  CB_LogBom->setObjectName(QStringLiteral("CB_LogBom"));
  CB_LogBom->setChecked(log.Bom);
  CB_LogRotate = new QComboBox(LogBar);
  CB_LogRotate->setObjectName(QStringLiteral("CB_LogRotate"));
  CB_LogRotate->addItems({tr("每天新文件"), tr("按大小新文件")});
  CB_LogRotate->setCurrentIndex(log.RotateDaily ? riDaily : riBySize);
  SE_LogSizeMb = new QSpinBox(LogBar);
  SE_LogSizeMb->setObjectName(QStringLiteral("SE_LogSizeMb"));
  SE_LogSizeMb->setRange(TPollerSettings::MinLogRotateMb, TPollerSettings::MaxLogRotateMb);
  SE_LogSizeMb->setSuffix(QStringLiteral(" MB"));
  SE_LogSizeMb->setValue(static_cast<int>(log.RotateBytes / TPollerSettings::BytesPerMb));
  Lbl_LogFile = new QLabel(LogBar);
  Lbl_LogFile->setObjectName(QStringLiteral("Lbl_LogFile"));

  auto* layout = new QHBoxLayout(LogBar);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(Btn_LogStart);
  layout->addWidget(new QLabel(tr("文件夹"), LogBar));
  layout->addWidget(ED_LogFolder, 1);
  layout->addWidget(Btn_LogFolder);
  layout->addWidget(CB_LogBom);
  layout->addWidget(CB_LogRotate);
  layout->addWidget(SE_LogSizeMb);
  layout->addWidget(Lbl_LogFile);

  connect(Btn_LogStart, &QPushButton::toggled, this, [this](bool on) { SetLogging(on); });
  connect(Btn_LogFolder, &QPushButton::clicked, this, [this] {
    const QString folder =
        QFileDialog::getExistingDirectory(this, tr("日志文件夹"), ED_LogFolder->text());
    if (!folder.isEmpty()) ED_LogFolder->setText(folder);
  });
  connect(ED_LogFolder, &QLineEdit::textChanged, this, [this] { LogSettingsChanged(); });
  connect(CB_LogBom, &QCheckBox::toggled, this, [this] { LogSettingsChanged(); });
  connect(CB_LogRotate, &QComboBox::currentIndexChanged, this, [this] { LogSettingsChanged(); });
  connect(SE_LogSizeMb, &QSpinBox::valueChanged, this, [this] { LogSettingsChanged(); });
  SE_LogSizeMb->setEnabled(!log.RotateDaily);
}

void TPollerWindow::LogSettingsChanged() {
  TPollLogSettings& log = pollerSettings_.Log;
  log.Folder = ED_LogFolder->text().trimmed();
  log.Bom = CB_LogBom->isChecked();
  log.RotateDaily = CB_LogRotate->currentIndex() == riDaily;
  log.RotateBytes = static_cast<uint64_t>(SE_LogSizeMb->value()) * TPollerSettings::BytesPerMb;
  SE_LogSizeMb->setEnabled(!log.RotateDaily);
  SaveSettings();
}

void TPollerWindow::SaveSettings() {
  try {
    pollerSettings_.Write(settings_);
  } catch (const Exception& failure) {
    ShowMessage(QString::fromStdString(failure.Message()), MessageKind::Error);
  }
}

void TPollerWindow::SetLogging(bool on) {
  for (QWidget* control :
       std::initializer_list<QWidget*>{ED_LogFolder, Btn_LogFolder, CB_LogBom, CB_LogRotate}) {
    control->setEnabled(!on);
  }
  SE_LogSizeMb->setEnabled(!on && !pollerSettings_.Log.RotateDaily);
  if (!on) {
    if (Log != nullptr && Log->Running()) Log->Stop();
    Refresh();
    return;
  }
  delete Log;
  Log = new TPollLog(pollerSettings_.Log, this);
  // A write that failed: the log has stopped, the button follows.
  connect(Log, &TPollLog::Stopped, this, [this] {
    ShowMessage(Log->Failure(), MessageKind::Error);
    Btn_LogStart->setChecked(false);
  });
  if (!Log->Start(loop_.Set())) {
    ShowMessage(Log->Failure(), MessageKind::Error);
    Btn_LogStart->setChecked(false);
  }
  Refresh();
}

void TPollerWindow::PlotTicksChanged() {
  std::vector<TPlotSeriesInfo> series;
  for (const int tableRow : Values->PlottedRows()) {
    TPlotSeriesInfo info;
    info.Row = Values->PollRowOf(tableRow);
    info.Register = Values->RegisterOf(tableRow);
    const PollRegister& reg = loop_.Set().Rows[info.Row].Registers[info.Register];
    info.Name = reg.Name.empty() ? QString::number(reg.Address) : QString::fromStdString(reg.Name);
    info.Unit = QString::fromStdString(reg.Unit);
    series.push_back(info);
  }
  Plot->SetSeries(series);
}

void TPollerWindow::Sampled(const TPollSample& sample) {
  if (sample.Ok) {
    for (const int tableRow : Values->PlottedRows()) {
      if (Values->PollRowOf(tableRow) != sample.Row) continue;
      const size_t reg = Values->RegisterOf(tableRow);
      if (reg < sample.Values.size() && sample.Values[reg].Valid) {
        Plot->Add(sample.Row, reg, sample.WallMs, sample.Values[reg].Value);
      }
    }
  }
  if (Log != nullptr && Log->Running()) Log->Add(sample);
}

void TPollerWindow::OpenScan() {
  if (ScanDialog == nullptr) {
    ScanDialog = new TBusScanDialog(channel_, port_, this);
    connect(ScanDialog, &TBusScanDialog::AddPollRow, this, &TPollerWindow::AddScanRow);
    connect(ScanDialog, &TBusScanDialog::UseRate, this, &TPollerWindow::UseRate);
    connect(ScanDialog->Scan, &TBusScan::RunningChanged, this,
            [this](bool running) { ScanRunningChanged(running); });
  }
  ScanDialog->show();
  ScanDialog->raise();
  ScanDialog->activateWindow();
}

void TPollerWindow::AddScanRow(uint8_t slave, PollFunction function, uint16_t address) {
  PollRow row;
  row.Slave = slave;
  row.Function = function;
  row.Start = address;
  row.Count = 1;
  PollRegister reg;
  reg.Address = address;
  row.Registers = {reg};
  PollSet changed = loop_.Set();
  changed.Rows.push_back(row);
  SetPollSet(std::move(changed));
}

void TPollerWindow::ScanRunningChanged(bool running) {
  if (running) {
    resumeAfterScan_ = loop_.Running();
    loop_.Stop();
  } else if (resumeAfterScan_) {
    resumeAfterScan_ = false;
    loop_.Start();
  }
  Refresh();
}

}  // namespace talyx::app
