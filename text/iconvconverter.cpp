// IconvConverter: one iconv conversion descriptor, owned, with the loop that fills a std::string.
#include "text/iconvconverter.h"

#include <cerrno>
#include <stdexcept>

#include "text/utf8.h"

namespace talyx::formats {

namespace {
const iconv_t kNoDescriptor = reinterpret_cast<iconv_t>(-1);
constexpr size_t kIconvFailed = static_cast<size_t>(-1);
}  // namespace

IconvConverter::IconvConverter(const std::string& from, const std::string& to)
    : cd_(iconv_open(to.c_str(), from.c_str())), toUtf8_(to == "UTF-8") {
  if (cd_ == kNoDescriptor) {
    throw std::invalid_argument("unknown character set conversion: " + from + " to " + to);
  }
}

IconvConverter::~IconvConverter() { iconv_close(cd_); }

IconvConverter& IconvConverter::operator=(IconvConverter&& other) noexcept {
  std::swap(cd_, other.cd_);
  std::swap(toUtf8_, other.toUtf8_);
  return *this;
}

IconvConverter::Stop IconvConverter::Convert(std::string_view& in, std::string& out) {
  char buffer[4096];
  while (!in.empty()) {
    // iconv's interface is not const-correct; it only reads the input.
    char* inPtr = const_cast<char*>(in.data());
    size_t inLeft = in.size();
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    const size_t result = iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft);
    const int error = errno;
    // iconv writes whole characters only, so a buffer never ends inside one.
    const std::string_view produced(buffer, static_cast<size_t>(outPtr - buffer));
    if (toUtf8_) {
      AppendWellFormedUtf8(out, produced);
    } else {
      out.append(produced);
    }
    in.remove_prefix(in.size() - inLeft);
    if (result != kIconvFailed || error == E2BIG) continue;
    return error == EINVAL ? Stop::kIncomplete : Stop::kInvalid;
  }
  return Stop::kDone;
}

void IconvConverter::Finish(std::string& out) {
  char buffer[64];
  char* outPtr = buffer;
  size_t outLeft = sizeof buffer;
  iconv(cd_, nullptr, nullptr, &outPtr, &outLeft);
  out.append(buffer, static_cast<size_t>(outPtr - buffer));
}

void DecodeToUtf8(IconvConverter& converter, std::string_view in, std::string& out) {
  while (converter.Convert(in, out) != IconvConverter::Stop::kDone) {
    // Invalid or cut short: this byte cannot start a character; the next one may.
    out += kReplacementCharacter;
    in.remove_prefix(1);
  }
}

}  // namespace talyx::formats
