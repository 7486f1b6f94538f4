// Upper-case hexadecimal digits of bytes: the one formatter behind every text that shows bytes
// or 16-bit values in hexadecimal (received bytes, trace items, CRC digits, register values).
//
// Table look-ups only, no formatting calls: the receive path runs every received byte through
// here. Pure functions; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace talyx::platform {

inline constexpr char kUpperHexDigits[] = "0123456789ABCDEF";

// Writes the two digits of byte at out, high digit first, and returns the place after them.
inline char* PutHexByte(char* out, uint8_t byte) {
  out[0] = kUpperHexDigits[byte >> 4];
  out[1] = kUpperHexDigits[byte & 0xF];
  return out + 2;
}

// Writes the four digits of value at out, high byte first, and returns the place after them.
inline char* PutHexWord(char* out, uint16_t value) {
  return PutHexByte(PutHexByte(out, static_cast<uint8_t>(value >> 8)),
                    static_cast<uint8_t>(value & 0xFF));
}

// Every byte as its two digits followed by a space: "01 0A FF ".
inline std::string HexBytes(std::string_view bytes) {
  std::string text(bytes.size() * 3, ' ');
  char* out = text.data();
  for (const char c : bytes) out = PutHexByte(out, static_cast<uint8_t>(c)) + 1;
  return text;
}

}  // namespace talyx::platform
