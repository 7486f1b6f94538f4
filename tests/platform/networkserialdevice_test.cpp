// NetworkSerialDevice through ser2net: raw TCP and RFC 2217, failures, loss.
#include "platform/networkserialdevice.h"

#include <gtest/gtest.h>
#include <termios.h>

#include <chrono>
#include <memory>
#include <thread>

#include "platform/devicediagnosis.h"
#include "platform/networkprovider.h"
#include "platform/platformerror.h"
#include "support/ptypair.h"
#include "support/scopedproviders.h"
#include "support/ser2netserver.h"

namespace talyx::platform {
namespace {

using testing::PtyPair;
using testing::Ser2netServer;
using Clock = std::chrono::steady_clock;

// Reads from device until count bytes came, it is gone, or five seconds passed.
std::vector<uint8_t> ReadFrom(SerialDevice& device, size_t count) {
  std::vector<uint8_t> got;
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  while (got.size() < count && Clock::now() < deadline) {
    uint8_t buffer[4096];
    const long n = device.Read(buffer, sizeof buffer);
    if (n < 0) break;
    got.insert(got.end(), buffer, buffer + n);
    if (n == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return got;
}

// Writes all bytes, waiting for room.
bool WriteAll(SerialDevice& device, const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  while (done < bytes.size() && Clock::now() < deadline) {
    const WriteOutcome outcome = device.Write(bytes.data() + done, bytes.size() - done);
    if (outcome.Error != 0) return false;
    done += outcome.Written;
    if (outcome.Written == 0) device.WaitWritable(100);
  }
  return done == bytes.size();
}

std::vector<uint8_t> EveryByteValue() {
  std::vector<uint8_t> bytes;
  for (int round = 0; round < 4; ++round) {
    for (int value = 0; value < 256; ++value) bytes.push_back(static_cast<uint8_t>(value));
  }
  return bytes;
}

class NetworkPortTest : public ::testing::Test {
 protected:
  NetworkPortTest() : providers_({provider_}) {}

  int Open(const std::string& value, std::unique_ptr<SerialDevice>& device) {
    return OpenProvidedDevice(value, device);
  }
  std::string Detail(const std::string& value, int error) {
    return DiagnoseOpenFailure(value, error).Detail;
  }

  std::shared_ptr<NetworkDeviceProvider> provider_ = std::make_shared<NetworkDeviceProvider>();
  testing::ScopedDeviceProviders providers_;
  PtyPair pty_;
};

TEST_F(NetworkPortTest, RawPortCarriesEveryByteValueBothWays) {
  Ser2netServer server("tcp", pty_.SlavePath());
  std::unique_ptr<SerialDevice> device;
  ASSERT_EQ(Open(server.Value(), device), 0);
  const std::vector<uint8_t> bytes = EveryByteValue();
  ASSERT_TRUE(WriteAll(*device, bytes));
  EXPECT_EQ(pty_.Receive(bytes.size()), bytes);
  ASSERT_TRUE(pty_.Send(bytes));
  EXPECT_EQ(ReadFrom(*device, bytes.size()), bytes);
}

TEST_F(NetworkPortTest, RefusedConnectionIsAMissingDeviceWithItsCause) {
  const std::string value = "tcp://127.0.0.1:" + std::to_string(testing::FreeTcpPort());
  std::unique_ptr<SerialDevice> device;
  EXPECT_EQ(Open(value, device), PeFileNotFound);
  EXPECT_EQ(device, nullptr);
  EXPECT_NE(Detail(value, PeFileNotFound).find("连接被拒绝"), std::string::npos);
}

TEST_F(NetworkPortTest, UnknownHostIsAMissingDeviceWithItsCause) {
  const std::string value = "tcp://no-such-host.invalid:2000";
  std::unique_ptr<SerialDevice> device;
  EXPECT_EQ(Open(value, device), PeFileNotFound);
  EXPECT_NE(Detail(value, PeFileNotFound).find("找不到主机"), std::string::npos);
}

TEST_F(NetworkPortTest, SecondClientGetsInUseWithTheServersText) {
  for (const char* accepter : {"tcp", "telnet(rfc2217),tcp"}) {
    Ser2netServer server(accepter, pty_.SlavePath());
    std::unique_ptr<SerialDevice> first;
    ASSERT_EQ(Open(server.Value(), first), 0);
    std::unique_ptr<SerialDevice> second;
    EXPECT_EQ(Open(server.Value(), second), PeAccessDenied) << accepter;
    EXPECT_EQ(Detail(server.Value(), PeAccessDenied), "服务器：Port already in use") << accepter;
  }
}

TEST_F(NetworkPortTest, ServerThatCannotOpenItsDeviceGivesAMissingDevice) {
  Ser2netServer server("tcp", "/dev/talyx-no-such-device");
  std::unique_ptr<SerialDevice> device;
  EXPECT_EQ(Open(server.Value(), device), PeFileNotFound);
  EXPECT_NE(Detail(server.Value(), PeFileNotFound).find("服务器：Device open failure"),
            std::string::npos);
}

TEST_F(NetworkPortTest, KilledServerIsALossAfterEveryByteSentBefore) {
  Ser2netServer server("tcp", pty_.SlavePath());
  std::unique_ptr<SerialDevice> device;
  ASSERT_EQ(Open(server.Value(), device), 0);
  device->SetEventMask(EventMaskNT);
  const std::vector<uint8_t> bytes = EveryByteValue();
  ASSERT_TRUE(pty_.Send(bytes));
  // The bytes reach the socket before the server dies: the event wait reports them.
  uint32_t events = 0;
  ASSERT_TRUE(device->WaitEvent(events));
  EXPECT_TRUE(events & EvRxChar);
  DeviceStatus status;
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  while (device->ClearErrors(status) == 0 && status.InQueue < bytes.size() &&
         Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ASSERT_EQ(status.InQueue, bytes.size());
  server.Kill();
  const auto killed = Clock::now();
  // As the dispatch thread does: read on every event until the wait ends, then what is left.
  std::vector<uint8_t> got;
  while (device->WaitEvent(events) && Clock::now() - killed < std::chrono::seconds(5)) {
    uint8_t buffer[512];
    if (const long n = device->Read(buffer, sizeof buffer); n > 0)
      got.insert(got.end(), buffer, buffer + n);
  }
  EXPECT_LT(Clock::now() - killed, std::chrono::seconds(2));
  const std::vector<uint8_t> rest = ReadFrom(*device, bytes.size());
  got.insert(got.end(), rest.begin(), rest.end());
  EXPECT_TRUE(device->HasGone());
  EXPECT_EQ(got, bytes);
}

}  // namespace
}  // namespace talyx::platform
