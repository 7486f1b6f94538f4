// NetworkSerialDevice: the serial device over a connection to a serial device server (raw TCP
// or RFC 2217).
//
// Principles of operation:
// - It takes over a connected socket (NetworkConnection, see networkconnect.h) together with
//   the bytes the server sent during the hand-shake, which are decoded first. Open connects by
//   itself (blocking, up to ConnectTimeoutMs), for callers that have no connection at hand.
// - Raw TCP carries bytes only: line settings are kept in the record and reach no line.
// - RFC 2217: SetState sends the changed settings in the order baud rate, data size, parity,
//   stop size, then flow control, DTR and RTS, without waiting for answers; the server's
//   answers, decoded by the dispatch thread's reads, replace the values in the record that
//   GetState returns. Modem-state notifications are the modem lines one to one; line-state
//   notifications add their error bits (overrun, parity, framing, break) to the errors
//   ClearErrors and the event wait report. FLOWCONTROL-SUSPEND holds the output back until
//   FLOWCONTROL-RESUME. A stream that breaks the protocol ends the connection as a loss. A
//   server that never acknowledges COM-PORT-OPTION or a DTR/RTS setting (ser2net does not
//   answer those on a pseudo-terminal) holds nothing up: the device goes on and says so once.
// - Writes: bytes are encoded (0xFF doubled) and sent as far as the socket takes them; what
//   the socket did not take of an encoded run stays in the device's own queue (so a doubled
//   0xFF is never split for good) and goes first at the next write. OutputQueue counts that
//   queue and the socket's unsent bytes. Commands go through the same queue, so they never
//   land inside a doubled byte; the main thread waits at most CommandWaitMs for room. When no
//   later write comes, the event waiter sends what the queue still holds as the socket takes it.
// - Loss: the server closing or resetting the connection, or the keep-alive giving up, makes
//   the device gone; every byte that came before the close can still be read after it.
// - Threads (the SerialDevice contract): readMutex_ guards the decoder and the decoded bytes
//   (dispatch thread, and purges); writeMutex_ guards the send queue (output thread and
//   commands); settingsMutex_ the record. Lock order: read, then write, then settings.
// - Wake-ups as in TermiosSerialDevice: closeEvent_ signalled once by Close, maskEvent_ by
//   SetEventMask(0), resumeEvent_ by FLOWCONTROL-RESUME.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/networkaddress.h"
#include "platform/networkconnect.h"
#include "platform/rfc2217.h"
#include "platform/serialdevice.h"

namespace talyx::platform {

class NetworkSerialDevice : public SerialDevice {
 public:
  static constexpr int EventPollIntervalMs = 15;
  static constexpr int CommandWaitMs = 1000;
  // How long the server has to acknowledge COM-PORT-OPTION and the DTR/RTS settings before the
  // device goes on without, saying so once.
  static constexpr int AcknowledgeWaitMs = 1000;
  // Told what the server left unacknowledged (once, from the event waiter's thread) or why the
  // connection ended when the server broke the protocol (from the reading thread).
  using NoticeHandler = std::function<void(const std::string&)>;

  explicit NetworkSerialDevice(NetworkScheme scheme, NoticeHandler notice = {})
      : scheme_(scheme), notice_(std::move(notice)) {}
  ~NetworkSerialDevice() override;
  NetworkSerialDevice(const NetworkSerialDevice&) = delete;
  NetworkSerialDevice& operator=(const NetworkSerialDevice&) = delete;

  // Connects to the address path names; 2 when it names none or the connect failed.
  int Open(const std::string& path) override;
  // Takes over a connected socket.
  int Adopt(int descriptor) override;
  // Takes over connection's socket and decodes what it already received.
  int Adopt(NetworkConnection connection);
  bool IsOpen() const override;
  bool HasGone() const override { return gone_; }
  int Close() override;
  void Release() override;

  int GetState(LineSettings& settings) override;
  int SetState(const LineSettings& settings) override;
  int Escape(int function) override;
  int ModemStatus(uint32_t& lines) override;
  int ClearErrors(DeviceStatus& status) override;
  int Purge(PurgeQueue queue) override;
  int OutputQueue(uint32_t& count) override;

  long Read(uint8_t* buffer, size_t count) override;
  WriteOutcome Write(const uint8_t* data, size_t count) override;
  bool WaitWritable(int timeoutMs) override;

  void SetEventMask(uint32_t mask) override;
  bool WaitEvent(uint32_t& events) override;

  // Why the connection ended when the server broke the protocol; "" otherwise.
  std::string ProtocolError() const;

 private:
  // Decodes bytes from the server; caller holds readMutex_.
  void Decode(const uint8_t* bytes, size_t count);
  void HandleEvent(const rfc2217::Event& event);
  void HandleComPort(const rfc2217::Event& event);
  // Queues bytes for the server and sends what the socket takes; caller holds writeMutex_.
  int FlushQueue();
  // Queues a command and waits up to CommandWaitMs for the socket to take it.
  int SendCommand(const std::vector<uint8_t>& bytes);
  int Lost(int err);
  uint32_t Waiting() const;
  // Awaits the server's answer to what bits stand for (Await*), from now on.
  void Await(uint32_t bits);
  // Says once what is still unanswered after AcknowledgeWaitMs; event waiter only.
  void CheckAcknowledged();

  static constexpr uint32_t AwaitComPort = 1, AwaitDtr = 2, AwaitRts = 4;

  const NetworkScheme scheme_;
  const NoticeHandler notice_;
  std::atomic<uint32_t> awaited_{0};
  std::atomic<int64_t> awaitedSinceMs_{0};
  bool noticed_ = false;  // event waiter only
  int descriptor_ = -1;
  int closeEvent_ = -1;
  int maskEvent_ = -1;
  int resumeEvent_ = -1;
  std::atomic<bool> closed_{true};
  std::atomic<bool> gone_{false};
  std::atomic<uint32_t> eventMask_{0};
  std::atomic<bool> suspended_{false};
  std::atomic<uint32_t> modemLines_{0};
  std::atomic<uint32_t> errorsToClear_{0};
  std::atomic<uint32_t> errorsToReport_{0};
  std::atomic<uint32_t> decodedCount_{0};
  std::atomic<bool> bytesTaken_{false};

  mutable std::mutex readMutex_;
  rfc2217::Decoder decoder_;
  std::vector<uint8_t> decoded_;
  size_t decodedStart_ = 0;
  // Options this client has answered, so that a server repeating itself gets no second answer.
  uint8_t answered_[256] = {};
  std::string protocolError_;

  std::mutex writeMutex_;
  std::vector<uint8_t> queue_;
  std::atomic<bool> queueWaiting_{false};  // queue_ is not empty

  std::mutex settingsMutex_;
  LineSettings settings_;
  bool settingsSent_ = false;

  // The event waiter's own baselines.
  uint32_t waiterInCount_ = 0;
  uint32_t waiterLines_ = 0;
};

}  // namespace talyx::platform
