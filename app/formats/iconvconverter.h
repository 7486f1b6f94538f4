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

  // Converts from the front of in, appending to out and removing what was consumed from in.
  Stop Convert(std::string_view& in, std::string& out);
  // Ends the output of a stateful encoding (the shift back to the initial state) and resets it.
  void Finish(std::string& out);

 private:
  iconv_t cd_;
};

}  // namespace talyx::formats
