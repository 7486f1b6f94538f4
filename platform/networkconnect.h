// NetworkConnect: connecting to a serial device server, blocking or on a worker thread.
//
// Principles of operation:
// - ConnectToServer resolves the host, connects with a deadline and sets the socket up for a
//   serial line: no Nagle delay, keep-alive probes after KeepAliveIdleS seconds of silence
//   (every KeepAliveIntervalS, KeepAliveProbes of them) and a limit of UserTimeoutMs on
//   unacknowledged writes, so that a dead server is noticed as a lost device.
// - For RFC 2217 it opens the telnet negotiation at once (binary both ways, COM-PORT-OPTION).
// - A serial device server that cannot serve the line accepts and closes again with a line of
//   text ("Port already in use", "Device open failure: ..."). So after the connect the server
//   is listened to: quiet for QuietMs, or bytes of line data not followed by a close within
//   RefusalWindowMs of the connect, and the connection is good; a close in that time fails it
//   with the server's text as the cause (5 for a port in use, else 2). Whatever the server sent
//   meanwhile is handed over undecoded with the socket.
// - Failures: 2 with the cause (name not found, refused, timed out, closed by the server) as
//   text in Chinese, the interface's source language; the app translates the fixed phrases.
// - PendingConnect runs ConnectToServer on a worker thread of its own, so that a window can wait
//   for it without freezing; its thread shares only a state record with it, so a
//   PendingConnect dropped early ends at once and its thread finishes alone.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/networkaddress.h"

namespace talyx::platform {

inline constexpr int ConnectTimeoutMs = 5000;
inline constexpr int QuietMs = 300;
inline constexpr int RefusalWindowMs = 2000;
inline constexpr int KeepAliveIdleS = 5;
inline constexpr int KeepAliveIntervalS = 1;
inline constexpr int KeepAliveProbes = 5;
inline constexpr int UserTimeoutMs = 10000;

struct NetworkConnection {
  int Descriptor = -1;  // the connected socket, owned by whoever holds this record; -1 on failure
  int Error = 0;        // platform error number of a failure
  std::string Cause;    // a failure's cause for the user; "" on success
  std::vector<uint8_t> Received;  // what the server sent before the hand-over, undecoded

  NetworkConnection() = default;
  NetworkConnection(NetworkConnection&& other) noexcept;
  NetworkConnection& operator=(NetworkConnection&& other) noexcept;
  ~NetworkConnection();
  // Gives the socket up to the caller.
  int TakeDescriptor();
};

// Connects to address within timeoutMs (blocking). cancelDescriptor, when readable, ends the
// attempt early (a time-out). Any thread.
NetworkConnection ConnectToServer(const NetworkAddress& address, int timeoutMs,
                                  int cancelDescriptor = -1);

class PendingConnect {
 public:
  // Starts the connect at once on a worker thread.
  explicit PendingConnect(const NetworkAddress& address, int timeoutMs = ConnectTimeoutMs);
  // Ends a connect still running; its thread finishes without anyone waiting for it.
  ~PendingConnect();
  PendingConnect(const PendingConnect&) = delete;
  PendingConnect& operator=(const PendingConnect&) = delete;

  // Readable once the connect has ended (for a QSocketNotifier or poll). Stays valid while this
  // object lives.
  int ReadyDescriptor() const;
  bool Done() const;
  // The outcome (once Done); a second call gives an empty failure.
  NetworkConnection Take();

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace talyx::platform
