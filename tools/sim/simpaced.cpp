// ServePaced: the demo slave behind a model of the line's timing, on the monotonic clock.
#include "tools/sim/simpaced.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/prctl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "modbus/modbussimulator.h"
#include "modbus/rtutiming.h"

namespace talyx::sim {

namespace {

using modbus::ServeEnd;

constexpr short HangUp = POLLHUP | POLLERR | POLLNVAL;

int64_t NowNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

void SleepUntilNs(int64_t ns) {
  const timespec until{static_cast<time_t>(ns / 1'000'000'000),
                       static_cast<long>(ns % 1'000'000'000)};
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
  }
}

}  // namespace

ServeEnd ServePaced(int line, int stopDescriptor, uint32_t baudRate,
                    modbus::SimulatorRegisters& registers) {
  const int flags = fcntl(line, F_GETFL);
  if (flags < 0 || fcntl(line, F_SETFL, flags | O_NONBLOCK) != 0) return ServeEnd::Failed;
  // The default slack of 50 µs would be over half a character at 115200 baud.
  prctl(PR_SET_TIMERSLACK, 1UL);
  // A line's transmitter never pauses inside a frame; a slave thread put aside by a busy machine
  // would, and the master would take the gap for the frame's end. Real-time scheduling keeps
  // ordinary work from putting it aside; without the right to it, the slave goes on as it is.
  sched_param realTime{};
  realTime.sched_priority = sched_get_priority_min(SCHED_FIFO);
  if (sched_setscheduler(0, SCHED_FIFO, &realTime) != 0) {
    std::fprintf(stderr,
                 "talyx-sim: no real-time scheduling (%s): a busy machine may put gaps "
                 "into replies\n",
                 std::strerror(errno));
  }

  const modbus::LineFormat format{baudRate, 8, false, modbus::StopBits::One};
  const int64_t characterNs =
      static_cast<int64_t>(modbus::CharacterHalfBits(format)) * 500'000'000 / baudRate;
  const int64_t silenceNs = int64_t{modbus::SilenceMicroseconds(format)} * 1000;
  modbus::ModbusSimulator simulator(registers);
  int64_t lineEndNs = 0;  // when the last character on the modelled line ends
  std::vector<uint8_t> buffer(4096);
  ServeEnd end = ServeEnd::Failed;

  // Writes replies from 3.5 characters after the line's last character on, at the line's pace.
  auto answer = [&](const std::vector<uint8_t>& reply) {
    const int64_t startNs = lineEndNs + characterNs * 7 / 2;
    for (size_t i = 0; i < reply.size(); ++i) {
      SleepUntilNs(startNs + characterNs * static_cast<int64_t>(i + 1));
      if (!modbus::WriteAll(line, stopDescriptor, {reply[i]}, end)) return false;
    }
    if (!reply.empty()) lineEndNs = startNs + characterNs * static_cast<int64_t>(reply.size());
    return true;
  };

  while (true) {
    int timeoutMs = -1;
    if (simulator.AwaitsSilence()) {
      const int64_t leftNs = lineEndNs + silenceNs - NowNs();
      if (leftNs <= 0) {
        if (!answer(simulator.Silence())) return end;
        continue;
      }
      timeoutMs = static_cast<int>((leftNs + 999'999) / 1'000'000);
    }
    pollfd fds[2] = {{line, POLLIN, 0}, {stopDescriptor, POLLIN, 0}};
    const int ready = poll(fds, 2, timeoutMs);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return ServeEnd::Failed;
    }
    if (fds[1].revents != 0) return ServeEnd::Stopped;
    if (ready == 0) continue;

    const ssize_t n = read(line, buffer.data(), buffer.size());
    if (n > 0) {
      lineEndNs = std::max(lineEndNs, NowNs()) + characterNs * n;
      if (!answer(simulator.Receive(buffer.data(), static_cast<size_t>(n)))) return end;
      continue;
    }
    if (n == 0 || errno == EIO) return ServeEnd::HungUp;
    if (errno == EAGAIN || errno == EINTR) {
      if ((fds[0].revents & HangUp) != 0) return ServeEnd::HungUp;
      continue;
    }
    return ServeEnd::Failed;
  }
}

}  // namespace talyx::sim
