// TermiosDeviceProvider: the device provider for file-system paths (ttys, pseudo-terminals).
//
// Principles of operation:
// - It claims every absolute path: the device nodes under /dev, pseudo-terminal slaves
//   (/dev/pts/N) and links to either anywhere (/dev/serial/by-id/..., a link a program made in
//   a folder of its own).
// - It opens only terminals with a driver behind them (terminalcheck.h), looked at before the
//   open: a path that names anything else (a file, a FIFO, a disk, /dev/tty, the console) is
//   never opened and fails as a missing device (2).
// - Open makes a TermiosSerialDevice and opens the path exclusively (see
//   termiosserialdevice.h for the errors). It keeps no state but the root it reads sysfs and
//   proc below: any thread, any number at once.
#pragma once

#include <memory>
#include <string>

#include "platform/deviceproviders.h"

namespace talyx::platform {

// Whether value has the form of a file-system path (absolute), the form this provider claims.
bool IsDevicePath(const std::string& value);

class TermiosDeviceProvider : public DeviceProvider {
 public:
  // root: the folder sysfs and proc are read below ("/"; tests give a fake tree).
  explicit TermiosDeviceProvider(std::string root = "/");

  bool Claims(const std::string& value) const override;
  int Open(const std::string& value, std::unique_ptr<SerialDevice>& device) override;

 private:
  const std::string root_;
};

}  // namespace talyx::platform
