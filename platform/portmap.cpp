// The port map (COM n to device path) and the port availability probe.
#include "platform/portmap.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <utility>

#include "platform/platformerror.h"

namespace talyx::platform {

namespace {

std::mutex& MapMutex() {
  static std::mutex mutex;
  return mutex;
}

PortMap& TheMap() {
  static PortMap map = PortMap::Defaults();
  return map;
}

}  // namespace

PortMap::PortMap(bool useDefaults, std::map<int, std::string> paths)
    : useDefaults_(useDefaults), paths_(std::move(paths)) {}

PortMap PortMap::Defaults() { return PortMap(true, {}); }

PortMap PortMap::Only(std::map<int, std::string> paths) { return PortMap(false, std::move(paths)); }

std::string PortMap::DefaultPath(int number) {
  return number >= 1 ? "/dev/ttyS" + std::to_string(number - 1) : std::string();
}

std::string PortMap::PathOf(int number) const {
  if (number < 1) return {};
  if (auto found = paths_.find(number); found != paths_.end()) return found->second;
  return useDefaults_ ? DefaultPath(number) : std::string();
}

void PortMap::Override(int number, const std::string& path) {
  if (number >= 1) paths_[number] = path;
}

void PortMap::Forget(int number) { paths_.erase(number); }

PortMap CurrentPortMap() {
  std::lock_guard lock(MapMutex());
  return TheMap();
}

PortMap ReplacePortMap(PortMap map) {
  std::lock_guard lock(MapMutex());
  std::swap(TheMap(), map);
  return map;
}

void OverridePortPath(int number, const std::string& path) {
  std::lock_guard lock(MapMutex());
  TheMap().Override(number, path);
}

std::string PortDevicePath(int number) {
  std::lock_guard lock(MapMutex());
  return TheMap().PathOf(number);
}

bool IsPortAvailable(int number) {
  if (number < FirstProbedPort || number > LastProbedPort) return false;
  const std::string path = PortDevicePath(number);
  if (path.empty()) return false;
  const int descriptor = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) {
    const int error = PlatformErrorFromErrno(errno);
    return error == PeAccessDenied || error == PePermissionDenied;
  }
  const bool terminal = isatty(descriptor);
  close(descriptor);
  return terminal;
}

}  // namespace talyx::platform
