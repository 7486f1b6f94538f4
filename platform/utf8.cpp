// The UTF-8 encoder.
#include "platform/utf8.h"

namespace talyx::platform {

namespace {

char Byte(char32_t bits) { return static_cast<char>(static_cast<unsigned char>(bits)); }

}  // namespace

void AppendUtf8(std::string& out, char32_t c) {
  if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = 0xFFFD;
  if (c < 0x80) {
    out += Byte(c);
  } else if (c < 0x800) {
    out += Byte(0xC0 | (c >> 6));
    out += Byte(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += Byte(0xE0 | (c >> 12));
    out += Byte(0x80 | ((c >> 6) & 0x3F));
    out += Byte(0x80 | (c & 0x3F));
  } else {
    out += Byte(0xF0 | (c >> 18));
    out += Byte(0x80 | ((c >> 12) & 0x3F));
    out += Byte(0x80 | ((c >> 6) & 0x3F));
    out += Byte(0x80 | (c & 0x3F));
  }
}

}  // namespace talyx::platform
