// Discovery over a fake sysfs/dev/proc tree, and on this machine (the console is never numbered).
#include "platform/serialdiscovery.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "modbus/demodevice.h"
#include "platform/portmap.h"
#include "support/scopedproviders.h"

namespace talyx::platform {
namespace {

namespace fs = std::filesystem;
using talyx::testing::ScopedDeviceProviders;

// A throw-away root folder with the parts of sysfs, /dev and /proc that discovery reads.
class FakeTree : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("talyx-discovery-" + std::to_string(getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_ / "sys/class/tty");
  }
  void TearDown() override { fs::remove_all(root_); }

  const ScopedDeviceProviders providers_{{std::make_shared<modbus::DemoDeviceProvider>()}};

  void Write(const fs::path& file, const std::string& text) {
    fs::create_directories((root_ / file).parent_path());
    std::ofstream(root_ / file) << text;
  }
  // A relative link at link (below the root) to target (below the root).
  void Link(const fs::path& link, const fs::path& target) {
    fs::create_directories((root_ / link).parent_path());
    fs::create_directories(root_ / target);
    fs::create_symlink(fs::relative(root_ / target, (root_ / link).parent_path()), root_ / link);
  }
  void Driver(const fs::path& deviceFolder, const std::string& driver) {
    Link(deviceFolder / "driver", "sys/bus/drivers/" + driver);
  }
  // A USB device folder with its strings.
  void UsbDevice(const fs::path& folder, const std::string& vendor, const std::string& product,
                 const std::string& manufacturer, const std::string& name,
                 const std::string& serial) {
    Write(folder / "idVendor", vendor + "\n");
    Write(folder / "idProduct", product + "\n");
    if (!manufacturer.empty()) Write(folder / "manufacturer", manufacturer + "\n");
    if (!name.empty()) Write(folder / "product", name + "\n");
    if (!serial.empty()) Write(folder / "serial", serial + "\n");
  }
  void Tty(const std::string& name, const fs::path& deviceFolder) {
    fs::create_directories(root_ / "sys/class/tty" / name);
    if (!deviceFolder.empty()) Link(fs::path("sys/class/tty") / name / "device", deviceFolder);
  }

  // The usual machine: an FTDI adapter with two by-id links, an Arduino (ACM), the console on
  // ttyS0, UARTs on ttyS2 and ttyS10, a UART-less ttyS1, virtual consoles and ptmx.
  void BuildMachine() {
    const fs::path usb = "sys/devices/pci0000:00/usb1";
    UsbDevice(usb / "1-1", "0403", "6001", "FTDI", "FT232R USB UART", "A10K3Q");
    Driver(usb / "1-1/1-1:1.0/ttyUSB0", "ftdi_sio");
    Tty("ttyUSB0", usb / "1-1/1-1:1.0/ttyUSB0");
    Link("dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3Q-if00-port0", "dev/ttyUSB0");
    Link("dev/serial/by-id/zz-second-link", "dev/ttyUSB0");
    UsbDevice(usb / "1-2", "2341", "0043", "Arduino\n(www.arduino.cc)", "", "");
    Driver(usb / "1-2/1-2:1.0", "cdc_acm");
    Tty("ttyACM0", usb / "1-2/1-2:1.0");
    for (const char* name : {"ttyS0", "ttyS1", "ttyS2", "ttyS10"}) {
      Driver(fs::path("sys/devices/platform/serial8250") / name, "serial8250");
      Tty(name, fs::path("sys/devices/platform/serial8250") / name);
    }
    Write("sys/class/tty/ttyS0/type", "4\n");
    Write("sys/class/tty/ttyS1/type", "0\n");
    Write("sys/class/tty/ttyS2/type", "4\n");
    Write("sys/class/tty/ttyS10/type", "4\n");
    for (const char* name : {"tty", "tty0", "tty12", "console", "ptmx"}) Tty(name, {});
    Tty("tty1", "sys/devices/virtual/tty/tty1");  // even with a device folder, not a device
    Write("proc/consoles", "ttyS0                -W- (EC  p a)    4:64\ntty0 -WU (E p ) 4:1\n");
  }

  std::vector<DiscoveredSerialDevice> Discover() const {
    return DiscoverSerialDevices(root_.string());
  }

