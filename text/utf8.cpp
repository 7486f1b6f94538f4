// UTF-8 helpers: validating one sequence, reading code points, keeping text well-formed.
#include "text/utf8.h"

namespace talyx::formats {

size_t Utf8SequenceLength(std::string_view bytes) {
  if (bytes.empty()) return 0;
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  size_t length = 0;
  // The allowed range of the second byte rules out overlong forms, surrogates and values above
  // U+10FFFF in one test.
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (bytes.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

char32_t PopCodePoint(std::string_view& text) {
  const size_t length = Utf8SequenceLength(text);
  if (length == 0) {
    text.remove_prefix(1);
    return 0xFFFD;
  }
  const auto byte = [&](size_t i) {
    return static_cast<char32_t>(static_cast<unsigned char>(text[i]));
  };
  char32_t c = 0;
  switch (length) {
    case 1:
      c = byte(0);
      break;
    case 2:
      c = ((byte(0) & 0x1F) << 6) | (byte(1) & 0x3F);
      break;
    case 3:
      c = ((byte(0) & 0x0F) << 12) | ((byte(1) & 0x3F) << 6) | (byte(2) & 0x3F);
      break;
    default:
      c = ((byte(0) & 0x07) << 18) | ((byte(1) & 0x3F) << 12) | ((byte(2) & 0x3F) << 6) |
          (byte(3) & 0x3F);
  }
  text.remove_prefix(length);
  return c;
}

void AppendWellFormedUtf8(std::string& out, std::string_view text) {
  while (!text.empty()) {
    const size_t length = Utf8SequenceLength(text);
    if (length == 0) {
      out += kReplacementCharacter;
      text.remove_prefix(1);
    } else {
      out.append(text.substr(0, length));
      text.remove_prefix(length);
    }
  }
}

}  // namespace talyx::formats
