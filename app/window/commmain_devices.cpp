// TMainForm: the device panel, the device watch and the port's loss event, the port menu with
// the port mapping and options dialogs, the wait for a network port's connect, and the bus
// monitor.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QMenu>
#include <QSpinBox>
#include <QTimer>
#include <algorithm>

#include "app/devices/devicewatch.h"
#include "app/devices/networkwait.h"
#include "app/devices/platformtext.h"
#include "app/devices/portmapdialog.h"
#include "app/dialogs/optionsdialog.h"
#include "app/poller/pollerhub.h"
#include "app/shell/application.h"
#include "app/view/receiveview.h"
#include "app/window/combobox.h"
#include "app/window/commmain.h"
#include "app/window/shape.h"
#include "app/window/statusbar.h"
#include "platform/networkaddress.h"
#include "platform/networkprovider.h"
#include "platform/networkserialdevice.h"
#include "platform/portmap.h"

namespace talyx::app {

void TMainForm::CreateDeviceFeatures() {
  Options = TAppOptions::Read(settings_);
  StatusBar->AddFillPanel();
  DeviceWatch1 = new TDeviceWatch(ComPort1, true, this);
  DeviceWatch1->setObjectName(QStringLiteral("DeviceWatch1"));
  ApplyOptions();
  // No message box: the user may be away, and a box would hold up the reconnect.
  ComPort1.SetOnDeviceLost([this](TCustomComPort&) { DeviceWatch1->DeviceLost(); });
  connect(DeviceWatch1, &TDeviceWatch::StatusChanged, this, [this] { UpdateDevicePanel(); });
  connect(CB_ComNum, &QComboBox::currentIndexChanged, this, [this] { UpdateDevicePanel(); });

  // The window's controls keep their places: the dialogs are reached from a context menu on
  // the port box and the lamp, and from the window's shortcuts.
  PortMenu = new QMenu(this);
  PortMenu->setObjectName(QStringLiteral("PortMenu"));
  PortMapAction = PortMenu->addAction(tr("端口映射..."));
  PortMapAction->setObjectName(QStringLiteral("PortMapAction"));
  PortMapAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
  OptionsAction = PortMenu->addAction(tr("选项..."));
  OptionsAction->setObjectName(QStringLiteral("OptionsAction"));
  OptionsAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
  MonitorAction = PortMenu->addAction(tr("总线监视..."));
  MonitorAction->setObjectName(QStringLiteral("MonitorAction"));
  MonitorAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M));
  CaptureAction = PortMenu->addAction(tr("捕获到文件"));
  CaptureAction->setObjectName(QStringLiteral("CaptureAction"));
  CaptureAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_K));
  CaptureAction->setCheckable(true);
  PollerAction = PortMenu->addAction(tr("寄存器轮询..."));
  PollerAction->setObjectName(QStringLiteral("PollerAction"));
  PollerAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P));
  for (QAction* action :
       {PortMapAction, OptionsAction, MonitorAction, CaptureAction, PollerAction}) {
    action->setShortcutContext(Qt::WindowShortcut);
    addAction(action);
  }
  connect(PortMapAction, &QAction::triggered, this, Reported([this] { ShowPortMapDialog(); }));
  connect(OptionsAction, &QAction::triggered, this, Reported([this] { ShowOptionsDialog(); }));
  MonitorHub = std::make_unique<TMonitorHub>(ComPort1, ReceivePath, this);
  MonitorHub->SetRegisterFormat(Options.RegisterFormat);
  connect(MonitorAction, &QAction::triggered, this,
          Reported([this] { MonitorHub->ShowMonitor(); }));
  connect(CaptureAction, &QAction::triggered, this,
          Reported([this] { SetCapturing(CaptureAction->isChecked()); }));
  connect(MonitorHub.get(), &TMonitorHub::CaptureChanged, this,
          [this](bool capturing) { CaptureAction->setChecked(capturing); });
  if (Options.CaptureAtStart) SetCapturing(true);
  PollerHub = std::make_unique<TPollerHub>(ComPort1, *MonitorHub, SendPath, settings_, this);
  connect(PollerAction, &QAction::triggered, this, Reported([this] { PollerHub->ShowPoller(); }));
  // The bus scan's rate, taken as if the user had chosen it in the baud box.
  connect(PollerHub.get(), &TPollerHub::UseRate, this, [this](int32_t baud) {
    const int item = CB_Baud->findText(QString::number(baud));
    if (item < 0) return;
    CB_Baud->setCurrentIndex(item);
    RunReported([this] { CB_ComNumSelect(); });
  });
  for (QWidget* widget :
       {static_cast<QWidget*>(CB_ComNum), static_cast<QWidget*>(Shape_ComState)}) {
    widget->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(widget, &QWidget::customContextMenuRequested, this,
            [this, widget](const QPoint& at) { PortMenu->popup(widget->mapToGlobal(at)); });
  }
}