  fs::path root_;
};

std::vector<std::string> NamesOf(const std::vector<DiscoveredSerialDevice>& devices) {
  std::vector<std::string> names;
  for (const auto& device : devices) names.push_back(device.Name);
  return names;
}

TEST_F(FakeTree, ListsRealDevicesInNumberingOrderWithTheirFacts) {
  BuildMachine();
  const auto devices = Discover();
  ASSERT_EQ(NamesOf(devices),
            (std::vector<std::string>{"ttyUSB0", "ttyACM0", "ttyS0", "ttyS2", "ttyS10"}));

  EXPECT_EQ(devices[0].DevicePath, "/dev/ttyUSB0");
  EXPECT_EQ(devices[0].StablePath, "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3Q-if00-port0");
  EXPECT_EQ(devices[0].MapPath(), devices[0].StablePath);
  EXPECT_EQ(devices[0].Kind, SerialDeviceKind::UsbSerial);
  EXPECT_EQ(devices[0].Description, "FTDI FT232R USB UART, 序列号 A10K3Q, 驱动 ftdi_sio");

  EXPECT_EQ(devices[1].StablePath, "");
  EXPECT_EQ(devices[1].MapPath(), "/dev/ttyACM0");
  EXPECT_EQ(devices[1].Kind, SerialDeviceKind::UsbModem);
  EXPECT_EQ(devices[1].Description, "Arduino, 驱动 cdc_acm");

  EXPECT_TRUE(devices[2].IsConsole);
  EXPECT_EQ(devices[2].Kind, SerialDeviceKind::Uart);
  EXPECT_EQ(devices[2].Description, "驱动 serial8250");
  EXPECT_FALSE(devices[3].IsConsole);

  const PortMap map = PortMap::Default(devices);
  EXPECT_EQ(map.Paths(), (std::map<int, std::string>{{1, devices[0].StablePath},
                                                     {2, "/dev/ttyACM0"},
                                                     {3, "/dev/ttyS2"},
                                                     {4, "/dev/ttyS10"},
                                                     {5, "demo"}}));
}

TEST_F(FakeTree, StrangeAndMissingEntriesNeitherBreakNorLeakIntoText) {
  const fs::path usb = "sys/devices/usb1/1-1";
  UsbDevice(usb, "0403", "6015", "Evil\x1b[2J\xff", "Line1\nLine2", "S\tN");
  Tty("ttyUSB0", usb / "1-1:1.0/ttyUSB0");
  const std::string oddName = "usb-\xff\xfe odd\x01name\x7f";
  Link(fs::path("dev/serial/by-id") / oddName, "dev/ttyUSB0");
  // A tty whose device link leads nowhere, a ttyS with no type file, a by-id link to no tty.
  fs::create_directories(root_ / "sys/class/tty/ttyUSB7");
  fs::create_symlink("../../../devices/gone", root_ / "sys/class/tty/ttyUSB7/device");
  Tty("ttyS4", "sys/devices/platform/serial8250/ttyS4");
  fs::create_symlink("../../nowhere", root_ / "dev/serial/by-id/dangling");

  const auto devices = Discover();
  ASSERT_EQ(NamesOf(devices), std::vector<std::string>{"ttyUSB0"});
  EXPECT_EQ(devices[0].StablePath, "/dev/serial/by-id/" + oddName);  // kept byte for byte
  EXPECT_EQ(devices[0].Description, "Evil?[2J? Line1, 序列号 S?N");
  const PortMap map = PortMap::Default(devices);
  const std::string shown = PortDescription(map, 1, devices);
  EXPECT_EQ(shown.find_first_of(std::string("\x01\x7f\n\xff", 4)), std::string::npos) << shown;
}

TEST_F(FakeTree, EmptyOrAbsentTreeFindsNothingAndDemoIsCom1) {
  EXPECT_TRUE(Discover().empty());
  EXPECT_TRUE(DiscoverSerialDevices((root_ / "no-such-folder").string()).empty());
  EXPECT_EQ(PortMap::Default({}).Paths(), (std::map<int, std::string>{{1, "demo"}}));
}

TEST(PrintableLine, KeepsUtf8AndReplacesControlsAndBrokenBytes) {
  EXPECT_EQ(PrintableLine("  演示 ü ok\t"), "演示 ü ok");
  EXPECT_EQ(PrintableLine("a\nb\rc\x7f"), "a?b?c?");
  EXPECT_EQ(PrintableLine("\xc0\xaf \xed\xa0\x80 \xe4\xb8"), "?? ??? ??");
  EXPECT_EQ(PrintableLine("\xf0\x9f\x98\x80"), "\xf0\x9f\x98\x80");
}

// This machine: the console is listed and marked, and never numbered.
TEST(DiscoveryOnThisMachine, ConsoleIsListedMarkedAndNeverMapped) {
  const ScopedDeviceProviders providers{{std::make_shared<modbus::DemoDeviceProvider>()}};
  std::ifstream consoles("/proc/consoles");
  std::vector<std::string> consoleNames;
  for (std::string line; std::getline(consoles, line);) {
    std::istringstream words(line);
    if (std::string name; words >> name) consoleNames.push_back(name);
  }
  const auto devices = DiscoverSerialDevices();
  const PortMap map = PortMap::Default(devices);
  for (const auto& device : devices) {
    const bool console =
        std::find(consoleNames.begin(), consoleNames.end(), device.Name) != consoleNames.end();
    EXPECT_EQ(device.IsConsole, console) << device.Name;
    for (const auto& [number, path] : map.Paths()) {
      if (console) {
        EXPECT_NE(path, device.MapPath()) << "Com" << number;
      }
    }
  }
  // Where ttyS0 is the console and has a UART (as on the machines this is built on).
  std::string type;
  std::getline(std::ifstream("/sys/class/tty/ttyS0/type"), type);
  const bool ttyS0IsConsole =
      std::find(consoleNames.begin(), consoleNames.end(), "ttyS0") != consoleNames.end();
  if (ttyS0IsConsole && !type.empty() && type != "0") {
    const auto found = std::find_if(devices.begin(), devices.end(),
                                    [](const auto& device) { return device.Name == "ttyS0"; });
    ASSERT_NE(found, devices.end());
    EXPECT_TRUE(found->IsConsole);
    EXPECT_EQ(found->DevicePath, "/dev/ttyS0");
  }
  EXPECT_EQ(map.NumberOf("demo"), static_cast<int>(map.Paths().size()));
}

}  // namespace
}  // namespace talyx::platform
