// The process-wide device-provider table, its look-ups and the open through it.
#include "platform/deviceproviders.h"

#include <mutex>
#include <utility>

#include "platform/platformerror.h"

namespace talyx::platform {

namespace {

struct ProviderTable {
  std::mutex Mutex;
  DeviceProviders Providers;  // guarded by Mutex
};

ProviderTable& TheTable() {
  static ProviderTable table;
  return table;
}

DeviceProviders CopyOfTable() {
  ProviderTable& table = TheTable();
  std::lock_guard lock(table.Mutex);
  return table.Providers;
}

}  // namespace

void RegisterDeviceProvider(std::shared_ptr<DeviceProvider> provider) {
  if (provider == nullptr) return;
  ProviderTable& table = TheTable();
  std::lock_guard lock(table.Mutex);
  table.Providers.push_back(std::move(provider));
}

DeviceProviders ReplaceDeviceProviders(DeviceProviders providers) {
  ProviderTable& table = TheTable();
  std::lock_guard lock(table.Mutex);
  std::swap(table.Providers, providers);
  return providers;
}

std::shared_ptr<DeviceProvider> DeviceProviderOf(const std::string& value) {
  for (const auto& provider : CopyOfTable()) {
    if (provider != nullptr && provider->Claims(value)) return provider;
  }
  return nullptr;
}

int OpenProvidedDevice(const std::string& value, std::unique_ptr<SerialDevice>& device) {
  const std::shared_ptr<DeviceProvider> provider = DeviceProviderOf(value);
  if (provider == nullptr) return PeFileNotFound;
  std::unique_ptr<SerialDevice> opened;
  if (const int err = provider->Open(value, opened)) return err;
  // A provider that reports success must hand over an open device; anything else would let the
  // port run on nothing.
  if (opened == nullptr || !opened->IsOpen()) return PeGeneralFailure;
  device = std::move(opened);
  return 0;
}

std::vector<std::string> BuiltInDeviceNames() {
  std::vector<std::string> names;
  for (const auto& provider : CopyOfTable()) {
    if (provider == nullptr) continue;
    if (std::string name = provider->BuiltInName(); !name.empty()) names.push_back(name);
  }
  return names;
}

}  // namespace talyx::platform
