// NetworkConnect: resolution, connect with a deadline, socket options, the refusal window.
#include "platform/networkconnect.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/platformerror.h"
#include "platform/rfc2217.h"

namespace talyx::platform {

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

NetworkConnection Failed(int error, std::string cause) {
  NetworkConnection failed;
  failed.Error = error;
  failed.Cause = std::move(cause);
  return failed;
}

void SetOption(int descriptor, int level, int name, int value) {
  setsockopt(descriptor, level, name, &value, sizeof value);
}

void SetUpSocket(int descriptor) {
  SetOption(descriptor, IPPROTO_TCP, TCP_NODELAY, 1);
  SetOption(descriptor, SOL_SOCKET, SO_KEEPALIVE, 1);
  SetOption(descriptor, IPPROTO_TCP, TCP_KEEPIDLE, KeepAliveIdleS);
  SetOption(descriptor, IPPROTO_TCP, TCP_KEEPINTVL, KeepAliveIntervalS);
  SetOption(descriptor, IPPROTO_TCP, TCP_KEEPCNT, KeepAliveProbes);
  SetOption(descriptor, IPPROTO_TCP, TCP_USER_TIMEOUT, UserTimeoutMs);
}

// Waits until descriptor has events or the deadline passed; false on time-out or cancel.
bool WaitFor(int descriptor, short events, Clock::time_point deadline, int cancelDescriptor) {
  for (;;) {
    pollfd fds[2] = {{descriptor, events, 0}, {cancelDescriptor, POLLIN, 0}};
    const int ready = poll(fds, cancelDescriptor >= 0 ? 2 : 1, MillisecondsLeft(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0 || (fds[1].revents & POLLIN)) return false;
    return true;
  }
}

// One attempt on one resolved address: the connected socket, or -1 with err set.
int ConnectOne(const addrinfo& info, Clock::time_point deadline, int cancelDescriptor, int& err) {
  const int descriptor =
      socket(info.ai_family, info.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, info.ai_protocol);
  if (descriptor < 0) {
    err = errno;
    return -1;
  }
  if (connect(descriptor, info.ai_addr, info.ai_addrlen) != 0 && errno != EINPROGRESS) {
    err = errno;
    close(descriptor);
    return -1;
  }
  if (!WaitFor(descriptor, POLLOUT, deadline, cancelDescriptor)) {
    err = ETIMEDOUT;
    close(descriptor);
    return -1;
  }
  socklen_t size = sizeof err;
  if (getsockopt(descriptor, SOL_SOCKET, SO_ERROR, &err, &size) != 0) err = errno;
  if (err != 0) {
    close(descriptor);
    return -1;
  }
  return descriptor;
}

std::string ConnectCause(int err, const std::string& hostPort) {
  switch (err) {
    case ECONNREFUSED:
      return "连接被拒绝：" + hostPort;
    case ETIMEDOUT:
      return "连接超时：" + hostPort;
    default:
      return "无法连接：" + hostPort + " (" + std::strerror(err) + ")";
  }
}

bool SendAll(int descriptor, const std::vector<uint8_t>& bytes) {
  return send(descriptor, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
         static_cast<ssize_t>(bytes.size());
}

// Listens to a freshly connected server; fails connection when the server closes it at once.
void ListenForRefusal(NetworkConnection& connection, NetworkScheme scheme, int cancelDescriptor) {
  const Clock::time_point start = Clock::now();
  const Clock::time_point refusalEnd = start + std::chrono::milliseconds(RefusalWindowMs);
  Clock::time_point quietEnd = start + std::chrono::milliseconds(QuietMs);
  rfc2217::Decoder decoder;
  std::vector<uint8_t> text;
  std::vector<rfc2217::Event> events;
  for (;;) {
    // Once the server has sent line data, only a close within the window counts.
    const Clock::time_point until = text.empty() ? std::min(quietEnd, refusalEnd) : refusalEnd;
    if (!WaitFor(connection.Descriptor, POLLIN, until, cancelDescriptor)) return;
    uint8_t buffer[512];
    const ssize_t n = recv(connection.Descriptor, buffer, sizeof buffer, 0);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) break;
    connection.Received.insert(connection.Received.end(), buffer, buffer + n);
    const auto count = static_cast<size_t>(n);
    if (scheme == NetworkScheme::Raw) {
      text.insert(text.end(), buffer, buffer + count);
    } else {
      decoder.Feed(buffer, count, text, events);
    }
    quietEnd = Clock::now() + std::chrono::milliseconds(QuietMs);
  }
  // Closed (or reset) by the server before the line was in use.
  std::string said(text.begin(), text.end());
  while (!said.empty() && (said.back() == '\n' || said.back() == '\r')) said.pop_back();
  const int error = said.find("in use") != std::string::npos ? PeAccessDenied : PeFileNotFound;
  close(connection.Descriptor);
  connection.Descriptor = -1;
  connection.Received.clear();
  connection.Error = error;
  connection.Cause = said.empty() ? "服务器关闭了连接" : "服务器：" + said;
}

}  // namespace

NetworkConnection::NetworkConnection(NetworkConnection&& other) noexcept
    : Descriptor(std::exchange(other.Descriptor, -1)),
      Error(other.Error),
      Cause(std::move(other.Cause)),
      Received(std::move(other.Received)) {}

NetworkConnection& NetworkConnection::operator=(NetworkConnection&& other) noexcept {
  if (this != &other) {
    if (Descriptor >= 0) close(Descriptor);
    Descriptor = std::exchange(other.Descriptor, -1);
    Error = other.Error;
    Cause = std::move(other.Cause);
    Received = std::move(other.Received);
  }
  return *this;
}

NetworkConnection::~NetworkConnection() {
  if (Descriptor >= 0) close(Descriptor);
}

int NetworkConnection::TakeDescriptor() { return std::exchange(Descriptor, -1); }

NetworkConnection ConnectToServer(const NetworkAddress& address, int timeoutMs,
                                  int cancelDescriptor) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  const std::string hostPort = address.HostPort();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_ADDRCONFIG;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(address.Port);
  if (const int err = getaddrinfo(address.Host.c_str(), service.c_str(), &hints, &found)) {
    return Failed(PeFileNotFound, "找不到主机：" + address.Host + "（" + gai_strerror(err) + "）");
  }
  int err = ECONNREFUSED;
  NetworkConnection connection;
  for (const addrinfo* info = found; info != nullptr && connection.Descriptor < 0;
       info = info->ai_next) {
    connection.Descriptor = ConnectOne(*info, deadline, cancelDescriptor, err);
  }
  freeaddrinfo(found);
  if (connection.Descriptor < 0) return Failed(PeFileNotFound, ConnectCause(err, hostPort));
  SetUpSocket(connection.Descriptor);
  if (address.Scheme == NetworkScheme::Rfc2217) {
    std::vector<uint8_t> hello;
    rfc2217::AppendOption(hello, rfc2217::Will, rfc2217::OptBinary);
    rfc2217::AppendOption(hello, rfc2217::Do, rfc2217::OptBinary);
    rfc2217::AppendOption(hello, rfc2217::Will, rfc2217::OptComPort);
    if (!SendAll(connection.Descriptor, hello)) {
      return Failed(PeFileNotFound, ConnectCause(errno, hostPort));
    }
  }
  ListenForRefusal(connection, address.Scheme, cancelDescriptor);
  return connection;
}

