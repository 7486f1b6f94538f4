// TDeviceWatch: the loss, the once-a-second look, hot-plug events and the reconnect.
#include "app/devices/devicewatch.h"

#include <QSocketNotifier>
#include <QTimer>
#include <exception>
#include <filesystem>

#include "app/devices/platformtext.h"
#include "modbus/demodevice.h"
#include "platform/networkprovider.h"
#include "platform/portholders.h"
#include "platform/portmap.h"
#include "port/comport.h"

namespace talyx::app {

TDeviceWatch::TDeviceWatch(TComPort& port, bool listenForHotplug, QObject* parent)
    : QObject(parent), port_(port), timer_(new QTimer(this)) {
  timer_->setInterval(LookIntervalMs);
  connect(timer_, &QTimer::timeout, this, [this] { Look(); });
  if (listenForHotplug) {
    monitor_ = std::make_unique<platform::HotplugMonitor>();
    if (monitor_->Valid()) {
      notifier_ = new QSocketNotifier(monitor_->Descriptor(), QSocketNotifier::Read, this);
      connect(notifier_, &QSocketNotifier::activated, this, [this] { ReadHotplugEvents(); });
    }
  }
}

TDeviceWatch::~TDeviceWatch() {
  // The notifier goes before the connect whose descriptor it watches.
  delete connectNotifier_;
}

QString TDeviceWatch::DeviceName() const {
  const std::string path = platform::PortDevicePath(number_);
  return QStringLiteral("COM%1 %2").arg(number_).arg(QString::fromStdString(path));
}

void TDeviceWatch::SetStatus(const QString& text) {
  status_ = text;
  emit StatusChanged(text);
}

void TDeviceWatch::SetAutoReconnect(bool on) {
  autoReconnect_ = on;
  if (!on && pending_) {
    DropNetworkConnect();
    pending_ = false;
    timer_->stop();
  }
}

void TDeviceWatch::DeviceLost() {
  number_ = port_.ComNumber();
  // A network port may say why its connection ended (a server that broke the protocol).
  const std::string path = platform::PortDevicePath(number_);
  const auto provider =
      std::dynamic_pointer_cast<platform::NetworkDeviceProvider>(platform::DeviceProviderOf(path));
  const std::string why = provider != nullptr ? provider->TakeNotice(path) : std::string();
  const QString reason = why.empty() ? QString() : tr("（%1）").arg(PlatformText(why));
  if (!autoReconnect_) {
    SetStatus(tr("设备已断开：%1").arg(DeviceName()) + reason);
    return;
  }
  pending_ = true;
  timer_->start();
  SetStatus(tr("设备已断开：%1，等待重新连接").arg(DeviceName()) + reason);
}

void TDeviceWatch::Cancel() {
  DropNetworkConnect();
  pending_ = false;
  timer_->stop();
  status_.clear();
}

void TDeviceWatch::HandleHotplugEvent(const platform::HotplugEvent& event) {
  if (event.Action == "add" || event.Action == "change") Look();
}

void TDeviceWatch::ReadHotplugEvents() {
  platform::HotplugEvent event;
  bool added = false;
  while (monitor_->ReadEvent(event))
    added = added || event.Action == "add" || event.Action == "change";
  if (added) Look();
}

void TDeviceWatch::Look() {
  if (!pending_) return;
  // A close deferred past the loss is still finishing: the next look comes.
  if (port_.OpenState() != TOpenState::osClosed) return;
  // The port's number may have been moved meanwhile (through the settings, not the window).
  if (port_.ComNumber() != number_) return;
  const std::string path = platform::PortDevicePath(number_);
  if (path.empty()) return;
  if (platform::HasNetworkScheme(path)) {
    LookAcrossNetwork(path);
    return;
  }
  if (path != modbus::DemoDeviceName) {
    // canonical follows the links as they are now: a by-id link re-made for a new device node.
    std::error_code error;
    const std::filesystem::path device = std::filesystem::canonical(path, error);
    if (error || device.empty()) return;
    // An open raises DTR and RTS, which resets boards and turns RS-485 drivers: a device another
    // program holds is left alone, and a later look finds it free.
    if (!platform::FindPortHolders(device.string()).empty()) return;
  }
  Reopen();
}

void TDeviceWatch::Reopen() {
  try {
    port_.SetOpen(true);
  } catch (const std::exception&) {
    // There but not ready (still being set up by udev, or taken by another program since the
    // look for holders): the next look tries again.
    return;
  }
  if (!port_.Open()) return;
  pending_ = false;
  timer_->stop();
  SetStatus(tr("已重新连接：%1").arg(DeviceName()));
  emit Reconnected();
}

void TDeviceWatch::LookAcrossNetwork(const std::string& value) {
  const auto now = std::chrono::steady_clock::now();
  if (connect_ != nullptr || now - lastConnect_ < std::chrono::milliseconds(LookIntervalMs)) return;
  const std::optional<platform::NetworkAddress> address = platform::ParseNetworkAddress(value);
  if (!address) return;
  lastConnect_ = now;
  connect_ = std::make_unique<platform::PendingConnect>(*address);
  connectNotifier_ = new QSocketNotifier(connect_->ReadyDescriptor(), QSocketNotifier::Read, this);
  connect(connectNotifier_, &QSocketNotifier::activated, this,
          [this, value] { NetworkConnectEnded(value); });
}

void TDeviceWatch::NetworkConnectEnded(const std::string& value) {
  platform::NetworkConnection connection = connect_->Take();
  DropNetworkConnect();
  if (!pending_ || connection.Descriptor < 0) return;
  const auto provider =
      std::dynamic_pointer_cast<platform::NetworkDeviceProvider>(platform::DeviceProviderOf(value));
  if (provider == nullptr || port_.OpenState() != TOpenState::osClosed) return;
  provider->Deposit(value, std::move(connection));
  Reopen();
}

void TDeviceWatch::DropNetworkConnect() {
  if (connectNotifier_ != nullptr) {
    connectNotifier_->setEnabled(false);
    connectNotifier_->deleteLater();
    connectNotifier_ = nullptr;
  }
  connect_.reset();
}

}  // namespace talyx::app
