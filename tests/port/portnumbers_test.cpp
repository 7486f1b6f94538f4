// Port numbers end to end: with no "ports" mapping Com1 on this machine opens the demo device, and
// the availability list, open by number and a "ports" section agree on what a number opens.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "modbus/demodevice.h"
#include "platform/portmap.h"
#include "platform/termiosprovider.h"
#include "port/comport.h"
#include "porttesting.h"
#include "support/ptypair.h"
#include "support/scopedproviders.h"

namespace talyx::testing {
namespace {

using Bytes = std::vector<uint8_t>;

class PortNumbers : public ::testing::Test {
 protected:
  void TearDown() override { ForgetTriggerEvents(port); }

  // Sends a request on the port and returns the first count bytes that come back.
  Bytes Exchange(const Bytes& request, size_t count) {
    received.clear();
    port.SetOnTrigger([this](TCustomComPort& CP, uint16_t Msg, uint16_t, uint16_t Data) {
      if (Msg != TriggerAvailMsg) return;
      for (uint16_t i = 0; i < Data; ++i) received.push_back(static_cast<uint8_t>(CP.GetChar()));
    });
    port.PutBlock(request.data(), static_cast<uint16_t>(request.size()));
    loop.Until([&] { return received.size() >= count; });
    return received;
  }

  ScopedDeviceProviders providers{{std::make_shared<platform::TermiosDeviceProvider>(),
                                   std::make_shared<modbus::DemoDeviceProvider>()}};
  MainThreadLoop loop;
  AppHookRecorder hooks;
  ScopedPortMap map;  // puts back whatever map the test leaves
  Bytes received;
  TComPort port;
};

const Bytes ReadTwo = {0x01, 0x03, 0x00, 0x00, 0x00, 0x02, 0xC4, 0x0B};
const Bytes ReadTwoReply = {0x01, 0x03, 0x04, 0x00, 0x0A, 0x00, 0x14, 0xDA, 0x3E};

TEST_F(PortNumbers, WithNoPortsMappingCom1OnThisMachineOpensTheDemoDevice) {
  platform::ReplacePortMap(platform::PortMap::Default(platform::DiscoverSerialDevices()));
  // Only the demo device is mapped on this machine (its one serial port is the console).
  ASSERT_EQ(platform::CurrentPortMap().Paths(), (std::map<int, std::string>{{1, "demo"}}));
  EXPECT_TRUE(platform::IsPortAvailable(1));

  port.SetComNumber(1);
  port.SetOpen(true);
  EXPECT_EQ(Exchange(ReadTwo, 9), ReadTwoReply);
  // Write holding register 1 = 0x1234, then close and reopen: the value stays.
  EXPECT_EQ(Exchange({0x01, 0x06, 0x00, 0x01, 0x12, 0x34, 0xD5, 0x7D}, 8),
            (Bytes{0x01, 0x06, 0x00, 0x01, 0x12, 0x34, 0xD5, 0x7D}));
  port.SetOpen(false);
  port.SetOpen(true);
  EXPECT_EQ(Exchange(ReadTwo, 9), (Bytes{0x01, 0x03, 0x04, 0x00, 0x0A, 0x12, 0x34, 0xD7, 0x46}));
  // Put the value back for other tests of this process.
  Exchange({0x01, 0x06, 0x00, 0x01, 0x00, 0x14, 0xD8, 0x05}, 8);
  port.SetOpen(false);
  EXPECT_TRUE(hooks.Shown.empty());
}

TEST_F(PortNumbers, AvailabilityOpenByNumberAndPortsSectionAgree) {
  PtyPair pty;
  ASSERT_TRUE(pty.Valid());
  platform::ReplacePortMap(platform::PortMap::Only({{1, "demo"}, {3, "/dev/talyx-missing"}}));
  platform::ApplyPortsSection(
      {{"COM1", ""}, {"com3", pty.SlavePath()}, {"Com5", "demo"}, {"Com7", "/dev/talyx-missing"}});

  std::vector<int> available;
  for (int n = platform::FirstProbedPort; n <= platform::LastProbedPort; ++n) {
    if (platform::IsPortAvailable(n)) available.push_back(n);
  }
  EXPECT_EQ(available, (std::vector<int>{3, 5}));
  EXPECT_EQ(platform::PortDescription(3).rfind(pty.SlavePath(), 0), 0u);
  EXPECT_EQ(platform::PortDescription(7), "/dev/talyx-missing (不可用)");

  port.SetComNumber(3);
  port.SetOpen(true);
  port.PutString("to three");
  EXPECT_EQ(pty.Receive(8), (Bytes{'t', 'o', ' ', 't', 'h', 'r', 'e', 'e'}));
  port.SetOpen(false);

  port.SetComNumber(5);
  port.SetOpen(true);
  EXPECT_EQ(Exchange(ReadTwo, 9), ReadTwoReply);
  port.SetOpen(false);

  port.SetComNumber(1);
  EXPECT_THROW(port.SetOpen(true), ECommException);
  EXPECT_FALSE(port.Open());
}

}  // namespace
}  // namespace talyx::testing
