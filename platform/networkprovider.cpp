// NetworkDeviceProvider: network values opened as NetworkSerialDevice.
#include "platform/networkprovider.h"

#include <utility>

#include "platform/networkserialdevice.h"
#include "platform/platformerror.h"

namespace talyx::platform {

bool NetworkDeviceProvider::Claims(const std::string& value) const {
  return HasNetworkScheme(value);
}

int NetworkDeviceProvider::Open(const std::string& value, std::unique_ptr<SerialDevice>& device) {
  const std::optional<NetworkAddress> address = ParseNetworkAddress(value);
  if (!address) {
    SetCause(value, "地址格式不正确：" + value);
    return PeFileNotFound;
  }
  NetworkConnection connection;
  bool deposited = false;
  {
    std::lock_guard lock(mutex_);
    if (auto found = deposited_.find(value); found != deposited_.end()) {
      connection = std::move(found->second);
      deposited_.erase(found);
      deposited = true;
    }
  }
  if (!deposited) connection = ConnectToServer(*address, ConnectTimeoutMs);
  if (connection.Descriptor < 0) {
    SetCause(value, connection.Cause);
    return connection.Error != 0 ? connection.Error : PeFileNotFound;
  }
  auto opened = std::make_unique<NetworkSerialDevice>(
      address->Scheme, [notices = notices_, value](const std::string& text) {
        std::lock_guard lock(notices->Mutex);
        notices->Texts[value] = text;
      });
  if (const int err = opened->Adopt(std::move(connection))) return err;
  SetCause(value, {});
  device = std::move(opened);
  return 0;
}

std::string NetworkDeviceProvider::Description(const std::string& value) const {
  const std::optional<NetworkAddress> address = ParseNetworkAddress(value);
  if (!address) return value + " (地址格式不正确)";
  return address->HostPort() +
         (address->Scheme == NetworkScheme::Raw ? " — 网络串口 (TCP)" : " — 网络串口 (RFC 2217)");
}

std::string NetworkDeviceProvider::FailureDetail(const std::string& value) const {
  std::lock_guard lock(mutex_);
  const auto found = causes_.find(value);
  return found == causes_.end() ? std::string() : found->second;
}

void NetworkDeviceProvider::Deposit(const std::string& value, NetworkConnection connection) {
  // A failed connection is handed in too: the open that follows reports its cause at once.
  std::lock_guard lock(mutex_);
  deposited_[value] = std::move(connection);
}

std::string NetworkDeviceProvider::TakeNotice(const std::string& value) {
  std::lock_guard lock(notices_->Mutex);
  const auto found = notices_->Texts.find(value);
  if (found == notices_->Texts.end()) return {};
  std::string text = std::move(found->second);
  notices_->Texts.erase(found);
  return text;
}

void NetworkDeviceProvider::SetCause(const std::string& value, const std::string& cause) {
  std::lock_guard lock(mutex_);
  causes_[value] = cause;
}

}  // namespace talyx::platform
