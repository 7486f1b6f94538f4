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

namespace talyx::sim {

namespace {

constexpr uint32_t MagicNanoseconds = 0xA1B23C4D;
constexpr uint32_t MagicMicroseconds = 0xA1B2C3D4;
constexpr uint32_t LinkTypeUpperPdu = 252;
constexpr uint16_t TagEnd = 0, TagDirection = 35;
constexpr uint32_t DirectionReceived = 1;
constexpr int PollMs = 10;

uint32_t Little32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16) | static_cast<uint32_t>(p[3]) << 24;
}

uint16_t Big16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

uint32_t Big32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1] << 16 | p[2] << 8 | p[3]);
}

// The record's payload after its tags, when its direction tag says received.
bool ReceivedPayload(const uint8_t* data, size_t length, std::vector<uint8_t>& payload) {
  size_t at = 0;
  bool received = false;
  while (at + 4 <= length) {
    const uint16_t tag = Big16(data + at);
    const uint16_t size = Big16(data + at + 2);
    at += 4;
    if (tag == TagEnd) {
      if (received) payload.assign(data + at, data + length);
      return received;
    }
    if (at + size > length) return false;
    if (tag == TagDirection && size == 4) received = Big32(data + at) == DirectionReceived;
    at += size;
  }
  return false;
}

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

}  // namespace

bool ReadReceivedRecords(const std::string& path, std::vector<ReplayRecord>& records,
                         std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  const std::vector<uint8_t> file(std::istreambuf_iterator<char>(in), {});
  if (file.size() < 24) {
    error = path + ": not a pcap file";
    return false;
  }
  const uint32_t magic = Little32(file.data());
  if ((magic != MagicNanoseconds && magic != MagicMicroseconds) ||
      Little32(file.data() + 20) != LinkTypeUpperPdu) {
    error = path + ": not a capture of exported PDUs in little-endian pcap";
    return false;
  }
  const uint64_t fractionNs = magic == MagicNanoseconds ? 1 : 1000;
  size_t at = 24;
  while (at + 16 <= file.size()) {
    const uint64_t seconds = Little32(file.data() + at);
    const uint64_t fraction = Little32(file.data() + at + 4);
    const uint32_t length = Little32(file.data() + at + 8);
    at += 16;
    if (at + length > file.size()) break;  // a record cut short ends the capture
    ReplayRecord record;
    record.TimeNs = seconds * 1'000'000'000 + fraction * fractionNs;
    if (ReceivedPayload(file.data() + at, length, record.Bytes)) records.push_back(record);
    at += length;
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

int RunReplay(const std::string& path, int stopEvent) {
  std::vector<ReplayRecord> records;
  std::string error;
  if (!ReadReceivedRecords(path, records, error)) {
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
  for (const ReplayRecord& record : records) {
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
