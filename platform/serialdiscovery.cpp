// DiscoverSerialDevices: sysfs tty entries, by-id links and the console list, read below a root.
//
// libudev is not used: it cannot be pointed at a fake tree for tests, and it needs a running
// udev for most of what is read here; plain reads of sysfs give the same facts.
#include "platform/serialdiscovery.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace talyx::platform {

namespace fs = std::filesystem;

namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool AllDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The first line of a small sysfs or proc file, without its line break; "" when unreadable.
std::string ReadLine(const fs::path& path) {
  std::ifstream file(path);
  std::string line;
  if (file) std::getline(file, line);
  return line;
}

// Virtual consoles, the controlling tty, ptmx and pseudo-terminals: never devices.
bool IsVirtualTerminalName(std::string_view name) {
  if (name == "tty" || name == "console" || name == "ptmx") return true;
  if (StartsWith(name, "tty") && AllDigits(name.substr(3))) return true;
  return StartsWith(name, "pty") || StartsWith(name, "ttyp") || StartsWith(name, "pts");
}

SerialDeviceKind KindOfName(std::string_view name) {
  if (StartsWith(name, "ttyUSB")) return SerialDeviceKind::UsbSerial;
  if (StartsWith(name, "ttyACM")) return SerialDeviceKind::UsbModem;
  if (StartsWith(name, "rfcomm")) return SerialDeviceKind::Bluetooth;
  for (std::string_view uart : {"ttyS", "ttyAMA", "ttymxc", "ttySAC", "ttyO", "ttyTHS", "ttyMSM",
                                "ttyHS", "ttySC", "ttyMV", "ttyLP"}) {
    if (StartsWith(name, uart)) return SerialDeviceKind::Uart;
  }
  return SerialDeviceKind::Other;
}

// A ttyS* is a device only when the kernel found a UART there: its "type" is a number above 0.
bool HasUart(const fs::path& entry) {
  const std::string type = ReadLine(entry / "type");
  return AllDigits(type) && type.find_first_not_of('0') != std::string::npos;
}

struct UsbStrings {
  std::string Manufacturer, Product, Serial, VendorId, ProductId;
};

// The USB device above the tty's device folder (the interface, or the usb-serial port below
// it): the first folder up with an idVendor file, searched a few levels and never above root.
bool FindUsbStrings(const fs::path& deviceFolder, const fs::path& root, UsbStrings& usb) {
  std::error_code error;
  fs::path folder = fs::canonical(deviceFolder, error);
  if (error) return false;
  const fs::path top = fs::canonical(root, error);
  if (error) return false;
  for (int level = 0; level < 5 && folder.has_relative_path() && folder != top; ++level) {
    if (fs::exists(folder / "idVendor", error)) {
      usb.Manufacturer = PrintableLine(ReadLine(folder / "manufacturer"));
      usb.Product = PrintableLine(ReadLine(folder / "product"));
      usb.Serial = PrintableLine(ReadLine(folder / "serial"));
      usb.VendorId = PrintableLine(ReadLine(folder / "idVendor"));
      usb.ProductId = PrintableLine(ReadLine(folder / "idProduct"));
      return true;
    }
    folder = folder.parent_path();
  }
  return false;
}

std::string DriverOf(const fs::path& entry) {
  std::error_code error;
  const fs::path driver = fs::read_symlink(entry / "device" / "driver", error);
  return error ? std::string() : PrintableLine(driver.filename().string());
}

std::string DescriptionOf(const fs::path& entry, const fs::path& root) {
  std::vector<std::string> parts;
  UsbStrings usb;
  if (FindUsbStrings(entry / "device", root, usb)) {
    std::string names = usb.Manufacturer;
    if (!usb.Product.empty()) names += (names.empty() ? "" : " ") + usb.Product;
    if (names.empty()) names = "USB " + usb.VendorId + ":" + usb.ProductId;
    parts.push_back(names);
    if (!usb.Serial.empty()) parts.push_back("序列号 " + usb.Serial);
  }
  if (const std::string driver = DriverOf(entry); !driver.empty()) {
    parts.push_back("驱动 " + driver);
  }
  std::string description;
  for (const std::string& part : parts) description += (description.empty() ? "" : ", ") + part;
  return description;
}

// The kernel names of the system consoles: the first word of each line of /proc/consoles.
std::vector<std::string> ConsoleNames(const fs::path& root) {
  std::ifstream file(root / "proc" / "consoles");
  std::vector<std::string> names;
  std::string line;
  while (std::getline(file, line)) {
    std::istringstream words(line);
    std::string name;
    if (words >> name) names.push_back(name);
  }
  return names;
}

// Kernel name to its by-id path; of several links to one device, the first by name.
std::map<std::string, std::string> StablePaths(const fs::path& root) {
  std::map<std::string, std::string> paths;
  std::error_code error;
  for (fs::directory_iterator it(root / "dev" / "serial" / "by-id", error), end;
       !error && it != end; it.increment(error)) {
    std::error_code linkError;
    const fs::path target = fs::read_symlink(it->path(), linkError);
    if (linkError) continue;
    const std::string name = target.filename().string();
    const std::string path = "/dev/serial/by-id/" + it->path().filename().string();
    auto [place, added] = paths.emplace(name, path);
    if (!added && path < place->second) place->second = path;
  }
  return paths;
}

