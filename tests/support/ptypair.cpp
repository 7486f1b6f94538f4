// PtyPair and ScopedPortMap.
#include "support/ptypair.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace talyx::testing {

PtyPair::PtyPair() {
  char name[128] = {};
  if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
    ADD_FAILURE() << "openpty failed: " << std::strerror(errno);
    master_ = slave_ = -1;
    return;
  }
  slavePath_ = name;
  termios raw{};
  tcgetattr(slave_, &raw);
  cfmakeraw(&raw);
  tcsetattr(slave_, TCSANOW, &raw);
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  fcntl(master_, F_SETFD, FD_CLOEXEC);
  fcntl(slave_, F_SETFD, FD_CLOEXEC);
}

PtyPair::~PtyPair() {
  CloseSlave();
  CloseMaster();
}

int PtyPair::TakeSlave() {
  const int slave = slave_;
  slave_ = -1;
  return slave;
}

void PtyPair::CloseSlave() {
  if (slave_ >= 0) close(slave_);
  slave_ = -1;
}

void PtyPair::CloseMaster() {
  if (master_ >= 0) close(master_);
  master_ = -1;
}

bool PtyPair::Send(const std::vector<uint8_t>& bytes) {
  size_t sent = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (sent < bytes.size()) {
    const ssize_t n = write(master_, bytes.data() + sent, bytes.size() - sent);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
    if (std::chrono::steady_clock::now() > deadline) return false;
    pollfd fd{master_, POLLOUT, 0};
    poll(&fd, 1, 100);
  }
  return true;
}

bool PtyPair::Send(const std::string& text) {
  return Send(std::vector<uint8_t>(text.begin(), text.end()));
}

std::vector<uint8_t> PtyPair::Receive(size_t count, int timeoutMs) {
  std::vector<uint8_t> bytes;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (bytes.size() < count) {
    uint8_t chunk[4096];
    const size_t want = std::min(sizeof chunk, count - bytes.size());
    const ssize_t n = read(master_, chunk, want);
    if (n > 0) {
      bytes.insert(bytes.end(), chunk, chunk + n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) break;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd fd{master_, POLLIN, 0};
    poll(&fd, 1, static_cast<int>(std::min<int64_t>(left.count(), 100)));
  }
  return bytes;
}

ScopedPortMap::ScopedPortMap(std::map<int, std::string> paths)
    : previous_(platform::ReplacePortMap(platform::PortMap::Only(std::move(paths)))) {}

ScopedPortMap::~ScopedPortMap() { platform::ReplacePortMap(previous_); }

}  // namespace talyx::testing
