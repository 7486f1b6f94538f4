// The port map (COM n to device path), its default and "ports" section, descriptions and the
// availability test.
#include "platform/portmap.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <mutex>

#include "platform/deviceproviders.h"
#include "platform/terminalcheck.h"
#include "platform/termiosprovider.h"

namespace talyx::platform {

namespace {

struct ProcessPorts {
  std::mutex Mutex;
  PortMap Map;                                  // guarded by Mutex
  std::vector<DiscoveredSerialDevice> Devices;  // guarded by Mutex
  bool Initialised = false;                     // guarded by Mutex
};

ProcessPorts& ThePorts() {
  static ProcessPorts ports;
  return ports;
}

std::string Lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The number of a key "Com1".."Com50" in any case; 0 for any other key.
int PortNumberOfKey(const std::string& key) {
  const std::string lowered = Lowered(Trimmed(key));
  for (int number = FirstProbedPort; number <= LastProbedPort; ++number) {
    if (lowered == "com" + std::to_string(number)) return number;
  }
  return 0;
}

std::string CanonicalOrSelf(const std::string& path) {
  std::error_code error;
  const std::filesystem::path canonical = std::filesystem::canonical(path, error);
  return error ? path : canonical.string();
}

// The discovered device a mapped path names: by its own paths, or by where a link leads.
const DiscoveredSerialDevice* DeviceOfPath(const std::string& path,
                                           const std::vector<DiscoveredSerialDevice>& devices) {
  for (const auto& device : devices) {
    if (path == device.DevicePath || path == device.StablePath) return &device;
  }
  const std::string resolved = CanonicalOrSelf(path);
  for (const auto& device : devices) {
    if (resolved == CanonicalOrSelf(device.DevicePath)) return &device;
  }
  return nullptr;
}

}  // namespace

PortMap PortMap::Only(std::map<int, std::string> paths) { return PortMap(std::move(paths)); }

PortMap PortMap::Default(const std::vector<DiscoveredSerialDevice>& devices) {
  PortMap map;
  int number = 1;
  for (const auto& device : devices) {
    if (!device.IsConsole) map.paths_[number++] = device.MapPath();
  }
  for (const std::string& name : BuiltInDeviceNames()) map.paths_[number++] = name;
  return map;
}

std::string PortMap::PathOf(int number) const {
  if (auto found = paths_.find(number); found != paths_.end()) return found->second;
  return {};
}

void PortMap::Override(int number, const std::string& path) {
  if (number >= 1) paths_[number] = path;
}

void PortMap::Forget(int number) { paths_.erase(number); }

int PortMap::FirstUnlistedNumber() const {
  int number = 1;
  while (paths_.count(number) != 0) ++number;
  return number;
}

int PortMap::NumberOf(const std::string& value) const {
  for (const auto& [number, path] : paths_) {
    if (path == value) return number;
  }
  return 0;
}

void InitDefaultPortMap() {
  ProcessPorts& ports = ThePorts();
  {
    std::lock_guard lock(ports.Mutex);
    if (ports.Initialised) return;
  }
  // Discovery reads the file system; the lock is not held meanwhile.
  std::vector<DiscoveredSerialDevice> devices = DiscoverSerialDevices("/");
  std::lock_guard lock(ports.Mutex);
  if (ports.Initialised) return;
  ports.Map = PortMap::Default(devices);
  ports.Devices = std::move(devices);
  ports.Initialised = true;
}

void AddNewSerialDevices(PortMap& map, std::vector<DiscoveredSerialDevice>& known,
                         const std::vector<DiscoveredSerialDevice>& now) {
  for (const auto& device : now) {
    const bool seen = std::any_of(known.begin(), known.end(), [&](const auto& old) {
      return old.Name == device.Name && old.MapPath() == device.MapPath();
    });
    if (seen) continue;
    known.push_back(device);
    if (!device.IsConsole) map.Override(map.FirstUnlistedNumber(), device.MapPath());
  }
}

void AddNewSerialDevices() {
  ProcessPorts& ports = ThePorts();
  {
    std::lock_guard lock(ports.Mutex);
    if (!ports.Initialised) return;
  }
  const std::vector<DiscoveredSerialDevice> now = DiscoverSerialDevices("/");
  std::lock_guard lock(ports.Mutex);
  AddNewSerialDevices(ports.Map, ports.Devices, now);
}

void ApplyPortsSection(PortMap& map,
                       const std::vector<std::pair<std::string, std::string>>& entries) {
  const std::vector<std::string> builtIn = BuiltInDeviceNames();
  for (const auto& [key, value] : entries) {
    const int number = PortNumberOfKey(key);
    if (number == 0) continue;
    std::string path = Trimmed(value);
    // A built-in device's name counts in any case, and is kept as the device names itself.
    for (const std::string& name : builtIn) {
      if (Lowered(path) == Lowered(name)) path = name;
    }
    map.Override(number, path);
  }
}

void ApplyPortsSection(const std::vector<std::pair<std::string, std::string>>& entries) {
  ProcessPorts& ports = ThePorts();
  std::lock_guard lock(ports.Mutex);
  ApplyPortsSection(ports.Map, entries);
}

std::string PortDescription(const PortMap& map, int number,
                            const std::vector<DiscoveredSerialDevice>& devices) {
  const std::string path = map.PathOf(number);
  if (path.empty()) return {};
  if (const auto provider = DeviceProviderOf(path)) {
    if (std::string described = provider->Description(path); !described.empty()) return described;
  }
  std::string text = PrintableLine(path);
  if (const DiscoveredSerialDevice* device = DeviceOfPath(path, devices)) {
    text += " — " + SerialDeviceKindName(device->Kind);
    if (!device->Description.empty()) text += ", " + device->Description;
    if (device->IsConsole) text += " (系统控制台)";
  }
  if (!IsDeviceAvailable(path, devices)) text += " (不可用)";
  return text;
}

std::string PortDescription(int number) {
  ProcessPorts& ports = ThePorts();
  PortMap map;
  std::vector<DiscoveredSerialDevice> devices;
  {
    std::lock_guard lock(ports.Mutex);
    map = ports.Map;
    devices = ports.Devices;
  }
  return PortDescription(map, number, devices);
}

int PortNumberOf(const std::string& value) {
  ProcessPorts& ports = ThePorts();
  std::lock_guard lock(ports.Mutex);
  return ports.Map.NumberOf(value);
}

PortMap CurrentPortMap() {
  ProcessPorts& ports = ThePorts();
  std::lock_guard lock(ports.Mutex);
  return ports.Map;
}

PortMap ReplacePortMap(PortMap map) {
  ProcessPorts& ports = ThePorts();
  std::lock_guard lock(ports.Mutex);
  std::swap(ports.Map, map);
  return map;
}

void OverridePortPath(int number, const std::string& path) {
  ProcessPorts& ports = ThePorts();
  std::lock_guard lock(ports.Mutex);
  ports.Map.Override(number, path);
}

std::string PortDevicePath(int number) {
  ProcessPorts& ports = ThePorts();
  std::lock_guard lock(ports.Mutex);
  return ports.Map.PathOf(number);
}

std::vector<DiscoveredSerialDevice> DiscoveredAtStart() {
  ProcessPorts& ports = ThePorts();
  std::lock_guard lock(ports.Mutex);
  return ports.Devices;
}

bool IsDeviceAvailable(const std::string& path,
                       const std::vector<DiscoveredSerialDevice>& devices) {
  if (path.empty()) return false;
  // Only a path can be looked at without opening it; anything else is there when its provider
  // is.
  if (!IsDevicePath(path)) return DeviceProviderOf(path) != nullptr;
  // Only a terminal the termios provider would open counts: /dev/null, a file or the console
  // never opens as a port, so it is never offered as one.
  if (CheckTerminalPath(path) != 0) return false;
  // A ttyS* node exists whether or not a UART is behind it: only discovery can tell.
  for (const std::string& name :
       {std::filesystem::path(path).filename().string(),
        std::filesystem::path(CanonicalOrSelf(path)).filename().string()}) {
    if (!IsLegacyUartName(name)) continue;
    const bool found = std::any_of(devices.begin(), devices.end(),
                                   [&](const auto& device) { return device.Name == name; });
    if (!found) return false;
  }
  return true;
}

bool IsPortAvailable(int number) {
  if (number < FirstProbedPort || number > LastProbedPort) return false;
  ProcessPorts& ports = ThePorts();
  std::string path;
  std::vector<DiscoveredSerialDevice> devices;
  {
    std::lock_guard lock(ports.Mutex);
    path = ports.Map.PathOf(number);
    devices = ports.Devices;
  }
  return IsDeviceAvailable(path, devices);
}

}  // namespace talyx::platform
