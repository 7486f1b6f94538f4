// TPortMapDialog: device list, number list, the mapping controls and the refresh timer.
#include "app/devices/portmapdialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/devices/platformtext.h"
#include "app/shell/application.h"
#include "app/shell/messagebox.h"
#include "modbus/demodevice.h"
#include "platform/networkaddress.h"
#include "platform/portmap.h"
#include "platform/terminalcheck.h"
#include "platform/termiosprovider.h"

namespace talyx::app {

namespace {

constexpr const char* PortsSection = "ports";

QString Text(const std::string& text) { return QString::fromStdString(text); }

QTreeWidget* MakeList(QWidget* parent, const char* name, const QStringList& headers) {
  auto* list = new QTreeWidget(parent);
  list->setObjectName(QString::fromLatin1(name));
  list->setHeaderLabels(headers);
  list->setRootIsDecorated(false);
  list->header()->setStretchLastSection(true);
  return list;
}

}  // namespace

TPortMapDialog::TPortMapDialog(TSettingsFile& settings, std::string discoveryRoot, QWidget* parent)
    : QDialog(parent),
      settings_(settings),
      root_(std::move(discoveryRoot)),
      refreshTimer_(new QTimer(this)) {
  setObjectName(QStringLiteral("PortMapDialog"));
  setWindowTitle(tr("端口映射"));
  resize(640, 420);
  LV_Devices = MakeList(this, "LV_Devices", {tr("设备"), tr("类型"), tr("说明")});
  LV_Ports = MakeList(this, "LV_Ports", {tr("端口"), tr("设备"), tr("说明")});
  SE_ComNumber = new QSpinBox(this);
  SE_ComNumber->setObjectName(QStringLiteral("SE_ComNumber"));
  SE_ComNumber->setRange(platform::FirstProbedPort, platform::LastProbedPort);
  SE_ComNumber->setPrefix(QStringLiteral("Com"));
  CB_Target = new QComboBox(this);
  CB_Target->setObjectName(QStringLiteral("CB_Target"));
  Btn_Map = new QPushButton(tr("映射"), this);
  Btn_Map->setObjectName(QStringLiteral("Btn_Map"));
  Edt_Address = new QLineEdit(this);
  Edt_Address->setObjectName(QStringLiteral("Edt_Address"));
  Edt_Address->setPlaceholderText(QStringLiteral("tcp://HOST:PORT, rfc2217://HOST:PORT"));
  Btn_MapAddress = new QPushButton(tr("映射到网络地址"), this);
  Btn_MapAddress->setObjectName(QStringLiteral("Btn_MapAddress"));

  auto* mapping = new QFormLayout;
  mapping->addRow(tr("端口号："), SE_ComNumber);
  mapping->addRow(tr("映射到："), CB_Target);
  auto* address = new QHBoxLayout;
  address->addWidget(Edt_Address);
  address->addWidget(Btn_MapAddress);
  mapping->addRow(tr("网络地址："), address);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  buttons->button(QDialogButtonBox::Close)->setText(tr("关闭"));
  buttons->addButton(Btn_Map, QDialogButtonBox::ActionRole);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(tr("本机串口设备："), this));
  layout->addWidget(LV_Devices);
  layout->addWidget(new QLabel(tr("端口号与设备："), this));
  layout->addWidget(LV_Ports);
  layout->addLayout(mapping);
  layout->addWidget(buttons);

  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(Btn_Map, &QPushButton::clicked, this, Reported([this] {
            MapPort(SE_ComNumber->value(), CB_Target->currentData().toString().toStdString());
          }));
  connect(Btn_MapAddress, &QPushButton::clicked, this, Reported([this] { MapAddress(); }));
  connect(SE_ComNumber, &QSpinBox::valueChanged, this, [this] { ShowTargetOfNumber(); });
  connect(LV_Devices, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    if (item == nullptr) return;
    const int index = CB_Target->findData(item->data(0, Qt::UserRole));
    if (index >= 0) CB_Target->setCurrentIndex(index);
  });
  refreshTimer_->setInterval(RefreshIntervalMs);
  connect(refreshTimer_, &QTimer::timeout, this, [this] { Refresh(); });

  devices_ = platform::DiscoverSerialDevices(root_);
  RebuildLists();
}

void TPortMapDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  Refresh();
  refreshTimer_->start();
}

void TPortMapDialog::hideEvent(QHideEvent* event) {
  refreshTimer_->stop();
  QDialog::hideEvent(event);
}

void TPortMapDialog::Refresh() {
  std::vector<platform::DiscoveredSerialDevice> now = platform::DiscoverSerialDevices(root_);
  if (now == devices_) return;
  devices_ = std::move(now);
  RebuildLists();
}

void TPortMapDialog::MapPort(int number, const std::string& value) {
  // Saved first: a mapping the settings file refuses is not made at all, so the dialog and the
  // port map never show one that the next start would not have.
  settings_.WriteString(PortsSection, "Com" + std::to_string(number), value);
  platform::OverridePortPath(number, value);
  RebuildLists();
  emit MappingChanged();
}

void TPortMapDialog::MapAddress() {
  const std::string value = Edt_Address->text().trimmed().toStdString();
  if (!platform::ParseNetworkAddress(value)) {
    ShowMessage(
        MessageRequest{tr("网络地址的格式不正确。"), MessageKind::Warning, QMessageBox::Ok,
                       tr("应为 tcp://主机:端口 或 rfc2217://主机:端口；IPv6 地址写在方括号中。")});
    return;
  }
  MapPort(SE_ComNumber->value(), value);
}

void TPortMapDialog::RebuildLists() {
  LV_Devices->clear();
  CB_Target->clear();
  for (const platform::DiscoveredSerialDevice& device : devices_) {
    const QString kind = PlatformText(platform::SerialDeviceKindName(device.Kind));
    QString description = PlatformText(device.Description);
    if (device.IsConsole) description = tr("系统控制台") + QStringLiteral(" ") + description;
    auto* item = new QTreeWidgetItem(LV_Devices, {Text(device.MapPath()), kind, description});
    item->setData(0, Qt::UserRole, Text(device.MapPath()));
    CB_Target->addItem(Text(device.MapPath()) + QStringLiteral("  ") + description,
                       Text(device.MapPath()));
  }
  CB_Target->addItem(tr("演示设备（Modbus 从站）"), Text(modbus::DemoDeviceName));
  CB_Target->addItem(tr("（无）"), QString());

  LV_Ports->clear();
  const platform::PortMap map = platform::CurrentPortMap();
  for (const auto& [number, path] : map.Paths()) {
    if (number > platform::LastProbedPort || path.empty()) continue;
    new QTreeWidgetItem(LV_Ports, {QStringLiteral("Com%1").arg(number), Text(path),
                                   PlatformText(platform::PortDescription(map, number, devices_)) +
                                       NonTerminalMark(path)});
  }
  ShowTargetOfNumber();
}

void TPortMapDialog::ShowTargetOfNumber() {
  const std::string value = platform::PortDevicePath(SE_ComNumber->value());
  const QString path = Text(value);
  int index = CB_Target->findData(path);
  if (index < 0 && platform::HasNetworkScheme(value)) {
    // A network port is never looked for: it is described, not marked unavailable.
    CB_Target->addItem(PlatformText(platform::PortDescription(SE_ComNumber->value())), path);
    index = CB_Target->count() - 1;
  } else if (index < 0) {
    // A mapped path no device has now (unplugged, or typed into the settings file) is kept.
    CB_Target->addItem(path + QStringLiteral("  ") + tr("(不可用)") + NonTerminalMark(value), path);
    index = CB_Target->count() - 1;
  }
  CB_Target->setCurrentIndex(index);
}

QString TPortMapDialog::NonTerminalMark(const std::string& value) const {
  if (!platform::IsDevicePath(value) || !platform::NamesNonTerminal(value, root_)) return {};
  return QStringLiteral(" ") + tr("(不是串口，不会打开)");
}

}  // namespace talyx::app
