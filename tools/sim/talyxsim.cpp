// talyx-sim: the terminal's Modbus RTU demo device as a program of its own, on a new
// pseudo-terminal (its path printed), on a serial device or over TCP (--tcp, simtcp.h), until
// Ctrl+C, answering at once or, with --paced, at the pace of a line of its rate (simpaced.h); or,
// with --replay, a bus capture's received side played into a new pseudo-terminal (simreplay.h).
#include <fcntl.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "modbus/simulatorloop.h"
#include "modbus/simulatorregisters.h"
#include "tools/sim/simpaced.h"
#include "tools/sim/simreplay.h"
#include "tools/sim/simtcp.h"

namespace {

using talyx::modbus::ServeEnd;
using talyx::modbus::ServeSimulator;
using talyx::modbus::SimulatorRegisters;

constexpr const char* Usage =
    "Usage: talyx-sim [--baud RATE] [--paced] [DEVICE]\n"
    "       talyx-sim --tcp [HOST:]PORT\n"
    "       talyx-sim --replay FILE.pcap\n"
    "\n"
    "A Modbus RTU slave at address 1, for testing masters without hardware.\n"
    "Without DEVICE it makes a new pseudo-terminal and prints the path to open;\n"
    "with DEVICE (for example /dev/ttyUSB0) it serves that serial line, raw, 8 data\n"
    "bits, no parity, 1 stop bit, RATE baud (default 9600); with --tcp it serves\n"
    "raw Modbus RTU over TCP on PORT of HOST (default 127.0.0.1). Ctrl+C stops it.\n"
    "With --paced it answers as slowly as a line of RATE baud would carry the\n"
    "exchange: 3.5 characters after the request's end, then one character time per\n"
    "byte (a pseudo-terminal alone carries bytes at once).\n"
    "\n"
    "Functions 03, 04, 06 and 16. Holding registers 0-99 start at 10, 20, ... 1000\n"
    "(register i holds 10 * (i + 1)) and keep what is written while it runs.\n"
    "Input registers 0-98 hold 1000 + i; input register 99 counts seconds.\n"
    "\n"
    "--replay plays the received frames of a TALYX bus capture into a new\n"
    "pseudo-terminal (its path printed) with their original timing, each frame in\n"
    "one piece, from half a second after a program opens it.\n";

int stopEvent = -1;

void RequestStop(int) {
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t n = write(stopEvent, &one, sizeof one);
}

bool SpeedOf(long rate, speed_t& speed) {
  static const struct {
    long Rate;
    speed_t Speed;
  } rates[] = {{1200, B1200},     {2400, B2400},     {4800, B4800},    {9600, B9600},
               {19200, B19200},   {38400, B38400},   {57600, B57600},  {115200, B115200},
               {230400, B230400}, {460800, B460800}, {921600, B921600}};
  for (const auto& entry : rates) {
    if (entry.Rate == rate) {
      speed = entry.Speed;
      return true;
    }
  }
  return false;
}

bool MakeRaw(int descriptor, speed_t speed) {
  termios settings{};
  if (tcgetattr(descriptor, &settings) != 0) return false;
  cfmakeraw(&settings);
  settings.c_cflag |= CLOCAL | CREAD;
  settings.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS);
  cfsetspeed(&settings, speed);
  return tcsetattr(descriptor, TCSANOW, &settings) == 0;
}

int Fail(const std::string& what) {
  std::fprintf(stderr, "talyx-sim: %s: %s\n", what.c_str(), std::strerror(errno));
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  long rate = 9600;
  std::string device;
  std::string tcp;
  std::string replay;
  bool paced = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(Usage, stdout);
      return 0;
    }
    if (arg == "--baud" && i + 1 < argc) {
      char* end = nullptr;
      rate = std::strtol(argv[++i], &end, 10);
      if (*end != '\0') rate = 0;
    } else if (arg == "--paced") {
      paced = true;
    } else if (arg == "--tcp" && i + 1 < argc) {
      tcp = argv[++i];
    } else if (arg == "--replay" && i + 1 < argc) {
      replay = argv[++i];
    } else if (!arg.empty() && arg[0] != '-' && device.empty()) {
      device = arg;
    } else {
      std::fputs(Usage, stderr);
      return 2;
    }
  }
  speed_t speed;
  if (!SpeedOf(rate, speed)) {
    std::fprintf(stderr, "talyx-sim: unsupported rate %ld\n", rate);
    return 2;
  }

  stopEvent = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (stopEvent < 0) return Fail("eventfd");
  struct sigaction action {};
  action.sa_handler = RequestStop;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  if (!tcp.empty()) {
    SimulatorRegisters registers;
    return talyx::sim::ServeTcp(tcp, stopEvent, registers);
  }
  if (!replay.empty()) return talyx::sim::RunReplay(replay, stopEvent);

  int line = -1;
  int keepOpen = -1;  // the pseudo-terminal's own end, held so that masters may come and go
  if (device.empty()) {
    char path[256] = {};
    if (openpty(&line, &keepOpen, path, nullptr, nullptr) != 0) return Fail("openpty");
    fcntl(line, F_SETFD, FD_CLOEXEC);
    fcntl(keepOpen, F_SETFD, FD_CLOEXEC);
    if (!MakeRaw(keepOpen, speed)) return Fail(path);
    std::printf("%s\n", path);
    std::fflush(stdout);
  } else {
    line = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (line < 0) return Fail(device);
    if (flock(line, LOCK_EX | LOCK_NB) != 0) return Fail(device);
    if (!MakeRaw(line, speed)) return Fail(device);
  }

  SimulatorRegisters registers;
  const ServeEnd end =
      paced ? talyx::sim::ServePaced(line, stopEvent, static_cast<uint32_t>(rate), registers)
            : ServeSimulator(line, stopEvent, registers);
  if (end == ServeEnd::HungUp) std::fprintf(stderr, "talyx-sim: the line hung up\n");
  if (end == ServeEnd::Failed) return Fail("serving the line");
  return end == ServeEnd::Stopped ? 0 : 1;
}
