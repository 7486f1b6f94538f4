// PortMap: which device COM n opens, the default map of the machine's devices, the settings
// file's section "ports", and whether a port number has a device (ports 1 to 50).
//
// Principles of operation:
// - The terminal keeps its port numbers; COM n opens the device the port map's value for n
//   names, through the device provider that claims the value (deviceproviders.h): a path, or
//   the name of a device built into the program. A number the map does not list has no device.
// - The default map is made once, at program start (InitDefaultPortMap), after the providers
//   are registered: the discovered devices in discovery's order take Com1, Com2, ...; the
//   system console never gets a number; the built-in devices take the numbers after them (from
//   Com1 when nothing is discovered). Since it is made once, a number never changes its device
//   while the program runs.
// - A device that appears later takes the lowest number the map does not list
//   (AddNewSerialDevices); a device that goes away keeps its number and shows as unavailable.
// - The settings file's section "ports" overrides single numbers (ApplyPortsSection). A mapped
//   path that does not exist is kept and shows as unavailable, never silently replaced.
// - Availability looks at the mapped path without opening it: opening raises DTR and RTS, which
//   resets many USB boards. A value that is no path (a built-in device) is available when a
//   registered provider claims it.
// - The process-wide map and the devices discovered at start are guarded by one mutex; any
//   thread may read or change them. The provider registry's lock may be taken inside it, never
//   the other way round. Tests replace the whole map (ReplacePortMap,
//   PortMap::Only) so that nothing reaches a real port.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/serialdiscovery.h"

namespace talyx::platform {

// Port availability is probed for these numbers only; the section "ports" names these too.
inline constexpr int FirstProbedPort = 1;
inline constexpr int LastProbedPort = 50;

class PortMap {
 public:
  PortMap() = default;
  // Only the listed numbers have a device.
  static PortMap Only(std::map<int, std::string> paths);
  // The default map for the given devices (in numbering order, as discovery returns them).
  static PortMap Default(const std::vector<DiscoveredSerialDevice>& devices);

  // The value (a device path or a built-in device's name) of COM number; "" when that number
  // has no device.
  std::string PathOf(int number) const;
  // Maps number (1 and up) to path; an empty path takes the number's device away.
  void Override(int number, const std::string& path);
  void Forget(int number);
  // The lowest number (1 and up) the map does not list.
  int FirstUnlistedNumber() const;
  // The lowest number mapped to value; 0 when none is.
  int NumberOf(const std::string& value) const;
  const std::map<int, std::string>& Paths() const { return paths_; }

  bool operator==(const PortMap&) const = default;

 private:
  explicit PortMap(std::map<int, std::string> paths) : paths_(std::move(paths)) {}

  std::map<int, std::string> paths_;
};

// Makes the process-wide default map from the devices discovered on this machine; only the
// first call does anything. Until then the map is empty (no number has a device).
void InitDefaultPortMap();

// Looks for serial devices again and gives each one not seen before the lowest number the
// process-wide map does not list (never the console). Nothing before InitDefaultPortMap.
void AddNewSerialDevices();
// The same rules on a given map: devices in now that known lacks are added to known and mapped.
void AddNewSerialDevices(PortMap& map, std::vector<DiscoveredSerialDevice>& known,
                         const std::vector<DiscoveredSerialDevice>& now);

// Applies the settings file's section "ports" (its key/value pairs in file order) to the
// process-wide map: keys "Com1".."Com50" in any case; a value is a device path, a built-in
// device's name (in any case) or empty for no device; blanks around a value do not count;
// other keys are ignored.
void ApplyPortsSection(const std::vector<std::pair<std::string, std::string>>& entries);
// The same rules on a given map.
void ApplyPortsSection(PortMap& map,
                       const std::vector<std::pair<std::string, std::string>>& entries);

// One line a person recognises for what COM number opens: its path and the device's kind and
// description, marked when it is the system console or not available now; a built-in device by
// its provider's description. "" when the number has no device.
std::string PortDescription(int number);
// The same for a given map and discovered devices.
std::string PortDescription(const PortMap& map, int number,
                            const std::vector<DiscoveredSerialDevice>& devices);

// The lowest number the process-wide map gives value; 0 when none.
int PortNumberOf(const std::string& value);

// The process-wide map (empty until InitDefaultPortMap).
PortMap CurrentPortMap();
// Replaces the whole process-wide map; returns the one it replaced.
PortMap ReplacePortMap(PortMap map);
// Changes one number of the process-wide map (see PortMap::Override).
void OverridePortPath(int number, const std::string& path);
// The device path that COM number opens, from the process-wide map; "" when it has none.
std::string PortDevicePath(int number);
// The devices InitDefaultPortMap discovered (none before it ran).
std::vector<DiscoveredSerialDevice> DiscoveredAtStart();

// Whether COM number has a device: numbers 1 to 50 only. A path has one when it names a
// character device (following links), and a ttyS* only when discovery found a UART there; any
// other value when a registered provider claims it (a built-in device is always there). Nothing
// is opened, so a program holding the port is not disturbed and a busy port counts as available.
// Any thread.
bool IsPortAvailable(int number);
// The same test for a path, against the given discovered devices.
bool IsDeviceAvailable(const std::string& path, const std::vector<DiscoveredSerialDevice>& devices);

}  // namespace talyx::platform
