// NetworkSerialDevice through ser2net: raw TCP and RFC 2217, failures, loss.
#include "platform/networkserialdevice.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "platform/devicediagnosis.h"
#include "platform/networkprovider.h"
#include "platform/platformerror.h"
#include "platform/portmap.h"
#include "platform/termios2settings.h"
#include "support/ptypair.h"
#include "support/rfc2217server.h"
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

int SocketOption(int descriptor, int level, int name) {
  int value = -1;
  socklen_t size = sizeof value;
  return getsockopt(descriptor, level, name, &value, &size) == 0 ? value : -1;
}

TEST_F(NetworkPortTest, ConnectionsProbeASilentServerAndBoundUnacknowledgedWrites) {
  Ser2netServer server("tcp", pty_.SlavePath());
  const NetworkConnection connection =
      ConnectToServer(*ParseNetworkAddress(server.Value()), ConnectTimeoutMs);
  ASSERT_GE(connection.Descriptor, 0);
  const int socket = connection.Descriptor;
  EXPECT_EQ(SocketOption(socket, SOL_SOCKET, SO_KEEPALIVE), 1);
  EXPECT_EQ(SocketOption(socket, IPPROTO_TCP, TCP_KEEPIDLE), 5);
  EXPECT_EQ(SocketOption(socket, IPPROTO_TCP, TCP_KEEPINTVL), 1);
  EXPECT_EQ(SocketOption(socket, IPPROTO_TCP, TCP_KEEPCNT), 5);
  EXPECT_EQ(SocketOption(socket, IPPROTO_TCP, TCP_USER_TIMEOUT), 10000);
  EXPECT_EQ(SocketOption(socket, IPPROTO_TCP, TCP_NODELAY), 1);
}

TEST_F(NetworkPortTest, MappingDescribingAndAvailabilityNeverConnect) {
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 4), 0);
  ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size), 0);
  const std::string value = "rfc2217://127.0.0.1:" + std::to_string(ntohs(address.sin_port));

  testing::ScopedPortMap map;
  ApplyPortsSection({{"Com7", value}});
  EXPECT_EQ(PortDevicePath(7), value);
  EXPECT_TRUE(IsPortAvailable(7));
  EXPECT_EQ(PortDescription(7),
            "127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + " — 网络串口 (RFC 2217)");
  pollfd fd{listener, POLLIN, 0};
  EXPECT_EQ(poll(&fd, 1, 100), 0);
  close(listener);
}

// Turns the loopback interface of the calling process's network namespace on or off.
bool SetLoopback(bool up) {
  const int control = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ifreq request{};
  std::snprintf(request.ifr_name, sizeof request.ifr_name, "lo");
  bool done = ioctl(control, SIOCGIFFLAGS, &request) == 0;
  request.ifr_flags =
      static_cast<short>(up ? request.ifr_flags | IFF_UP : request.ifr_flags & ~IFF_UP);
  done = done && ioctl(control, SIOCSIFFLAGS, &request) == 0;
  close(control);
  return done;
}

// In a child process with a network namespace of its own: a connection whose packets stop
// (loopback switched off) is a lost device once the keep-alive probes go unanswered. Exit
// status 0 when the loss came between 8 and 14 s after the silence began.
int LoseConnectionSilently() {
  if (unshare(CLONE_NEWNET) != 0 || !SetLoopback(true)) return 10;
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, 1) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    return 11;
  }
  NetworkSerialDevice device(NetworkScheme::Raw);
  if (device.Open("tcp://127.0.0.1:" + std::to_string(ntohs(address.sin_port))) != 0) return 12;
  device.SetEventMask(EventMaskNT);
  if (!SetLoopback(false)) return 13;
  const auto silent = Clock::now();
  uint32_t events = 0;
  while (device.WaitEvent(events) && Clock::now() - silent < std::chrono::seconds(30)) {
  }
  const auto after = Clock::now() - silent;
  if (!device.HasGone()) return 14;
  return after > std::chrono::seconds(8) && after < std::chrono::seconds(14) ? 0 : 15;
}

TEST_F(NetworkPortTest, ADeadConnectionIsALossOnceTheKeepAliveGivesUp) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(LoseConnectionSilently());
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "10-13: no namespace of its own (run as root), 14: no "
                                       "loss, 15: the loss came too early or too late";
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

