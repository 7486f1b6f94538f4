// Character sets: the locale's narrow character set and whole-buffer conversions to and from UTF-8.
#include "text/charset.h"

#include <langinfo.h>

#include <stdexcept>

#include "text/iconvconverter.h"
#include "text/utf8.h"

namespace talyx::formats {

std::string LocaleCharset() {
  const std::string codeset = nl_langinfo(CODESET);
  if (codeset.empty() || codeset == "ANSI_X3.4-1968" || codeset == "ASCII" ||
      codeset == "US-ASCII") {
    return "UTF-8";
  }
  return codeset;
}

bool IsKnownCharset(const std::string& charset) {
  try {
    IconvConverter toUtf8(charset, "UTF-8");
    IconvConverter fromUtf8("UTF-8", charset);
    return true;
  } catch (const std::invalid_argument&) {
    return false;
  }
}

std::string ToUtf8(std::string_view bytes, const std::string& charset) {
  IconvConverter converter(charset, "UTF-8");
  std::string out;
  out.reserve(bytes.size());
  DecodeToUtf8(converter, bytes, out);
  return out;
}

std::string FromUtf8(std::string_view utf8, const std::string& charset) {
  IconvConverter converter("UTF-8", charset);
  std::string out;
  out.reserve(utf8.size());
  while (converter.Convert(utf8, out) != IconvConverter::Stop::kDone) {
    // Either a character the target cannot hold (skip all of it) or an invalid byte (skip it).
    out += '?';
    const size_t length = Utf8SequenceLength(utf8);
    utf8.remove_prefix(length == 0 ? 1 : length);
  }
  converter.Finish(out);
  return out;
}

bool IsValidUtf8(std::string_view bytes) {
  while (!bytes.empty()) {
    const size_t length = Utf8SequenceLength(bytes);
    if (length == 0) return false;
    bytes.remove_prefix(length);
  }
  return true;
}

}  // namespace talyx::formats
