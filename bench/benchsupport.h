// Helpers the benchmarks share: a raw pseudo-terminal pair, the calling thread as main thread
// with a pump that sleeps until something is queued, a window handler, and time and CPU readings.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/event.h"
#include "platform/messagequeue.h"
#include "support/pseudorandom.h"

namespace talyx::bench {

using testing::PseudoRandomBytes;

// A pseudo-terminal pair in raw mode; the benchmark plays the far end on the master.
struct Pty {
  int Master = -1;
  int Slave = -1;
  std::string SlavePath;

  Pty() {
    char name[128] = {};
    if (openpty(&Master, &Slave, name, nullptr, nullptr) != 0) {
      std::perror("openpty");
      std::exit(1);
    }
    SlavePath = name;
    for (int fd : {Master, Slave}) {
      termios raw{};
      tcgetattr(fd, &raw);
      cfmakeraw(&raw);
      tcsetattr(fd, TCSANOW, &raw);
    }
    fcntl(Master, F_SETFL, fcntl(Master, F_GETFL) | O_NONBLOCK);
  }
  ~Pty() {
    CloseSlave();
    if (Master >= 0) close(Master);
  }
  void CloseSlave() {
    if (Slave >= 0) close(Slave);
    Slave = -1;
  }
  // Writes everything to the master, waiting as the pty fills; false when the reader stopped
  // taking bytes for timeoutMs.
  bool Send(const uint8_t* data, size_t count, int timeoutMs = 5000) const {
    while (count > 0) {
      const ssize_t n = write(Master, data, count);
      if (n > 0) {
        data += n;
        count -= static_cast<size_t>(n);
        continue;
      }
      if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
      pollfd writable{Master, POLLOUT, 0};
      if (poll(&writable, 1, timeoutMs) == 0) return false;
    }
    return true;
  }
};

// The calling thread becomes the main thread. Pump runs what is queued for it and otherwise
// sleeps until the queue's wake hook fires (as a GUI event loop does), so the measured path
// includes waking the main thread.
class MainLoop {
 public:
  MainLoop() : wake_(std::make_shared<platform::Event>(false)) {
    platform::BindMainThread();
    platform::SetQueueWakeHook([wake = wake_] { wake->Set(); });
  }
  ~MainLoop() { platform::SetQueueWakeHook(nullptr); }

  // Pumps until done() holds or timeoutMs passed; false on time-out.
  bool RunUntil(const std::function<bool()>& done, int64_t timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      if (!platform::PumpOneMessage()) platform::WaitForEvent(*wake_, 10);
    }
    return true;
  }

 private:
  std::shared_ptr<platform::Event> wake_;
};

inline double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

inline double ProcessCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

}  // namespace talyx::bench
