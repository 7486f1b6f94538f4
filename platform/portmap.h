// PortMap: which device path COM n opens, and whether a port number has a device (ports 1 to 50).
//
// Principles of operation:
// - The terminal keeps its port numbers; COM n opens the path the port map gives for n. The
//   default map gives /dev/ttyS{n-1}; single numbers may be mapped to any path (the settings
//   file's section "ports": Com1=/dev/ttyUSB0).
// - A map may also list its numbers exhaustively: then a number it does not list has no device.
//   Tests replace the process-wide map this way so that nothing reaches a real port.
// - The process-wide map is guarded by its own mutex; any thread may read or change it.
#pragma once

#include <map>
#include <string>

namespace talyx::platform {

// Port availability is probed for these numbers only.
inline constexpr int FirstProbedPort = 1;
inline constexpr int LastProbedPort = 50;

class PortMap {
 public:
  // Every number n >= 1 opens /dev/ttyS{n-1} unless overridden.
  static PortMap Defaults();
  // Only the listed numbers have a device.
  static PortMap Only(std::map<int, std::string> paths);

  static std::string DefaultPath(int number);

  // The device path of COM number, or "" when that number has no device (n < 1, or not listed
  // in an exhaustive map).
  std::string PathOf(int number) const;
  // Maps number to path; an empty path takes the number's device away.
  void Override(int number, const std::string& path);
  // Forgets the override of number: the default path again, or no device in an exhaustive map.
  void Forget(int number);
  const std::map<int, std::string>& Overrides() const { return paths_; }
  bool UsesDefaults() const { return useDefaults_; }

  bool operator==(const PortMap&) const = default;

 private:
  PortMap(bool useDefaults, std::map<int, std::string> paths);

  bool useDefaults_;
  std::map<int, std::string> paths_;
};

// The process-wide map (at start: PortMap::Defaults()).
PortMap CurrentPortMap();
// Replaces the whole process-wide map; returns the one it replaced.
PortMap ReplacePortMap(PortMap map);
// Changes one number of the process-wide map (see PortMap::Override).
void OverridePortPath(int number, const std::string& path);
// The device path that COM number opens, from the process-wide map; "" when it has none.
std::string PortDevicePath(int number);

// Whether COM number has a device: numbers 1 to 50 only. The mapped path is opened without
// locking (O_NONBLOCK, so it never waits for a carrier) and closed again at once; a device
// that is held by another program (EBUSY) or that this user may not open (EACCES, EPERM)
// exists and counts as available; a missing path, a device whose hardware is absent (ENXIO,
// ENODEV, EIO) and a path that is not a terminal do not. An open that is not the device's
// first never changes its lines or settings, so a program holding the port is not disturbed;
// on a port nobody holds the probe is an ordinary open and close.
// Main thread (it opens devices; not for threads that must not block on the file system).
bool IsPortAvailable(int number);

}  // namespace talyx::platform
