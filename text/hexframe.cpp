// The hexadecimal send frame: digits, Modbus CRC, register count and chunks.
#include "text/hexframe.h"

#include "modbus/modbuscrc.h"
#include "platform/hexbytes.h"
#include "text/charset.h"

namespace talyx::formats {
namespace {

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

HexFrame BuildHexFrame(std::string_view sendText, const std::string& charset) {
  HexFrame frame;
  std::string stripped;
  for (const char c : sendText) {
    if (c == ' ' || c == '\n' || c == '\r') continue;
    stripped += c;
    // Bytes of characters outside ASCII are all above 0x7F in UTF-8: never digits.
    if (HexDigitValue(c) >= 0) frame.Digits += c;
  }
  frame.StrippedLength = FromUtf8(stripped, charset).size();

  if (frame.Digits.size() == 12) {
    uint16_t count = 0;
    for (size_t i = 8; i < 12; ++i) {
      count = static_cast<uint16_t>(count * 16 + HexDigitValue(frame.Digits[i]));
    }
    frame.RegCount = count;
  }

  uint16_t reg = modbus::ModbusCrcInitial;
  for (const uint8_t byte : HexDigitsToBytes(frame.Digits)) reg = modbus::ModbusCrcStep(byte, reg);
  char crcDigits[4];
  platform::PutHexWord(crcDigits, reg);
  frame.Digits.append(crcDigits, sizeof crcDigits);

  for (size_t at = 0; at < frame.Digits.size(); at += kHexChunkDigits) {
    frame.Chunks.push_back(frame.Digits.substr(at, kHexChunkDigits));
  }
  return frame;
}

std::vector<uint8_t> HexDigitsToBytes(std::string_view digits) {
  std::vector<uint8_t> bytes;
  bytes.reserve(digits.size() / 2);
  for (size_t i = 0; i + 1 < digits.size(); i += 2) {
    const int high = HexDigitValue(digits[i]);
    const int low = HexDigitValue(digits[i + 1]);
    bytes.push_back(static_cast<uint8_t>((high < 0 ? 0 : high) * 16 + (low < 0 ? 0 : low)));
  }
  return bytes;
}

}  // namespace talyx::formats
