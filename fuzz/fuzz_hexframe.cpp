// Fuzz target of the hexadecimal send parser: any send text gives a frame whose digits, chunks,
// CRC and register count agree with each other.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "modbus/modbuscrc.h"
#include "text/charset.h"
#include "text/hexframe.h"

namespace {

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The frame's properties, each checked against the input independently of the parser.
void CheckFrame(std::string_view text, const talyx::formats::HexFrame& frame) {
  std::string digits;
  for (const char c : text) {
    if (IsHexDigit(c)) digits += c;
  }
  if (frame.Digits.size() != digits.size() + 4 ||
      frame.Digits.compare(0, digits.size(), digits) != 0)
    std::abort();
  std::string joined;
  for (size_t i = 0; i < frame.Chunks.size(); ++i) {
    const size_t n = frame.Chunks[i].size();
    if (n == 0 || n > talyx::formats::kHexChunkDigits) std::abort();
    if (i + 1 < frame.Chunks.size() && n != talyx::formats::kHexChunkDigits) std::abort();
    joined += frame.Chunks[i];
  }
  if (joined != frame.Digits) std::abort();
  if (frame.Digits.find_first_not_of("0123456789ABCDEF", digits.size()) != std::string::npos)
    std::abort();
  const std::vector<uint8_t> bytes = talyx::formats::HexDigitsToBytes(digits);
  if (bytes.size() != digits.size() / 2) std::abort();
  // The CRC after the complete pairs, in wire order: the register over both comes back to 0.
  std::vector<uint8_t> withCrc = bytes;
  for (const uint8_t b : talyx::formats::HexDigitsToBytes(frame.Digits.substr(digits.size())))
    withCrc.push_back(b);
  if (talyx::modbus::ModbusCrcRegister(withCrc.data(), withCrc.size()) != 0) std::abort();
  if (digits.size() == 12) {
    if (frame.RegCount != std::stoul(digits.substr(8, 4), nullptr, 16)) std::abort();
  } else if (frame.RegCount != 0) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  CheckFrame(text, talyx::formats::BuildHexFrame(text, "UTF-8"));
  talyx::formats::BuildHexFrame(text, "GB18030");
  return 0;
}