struct PendingConnect::State {
  std::mutex Mutex;
  bool Done = false;
  NetworkConnection Result;
  int Ready = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  int Cancel = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  ~State() {
    close(Ready);
    close(Cancel);
  }
};

namespace {

void Signal(int eventDescriptor) {
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = write(eventDescriptor, &one, sizeof one);
}

}  // namespace

PendingConnect::PendingConnect(const NetworkAddress& address, int timeoutMs)
    : state_(std::make_shared<State>()) {
  std::thread([state = state_, address, timeoutMs] {
    NetworkConnection result = ConnectToServer(address, timeoutMs, state->Cancel);
    std::lock_guard lock(state->Mutex);
    state->Result = std::move(result);
    state->Done = true;
    Signal(state->Ready);
  }).detach();
}

PendingConnect::~PendingConnect() { Signal(state_->Cancel); }

int PendingConnect::ReadyDescriptor() const { return state_->Ready; }

bool PendingConnect::Done() const {
  std::lock_guard lock(state_->Mutex);
  return state_->Done;
}

NetworkConnection PendingConnect::Take() {
  std::lock_guard lock(state_->Mutex);
  if (!state_->Done) return Failed(PeFileNotFound, "连接超时");
  NetworkConnection result = std::move(state_->Result);
  if (result.Descriptor < 0 && result.Error == 0) result.Error = PeFileNotFound;
  return result;
}

}  // namespace talyx::platform
