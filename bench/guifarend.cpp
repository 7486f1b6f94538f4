// FarEnd: the forked writer on the master of a pseudo-terminal pair.
#include "bench/guifarend.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <thread>

#include "modbus/modbuscrc.h"

namespace talyx::bench {

namespace {

uint64_t SplitMix64(uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

constexpr size_t kWriteSize = 64;

}  // namespace

// One exchange: slave 1, function 03, 10 registers from 0, and the reply with the values 1..10.
std::array<uint8_t, kModbusExchangeBytes> ModbusExchange() {
  std::array<uint8_t, kModbusExchangeBytes> bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x0A};
  const auto withCrc = [&](size_t from, size_t length) {
    const uint16_t crc = modbus::ModbusCrc(bytes.data() + from, length);
    bytes[from + length] = static_cast<uint8_t>(crc & 0xFF);
    bytes[from + length + 1] = static_cast<uint8_t>(crc >> 8);
  };
  withCrc(0, 6);
  bytes[8] = 0x01;
  bytes[9] = 0x03;
  bytes[10] = 20;
  for (size_t r = 0; r < 10; ++r) bytes[12 + 2 * r] = static_cast<uint8_t>(r + 1);
  withCrc(8, 23);
  return bytes;
}

void FillStream(StreamKind kind, uint64_t offset, uint8_t* out, size_t count) {
  static const std::array<uint8_t, kModbusExchangeBytes> exchange = ModbusExchange();
  for (size_t i = 0; i < count; ++i) {
    const uint64_t at = offset + i;
    if (kind == StreamKind::Modbus) {
      out[i] = exchange[at % kModbusExchangeBytes];
    } else if (kind == StreamKind::Binary) {
      out[i] = static_cast<uint8_t>(SplitMix64(at));
    } else {
      const uint64_t column = at % 64;
      out[i] = column == 62   ? '\r'
               : column == 63 ? '\n'
                              : static_cast<uint8_t>('A' + (at / 64 + column) % 26);
    }
  }
}

FarEnd::~FarEnd() {
  Vanish();
  if (goPipe_ >= 0) close(goPipe_);
  if (resultPipe_ >= 0) close(resultPipe_);
}

bool FarEnd::Start(StreamKind kind, uint64_t totalBytes, uint32_t bytesPerSecond) {
  int master = -1;
  int slave = -1;
  char name[256];
  if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
    std::perror("openpty");
    return false;
  }
  // The far end is raw too: nothing it sends or receives is changed by a line discipline.
  termios raw{};
  tcgetattr(master, &raw);
  cfmakeraw(&raw);
  tcsetattr(master, TCSANOW, &raw);
  slavePath_ = name;
  int go[2];
  int result[2];
  if (pipe2(go, O_CLOEXEC) != 0 || pipe2(result, O_CLOEXEC) != 0) {
    std::perror("pipe2");
    return false;
  }
  child_ = fork();
  if (child_ < 0) {
    std::perror("fork");
    return false;
  }
  if (child_ == 0) {
    close(slave);
    close(go[1]);
    close(result[0]);
    goPipe_ = go[0];
    resultPipe_ = result[1];
    RunWriter(master, kind, totalBytes, bytesPerSecond);
    _exit(0);
  }
  // The window opens the slave by its path; the writer holds the only master.
  close(master);
  close(slave);
  close(go[0]);
  close(result[1]);
  goPipe_ = go[1];
  resultPipe_ = result[0];
  fcntl(resultPipe_, F_SETFL, O_NONBLOCK);
  return true;
}

void FarEnd::Go() {
  const char go = 'g';
  if (write(goPipe_, &go, 1) != 1) std::perror("far end: go");
}

bool FarEnd::Done() {
  char report;
  if (!done_ && read(resultPipe_, &report, 1) == 1) done_ = true;
  return done_;
}

void FarEnd::Vanish() {
  if (child_ > 0) {
    kill(child_, SIGKILL);
    waitpid(child_, nullptr, 0);
    child_ = -1;
  }
}

void FarEnd::RunWriter(int master, StreamKind kind, uint64_t totalBytes, uint32_t bytesPerSecond) {
  char go;
  if (read(goPipe_, &go, 1) != 1) return;
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  uint8_t chunk[kWriteSize];
  uint8_t drain[4096];
  uint64_t sent = 0;
  bool reported = false;
  for (;;) {
    if (sent < totalBytes && bytesPerSecond > 0) {
      const auto due =
          start + std::chrono::duration_cast<Clock::duration>(
                      std::chrono::duration<double>(static_cast<double>(sent) / bytesPerSecond));
      if (due > Clock::now()) std::this_thread::sleep_until(due);
    }
    pollfd fd{master, static_cast<short>(POLLIN | (sent < totalBytes ? POLLOUT : 0)), 0};
    if (poll(&fd, 1, sent < totalBytes ? -1 : 100) < 0) continue;
    if (fd.revents & POLLIN) {
      if (read(master, drain, sizeof drain) < 0) { /* nothing to drop this time */
      }
    }
    if ((fd.revents & POLLOUT) && sent < totalBytes) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(kWriteSize, totalBytes - sent));
      FillStream(kind, sent, chunk, n);
      const ssize_t written = write(master, chunk, n);
      if (written > 0) sent += static_cast<uint64_t>(written);
    }
    if (sent == totalBytes && !reported) {
      const char done = 'd';
      if (write(resultPipe_, &done, 1) != 1) return;
      reported = true;
    }
  }
}

}  // namespace talyx::bench
