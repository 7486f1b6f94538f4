// ConnectBeforeOpen: the worker-thread connect, the local event loop, the hand-over.
#include "app/devices/networkwait.h"

#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>
#include <memory>

#include "platform/networkprovider.h"

namespace talyx::app {

bool ConnectBeforeOpen(const std::string& value) {
  const std::optional<platform::NetworkAddress> address = platform::ParseNetworkAddress(value);
  const auto provider =
      std::dynamic_pointer_cast<platform::NetworkDeviceProvider>(platform::DeviceProviderOf(value));
  if (!address || provider == nullptr) return false;
  platform::PendingConnect pending(*address);
  QEventLoop loop;
  QSocketNotifier ready(pending.ReadyDescriptor(), QSocketNotifier::Read);
  QObject::connect(&ready, &QSocketNotifier::activated, &loop, &QEventLoop::quit);
  QTimer::singleShot(platform::ConnectTimeoutMs, &loop, &QEventLoop::quit);
  if (!pending.Done()) loop.exec(QEventLoop::ExcludeUserInputEvents);
  provider->Deposit(value, pending.Take());
  return true;
}

}  // namespace talyx::app
