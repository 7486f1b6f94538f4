// ScopedDeviceProviders: the device providers a test registers, for the length of the test.
#pragma once

#include "platform/deviceproviders.h"

namespace talyx::testing {

// Replaces the whole process-wide provider table with the given providers, and puts the previous
// table back when it ends (which frees providers only it held).
class ScopedDeviceProviders {
 public:
  explicit ScopedDeviceProviders(platform::DeviceProviders providers);
  ~ScopedDeviceProviders();
  ScopedDeviceProviders(const ScopedDeviceProviders&) = delete;
  ScopedDeviceProviders& operator=(const ScopedDeviceProviders&) = delete;

 private:
  platform::DeviceProviders previous_;
};

// The termios provider alone: what a test needs that opens pseudo-terminal paths by name.
platform::DeviceProviders TermiosProviderOnly();

}  // namespace talyx::testing
