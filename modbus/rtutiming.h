// Character and silence times of a Modbus RTU serial line: the one rule every framer and the
// demo slave share.
//
// Principles:
// - A character on the line is a start bit, the data bits, a parity bit when the line has parity
//   (odd, even, mark or space alike) and the stop bits (one and a half only with 5 data bits).
// - The silence that ends a frame is 3.5 character times at the line's settings, rounded up to a
//   whole microsecond; above 19200 baud it is fixed at 1750 µs, as the serial line rules of
//   Modbus fix it, so that fast lines do not need timers finer than a computer keeps.
// - A rate of 0 (unknown) counts as a fast line: its silence is 1750 µs and its characters take
//   no time.
// - Pure functions: any thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace talyx::modbus {

enum class StopBits : uint8_t { One, OneAndHalf, Two };

// What decides the times of a line: its rate and the bits of each character.
struct LineFormat {
  uint32_t BaudRate = 19200;
  uint8_t DataBits = 8;  // 5 to 8
  bool Parity = false;   // a parity bit follows the data bits
  modbus::StopBits StopBits = StopBits::One;
};

// Rates above this have the fixed silence.
inline constexpr uint32_t FixedSilenceAboveBaud = 19200;
inline constexpr uint32_t FixedSilenceMicroseconds = 1750;

// Half bits of one character (start, data, parity and stop bits), so that 1.5 stop bits count.
uint32_t CharacterHalfBits(const LineFormat& line);
// The time count characters take on the line, rounded up to a whole microsecond.
uint64_t TransmissionMicroseconds(const LineFormat& line, size_t count);
// The silence that ends a frame: 3.5 characters, or 1750 µs above 19200 baud.
uint32_t SilenceMicroseconds(const LineFormat& line);

}  // namespace talyx::modbus
