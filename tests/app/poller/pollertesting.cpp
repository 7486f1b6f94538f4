// Helpers for the poller's tests: the paced slave's thread and the window on its line.
#include "pollertesting.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>

#include "modbus/modbuscrc.h"
#include "modbus/rtutiming.h"

namespace talyx::testing {

PacedSlave::PacedSlave(int master, uint32_t baud)
    : master_(master), baud_(baud), stop_(eventfd(0, EFD_CLOEXEC)) {
  thread_ = std::thread([this] { Serve(); });
}

PacedSlave::~PacedSlave() {
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = write(stop_, &one, sizeof one);
  thread_.join();
  close(stop_);
}

void PacedSlave::Serve() {
  const modbus::LineFormat line{baud_, 8, false, modbus::StopBits::One};
  modbus::ModbusSimulator simulator(Registers);
  uint8_t buffer[512];
  while (true) {
    pollfd fds[2] = {{master_, POLLIN, 0}, {stop_, POLLIN, 0}};
    const int timeoutMs = simulator.AwaitsSilence() ? 2 : 100;
    if (poll(fds, 2, timeoutMs) < 0 || (fds[1].revents & POLLIN) != 0) return;
    std::vector<uint8_t> reply;
    size_t requestBytes = 0;
    if ((fds[0].revents & POLLIN) != 0) {
      const ssize_t n = read(master_, buffer, sizeof buffer);
      if (n <= 0) continue;
      requestBytes = static_cast<size_t>(n);
      reply = simulator.Receive(buffer, requestBytes);
    } else if ((fds[0].revents & (POLLHUP | POLLERR)) != 0) {
      // Nobody holds the terminal end: wait for it to be opened again.
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      continue;
    } else if (simulator.AwaitsSilence()) {
      reply = simulator.Silence();
    }
    if (reply.empty()) continue;
    ++requests_;
    std::this_thread::sleep_for(std::chrono::microseconds(
        modbus::TransmissionMicroseconds(line, requestBytes + reply.size()) +
        modbus::SilenceMicroseconds(line)));
    if (corrupt_ > 0) {
      --corrupt_;
      reply[reply.size() / 2] ^= 0x40;
    }
    [[maybe_unused]] const ssize_t written = write(master_, reply.data(), reply.size());
  }
}

LibmodbusSlave::LibmodbusSlave(int master, uint32_t baud)
    : Mapping(modbus_mapping_new(100, 100, 100, 100)),
      baud_(baud),
      context_(modbus_new_rtu("/dev/null", static_cast<int>(baud), 'N', 8, 1)) {
  // The context serves the descriptor it is given, never opening a device of its own.
  modbus_set_slave(context_, 1);
  modbus_set_socket(context_, master);
  modbus_set_indication_timeout(context_, 0, 50'000);
  thread_ = std::thread([this] { Serve(); });
}

LibmodbusSlave::~LibmodbusSlave() {
  stop_ = true;
  thread_.join();
  modbus_free(context_);
  modbus_mapping_free(Mapping);
}

void LibmodbusSlave::Serve() {
  const modbus::LineFormat line{baud_, 8, false, modbus::StopBits::One};
  uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
  while (!stop_) {
    const int length = modbus_receive(context_, query);
    if (length <= 0) continue;
    // The reply of a read is at most as long as the request plus its data; the pacing counts
    // the request and 3.5 characters, the reply's own time being short beside them.
    std::this_thread::sleep_for(std::chrono::microseconds(
        modbus::TransmissionMicroseconds(line, static_cast<size_t>(length)) +
        modbus::SilenceMicroseconds(line)));
    const std::lock_guard<std::mutex> guard(Lock);
    modbus_reply(context_, query, length, Mapping);
  }
}

void PollerFormTest::SetUp() {
  MainFormTest::SetUp();
  map = std::make_unique<ScopedPortMap>(
      std::map<int, std::string>{{1, far == Far::Demo ? modbus::DemoDeviceName : pty.SlavePath()}});
  if (far == Far::Paced) slave = std::make_unique<PacedSlave>(pty.Master(), Baud);
  if (far == Far::Libmodbus) libmodbus = std::make_unique<LibmodbusSlave>(pty.Master(), Baud);
  WriteSettings("[parameter]\nBaud=10\n");
  form = CreateForm();
  form->show();
  ASSERT_EQ(form->ComPort1.Baud(), static_cast<int32_t>(Baud));
  ASSERT_TRUE(form->ComPort1.Open());
}

void PollerFormTest::TearDown() {
  form.reset();
  slave.reset();
  libmodbus.reset();
}

std::vector<uint8_t> WithCrc(std::vector<uint8_t> body) {
  const uint16_t crc = modbus::ModbusCrc(body.data(), body.size());
  body.push_back(static_cast<uint8_t>(crc & 0xFF));
  body.push_back(static_cast<uint8_t>(crc >> 8));
  return body;
}

}  // namespace talyx::testing
