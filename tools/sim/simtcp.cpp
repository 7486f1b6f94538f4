// ServeTcp: the listening socket, one client after another, each served by the simulator loop.
#include "tools/sim/simtcp.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "modbus/simulatorloop.h"

namespace talyx::sim {

namespace {

int Fail(const std::string& what) {
  std::fprintf(stderr, "talyx-sim: %s: %s\n", what.c_str(), std::strerror(errno));
  return 1;
}

// "PORT", "HOST:PORT" or "[V6]:PORT" into host and port; false for any other form.
bool SplitAddress(const std::string& address, std::string& host, std::string& port) {
  const size_t colon = address.rfind(':');
  host = colon == std::string::npos ? "127.0.0.1" : address.substr(0, colon);
  port = colon == std::string::npos ? address : address.substr(colon + 1);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
    host = host.substr(1, host.size() - 2);
  if (host.empty() || port.empty() || port.size() > 5) return false;
  for (const char c : port) {
    if (c < '0' || c > '9') return false;
  }
  const int number = std::stoi(port);
  return number >= 1 && number <= 65535;
}

}  // namespace

int ServeTcp(const std::string& address, int stopDescriptor,
             modbus::SimulatorRegisters& registers) {
  std::string host, port;
  if (!SplitAddress(address, host, port)) {
    std::fprintf(stderr, "talyx-sim: --tcp wants [HOST:]PORT, not %s\n", address.c_str());
    return 2;
  }
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE;
  addrinfo* found = nullptr;
  if (const int err = getaddrinfo(host.c_str(), port.c_str(), &hints, &found)) {
    std::fprintf(stderr, "talyx-sim: %s: %s\n", host.c_str(), gai_strerror(err));
    return 1;
  }
  const int listener =
      socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, found->ai_protocol);
  const int reuse = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
  const bool bound = listener >= 0 && bind(listener, found->ai_addr, found->ai_addrlen) == 0 &&
                     listen(listener, 1) == 0;
  freeaddrinfo(found);
  if (!bound) return Fail(address);
  std::printf("listening on %s:%s\n", host.c_str(), port.c_str());
  std::fflush(stdout);
  for (;;) {
    pollfd fds[2] = {{listener, POLLIN, 0}, {stopDescriptor, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return Fail("poll");
    }
    if (fds[1].revents & POLLIN) break;
    const int client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    const int noDelay = 1;
    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    const modbus::ServeEnd end = modbus::ServeSimulator(client, stopDescriptor, registers);
    close(client);
    if (end == modbus::ServeEnd::Stopped) break;
  }
  close(listener);
  return 0;
}

}  // namespace talyx::sim
