// TermiosDeviceProvider: the device provider for file-system paths (ttys, pseudo-terminals).
//
// Principles of operation:
// - It claims every absolute path: the device nodes under /dev, pseudo-terminal slaves
//   (/dev/pts/N) and links to either anywhere (/dev/serial/by-id/..., a link a program made in
//   a folder of its own). Whether a path names a device at all is found out by opening it.
// - Open makes a TermiosSerialDevice and opens the path exclusively (see
//   termiosserialdevice.h for the errors). It keeps no state: any thread, any number at once.
#pragma once

#include <memory>
#include <string>

#include "platform/deviceproviders.h"

namespace talyx::platform {

// Whether value has the form of a file-system path (absolute), the form this provider claims.
bool IsDevicePath(const std::string& value);

class TermiosDeviceProvider : public DeviceProvider {
 public:
  bool Claims(const std::string& value) const override;
  int Open(const std::string& value, std::unique_ptr<SerialDevice>& device) override;
};

}  // namespace talyx::platform
