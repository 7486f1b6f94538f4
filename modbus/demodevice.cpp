// The demo device provider's lines: pseudo-terminal pairs, one simulator thread per line, shared
// registers.
#include "modbus/demodevice.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "modbus/simulatorloop.h"
#include "platform/platformerror.h"
#include "platform/termiosserialdevice.h"

namespace talyx::modbus {

namespace {

int ClosePair(int master, int slave, int error) {
  close(master);
  close(slave);
  return platform::PlatformErrorFromErrno(error);
}

}  // namespace

DemoDeviceProvider::DemoDeviceProvider() : stop_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

DemoDeviceProvider::~DemoDeviceProvider() {
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t n = write(stop_, &one, sizeof one);
  std::lock_guard lock(mutex_);
  for (auto& line : lines_) line->Thread.join();
  if (stop_ >= 0) close(stop_);
}

bool DemoDeviceProvider::Claims(const std::string& value) const { return value == DemoDeviceName; }

std::string DemoDeviceProvider::BuiltInName() const { return DemoDeviceName; }

std::string DemoDeviceProvider::Description(const std::string&) const {
  return "演示设备 (Modbus 从站)";
}

int DemoDeviceProvider::Open(const std::string&, std::unique_ptr<platform::SerialDevice>& device) {
  int descriptor = -1;
  if (const int err = OpenLine(descriptor)) return err;
  auto opened = std::make_unique<platform::TermiosSerialDevice>();
  if (const int err = opened->Adopt(descriptor)) return err;
  device = std::move(opened);
  return 0;
}

int DemoDeviceProvider::OpenLine(int& descriptor) {
  if (stop_ < 0) return platform::PeOutOfMemory;
  std::lock_guard lock(mutex_);
  JoinEndedLines();
  int master = -1, slave = -1;
  if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
    return platform::PlatformErrorFromErrno(errno);
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
      ServeSimulator(master, stop_, registers_);
      close(master);
      started->Ended = true;
    });
  } catch (const std::system_error&) {
    close(master);
    close(slave);
    return platform::PeOutOfMemory;
  }
  lines_.push_back(std::move(line));
  descriptor = slave;
  return 0;
}

void DemoDeviceProvider::JoinEndedLines() {
  for (auto it = lines_.begin(); it != lines_.end();) {
    if ((*it)->Ended) {
      (*it)->Thread.join();
      it = lines_.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace talyx::modbus
