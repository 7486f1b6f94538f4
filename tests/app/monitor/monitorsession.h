// A Modbus session with the demo slave laid on a synthetic line and fed to the bus monitor's
// feed: requests given through the sent-bytes hook, the slave's replies (corrupted on request)
// as received bytes one character apart, and the RS-485 echo when asked for.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/monitor/monitorfeed.h"
#include "modbus/modbuscrc.h"
#include "modbus/modbussimulator.h"
#include "modbus/rtutiming.h"

namespace talyx::app::testing {

using Bytes = std::vector<uint8_t>;

inline Bytes WithCrc(Bytes body) {
  const uint16_t crc = modbus::ModbusCrc(body.data(), body.size());
  body.push_back(static_cast<uint8_t>(crc & 0xFF));
  body.push_back(static_cast<uint8_t>(crc >> 8));
  return body;
}

class MonitorSession {
 public:
  static constexpr uint64_t ReplyDelayUs = 5000;

  explicit MonitorSession(TMonitorFeed& feed) : feed_(feed), hook_(feed.SentHook()) {
    feed_.SetLine(line_);
  }

  // Sends the request at the current time and receives the slave's reply (if any).
  void Exchange(const Bytes& request, bool corruptReply = false, bool echo = false) {
    Send(request);
    if (echo) Receive(request, now_);
    Bytes reply = slave_.Receive(request.data(), request.size());
    if (corruptReply && reply.size() > 3) reply[3] ^= 0x40;
    const uint64_t end = now_ + modbus::TransmissionMicroseconds(line_, request.size());
    if (!reply.empty()) Receive(reply, end + ReplyDelayUs);
    Pass(end + ReplyDelayUs + modbus::TransmissionMicroseconds(line_, reply.size()) + 20'000 -
         now_);
  }
  // Gives a block as the output thread would, written now.
  void Send(const Bytes& bytes) { hook_(bytes.data(), bytes.size(), now_); }
  // The bytes arriving back to back from startUs on.
  void Receive(const Bytes& bytes, uint64_t startUs) {
    std::vector<uint64_t> times;
    for (size_t i = 0; i < bytes.size(); ++i) {
      times.push_back(startUs + modbus::TransmissionMicroseconds(line_, i + 1));
    }
    feed_.Received(std::string(bytes.begin(), bytes.end()), times);
  }
  // Time passes with the line quiet.
  void Pass(uint64_t us) {
    now_ += us;
    feed_.Idle(now_);
  }
  uint64_t Now() const { return now_; }

 private:
  TMonitorFeed& feed_;
  TMonitorFeed::TSentHook hook_;
  modbus::LineFormat line_{19200, 8, false, modbus::StopBits::One};
  modbus::SimulatorRegisters registers_;
  modbus::ModbusSimulator slave_{registers_};
  uint64_t now_ = 1'000'000;
};

}  // namespace talyx::app::testing