int GroupOf(SerialDeviceKind kind) {
  switch (kind) {
    case SerialDeviceKind::UsbSerial:
    case SerialDeviceKind::UsbModem:
      return 0;
    case SerialDeviceKind::Uart:
      return 1;
    case SerialDeviceKind::Bluetooth:
      return 2;
    case SerialDeviceKind::Other:
      break;
  }
  return 3;
}

// Text order in which runs of digits compare by their value: ttyS2 before ttyS10.
bool NaturalLess(const std::string& a, const std::string& b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (std::isdigit(static_cast<unsigned char>(a[i])) &&
        std::isdigit(static_cast<unsigned char>(b[j]))) {
      size_t ei = i, ej = j;
      while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei]))) ++ei;
      while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej]))) ++ej;
      std::string_view da(a.data() + i, ei - i), db(b.data() + j, ej - j);
      while (da.size() > 1 && da.front() == '0') da.remove_prefix(1);
      while (db.size() > 1 && db.front() == '0') db.remove_prefix(1);
      if (da.size() != db.size()) return da.size() < db.size();
      if (da != db) return da < db;
      i = ei;
      j = ej;
    } else {
      if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
      ++i;
      ++j;
    }
  }
  if (a.size() - i != b.size() - j) return a.size() - i < b.size() - j;
  return a < b;
}

}  // namespace

std::vector<DiscoveredSerialDevice> DiscoverSerialDevices(const std::string& root) {
  const fs::path rootPath(root);
  const std::vector<std::string> consoles = ConsoleNames(rootPath);
  const std::map<std::string, std::string> stablePaths = StablePaths(rootPath);

  std::vector<DiscoveredSerialDevice> devices;
  std::error_code error;
  for (fs::directory_iterator it(rootPath / "sys" / "class" / "tty", error), end;
       !error && it != end; it.increment(error)) {
    const fs::path entry = it->path();
    const std::string name = entry.filename().string();
    if (IsVirtualTerminalName(name)) continue;
    const SerialDeviceKind kind = KindOfName(name);
    std::error_code linkError;
    const bool hasDevice = fs::exists(entry / "device", linkError);
    // A bound RFCOMM channel is a virtual tty with no device folder of its own.
    if (!hasDevice && kind != SerialDeviceKind::Bluetooth) continue;
    if (IsLegacyUartName(name) && !HasUart(entry)) continue;

    DiscoveredSerialDevice device;
    device.Name = name;
    device.DevicePath = "/dev/" + name;
    if (auto found = stablePaths.find(name); found != stablePaths.end()) {
      device.StablePath = found->second;
    }
    device.Kind = kind;
    device.Description = DescriptionOf(entry, rootPath);
    device.IsConsole = std::find(consoles.begin(), consoles.end(), name) != consoles.end();
    devices.push_back(std::move(device));
  }
  std::sort(devices.begin(), devices.end(), [](const auto& a, const auto& b) {
    if (GroupOf(a.Kind) != GroupOf(b.Kind)) return GroupOf(a.Kind) < GroupOf(b.Kind);
    return NaturalLess(a.MapPath(), b.MapPath());
  });
  return devices;
}

bool IsLegacyUartName(std::string_view name) {
  return StartsWith(name, "ttyS") && AllDigits(name.substr(4));
}

std::string SerialDeviceKindName(SerialDeviceKind kind) {
  switch (kind) {
    case SerialDeviceKind::UsbSerial:
      return "USB 串口";
    case SerialDeviceKind::UsbModem:
      return "USB 调制解调器 (ACM)";
    case SerialDeviceKind::Uart:
      return "板载串口";
    case SerialDeviceKind::Bluetooth:
      return "蓝牙串口";
    case SerialDeviceKind::Other:
      break;
  }
  return "其他串口";
}

std::string PrintableLine(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  text = text.substr(first, text.find_last_not_of(" \t") - first + 1);
  std::string line;
  line.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const auto byte = static_cast<unsigned char>(text[i]);
    size_t length = byte < 0x80           ? 1
                    : (byte >> 5) == 0x6  ? 2
                    : (byte >> 4) == 0xE  ? 3
                    : (byte >> 3) == 0x1E ? 4
                                          : 0;
    bool valid = length != 0 && i + length <= text.size();
    for (size_t k = 1; valid && k < length; ++k) {
      valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
    }
    // Overlong forms and values past U+10FFFF or in the surrogate range are not UTF-8 either.
    if (valid && length == 2) valid = byte >= 0xC2;
    if (valid && length == 3) {
      const auto next = static_cast<unsigned char>(text[i + 1]);
      valid = !(byte == 0xE0 && next < 0xA0) && !(byte == 0xED && next >= 0xA0);
    }
    if (valid && length == 4) {
      const auto next = static_cast<unsigned char>(text[i + 1]);
      valid = byte <= 0xF4 && !(byte == 0xF0 && next < 0x90) && !(byte == 0xF4 && next >= 0x90);
    }
    if (!valid) {
      line += '?';
      ++i;
    } else if (length == 1 && (byte < 0x20 || byte == 0x7F)) {
      line += '?';
      ++i;
    } else {
      line.append(text.substr(i, length));
      i += length;
    }
  }
  return line;
}

}  // namespace talyx::platform
