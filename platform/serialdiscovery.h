// Discovery of the machine's serial devices from sysfs, /dev/serial/by-id and /proc/consoles.
//
// Principles of operation:
// - Everything is read below a root folder ("/" on a real system; tests point it at a fake tree),
//   so discovery needs no udev daemon and works in containers and on minimal systems. Device
//   paths in the results are the system's own (/dev/...), never prefixed with the root.
// - A tty counts as a device when sysfs gives it a hardware device ("device" link), with two
//   further rules: a ttyS* counts only when the kernel found a UART there (its "type" is not 0),
//   since the legacy 8250 driver binds ports that have no hardware; virtual consoles (tty0..),
//   the controlling tty, ptmx and pseudo-terminals never count.
// - The system console (/proc/consoles) is listed and marked; the port map never numbers it.
// - Names and strings read from the tree are untrusted: any byte may appear in a by-id name or a
//   USB string. Paths are kept byte for byte (they must open the same file); descriptions, and
//   anything shown to a person, go through PrintableLine.
// - Pure reads of the file system; any thread. Unreadable parts are skipped, never reported.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace talyx::platform {

enum class SerialDeviceKind { UsbSerial, UsbModem, Uart, Bluetooth, Other };

struct DiscoveredSerialDevice {
  std::string Name;        // the kernel's name: ttyUSB0
  std::string DevicePath;  // /dev/ttyUSB0
  std::string StablePath;  // /dev/serial/by-id/usb-..., or "" when the device has none
  SerialDeviceKind Kind = SerialDeviceKind::Other;
  std::string Description;  // one printable line: USB names and serial number, driver
  bool IsConsole = false;

  // The path a port map gives the device: its stable path where there is one, so that the
  // number follows the adapter rather than the order the kernel met the adapters in.
  const std::string& MapPath() const { return StablePath.empty() ? DevicePath : StablePath; }
  bool operator==(const DiscoveredSerialDevice&) const = default;
};

// The serial devices below root, in numbering order: USB serial and USB modem (ACM) devices
// first, then on-board UARTs, Bluetooth and others; within each group by MapPath, numbers in
// names compared by value (ttyS2 before ttyS10).
std::vector<DiscoveredSerialDevice> DiscoverSerialDevices(const std::string& root = "/");

// "ttyS" and digits: the ports the legacy 8250 driver binds whether or not a UART is there.
bool IsLegacyUartName(std::string_view name);

// A short name of the kind in the window's language ("USB 串口", "板载串口", ...).
std::string SerialDeviceKindName(SerialDeviceKind kind);

// The text as one printable line: control characters (line breaks included) and bytes that are
// not UTF-8 become '?'; leading and trailing blanks go.
std::string PrintableLine(std::string_view text);

}  // namespace talyx::platform
