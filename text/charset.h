// Character sets: the locale's narrow character set and whole-buffer conversions to and from UTF-8.
//
// The terminal keeps its texts in UTF-8 and meets other character sets only at its edges: bytes
// on the line, files loaded into the send box, the code pages of RTF documents. Conversion goes
// through glibc's iconv, so any character set it knows (GBK, GB18030, CP1252, ...) works by name.
// The functions are pure and may be called from any thread.
#pragma once

#include <string>
#include <string_view>

namespace talyx::formats {

// The character set of the current C locale (nl_langinfo(CODESET)), as set by the program's
// setlocale. The C/POSIX locale's ASCII counts as UTF-8: every program on today's systems treats
// bytes above 0x7F that way, and ASCII is a subset of it.
std::string LocaleCharset();

// True when iconv can convert between charset and UTF-8.
bool IsKnownCharset(const std::string& charset);

// Converts a whole buffer in charset to UTF-8. Every byte that does not start a valid character
// (and every byte of an incomplete character at the end) becomes one U+FFFD; all other text is
// kept. Throws std::invalid_argument for a character set that iconv does not know.
std::string ToUtf8(std::string_view bytes, const std::string& charset);

// Converts UTF-8 to charset. A character the target cannot represent becomes '?', and so does
// each invalid byte of the input; nothing else is lost. Throws std::invalid_argument for a
// character set that iconv does not know.
std::string FromUtf8(std::string_view utf8, const std::string& charset);

// True when bytes are well-formed UTF-8: shortest forms only, no surrogates, nothing above
// U+10FFFF.
bool IsValidUtf8(std::string_view bytes);

}  // namespace talyx::formats
