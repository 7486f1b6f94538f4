// Tests of the device-provider registry: which provider a value reaches, and the termios provider.
#include "platform/deviceproviders.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/termiosprovider.h"
#include "support/fakeserialdevice.h"
#include "support/ptypair.h"
#include "support/scopedproviders.h"

namespace talyx::platform {
namespace {

using talyx::testing::FakeSerialDevice;
using talyx::testing::PtyPair;
using talyx::testing::ScopedDeviceProviders;
using talyx::testing::TermiosProviderOnly;

// Claims the values with its scheme, records each value it opens, and opens a fake device.
class SchemeProvider : public DeviceProvider {
 public:
  explicit SchemeProvider(std::string scheme) : scheme_(std::move(scheme)) {}

  bool Claims(const std::string& value) const override { return value.rfind(scheme_, 0) == 0; }
  int Open(const std::string& value, std::unique_ptr<SerialDevice>& device) override {
    Opened.push_back(value);
    auto fake = std::make_unique<FakeSerialDevice>();
    if (const int err = fake->Open(value)) return err;
    device = std::move(fake);
    return 0;
  }

  std::vector<std::string> Opened;

 private:
  std::string scheme_;
};

TEST(DeviceProviders, ValueNoProviderClaimsFailsAsAMissingDevice) {
  PtyPair pty;
  ASSERT_TRUE(pty.Valid());
  std::unique_ptr<SerialDevice> device;
  {
    const ScopedDeviceProviders none{DeviceProviders{}};
    EXPECT_EQ(OpenProvidedDevice(pty.SlavePath(), device), 2);
  }
  const ScopedDeviceProviders termios{TermiosProviderOnly()};
  EXPECT_EQ(OpenProvidedDevice("demo", device), 2);
  EXPECT_EQ(OpenProvidedDevice("tcp://localhost:4000", device), 2);
  EXPECT_EQ(OpenProvidedDevice("", device), 2);
  EXPECT_EQ(device, nullptr);
}

TEST(DeviceProviders, ProviderRegisteredForAFormGetsExactlyItsValues) {
  PtyPair pty;
  ASSERT_TRUE(pty.Valid());
  const ScopedDeviceProviders termios{TermiosProviderOnly()};
  auto scheme = std::make_shared<SchemeProvider>("test://");
  RegisterDeviceProvider(scheme);

  std::unique_ptr<SerialDevice> device;
  ASSERT_EQ(OpenProvidedDevice("test://line-1", device), 0);
  ASSERT_NE(device, nullptr);
  EXPECT_TRUE(device->IsOpen());
  EXPECT_EQ(OpenProvidedDevice(pty.SlavePath(), device), 0);
  EXPECT_EQ(OpenProvidedDevice("test:/line-2", device), 2);
  EXPECT_EQ(OpenProvidedDevice("demo", device), 2);
  EXPECT_EQ(scheme->Opened, std::vector<std::string>{"test://line-1"});
  EXPECT_EQ(DeviceProviderOf("test://line-3"), scheme);
  EXPECT_NE(DeviceProviderOf("/dev/ttyUSB0"), scheme);
}

TEST(TermiosProvider, OpensAPseudoTerminalSlaveExclusively) {
  PtyPair pty;
  ASSERT_TRUE(pty.Valid());
  const ScopedDeviceProviders termios{TermiosProviderOnly()};
  std::unique_ptr<SerialDevice> device;
  ASSERT_EQ(OpenProvidedDevice(pty.SlavePath(), device), 0);
  ASSERT_NE(device, nullptr);

  const uint8_t byte = 'p';
  EXPECT_EQ(device->Write(&byte, 1).Written, 1u);
  EXPECT_EQ(pty.Receive(1), std::vector<uint8_t>{'p'});
  std::unique_ptr<SerialDevice> second;
  EXPECT_EQ(OpenProvidedDevice(pty.SlavePath(), second), 5);
  EXPECT_EQ(second, nullptr);
}

}  // namespace
}  // namespace talyx::platform
