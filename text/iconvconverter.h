// IconvConverter: one iconv conversion descriptor, owned, with the loop that fills a std::string.
#pragma once

#include <iconv.h>

#include <string>
#include <string_view>

namespace talyx::formats {

class IconvConverter {
 public:
  // Why Convert stopped: all input converted, an invalid (or, towards a narrow character set,
  // unrepresentable) character at the front of the rest, or an incomplete character that is the
  // whole rest.
  enum class Stop { kDone, kInvalid, kIncomplete };

  // Throws std::invalid_argument when iconv cannot convert from `from` to `to`.
  IconvConverter(const std::string& from, const std::string& to);
  ~IconvConverter();
  IconvConverter(const IconvConverter&) = delete;
  IconvConverter& operator=(const IconvConverter&) = delete;
  // Takes other's conversion over; other gets this one's (and frees it when it ends).
  IconvConverter& operator=(IconvConverter&& other) noexcept;

  // Converts from the front of in, appending to out and removing what was consumed from in.
  // Towards UTF-8 the output is well-formed: glibc passes some sequences above U+10FFFF through
  // from UTF-8 input, and each of their bytes becomes U+FFFD.
  Stop Convert(std::string_view& in, std::string& out);
  // Ends the output of a stateful encoding (the shift back to the initial state) and resets it.
  void Finish(std::string& out);

 private:
  iconv_t cd_;
  bool toUtf8_;
};

// Converts all of in with a converter towards UTF-8, appending to out; each byte that does not
// start a valid character (or starts one that is cut off at the end) becomes one U+FFFD.
void DecodeToUtf8(IconvConverter& converter, std::string_view in, std::string& out);

}  // namespace talyx::formats
