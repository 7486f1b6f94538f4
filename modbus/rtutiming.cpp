// Character and silence times of a Modbus RTU serial line.
#include "modbus/rtutiming.h"

namespace talyx::modbus {

namespace {

// Microseconds of a number of quarter bits at the rate, rounded up.
uint64_t QuarterBitsMicroseconds(uint64_t quarterBits, uint32_t baudRate) {
  const uint64_t perSecond = 4ULL * baudRate;
  return (quarterBits * 1000000ULL + perSecond - 1) / perSecond;
}

}  // namespace

uint32_t CharacterHalfBits(const LineFormat& line) {
  uint32_t stopHalfBits = 2;
  if (line.StopBits == StopBits::OneAndHalf) stopHalfBits = 3;
  if (line.StopBits == StopBits::Two) stopHalfBits = 4;
  return 2 * (1u + line.DataBits + (line.Parity ? 1u : 0u)) + stopHalfBits;
}

uint64_t TransmissionMicroseconds(const LineFormat& line, size_t count) {
  if (line.BaudRate == 0) return 0;
  return QuarterBitsMicroseconds(2ULL * CharacterHalfBits(line) * count, line.BaudRate);
}

uint32_t SilenceMicroseconds(const LineFormat& line) {
  if (line.BaudRate == 0 || line.BaudRate > FixedSilenceAboveBaud) return FixedSilenceMicroseconds;
  // 3.5 characters of h half bits are 7h quarter bits.
  return static_cast<uint32_t>(
      QuarterBitsMicroseconds(7ULL * CharacterHalfBits(line), line.BaudRate));
}

}  // namespace talyx::modbus
