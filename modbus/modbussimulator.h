// ModbusSimulator: a Modbus RTU slave (address 1) that frames received bytes and answers them.
//
// Principles of operation:
// - The caller hands over the bytes read from the line (Receive) and says when the line has been
//   silent for the silence interval (Silence); both return the reply bytes to send, if any.
// - Framing scans bytes, not timers: a request's length follows from its function code (8 bytes
//   for 03, 04 and 06; 9 plus its byte count for 16), so bytes are gathered across reads and
//   several requests in one read are all answered. Only a request whose length cannot be known
//   (any other function code) waits for the silence that ends it.
// - A complete request with a wrong CRC gets no reply, and the bytes after it are dropped up to
//   the next silence, since its end can no longer be trusted. Bytes still gathered at a silence
//   that make no valid request are dropped, so the next good request is answered.
// - Requests for another address get no reply; address 0 (broadcast) carries out 06 and 16
//   without a reply.
// - Functions 03, 04, 06 and 16 on registers 0..99. Exceptions: 01 for any other function, 03 for
//   a count outside 1..125 (1..123 for 16) or a byte count of 16 that does not match its count,
//   02 for an address range outside 0..99.
// - One thread uses a simulator; the registers it shares with others guard themselves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "modbus/rtufunctions.h"
#include "modbus/simulatorregisters.h"

namespace talyx::modbus {

inline constexpr uint8_t SimulatorAddress = 1;

class ModbusSimulator {
 public:
  explicit ModbusSimulator(SimulatorRegisters& registers);

  // Bytes that arrived on the line; returns the replies now due, in order.
  std::vector<uint8_t> Receive(const uint8_t* data, size_t length);
  // The line has been silent for the silence interval: ends whatever was gathered.
  std::vector<uint8_t> Silence();
  // Whether a silence would end anything (bytes gathered or being dropped).
  bool AwaitsSilence() const { return !gathered_.empty() || dropping_; }

 private:
  void ScanGathered(std::vector<uint8_t>& replies);
  // Answers one whole request whose CRC holds.
  void Answer(const uint8_t* frame, std::vector<uint8_t>& replies);

  SimulatorRegisters& registers_;
  std::vector<uint8_t> gathered_;  // bytes of requests not yet complete
  bool dropping_ = false;          // bytes are dropped until the next silence
};

}  // namespace talyx::modbus
