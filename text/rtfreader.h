// RTF reader: the plain text of a Rich Text Format document, as loaded into the send box.
//
// No maintained C or C++ RTF library is packaged for Debian, so this is a small reader of our
// own for the subset that carries text: groups, control words and symbols, \par and \line,
// \tab, \'hh bytes in the document's code page (\ansicpg, or the font's \fcharset; 936 and the
// other double-byte code pages included), \uN with \ucN fallbacks, and destinations that hold no
// text of the document (\*, font and colour tables, \info, \pict, stylesheet, headers, ...),
// which are skipped. It is a single loop over the bytes with an explicit group stack: no
// recursion, and any input, however malformed, is read to its end in linear time. Groups nest
// at most MaxRtfGroupDepth deep (real documents use a few dozen levels): a deeper document is
// refused, so a file of braces cannot grow the stack without bound. Pure functions; any thread.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace talyx::formats {

// The deepest nesting of groups read, the document's own group counting as the first.
inline constexpr size_t MaxRtfGroupDepth = 256;

// True when bytes begin as an RTF document does ("{\rtf", after optional white space).
bool IsRtf(std::string_view bytes);

// The document's text in UTF-8, each paragraph or line break as "\n". The paragraph mark that
// ends the document's last paragraph is not a line of its own, so a document that ends in \par
// gives no trailing "\n". What cannot be decoded shows as U+FFFD; nothing throws. None when
// groups nest deeper than MaxRtfGroupDepth.
std::optional<std::string> ReadRtf(std::string_view bytes);

}  // namespace talyx::formats
