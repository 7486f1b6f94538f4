// ServeSimulator: the poll loop between a line and a ModbusSimulator.
#include "modbus/simulatorloop.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <vector>

#include "modbus/modbussimulator.h"
#include "modbus/rtutiming.h"
#include "platform/termios2settings.h"

namespace talyx::modbus {

namespace {

using Clock = std::chrono::steady_clock;

// The line's current rate and character, read through termios2 (the device layer sets any rate
// that way); a line whose settings cannot be read counts as fast (rate 0).
LineFormat LineFormatOf(int line) {
  platform::TermiosLine settings;
  if (platform::ReadTermiosLine(line, settings) != 0) return LineFormat{0};
  LineFormat format;
  format.BaudRate = settings.BaudRate;
  format.DataBits = settings.ByteSize;
  format.Parity = settings.Parity != 0;
  // Two stop bits with 5 data bits are one and a half, as the device layer sets them.
  if (settings.TwoStopBits) {
    format.StopBits = format.DataBits == 5 ? StopBits::OneAndHalf : StopBits::Two;
  }
  return format;
}

// Waits until `until`; false when the stop descriptor became readable first.
bool PauseUntil(int stopDescriptor, Clock::time_point until) {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(until - Clock::now());
    if (left.count() <= 0) return true;
    const timespec wait{static_cast<time_t>(left.count() / 1'000'000'000),
                        static_cast<long>(left.count() % 1'000'000'000)};
    pollfd stop{stopDescriptor, POLLIN, 0};
    if (ppoll(&stop, 1, &wait, nullptr) > 0) return false;
  }
}

constexpr short HangUp = POLLHUP | POLLERR | POLLNVAL;

}  // namespace

bool WriteAll(int line, int stopDescriptor, const std::vector<uint8_t>& bytes, ServeEnd& end) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = write(line, bytes.data() + sent, bytes.size() - sent);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) {
      end = errno == EIO ? ServeEnd::HungUp : ServeEnd::Failed;
      return false;
    }
    pollfd fds[2] = {{line, POLLOUT, 0}, {stopDescriptor, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0 && errno != EINTR) {
      end = ServeEnd::Failed;
      return false;
    }
    if (fds[1].revents != 0) {
      end = ServeEnd::Stopped;
      return false;
    }
    if ((fds[0].revents & HangUp) != 0 && (fds[0].revents & POLLOUT) == 0) {
      end = ServeEnd::HungUp;
      return false;
    }
  }
  return true;
}

ServeEnd ServeSimulator(int line, int stopDescriptor, SimulatorRegisters& registers) {
  const int flags = fcntl(line, F_GETFL);
  if (flags < 0 || fcntl(line, F_SETFL, flags | O_NONBLOCK) != 0) return ServeEnd::Failed;

  ModbusSimulator simulator(registers);
  Clock::time_point lastByte{};
  std::chrono::microseconds silence{SilenceMicroseconds(LineFormat{0})};
  std::vector<uint8_t> buffer(4096);
  ServeEnd end = ServeEnd::Failed;

  while (true) {
    int timeoutMs = -1;
    if (simulator.AwaitsSilence()) {
      const auto left = lastByte + silence - Clock::now();
      if (left <= Clock::duration::zero()) {
        if (!WriteAll(line, stopDescriptor, simulator.Silence(), end)) return end;
        continue;
      }
      // Rounded up: waking early would only poll again.
      timeoutMs = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
    }
    pollfd fds[2] = {{line, POLLIN, 0}, {stopDescriptor, POLLIN, 0}};
    const int ready = poll(fds, 2, timeoutMs);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return ServeEnd::Failed;
    }
    if (fds[1].revents != 0) return ServeEnd::Stopped;
    if (ready == 0) continue;  // the silence is judged at the top of the loop

    const ssize_t n = read(line, buffer.data(), buffer.size());
    if (n > 0) {
      lastByte = Clock::now();
      const LineFormat format = LineFormatOf(line);
      silence = std::chrono::microseconds(SilenceMicroseconds(format));
      const std::vector<uint8_t> replies = simulator.Receive(buffer.data(), static_cast<size_t>(n));
      if (!replies.empty()) {
        // The replies arrive when a slave on a real line would have sent them: after the
        // request has left the line, the silence that ends it and their own characters. Only
        // the master's own adapter gives back the request sooner (its echo), which is how a bus
        // watcher tells a reply equal to its request (05, 06) from the echo.
        const auto onLine = std::chrono::microseconds(
            TransmissionMicroseconds(format, static_cast<size_t>(n) + replies.size()));
        if (!PauseUntil(stopDescriptor, lastByte + onLine + silence)) return ServeEnd::Stopped;
      }
      if (!WriteAll(line, stopDescriptor, replies, end)) return end;
      continue;
    }
    if (n == 0 || errno == EIO) return ServeEnd::HungUp;
    if (errno == EAGAIN || errno == EINTR) {
      // poll reported no data to read: a hang-up without bytes ends the line.
      if ((fds[0].revents & HangUp) != 0) return ServeEnd::HungUp;
      continue;
    }
    return ServeEnd::Failed;
  }
}

}  // namespace talyx::modbus
