// NetworkDeviceProvider: the device provider of tcp:// and rfc2217:// values.
//
// Principles of operation:
// - It claims every value with one of the two schemes; a value of the wrong form fails to open
//   as a missing device (2) with the cause saying so.
// - Open uses a connection made beforehand for that value when one was handed in (Deposit: the
//   window connects on a worker thread and waits without freezing, the device watch connects
//   for a reconnect); without one it connects itself, blocking for up to ConnectTimeoutMs.
//   A deposited connection is used once; a newer one for the same value replaces it.
// - Each failed open leaves its cause, for the message that reports it (FailureDetail); what an
//   open device says about its server once is kept for the window to show (TakeNotice).
// - Any thread; a mutex guards the deposited connections and the causes.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/deviceproviders.h"
#include "platform/networkconnect.h"

namespace talyx::platform {

class NetworkDeviceProvider : public DeviceProvider {
 public:
  bool Claims(const std::string& value) const override;
  int Open(const std::string& value, std::unique_ptr<SerialDevice>& device) override;
  std::string Description(const std::string& value) const override;
  std::string FailureDetail(const std::string& value) const override;

  // Hands in a connection made for value; its failure's cause is kept when it failed.
  void Deposit(const std::string& value, NetworkConnection connection);
  // What an open device of value said about its server since the last call (a setting the
  // server never acknowledged), once; "" when nothing.
  std::string TakeNotice(const std::string& value);

 private:
  void SetCause(const std::string& value, const std::string& cause);

  // Shared with the devices, which may outlive this provider.
  struct Notices {
    std::mutex Mutex;
    std::map<std::string, std::string> Texts;
  };

  mutable std::mutex mutex_;
  std::map<std::string, NetworkConnection> deposited_;
  std::map<std::string, std::string> causes_;
  const std::shared_ptr<Notices> notices_ = std::make_shared<Notices>();
};

}  // namespace talyx::platform
