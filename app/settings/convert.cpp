// Text to integer conversion.
#include "app/settings/convert.h"

#include <QCoreApplication>

namespace talyx::app {

bool TryStrToInt(const std::string& text, int32_t* value) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  bool hex = false;
  if (text.compare(i, 1, "$") == 0) {
    hex = true;
    i += 1;
  } else if (text.compare(i, 2, "0x") == 0 || text.compare(i, 2, "0X") == 0) {
    hex = true;
    i += 2;
  }
  if (i >= text.size()) return false;
  const uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
  uint64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (hex && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (hex && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return false;
    }
    magnitude = magnitude * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
    if (magnitude > limit) return false;
  }
  // Hexadecimal values fill all 32 bits, as a register would; decimal ones are range-checked.
  const auto bits = static_cast<uint32_t>(negative ? (0 - magnitude) : magnitude);
  *value = static_cast<int32_t>(bits);
  return true;
}

EConvertError NotAnIntegerError(const QString& text) {
  return EConvertError(
      QCoreApplication::translate("StrToInt", "'%1' 不是一个有效的整形值").arg(text).toStdString());
}

int32_t StrToInt(const QString& text) {
  int32_t value = 0;
  if (!TryStrToInt(text.toStdString(), &value)) throw NotAnIntegerError(text);
  return value;
}

}  // namespace talyx::app
