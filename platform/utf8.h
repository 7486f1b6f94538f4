// The UTF-8 encoder: one code point appended as UTF-8, for every text built from code points
// (string table texts, received control symbols, RTF documents).
//
// Pure function; any thread.
#pragma once

#include <string>

namespace talyx::platform {

// Appends code point c in UTF-8 (one to four bytes); a surrogate or a value above U+10FFFF
// appends U+FFFD, the replacement character, so the result is always well-formed.
void AppendUtf8(std::string& out, char32_t c);

}  // namespace talyx::platform
