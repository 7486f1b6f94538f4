// talyx-sim --replay: reading the capture's received records and playing them on a pty.
#include "simreplay.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "capture/pcapreader.h"

namespace talyx::sim {

namespace {

constexpr int PollMs = 10;

uint64_t MonotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1'000'000'000 + static_cast<uint64_t>(now.tv_nsec);
}

// Waits until the stop descriptor is signalled (true) or timeoutMs passed (false).
bool WaitStop(int stopEvent, int timeoutMs) {
  pollfd fd{stopEvent, POLLIN, 0};
  return poll(&fd, 1, timeoutMs) > 0;
}

// A program holds the terminal open: the master reports no hang-up.
bool SlaveOpen(int master) {
  pollfd fd{master, POLLIN, 0};
  poll(&fd, 1, 0);
  return (fd.revents & POLLHUP) == 0;
}

int Fail(const std::string& what) {
  std::fprintf(stderr, "talyx-sim: %s: %s\n", what.c_str(), std::strerror(errno));
  return 1;
}

// The received records of the capture file; false (why in error) when it cannot be read.
bool ReadFileRecords(const std::string& path, std::vector<capture::ReceivedRecord>& records,
                     std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  const std::vector<uint8_t> file(std::istreambuf_iterator<char>(in), {});
  if (!capture::ReadReceivedRecords(file.data(), file.size(), records, error)) {
    error = path + ": " + error;
    return false;
  }
  return true;
}

// Waits until dueNs on the monotonic clock; true when the stop descriptor was signalled first.
bool WaitUntil(uint64_t dueNs, int stopEvent) {
  for (uint64_t now = MonotonicNs(); now < dueNs; now = MonotonicNs()) {
    const auto waitMs = static_cast<int>((dueNs - now) / 1'000'000);
    if (waitMs > 0) {
      if (WaitStop(stopEvent, waitMs)) return true;
    } else {
      const timespec rest{0, static_cast<long>(dueNs - now)};
      nanosleep(&rest, nullptr);
    }
  }
  return false;
}

}  // namespace

int RunReplay(const std::string& path, int stopEvent) {
  std::vector<capture::ReceivedRecord> records;
  std::string error;
  if (!ReadFileRecords(path, records, error)) {
    std::fprintf(stderr, "talyx-sim: %s\n", error.c_str());
    return 1;
  }
  int master = -1;
  int slave = -1;
  char name[256] = {};
  if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return Fail("openpty");
  fcntl(master, F_SETFD, FD_CLOEXEC);
  termios settings{};
  if (tcgetattr(slave, &settings) == 0) {
    cfmakeraw(&settings);
    tcsetattr(slave, TCSANOW, &settings);
  }
  // Without a slave of its own, the master hangs up until a program opens the terminal.
  close(slave);
  std::printf("%s\n", name);
  std::fflush(stdout);

  while (!SlaveOpen(master)) {
    if (WaitStop(stopEvent, PollMs)) return 0;
  }
  const uint64_t startNs = MonotonicNs() + uint64_t{LeadInMs} * 1'000'000;
  const uint64_t firstNs = records.empty() ? 0 : records.front().TimeNs;
  for (const capture::ReceivedRecord& record : records) {
    if (WaitUntil(startNs + (record.TimeNs - firstNs), stopEvent)) return 0;
    size_t done = 0;
    while (done < record.Bytes.size()) {
      const ssize_t n = write(master, record.Bytes.data() + done, record.Bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return Fail(name);
      done += static_cast<size_t>(n);
    }
  }
  std::fprintf(stderr, "talyx-sim: replayed %zu records\n", records.size());
  while (SlaveOpen(master)) {
    if (WaitStop(stopEvent, PollMs)) break;
  }
  return 0;
}

}  // namespace talyx::sim
