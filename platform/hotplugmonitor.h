// HotplugMonitor: the kernel's serial-device hot-plug events through libudev.
//
// Principles of operation:
// - It listens for udev's events of the "tty" subsystem (a USB adapter plugged in or pulled).
//   Where no udev daemon runs (containers, minimal systems) none come, and pseudo-terminals never
//   make any: the events only make a look for a device sooner, never replace it.
// - The owner polls Descriptor() for readability (the window does so from its event loop) and
//   then calls ReadEvent until it returns false. One thread only (the main thread).
#pragma once

#include <string>

struct udev;
struct udev_monitor;

namespace talyx::platform {

struct HotplugEvent {
  std::string Action;      // "add", "remove", "change", ...
  std::string DevicePath;  // /dev/ttyUSB0, or "" for an event without a device node
};

class HotplugMonitor {
 public:
  // Starts listening; Valid() is false when libudev could not (no netlink in a sandbox).
  HotplugMonitor();
  ~HotplugMonitor();
  HotplugMonitor(const HotplugMonitor&) = delete;
  HotplugMonitor& operator=(const HotplugMonitor&) = delete;

  bool Valid() const { return monitor_ != nullptr; }
  // The descriptor to poll for readability; -1 when not valid.
  int Descriptor() const;
  // Takes one waiting event; false when none waits (never blocks).
  bool ReadEvent(HotplugEvent& event);

 private:
  udev* udev_ = nullptr;
  udev_monitor* monitor_ = nullptr;
};

}  // namespace talyx::platform
