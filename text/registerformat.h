// Register formats of the register view: how the decoded 16-bit registers of a read reply are
// shown, one by one or combined in pairs into 32-bit values.
//
// Principles:
// - Registers arrive as the device sends them, each high byte first. For a pair of registers
//   R1 (the first) and R2, the four bytes are named A = high byte of R1, B = low byte of R1,
//   C = high byte of R2, D = low byte of R2. A word order names the bytes of the 32-bit value
//   from its most significant byte to its least:
//     ABCD  R1 is the high word, each register high byte first (big-endian)
//     CDAB  R2 is the high word (words swapped)
//     BADC  R1 is the high word, the bytes of each register swapped
//     DCBA  R2 is the high word, the bytes of each register swapped (little-endian)
//   The registers 0x4120, 0x0000 in ABCD are 0x41200000, which as a float is 10.
// - 16-bit formats give one value per register. 32-bit formats give one value per pair, in
//   order; a last register without a partner is shown as unsigned 16-bit.
// - Texts: unsigned and signed values in decimal without leading zeros ("-1"); hexadecimal as
//   "0x" and four upper-case digits ("0x000A"); floats as the shortest text that reads back to
//   the same single-precision value, in plain or exponent notation, whichever is shorter
//   (std::to_chars: "10", "0.1", "-2.5", "1e+20", "1.5e-40"); a NaN of any payload or sign as
//   "NaN", infinities as "+Inf" and "-Inf".
// - Pure functions, free of Qt; any thread.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace talyx::formats {

// In the order of the options dialog's list; the names stored in the settings file follow.
enum class TRegisterFormat {
  rfU16,  // unsigned 16-bit (the default)
  rfS16,  // signed 16-bit
  rfHex,  // hexadecimal
  rfU32Abcd,
  rfU32Cdab,
  rfU32Badc,
  rfU32Dcba,
  rfS32Abcd,
  rfS32Cdab,
  rfS32Badc,
  rfS32Dcba,
  rfF32Abcd,
  rfF32Cdab,
  rfF32Badc,
  rfF32Dcba,
};

inline constexpr int kRegisterFormatCount = 15;

// The value texts of the registers in the format.
std::vector<std::string> FormatRegisters(const std::vector<uint16_t>& registers,
                                         TRegisterFormat format);

// The number a register (16-bit formats: first; hexadecimal counts as unsigned) or a pair
// (32-bit formats: first and second, in the format's word order) holds, as its text shows it.
double RegisterValue(uint16_t first, uint16_t second, TRegisterFormat format);
// The two registers, in the order they are sent, that hold the 32-bit value in the word order of
// a 32-bit format: the inverse of the pairing above.
std::array<uint16_t, 2> SplitRegisters(uint32_t value, TRegisterFormat format);

// The short lower-case name kept in the settings file: "u16", "s16", "hex", "u32-abcd" ...
// "f32-dcba".
std::string RegisterFormatName(TRegisterFormat format);
// The format of a name, in any case; an unknown name reads as rfU16.
TRegisterFormat RegisterFormatFromName(std::string_view name);

// The word order of a 32-bit format ("ABCD", "CDAB", "BADC" or "DCBA"); empty for a 16-bit one.
std::string_view RegisterWordOrder(TRegisterFormat format);

}  // namespace talyx::formats
