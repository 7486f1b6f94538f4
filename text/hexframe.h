// The hexadecimal send frame: from the send box's text to the digit chunks put on the line,
// with the Modbus CRC appended and the register count of a read request.
//
// Pure functions; any thread (the send path calls them on the GUI thread).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace talyx::formats {

// Digits per chunk of a hexadecimal send (8 bytes).
inline constexpr size_t kHexChunkDigits = 16;

struct HexFrame {
  // Length in bytes of the send text, in the send character set, once spaces, line feeds and
  // carriage returns are stripped (every other character counted, whether a digit or not).
  size_t StrippedLength = 0;
  // The hexadecimal digits of the text, in order, followed by the four upper-case digits of the
  // Modbus CRC register over their complete pairs.
  std::string Digits;
  // The register count of a six-byte request: digits 9 to 12 when there were exactly 12 digits,
  // else 0.
  uint16_t RegCount = 0;
  // Digits cut in consecutive chunks of kHexChunkDigits, the last one shorter.
  std::vector<std::string> Chunks;
};

// Builds the frame of a hexadecimal send from the send text (UTF-8). charset is the character
// set the text would be sent in (it fixes StrippedLength only). Every character other than 0-9,
// a-f and A-F is dropped without a message; a text without digits still gives the CRC of
// nothing, FFFF. Throws std::invalid_argument for a character set iconv does not know.
HexFrame BuildHexFrame(std::string_view sendText, const std::string& charset);

// The bytes of hexadecimal digits, pair by pair from the start; an odd last digit is dropped.
// Characters that are not hexadecimal digits count as 0.
std::vector<uint8_t> HexDigitsToBytes(std::string_view digits);

}  // namespace talyx::formats
