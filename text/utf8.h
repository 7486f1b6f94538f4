// UTF-8 helpers: validating one sequence, reading code points, keeping text well-formed.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace talyx::formats {

// U+FFFD, the replacement character, in UTF-8.
inline constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

// Length (1 to 4) of the well-formed UTF-8 sequence at the front of bytes, or 0 when the front
// is not one (empty, stray continuation byte, overlong form, surrogate, above U+10FFFF, cut off).
size_t Utf8SequenceLength(std::string_view bytes);

// Reads the code point at the front of text and removes it; an ill-formed byte is removed alone
// and read as U+FFFD. text must not be empty.
char32_t PopCodePoint(std::string_view& text);

// Appends text to out with each byte that is not part of a well-formed sequence replaced by
// U+FFFD.
void AppendWellFormedUtf8(std::string& out, std::string_view text);

}  // namespace talyx::formats
