// CheckTerminalPath: device numbers, the tty class in sysfs and the console list in proc.
#include "platform/terminalcheck.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/platformerror.h"

namespace talyx::platform {

namespace fs = std::filesystem;

namespace {

constexpr unsigned kVirtualConsoleMajor = 4;  // minors 0-63; the ttyS ports follow from 64
constexpr unsigned kVirtualConsoleCount = 64;
constexpr unsigned kTtyAuxMajor = 5;  // 0 /dev/tty, 1 /dev/console, 2 /dev/ptmx
constexpr unsigned kPtmxMinor = 2;
constexpr unsigned kPtySlaveFirstMajor = 136;
constexpr unsigned kPtySlaveLastMajor = 143;

// "major:minor", as sysfs "dev" files and /proc/consoles write a device number.
std::string NumberText(dev_t number) {
  return std::to_string(major(number)) + ":" + std::to_string(minor(number));
}

std::string ReadLine(const fs::path& path) {
  std::ifstream file(path);
  std::string line;
  if (file) std::getline(file, line);
  return line;
}

bool IsSystemTerminalNumber(dev_t number) {
  if (major(number) == kTtyAuxMajor) return minor(number) <= kPtmxMinor;
  return major(number) == kVirtualConsoleMajor && minor(number) < kVirtualConsoleCount;
}

// A line of /proc/consoles ends with the console's device number: "ttyS0  -W- (EC p a)  4:64".
bool IsSystemConsole(dev_t number, const fs::path& root) {
  std::ifstream file(root / "proc" / "consoles");
  const std::string wanted = NumberText(number);
  std::string line;
  while (std::getline(file, line)) {
    std::istringstream words(line);
    std::string word, last;
    while (words >> word) last = word;
    if (last == wanted) return true;
  }
  return false;
}

// The tty class entry with this device number has a hardware device behind it.
bool HasHardwareDevice(dev_t number, const fs::path& root) {
  const std::string wanted = NumberText(number);
  std::error_code error;
  for (fs::directory_iterator it(root / "sys" / "class" / "tty", error), end; !error && it != end;
       it.increment(error)) {
    if (ReadLine(it->path() / "dev") != wanted) continue;
    std::error_code deviceError;
    return fs::exists(it->path() / "device", deviceError);
  }
  return false;
}

bool IsOpenableTerminal(const std::string& path, const struct stat& status, const fs::path& root) {
  if (!S_ISCHR(status.st_mode) || IsSystemTerminalNumber(status.st_rdev)) return false;
  std::error_code error;
  if (fs::canonical(path, error) == "/dev/console") return false;
  if (IsSystemConsole(status.st_rdev, root)) return false;
  return IsPtySlaveNumber(status.st_rdev) || HasHardwareDevice(status.st_rdev, root);
}

}  // namespace

int CheckTerminalPath(const std::string& path, const std::string& root) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) return PlatformErrorFromErrno(errno);
  return IsOpenableTerminal(path, status, root) ? 0 : PeFileNotFound;
}

bool NamesNonTerminal(const std::string& path, const std::string& root) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 && !IsOpenableTerminal(path, status, root);
}

bool IsPtySlaveNumber(dev_t number) {
  return major(number) >= kPtySlaveFirstMajor && major(number) <= kPtySlaveLastMajor;
}

}  // namespace talyx::platform
