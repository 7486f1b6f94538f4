// ScopedDeviceProviders and the provider lists tests register.
#include "support/scopedproviders.h"

#include <memory>
#include <utility>

#include "platform/termiosprovider.h"

namespace talyx::testing {

ScopedDeviceProviders::ScopedDeviceProviders(platform::DeviceProviders providers)
    : previous_(platform::ReplaceDeviceProviders(std::move(providers))) {}

ScopedDeviceProviders::~ScopedDeviceProviders() {
  platform::ReplaceDeviceProviders(std::move(previous_));
}

platform::DeviceProviders TermiosProviderOnly() {
  return {std::make_shared<platform::TermiosDeviceProvider>()};
}

}  // namespace talyx::testing