// Reads (and so decodes the server's answers) until settings read back as wanted.
bool ReadsBack(SerialDevice& device, const std::function<bool(const LineSettings&)>& wanted) {
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  LineSettings settings;
  while (Clock::now() < deadline) {
    uint8_t buffer[64];
    device.Read(buffer, sizeof buffer);
    if (device.GetState(settings) == 0 && wanted(settings)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return false;
}

// Waits until the served pseudo-terminal's line is as wanted.
bool LineBecomes(int slave, const std::function<bool(const TermiosLine&)>& wanted) {
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  TermiosLine line;
  while (Clock::now() < deadline) {
    if (ReadTermiosLine(slave, line) == 0 && wanted(line)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

TEST_F(NetworkPortTest, Rfc2217SettingsReachTheServedLineAndReadBack) {
  Ser2netServer server("telnet(rfc2217),tcp", pty_.SlavePath());
  std::unique_ptr<SerialDevice> device;
  ASSERT_EQ(Open(server.Value(), device), 0);
  LineSettings settings;
  settings.BaudRate = 14400;
  settings.StopBits = TwoStopBits;
  settings.OutxCtsFlow = true;
  settings.RtsControl = RtsControl::Handshake;
  ASSERT_EQ(device->SetState(settings), 0);
  EXPECT_TRUE(LineBecomes(pty_.Slave(), [](const TermiosLine& line) {
    return line.BaudRate == 14400 && line.TwoStopBits && line.HardwareFlow;
  }));
  EXPECT_TRUE(ReadsBack(*device, [](const LineSettings& s) {
    return s.BaudRate == 14400 && s.StopBits == TwoStopBits && s.OutxCtsFlow;
  }));

  settings.BaudRate = 19200;
  settings.StopBits = OneStopBit;
  settings.OutxCtsFlow = false;
  settings.RtsControl = RtsControl::Enabled;
  settings.OutX = true;
  settings.InX = true;
  ASSERT_EQ(device->SetState(settings), 0);
  EXPECT_TRUE(LineBecomes(pty_.Slave(), [](const TermiosLine& line) {
    return line.BaudRate == 19200 && !line.TwoStopBits && !line.HardwareFlow && line.OutX &&
           line.InX;
  }));
}

TEST_F(NetworkPortTest, Rfc2217CarriesEveryByteValueBothWays) {
  Ser2netServer server("telnet(rfc2217),tcp", pty_.SlavePath());
  std::unique_ptr<SerialDevice> device;
  ASSERT_EQ(Open(server.Value(), device), 0);
  const std::vector<uint8_t> bytes = EveryByteValue();
  ASSERT_TRUE(WriteAll(*device, bytes));
  EXPECT_EQ(pty_.Receive(bytes.size()), bytes);
  ASSERT_TRUE(pty_.Send(bytes));
  EXPECT_EQ(ReadFrom(*device, bytes.size()), bytes);
}

namespace telnet = rfc2217;

bool IsControl(const telnet::Event& event, uint32_t value) {
  return event.Command == telnet::SetControl && event.Value == value;
}

class Rfc2217ServerTest : public NetworkPortTest {
 protected:
  testing::Rfc2217Server server_;
};

TEST_F(Rfc2217ServerTest, SettingsGoInOrderAndTheAnswersAreTheReadBack) {
  std::unique_ptr<SerialDevice> device;
  ASSERT_EQ(Open(server_.Value(), device), 0);
  LineSettings settings;
  settings.BaudRate = 4800;
  settings.ByteSize = 7;
  settings.Parity = EvenParity;
  settings.DtrControl = DtrControl::Disabled;
  ASSERT_EQ(device->SetState(settings), 0);
  ASSERT_TRUE(server_.WaitForCommand(
      [](const telnet::Event& e) { return e.Command == telnet::SetModemstateMask; }));
  const std::vector<telnet::Event> commands = server_.Commands();
  ASSERT_GE(commands.size(), 4u);
  EXPECT_EQ(commands[0].Command, telnet::SetBaudrate);
  EXPECT_EQ(commands[0].Value, 4800u);
  EXPECT_EQ(commands[1].Command, telnet::SetDatasize);
  EXPECT_EQ(commands[1].Value, 7u);
  EXPECT_EQ(commands[2].Command, telnet::SetParity);
  EXPECT_EQ(commands[2].Value, telnet::ParityEven);
  EXPECT_EQ(commands[3].Command, telnet::SetStopsize);
  EXPECT_TRUE(server_.WaitForCommand(
      [](const telnet::Event& e) { return IsControl(e, telnet::ControlDtrOff); }));
  EXPECT_TRUE(server_.WaitForCommand(
      [](const telnet::Event& e) { return IsControl(e, telnet::ControlRtsOn); }));
  EXPECT_TRUE(ReadsBack(*device, [](const LineSettings& s) {
    return s.BaudRate == 4800 && s.ByteSize == 7 && s.Parity == EvenParity;
  }));
}

TEST_F(Rfc2217ServerTest, ModemLinesEscapesAndPurgesAreCommands) {
  std::unique_ptr<SerialDevice> device;
  ASSERT_EQ(Open(server_.Value(), device), 0);
  ASSERT_EQ(device->Escape(EscSetDtr), 0);
  ASSERT_EQ(device->Escape(EscClrRts), 0);
  ASSERT_EQ(device->Purge(PurgeQueue::Output), 0);
  EXPECT_TRUE(server_.WaitForCommand(
      [](const telnet::Event& e) { return IsControl(e, telnet::ControlDtrOn); }));
  EXPECT_TRUE(server_.WaitForCommand(
      [](const telnet::Event& e) { return IsControl(e, telnet::ControlRtsOff); }));
  EXPECT_TRUE(server_.WaitForCommand([](const telnet::Event& e) {
    return e.Command == telnet::PurgeData && e.Value == telnet::PurgeTransmit;
  }));
}

TEST_F(Rfc2217ServerTest, UnansweredControlsNeitherHangNorFailTheSettings) {
  server_.IgnoreControls(
      {telnet::ControlDtrOn, telnet::ControlDtrOff, telnet::ControlRtsOn, telnet::ControlRtsOff});
  std::unique_ptr<SerialDevice> device;
  ASSERT_EQ(Open(server_.Value(), device), 0);
  const auto start = Clock::now();
  EXPECT_EQ(device->SetState(LineSettings{}), 0);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
  EXPECT_TRUE(ReadsBack(*device, [](const LineSettings& s) { return s.BaudRate == 9600; }));
  // The event waiter says so once, a while later.
  device->SetEventMask(EventMaskNT);
  std::string notice;
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  while (notice.empty() && Clock::now() < deadline) {
    uint32_t events = 0;
    device->SetEventMask(EventMaskNT);
    std::thread stopper([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      device->SetEventMask(0);
    });
    device->WaitEvent(events);
    stopper.join();
    notice = provider_->TakeNotice(server_.Value());
  }
  EXPECT_EQ(notice, "服务器未确认 DTR/RTS 的设置，已继续");
}

TEST_F(Rfc2217ServerTest, NotificationsAreModemLinesAndLineErrors) {
  std::unique_ptr<SerialDevice> device;
  ASSERT_EQ(Open(server_.Value(), device), 0);
  device->SetEventMask(EventMaskNT);
  std::vector<uint8_t> notes;
  telnet::AppendComPort(notes, telnet::NotifyModemstate + telnet::ServerOffset, 0xB3);
  telnet::AppendComPort(notes, telnet::NotifyLinestate + telnet::ServerOffset, 0x1F);
  server_.SendRaw(notes);
  uint32_t seen = 0;
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  while ((seen & (EvCts | EvDsr | EvRlsd | EvErr | EvBreak)) !=
             (EvCts | EvDsr | EvRlsd | EvErr | EvBreak) &&
         Clock::now() < deadline) {
    uint32_t events = 0;
    ASSERT_TRUE(device->WaitEvent(events));
    seen |= events;
    uint8_t buffer[16];
    EXPECT_EQ(device->Read(buffer, sizeof buffer), 0);
  }
  EXPECT_EQ(seen & EvRing, 0u);
  uint32_t lines = 0;
  ASSERT_EQ(device->ModemStatus(lines), 0);
  EXPECT_EQ(lines, ModemDcd | ModemDsr | ModemCts);
  DeviceStatus status;
  ASSERT_EQ(device->ClearErrors(status), 0);
  EXPECT_EQ(status.Errors, CeOverrun | CeRxParity | CeFrame | CeBreak);
  ASSERT_EQ(device->ClearErrors(status), 0);
  EXPECT_EQ(status.Errors, 0u);
}

TEST_F(Rfc2217ServerTest, SuspendHoldsTheOutputUntilResume) {
  std::unique_ptr<SerialDevice> device;
  ASSERT_EQ(Open(server_.Value(), device), 0);
  std::vector<uint8_t> suspend;
  telnet::AppendComPort(suspend, telnet::FlowcontrolSuspend + telnet::ServerOffset, 0, 0);
  server_.SendRaw(suspend);
  EXPECT_TRUE(ReadsBack(*device, [&](const LineSettings&) {
    const uint8_t byte = 0x55;
    return device->Write(&byte, 1).Written == 0;
  }));
  EXPECT_FALSE(device->WaitWritable(50));
  std::vector<uint8_t> resume;
  telnet::AppendComPort(resume, telnet::FlowcontrolResume + telnet::ServerOffset, 0, 0);
  server_.SendRaw(resume);
  EXPECT_TRUE(ReadsBack(*device, [&](const LineSettings&) { return device->WaitWritable(0); }));
  ASSERT_TRUE(WriteAll(*device, {0xFF, 0x01}));
  EXPECT_TRUE(server_.WaitForData(2));
  EXPECT_EQ(server_.Data(), (std::vector<uint8_t>{0xFF, 0x01}));
}

TEST_F(NetworkPortTest, EveryDoubledByteArrivesWholeAfterTheSocketFilledUp) {
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 1), 0);
  ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size), 0);
  NetworkSerialDevice device(NetworkScheme::Rfc2217);
  ASSERT_EQ(device.Open("rfc2217://127.0.0.1:" + std::to_string(ntohs(address.sin_port))), 0);
  const int server = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  ASSERT_GE(server, 0);
  // 0xFF only, written until the socket takes no more, the server reading nothing meanwhile.
  const std::vector<uint8_t> ones(1000, 0xFF);
  size_t written = 0;
  for (WriteOutcome outcome; (outcome = device.Write(ones.data(), ones.size())).Written > 0;) {
    ASSERT_EQ(outcome.Error, 0);
    written += outcome.Written;
  }
  uint32_t queued = 0;
  ASSERT_EQ(device.OutputQueue(queued), 0);
  EXPECT_GT(queued, 0u);
  // The server reads now; no write follows, only the event waiter runs, as in an open port.
  device.SetEventMask(EventMaskNT);
  std::atomic<bool> done{false};
  std::thread waiter([&] {
    uint32_t events = 0;
    while (!done && device.WaitEvent(events)) {
    }
  });
  rfc2217::Decoder decoder;
  std::vector<uint8_t> data;
  std::vector<rfc2217::Event> events;
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (data.size() < written && Clock::now() < deadline) {
    uint8_t buffer[65536];
    pollfd fd{server, POLLIN, 0};
    if (poll(&fd, 1, 100) <= 0) continue;
    const ssize_t n = recv(server, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    decoder.Feed(buffer, static_cast<size_t>(n), data, events);
  }
  done = true;
  device.SetEventMask(0);
  waiter.join();
  EXPECT_FALSE(decoder.Failed());
  EXPECT_EQ(data.size(), written);
  EXPECT_TRUE(std::all_of(data.begin(), data.end(), [](uint8_t b) { return b == 0xFF; }));
  close(server);
  close(listener);
}

TEST_F(Rfc2217ServerTest, AMalformedStreamEndsTheConnectionAfterTheDataBeforeIt) {
  std::unique_ptr<SerialDevice> device;
  ASSERT_EQ(Open(server_.Value(), device), 0);
  std::vector<uint8_t> stream = {'o', 'k', telnet::Iac, telnet::Sb, telnet::OptComPort};
  stream.insert(stream.end(), 64, 0x01);
  server_.SendRaw(stream);
  EXPECT_EQ(ReadFrom(*device, 3), (std::vector<uint8_t>{'o', 'k'}));
  EXPECT_TRUE(device->HasGone());
  EXPECT_FALSE(static_cast<NetworkSerialDevice&>(*device).ProtocolError().empty());
  EXPECT_EQ(provider_->TakeNotice(server_.Value()),
            "服务器的数据不合协议，连接已断开：sub-negotiation too long");
}

}  // namespace
}  // namespace talyx::platform
