// RTF writer: a text (the receive view's) as a Rich Text Format document.
#include "text/rtfwriter.h"

#include "text/utf8.h"

namespace talyx::formats {
namespace {

// \uN? for one UTF-16 unit; '?' is what readers without Unicode show instead (\uc1).
void AppendUnicodeEscape(std::string& out, char32_t unit) {
  const int signedUnit = unit >= 0x8000 ? static_cast<int>(unit) - 65536 : static_cast<int>(unit);
  out += "\\u";
  out += std::to_string(signedUnit);
  out += '?';
}

}  // namespace

std::string WriteRtf(std::string_view utf8Text) {
  // Header: Chinese code page and the view's font (SimSun, 9 points), one \uN fallback each.
  std::string out =
      "{\\rtf1\\ansi\\ansicpg936\\deff0\\uc1{\\fonttbl{\\f0\\fnil\\fcharset134 SimSun;}}\n"
      "\\pard\\f0\\fs18 ";
  out.reserve(out.size() + utf8Text.size() * 2);
  while (!utf8Text.empty()) {
    const char32_t c = PopCodePoint(utf8Text);
    if (c == '\n') {
      out += "\\par\n";
    } else if (c == '\\' || c == '{' || c == '}') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\t') {
      out += "\\tab ";  // the space ends the control word and is not text
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else if (c <= 0xFFFF) {
      AppendUnicodeEscape(out, c);
    } else {
      AppendUnicodeEscape(out, 0xD800 + ((c - 0x10000) >> 10));
      AppendUnicodeEscape(out, 0xDC00 + ((c - 0x10000) & 0x3FF));
    }
  }
  out += "\\par\n}";
  return out;
}

}  // namespace talyx::formats
