// The termios device provider: absolute paths opened as TermiosSerialDevice.
#include "platform/termiosprovider.h"

#include "platform/termiosserialdevice.h"

namespace talyx::platform {

bool IsDevicePath(const std::string& value) { return !value.empty() && value.front() == '/'; }

bool TermiosDeviceProvider::Claims(const std::string& value) const { return IsDevicePath(value); }

int TermiosDeviceProvider::Open(const std::string& value, std::unique_ptr<SerialDevice>& device) {
  auto opened = std::make_unique<TermiosSerialDevice>();
  if (const int err = opened->Open(value)) return err;
  device = std::move(opened);
  return 0;
}

}  // namespace talyx::platform
