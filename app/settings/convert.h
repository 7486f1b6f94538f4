// Text to integer as the window reads numbers: settings values, port settings, the interval.
#pragma once

#include <QString>
#include <cstdint>
#include <string>

#include "errors/exception.h"

namespace talyx::app {

// A text that is not a whole number in the signed 32-bit range.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// Decimal with an optional sign, or hexadecimal after "$" or "0x" (hexadecimal values up to
// FFFFFFFF fill all 32 bits and so may read as negative). Nothing else is allowed, blanks
// included. False, with *value untouched, for any other text.
bool TryStrToInt(const std::string& text, int32_t* value);

// The error of a text that is not a whole number: "'%s' 不是一个有效的整形值" (%s: the text).
EConvertError NotAnIntegerError(const QString& text);

// TryStrToInt, raising EConvertError "'%s' 不是一个有效的整形值" (%s: the text) on failure.
int32_t StrToInt(const QString& text);

}  // namespace talyx::app
