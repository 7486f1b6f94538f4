// RTF writer: a text (the receive view's) as a Rich Text Format document.
//
// Written by hand for the same reason as the reader: no maintained RTF library is packaged.
// The document is plain ASCII: every character outside ASCII is a \uN? escape, so Chinese text
// opens correctly in word processors whatever their code page, and in our own reader. Pure
// function; any thread.
#pragma once

#include <string>
#include <string_view>

namespace talyx::formats {

// The document for utf8Text: one paragraph (\par) per line of the text ("\n" separates lines);
// \, { and } escaped; a tab as \tab; every other character outside printable ASCII, control
// characters included, as \uN? (N a signed 16-bit number, N - 65536 from U+8000 on; a character
// beyond U+FFFF as its two UTF-16 halves). ReadRtf gives utf8Text back exactly.
std::string WriteRtf(std::string_view utf8Text);

}  // namespace talyx::formats
