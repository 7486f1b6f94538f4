// The device-provider registry: which provider opens the device a port-map value names.
//
// Principles of operation:
// - A port-map value names a device by its form: a file-system path, the exact name of a device
//   built into the program, an address with a scheme. Each form has one provider, which says
//   whether it claims a value by looking at the value alone, and makes and opens the device for
//   a value it claims. The first registered provider that claims a value opens it; a value no
//   provider claims names no device (platform error 2, as a missing path).
// - The registry is one process-wide table, like the port map and the message queue. Nothing
//   registers itself: the program registers its providers in main, before the default port map
//   is made; tests register the providers they need in their fixtures and put the previous
//   table back afterwards (ReplaceDeviceProviders).
// - Threads: any thread may register and look up; the dispatcher opens from the thread that
//   opens the port, the port map asks from any thread. A mutex guards the table and is held only
//   to copy it or change it: a provider's Open runs outside it, on a provider kept alive by the
//   caller's own reference, so a table replaced meanwhile frees nothing in use.
// - A provider makes its calls safe against each other itself: several threads may open
//   through one provider at once.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/serialdevice.h"

namespace talyx::platform {

class DeviceProvider {
 public:
  virtual ~DeviceProvider() = default;

  // Whether this provider opens value, from the value's form alone (a path, a scheme, an exact
  // name); nothing is looked up or opened.
  virtual bool Claims(const std::string& value) const = 0;
  // Makes the device value names and opens it exclusively; on success device holds it, open.
  // 0 or a platform error number (2 missing, 5 held by another program, ...). Any thread.
  virtual int Open(const std::string& value, std::unique_ptr<SerialDevice>& device) = 0;
  // A provider of one device built into the program gives that device's name: the whole value
  // that opens it, which the default port map numbers after the machine's devices and the
  // section "ports" accepts in any case. "" for a provider of paths or addresses.
  virtual std::string BuiltInName() const { return {}; }
  // What a person recognises value as in lists of ports; "" leaves it to the port map.
  virtual std::string Description(const std::string&) const { return {}; }
  // Why the latest open of value failed, in words for the user, where the error number alone
  // cannot say (a server's refusal, a name not found); "" when there is nothing to add.
  virtual std::string FailureDetail(const std::string&) const { return {}; }
};

using DeviceProviders = std::vector<std::shared_ptr<DeviceProvider>>;

// Adds provider at the end of the table.
void RegisterDeviceProvider(std::shared_ptr<DeviceProvider> provider);
// Replaces the whole table; returns the one it replaced.
DeviceProviders ReplaceDeviceProviders(DeviceProviders providers);

// The first registered provider that claims value; null when none does.
std::shared_ptr<DeviceProvider> DeviceProviderOf(const std::string& value);
// Opens the device value names through its provider: 0 with device holding it, or a platform
// error number (2 when no provider claims value); device is left as it was on failure.
int OpenProvidedDevice(const std::string& value, std::unique_ptr<SerialDevice>& device);
// The names of the built-in devices of the registered providers, in registration order.
std::vector<std::string> BuiltInDeviceNames();

}  // namespace talyx::platform
