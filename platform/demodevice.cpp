// The demo device's lines: pseudo-terminal pairs, one simulator thread per line, shared registers.
#include "platform/demodevice.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <list>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "modbus/simulatorloop.h"
#include "modbus/simulatorregisters.h"
#include "platform/platformerror.h"

namespace talyx::platform {

namespace {

class DemoDevice {
 public:
  DemoDevice() : stop_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

  ~DemoDevice() {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = write(stop_, &one, sizeof one);
    std::lock_guard lock(mutex_);
    for (auto& line : lines_) line->Thread.join();
    if (stop_ >= 0) close(stop_);
  }

  int Open(int& descriptor) {
    if (stop_ < 0) return PeOutOfMemory;
    std::lock_guard lock(mutex_);
    JoinEndedLines();
    int master = -1, slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
      return PlatformErrorFromErrno(errno);
    }
    // A pair that cannot be made close-on-exec and raw is closed and its failure reported: a
    // line that echoes or translates bytes would corrupt every frame on it.
    termios raw{};
    if (fcntl(master, F_SETFD, FD_CLOEXEC) != 0 || fcntl(slave, F_SETFD, FD_CLOEXEC) != 0 ||
        tcgetattr(slave, &raw) != 0) {
      return ClosePair(master, slave, errno);
    }
    cfmakeraw(&raw);
    cfsetspeed(&raw, B9600);
    if (tcsetattr(slave, TCSANOW, &raw) != 0) return ClosePair(master, slave, errno);

    auto line = std::make_unique<Line>();
    Line* const started = line.get();
    try {
      line->Thread = std::thread([this, master, started] {
        modbus::ServeSimulator(master, stop_, registers_);
        close(master);
        started->Ended = true;
      });
    } catch (const std::system_error&) {
      close(master);
      close(slave);
      return PeOutOfMemory;
    }
    lines_.push_back(std::move(line));
    descriptor = slave;
    return 0;
  }

 private:
  static int ClosePair(int master, int slave, int error) {
    close(master);
    close(slave);
    return PlatformErrorFromErrno(error);
  }

  struct Line {
    std::thread Thread;
    std::atomic<bool> Ended{false};
  };

  // Caller holds mutex_.
  void JoinEndedLines() {
    for (auto it = lines_.begin(); it != lines_.end();) {
      if ((*it)->Ended) {
        (*it)->Thread.join();
        it = lines_.erase(it);
      } else {
        ++it;
      }
    }
  }

  modbus::SimulatorRegisters registers_;
  const int stop_;  // readable once the program ends: every line's thread returns
  std::mutex mutex_;
  std::list<std::unique_ptr<Line>> lines_;  // guarded by mutex_
};

DemoDevice& TheDemoDevice() {
  static DemoDevice device;
  return device;
}

}  // namespace

int OpenDemoDevice(int& descriptor) { return TheDemoDevice().Open(descriptor); }

}  // namespace talyx::platform
