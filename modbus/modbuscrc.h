// The Modbus RTU CRC-16: the two 256-entry tables and the one step that every user of the CRC
// shares.
//
// Principles of operation:
// - CRC-16/MODBUS: reflected polynomial 0xA001, initial value 0xFFFF, no final XOR.
// - The tables H and L follow from the polynomial at compile time: t(i) is i shifted right eight
//   times, XOR-ed with 0xA001 after each shift that drops a 1 bit; H[i] is the low byte of t(i)
//   and L[i] its high byte.
// - ModbusCrcStep's working register holds the CRC with its two bytes swapped, so that the
//   register written as four hexadecimal digits, high half first, reads in wire order (the CRC's
//   low byte is sent first). A frame followed by its own CRC leaves the register at 0.
// - Pure functions of their arguments: any thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace talyx::modbus {

inline constexpr uint16_t ModbusPolynomial = 0xA001;
inline constexpr uint16_t ModbusCrcInitial = 0xFFFF;

namespace detail {

constexpr uint16_t PolynomialRemainder(uint16_t value) {
  for (int bit = 0; bit < 8; ++bit) {
    const bool dropsOne = (value & 1) != 0;
    value = static_cast<uint16_t>(value >> 1);
    if (dropsOne) value ^= ModbusPolynomial;
  }
  return value;
}

constexpr std::array<uint8_t, 256> BuildTable(bool highByte) {
  std::array<uint8_t, 256> table{};
  for (int i = 0; i < 256; ++i) {
    const uint16_t t = PolynomialRemainder(static_cast<uint16_t>(i));
    table[i] = static_cast<uint8_t>(highByte ? t >> 8 : t & 0xFF);
  }
  return table;
}

}  // namespace detail

// The "high" table H: low bytes of t(i).
inline constexpr std::array<uint8_t, 256> ModbusCrcTableH = detail::BuildTable(false);
// The "low" table L: high bytes of t(i).
inline constexpr std::array<uint8_t, 256> ModbusCrcTableL = detail::BuildTable(true);

// One byte into the (byte-swapped) working register; returns the new register.
constexpr uint16_t ModbusCrcStep(uint8_t byte, uint16_t reg) {
  const uint8_t idx = static_cast<uint8_t>((reg >> 8) ^ byte);
  return static_cast<uint16_t>(((ModbusCrcTableH[idx] ^ (reg & 0xFF)) << 8) | ModbusCrcTableL[idx]);
}

// The working register (CRC bytes swapped) after the given bytes, from 0xFFFF.
constexpr uint16_t ModbusCrcRegister(const uint8_t* data, size_t length) {
  uint16_t reg = ModbusCrcInitial;
  for (size_t i = 0; i < length; ++i) reg = ModbusCrcStep(data[i], reg);
  return reg;
}

// The standard CRC-16/MODBUS value of the bytes (its low byte goes first on the wire).
constexpr uint16_t ModbusCrc(const uint8_t* data, size_t length) {
  const uint16_t reg = ModbusCrcRegister(data, length);
  return static_cast<uint16_t>((reg >> 8) | (reg << 8));
}

}  // namespace talyx::modbus