void TMainForm::ApplyOptions() {
  DeviceWatch1->SetAutoReconnect(Options.AutoReconnect);
  ReceivePath.SetCharset(TextCharset());
  SendPath.SetCharset(TextCharset());
  ReceivePath.SetRegisterFormat(Options.RegisterFormat);
  if (MonitorHub) MonitorHub->SetRegisterFormat(Options.RegisterFormat);
  Memo_Show->SetCharacterLimit(Options.ReceiveViewLimit());
  LayOutViews();
}

void TMainForm::SetCapturing(bool on) {
  if (!on) {
    MonitorHub->StopCapture();
    return;
  }
  capture::TCaptureSettings settings;
  settings.Folder =
      Options.CaptureFolder.empty() ? capture::DefaultCaptureFolder() : Options.CaptureFolder;
  settings.RotateBytes = static_cast<uint64_t>(Options.CaptureRotateMb) << 20;
  settings.TextLog = Options.CaptureTextLog;
  settings.RegisterFormat = Options.RegisterFormat;
  // A capture that cannot start leaves the item unchecked.
  if (!MonitorHub->StartCapture(settings)) CaptureAction->setChecked(false);
}

void TMainForm::UpdateDevicePanel() {
  QString text = DeviceWatch1->StatusText();
  if (text.isEmpty()) {
    const int index = CB_ComNum->currentIndex();
    if (index >= 0) text = PlatformText(platform::PortDescription(index + 1));
  }
  StatusBar->SetPanelText(DevicePanel, text);
}

void TMainForm::ConnectNetworkPort() {
  const std::string value = platform::PortDevicePath(ComPort1.ComNumber());
  const std::optional<platform::NetworkAddress> address = platform::ParseNetworkAddress(value);
  if (!address) return;
  // Nothing that opens or sends may start while the connect is waited for.
  const bool autoSending = Timer_AutoSend->isActive();
  Timer_AutoSend->stop();
  StatusBar->SetPanelText(DevicePanel,
                          tr("正在连接 %1…").arg(QString::fromStdString(address->HostPort())));
  QApplication::setOverrideCursor(Qt::BusyCursor);
  ConnectBeforeOpen(value);
  QApplication::restoreOverrideCursor();
  if (address->Scheme == platform::NetworkScheme::Raw) {
    // Said once per open: the window's line settings are kept but reach no remote line.
    StatusBar->SetPanelText(DevicePanel, tr("%1：原始 TCP 只传数据，线路设置不会送到远端串口")
                                             .arg(QString::fromStdString(address->HostPort())));
  } else {
    UpdateDevicePanel();
    // A setting the server leaves unacknowledged is said once, after the device gave up
    // waiting for it.
    QTimer::singleShot(platform::NetworkSerialDevice::AcknowledgeWaitMs * 2, this, [this, value] {
      const auto provider = std::dynamic_pointer_cast<platform::NetworkDeviceProvider>(
          platform::DeviceProviderOf(value));
      if (provider == nullptr) return;
      const std::string notice = provider->TakeNotice(value);
      if (notice.empty() || !ComPort1.Open()) return;
      if (platform::PortDevicePath(ComPort1.ComNumber()) != value) return;
      StatusBar->SetPanelText(
          DevicePanel, tr("%1：%2").arg(QString::fromStdString(value), PlatformText(notice)));
    });
  }
  if (autoSending) Timer_AutoSend->start();
}

void TMainForm::ShowPortMapDialog() {
  if (PortMapDialog1 == nullptr) {
    PortMapDialog1 = new TPortMapDialog(settings_, "/", this);
    connect(PortMapDialog1, &TPortMapDialog::MappingChanged, this, [this] {
      UpdatePortToolTip();
      UpdateDevicePanel();
    });
  }
  PortMapDialog1->SE_ComNumber->setValue(std::max(1, CB_ComNum->currentIndex() + 1));
  PortMapDialog1->open();
}

void TMainForm::ShowOptionsDialog() {
  delete OptionsDialog1;
  OptionsDialog1 = new TOptionsDialog(Options, this);
  connect(OptionsDialog1, &QDialog::accepted, this, Reported([this] {
            Options = OptionsDialog1->Options();
            ApplyOptions();
            Options.Write(settings_);
          }));
  OptionsDialog1->open();
}

}  // namespace talyx::app
