// A synthetic Modbus RTU line for the framer's tests: frames with their CRC, laid on a line of
// a given speed as (byte, microsecond time), with silences or none between them, and read back
// the way a driver and the engine gather reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "modbus/modbuscrc.h"
#include "modbus/rtutiming.h"

namespace talyx::modbus::testing {

using Bytes = std::vector<uint8_t>;

// The body followed by its CRC, low byte first.
inline Bytes WithCrc(Bytes body) {
  const uint16_t crc = ModbusCrc(body.data(), body.size());
  body.push_back(static_cast<uint8_t>(crc & 0xFF));
  body.push_back(static_cast<uint8_t>(crc >> 8));
  return body;
}

inline LineFormat Line8N1(uint32_t baud) { return LineFormat{baud, 8, false, StopBits::One}; }

struct TimedByte {
  uint8_t Byte;
  uint64_t Us;
};

class LineStream {
 public:
  explicit LineStream(const LineFormat& line, uint64_t startUs = 1'000'000)
      : line_(line), now_(startUs) {}

  // The bytes back to back on the line, each stamped when its last bit has arrived.
  LineStream& Send(const Bytes& bytes) {
    const uint64_t start = now_;
    for (size_t i = 0; i < bytes.size(); ++i) {
      bytes_.push_back({bytes[i], start + TransmissionMicroseconds(line_, i + 1)});
    }
    now_ = start + TransmissionMicroseconds(line_, bytes.size());
    return *this;
  }
  // The line stays quiet.
  LineStream& Quiet(uint64_t us) {
    now_ += us;
    return *this;
  }
  // A quiet stretch one microsecond longer than the silence that ends a frame.
  LineStream& Silence() { return Quiet(SilenceMicroseconds(line_) + 1); }

  // Reads every everyUs, each byte stamped with the time of the read that takes it: frames
  // merge and gaps open inside frames, as a USB adapter's latency timer makes them.
  void GatherReads(uint64_t everyUs) {
    for (TimedByte& byte : bytes_) byte.Us = (byte.Us + everyUs - 1) / everyUs * everyUs;
  }

  const std::vector<TimedByte>& Timed() const { return bytes_; }
  uint64_t Now() const { return now_; }

 private:
  LineFormat line_;
  uint64_t now_;
  std::vector<TimedByte> bytes_;
};

}  // namespace talyx::modbus::testing
