// Rfc2217Server: a small RFC 2217 server of the tests, on a free port of 127.0.0.1.
//
// It accepts one client, agrees to COM-PORT-OPTION, records every COM-PORT-OPTION command the
// client sends, answers each setting with the value asked for (except the controls it is told
// to ignore, as a server that cannot drive them), and sends notifications, data and raw bytes
// when a test asks. A thread of its own serves the client; a mutex guards the record.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "platform/rfc2217.h"

namespace talyx::testing {

class Rfc2217Server {
 public:
  Rfc2217Server();
  ~Rfc2217Server();
  Rfc2217Server(const Rfc2217Server&) = delete;
  Rfc2217Server& operator=(const Rfc2217Server&) = delete;

  std::string Value() const;
  // SET-CONTROL values it never answers.
  void IgnoreControls(std::set<uint32_t> values);
  // Waits (up to five seconds) until the client sent a command for which match is true.
  bool WaitForCommand(const std::function<bool(const platform::rfc2217::Event&)>& match);
  // The COM-PORT-OPTION commands received, in order.
  std::vector<platform::rfc2217::Event> Commands();
  // Data the client sent (undoubled).
  std::vector<uint8_t> Data();
  bool WaitForData(size_t count);
  // Sends bytes as they are (already encoded) to the client.
  void SendRaw(const std::vector<uint8_t>& bytes);

 private:
  void Serve();

  int listener_ = -1;
  int port_ = 0;
  int client_ = -1;
  int stop_ = -1;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<platform::rfc2217::Event> commands_;
  std::vector<uint8_t> data_;
  std::set<uint32_t> ignored_;
  std::thread thread_;
};

}  // namespace talyx::testing
