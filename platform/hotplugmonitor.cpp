// HotplugMonitor: udev's "tty" events from the kernel's netlink socket.
#include "platform/hotplugmonitor.h"

#include <libudev.h>

namespace talyx::platform {

HotplugMonitor::HotplugMonitor() {
  udev_ = udev_new();
  if (udev_ == nullptr) return;
  udev_monitor* monitor = udev_monitor_new_from_netlink(udev_, "udev");
  if (monitor == nullptr) return;
  if (udev_monitor_filter_add_match_subsystem_devtype(monitor, "tty", nullptr) < 0 ||
      udev_monitor_enable_receiving(monitor) < 0) {
    udev_monitor_unref(monitor);
    return;
  }
  monitor_ = monitor;
}

HotplugMonitor::~HotplugMonitor() {
  if (monitor_ != nullptr) udev_monitor_unref(monitor_);
  if (udev_ != nullptr) udev_unref(udev_);
}

int HotplugMonitor::Descriptor() const {
  return monitor_ == nullptr ? -1 : udev_monitor_get_fd(monitor_);
}

bool HotplugMonitor::ReadEvent(HotplugEvent& event) {
  if (monitor_ == nullptr) return false;
  // The socket is non-blocking (libudev makes it so): null means nothing waits.
  udev_device* device = udev_monitor_receive_device(monitor_);
  if (device == nullptr) return false;
  const char* action = udev_device_get_action(device);
  const char* node = udev_device_get_devnode(device);
  event.Action = action != nullptr ? action : "";
  event.DevicePath = node != nullptr ? node : "";
  udev_device_unref(device);
  return true;
}

}  // namespace talyx::platform
