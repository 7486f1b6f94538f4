// The termios device provider: absolute paths to terminals opened as TermiosSerialDevice.
#include "platform/termiosprovider.h"

#include <utility>

#include "platform/terminalcheck.h"
#include "platform/termiosserialdevice.h"

namespace talyx::platform {

bool IsDevicePath(const std::string& value) { return !value.empty() && value.front() == '/'; }

TermiosDeviceProvider::TermiosDeviceProvider(std::string root) : root_(std::move(root)) {}

bool TermiosDeviceProvider::Claims(const std::string& value) const { return IsDevicePath(value); }

int TermiosDeviceProvider::Open(const std::string& value, std::unique_ptr<SerialDevice>& device) {
  if (const int err = CheckTerminalPath(value, root_)) return err;
  auto opened = std::make_unique<TermiosSerialDevice>();
  if (const int err = opened->Open(value)) return err;
  device = std::move(opened);
  return 0;
}

}  // namespace talyx::platform
