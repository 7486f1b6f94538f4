// Rfc2217Server: accept, negotiate, record, answer.
#include "support/rfc2217server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace talyx::testing {

namespace telnet = platform::rfc2217;

Rfc2217Server::Rfc2217Server() {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  stop_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
  listen(listener_, 1);
  getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

Rfc2217Server::~Rfc2217Server() {
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = write(stop_, &one, sizeof one);
  thread_.join();
  if (client_ >= 0) close(client_);
  close(listener_);
  close(stop_);
}

std::string Rfc2217Server::Value() const { return "rfc2217://127.0.0.1:" + std::to_string(port_); }

void Rfc2217Server::IgnoreControls(std::set<uint32_t> values) {
  std::lock_guard lock(mutex_);
  ignored_ = std::move(values);
}

void Rfc2217Server::SendRaw(const std::vector<uint8_t>& bytes) {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, std::chrono::seconds(5), [this] { return client_ >= 0; });
  [[maybe_unused]] const ssize_t n = send(client_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
}

bool Rfc2217Server::WaitForCommand(
    const std::function<bool(const platform::rfc2217::Event&)>& match) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::seconds(5), [&] {
    for (const auto& command : commands_) {
      if (match(command)) return true;
    }
    return false;
  });
}

std::vector<platform::rfc2217::Event> Rfc2217Server::Commands() {
  std::lock_guard lock(mutex_);
  return commands_;
}

std::vector<uint8_t> Rfc2217Server::Data() {
  std::lock_guard lock(mutex_);
  return data_;
}

bool Rfc2217Server::WaitForData(size_t count) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::seconds(5), [&] { return data_.size() >= count; });
}

void Rfc2217Server::Serve() {
  pollfd waitAccept[2] = {{listener_, POLLIN, 0}, {stop_, POLLIN, 0}};
  if (poll(waitAccept, 2, -1) <= 0 || (waitAccept[1].revents & POLLIN)) return;
  const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
  {
    std::lock_guard lock(mutex_);
    client_ = client;
  }
  changed_.notify_all();
  telnet::Decoder decoder;
  for (;;) {
    pollfd fds[2] = {{client, POLLIN, 0}, {stop_, POLLIN, 0}};
    if (poll(fds, 2, -1) <= 0 || (fds[1].revents & POLLIN)) return;
    uint8_t buffer[4096];
    const ssize_t n = recv(client, buffer, sizeof buffer, 0);
    if (n <= 0) return;
    std::vector<uint8_t> data;
    std::vector<telnet::Event> events;
    decoder.Feed(buffer, static_cast<size_t>(n), data, events);
    std::vector<uint8_t> answer;
    std::lock_guard lock(mutex_);
    data_.insert(data_.end(), data.begin(), data.end());
    for (const telnet::Event& event : events) {
      if (event.Type == telnet::Event::Kind::OfferWill && event.Option == telnet::OptComPort) {
        telnet::AppendOption(answer, telnet::Do, telnet::OptComPort);
      }
      if (event.Type != telnet::Event::Kind::ComPort) continue;
      commands_.push_back(event);
      if (event.Command == telnet::SetControl && ignored_.count(event.Value)) continue;
      telnet::AppendComPort(answer, static_cast<uint8_t>(event.Command + telnet::ServerOffset),
                            event.Value, event.ValueSize);
    }
    if (!answer.empty()) {
      [[maybe_unused]] const ssize_t m = send(client, answer.data(), answer.size(), MSG_NOSIGNAL);
    }
    changed_.notify_all();
  }
}

}  // namespace talyx::testing
