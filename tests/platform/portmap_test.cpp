// Tests of the port map, the section "ports", port descriptions and port availability.
#include "platform/portmap.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "modbus/demodevice.h"
#include "platform/termiosserialdevice.h"
#include "support/ptypair.h"
#include "support/scopedproviders.h"

namespace talyx::platform {
namespace {

using talyx::testing::PtyPair;
using talyx::testing::ScopedDeviceProviders;
using talyx::testing::ScopedPortMap;
using Section = std::vector<std::pair<std::string, std::string>>;

DiscoveredSerialDevice Device(const std::string& name, SerialDeviceKind kind,
                              const std::string& stablePath = "", bool console = false) {
  DiscoveredSerialDevice device;
  device.Name = name;
  device.DevicePath = "/dev/" + name;
  device.StablePath = stablePath;
  device.Kind = kind;
  device.Description = "驱动 test";
  device.IsConsole = console;
  return device;
}

TEST(PortMap, DefaultNumbersDevicesThenTheDemoAndNeverTheConsole) {
  const ScopedDeviceProviders providers{{std::make_shared<modbus::DemoDeviceProvider>()}};
  const std::vector<DiscoveredSerialDevice> devices = {
      Device("ttyUSB0", SerialDeviceKind::UsbSerial, "/dev/serial/by-id/usb-A"),
      Device("ttyS0", SerialDeviceKind::Uart, "", true), Device("ttyS1", SerialDeviceKind::Uart)};
  const PortMap map = PortMap::Default(devices);
  EXPECT_EQ(map.Paths(), (std::map<int, std::string>{
                             {1, "/dev/serial/by-id/usb-A"}, {2, "/dev/ttyS1"}, {3, "demo"}}));
  EXPECT_EQ(map.NumberOf("demo"), 3);
  EXPECT_EQ(map.PathOf(4), "");
  EXPECT_EQ(map.PathOf(0), "");
  EXPECT_EQ(PortMap::Default({Device("ttyS0", SerialDeviceKind::Uart, "", true)}).Paths(),
            (std::map<int, std::string>{{1, "demo"}}));
}

TEST(PortMap, DeviceThatAppearsLaterTakesTheNextFreeNumberOnce) {
  const ScopedDeviceProviders providers{{std::make_shared<modbus::DemoDeviceProvider>()}};
  std::vector<DiscoveredSerialDevice> known = {
      Device("ttyUSB0", SerialDeviceKind::UsbSerial, "/dev/serial/by-id/usb-A"),
      Device("ttyS0", SerialDeviceKind::Uart, "", true)};
  PortMap map = PortMap::Default(known);
  ApplyPortsSection(map, {{"Com1", ""}, {"Com4", "/dev/ttyUSB9"}});
  // usb-A is gone for now, usb-B and an ACM device came; usb-A, unmapped by the section, and
  // the console stay without a number.
  const std::vector<DiscoveredSerialDevice> now = {
      Device("ttyUSB0", SerialDeviceKind::UsbSerial, "/dev/serial/by-id/usb-B"),
      Device("ttyACM0", SerialDeviceKind::UsbModem), known[1]};
  AddNewSerialDevices(map, known, now);
  AddNewSerialDevices(map, known, now);
  EXPECT_EQ(map.Paths(), (std::map<int, std::string>{{1, ""},
                                                     {2, "demo"},
                                                     {3, "/dev/serial/by-id/usb-B"},
                                                     {4, "/dev/ttyUSB9"},
                                                     {5, "/dev/ttyACM0"}}));
  EXPECT_EQ(known.size(), 4u);
}

TEST(PortsSection, KeysInAnyCaseOverrideSingleNumbersInFileOrder) {
  const ScopedDeviceProviders providers{{std::make_shared<modbus::DemoDeviceProvider>()}};
  PortMap map = PortMap::Default({Device("ttyUSB0", SerialDeviceKind::UsbSerial)});
  ApplyPortsSection(map, {{"com2", "/dev/serial/by-id/usb-B"},
                          {"COM1", ""},
                          {"Com4", " Demo "},
                          {"Com7", "/dev/talyx-missing"},
                          {"Com7", "/dev/ttyACM1"},
                          {"Com51", "/dev/ttyS50"},
                          {"Com0", "/dev/ttyS0"},
                          {"Com01", "/dev/ttyS0"},
                          {"Port3", "/dev/ttyS0"},
                          {"Com50", "/dev/talyx-missing"}});
  EXPECT_EQ(map.Paths(), (std::map<int, std::string>{{1, ""},
                                                     {2, "/dev/serial/by-id/usb-B"},
                                                     {4, "demo"},
                                                     {7, "/dev/ttyACM1"},
                                                     {50, "/dev/talyx-missing"}}));
  EXPECT_EQ(map.NumberOf("demo"), 2 + 2);  // the default demo number 2 was replaced by a path
}

TEST(PortsSection, AppliesToTheProcessMapAndItsDescriptions) {
  const ScopedDeviceProviders providers{{std::make_shared<modbus::DemoDeviceProvider>()}};
  ScopedPortMap scoped({{1, "demo"}});
  ApplyPortsSection(Section{{"Com1", "/dev/talyx-missing"}, {"cOm3", "demo"}});
  EXPECT_EQ(PortDevicePath(1), "/dev/talyx-missing");
  EXPECT_EQ(PortNumberOf("demo"), 3);
  EXPECT_EQ(PortDescription(3), "演示设备 (Modbus 从站)");
  EXPECT_EQ(PortDescription(1), "/dev/talyx-missing (不可用)");
  EXPECT_EQ(PortDescription(2), "");
}

TEST(PortDescription, NamesTheDiscoveredDeviceBehindAnyOfItsPaths) {
  const std::vector<DiscoveredSerialDevice> devices = {
      Device("ttyUSB0", SerialDeviceKind::UsbSerial, "/dev/serial/by-id/usb-A"),
      Device("ttyS0", SerialDeviceKind::Uart, "", true)};
  const PortMap map = PortMap::Only({{1, "/dev/serial/by-id/usb-A"}, {2, "/dev/ttyS0"}});
  EXPECT_EQ(PortDescription(map, 1, devices),
            "/dev/serial/by-id/usb-A — USB 串口, 驱动 test (不可用)");
  EXPECT_EQ(
      PortDescription(map, 2, devices).rfind("/dev/ttyS0 — 板载串口, 驱动 test (系统控制台)", 0),
      0u);
}

TEST(PortMap, ScopedReplacementOfTheProcessMapIsUndoneAfterwards) {
  const PortMap before = CurrentPortMap();
  {
    ScopedPortMap scoped({{2, "/dev/ttyUSB1"}});
    EXPECT_EQ(PortDevicePath(2), "/dev/ttyUSB1");
    EXPECT_EQ(PortDevicePath(1), "");
    OverridePortPath(5, "/dev/ttyACM5");
    EXPECT_EQ(PortDevicePath(5), "/dev/ttyACM5");
  }
  EXPECT_EQ(CurrentPortMap(), before);
}

class PortAvailability : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/talyx-portmap-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    plainFile_ = folder_ + "/plain";
    std::FILE* file = std::fopen(plainFile_.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    // A terminal whose name says legacy UART port.
    uartLink_ = folder_ + "/ttyS7";
    std::filesystem::create_symlink(second_.SlavePath(), uartLink_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  const ScopedDeviceProviders providers_{{std::make_shared<modbus::DemoDeviceProvider>()}};
  PtyPair first_, second_;
  std::string folder_, plainFile_, uartLink_;
};

TEST_F(PortAvailability, DemoAndExistingTerminalsInOneToFiftyAreAvailable) {
  ScopedPortMap map({{3, first_.SlavePath()},
                     {7, second_.SlavePath()},
                     {50, "demo"},
                     {51, first_.SlavePath()},
                     {4, "/dev/talyx-no-such-device"},
                     {5, plainFile_},
                     {6, "/dev/null"},
                     {8, folder_}});
  EXPECT_TRUE(IsPortAvailable(3));
  EXPECT_TRUE(IsPortAvailable(7));
  EXPECT_TRUE(IsPortAvailable(50));
  EXPECT_FALSE(IsPortAvailable(6));  // a character device, but no terminal: never opened
  EXPECT_FALSE(IsPortAvailable(51));
  EXPECT_FALSE(IsPortAvailable(0));
  EXPECT_FALSE(IsPortAvailable(4));
  EXPECT_FALSE(IsPortAvailable(5));
  EXPECT_FALSE(IsPortAvailable(8));
  EXPECT_FALSE(IsPortAvailable(1));  // not listed: no device, never /dev/ttyS0
}

TEST_F(PortAvailability, LegacyUartPortCountsOnlyWhenDiscoveryFoundAUart) {
  EXPECT_FALSE(IsDeviceAvailable(uartLink_, {}));
  EXPECT_FALSE(IsDeviceAvailable(uartLink_, {Device("ttyS1", SerialDeviceKind::Uart)}));
  EXPECT_TRUE(IsDeviceAvailable(uartLink_, {Device("ttyS7", SerialDeviceKind::Uart)}));
}

TEST_F(PortAvailability, PortHeldByAnotherOwnerIsAvailableAndUndisturbed) {
  ScopedPortMap map({{3, first_.SlavePath()}});
  TermiosSerialDevice holder;
  ASSERT_EQ(holder.Open(first_.SlavePath()), 0);
  first_.CloseSlave();
  LineSettings settings;
  ASSERT_EQ(holder.GetState(settings), 0);
  settings.BaudRate = 31250;
  ASSERT_EQ(holder.SetState(settings), 0);

  EXPECT_TRUE(IsPortAvailable(3));

  LineSettings after;
  ASSERT_EQ(holder.GetState(after), 0);
  EXPECT_EQ(after, settings);
  TermiosSerialDevice other;
  EXPECT_EQ(other.Open(first_.SlavePath()), 5);
  const uint8_t byte = 'h';
  EXPECT_EQ(holder.Write(&byte, 1).Written, 1u);
  EXPECT_EQ(first_.Receive(1), std::vector<uint8_t>{'h'});
}

}  // namespace
}  // namespace talyx::platform
