// Fuzz target of the receive text decoder: in each character set of text receive, any bytes show
// as well-formed UTF-8 with no control character but line breaks and tabs, one line break per CR,
// LF or CR LF, and the same whether they come at once or cut into pieces anywhere.
//
// Input: one byte choosing the character set, four bytes seeding where the stream is cut, then
// the received bytes.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/fuzzinput.h"
#include "text/charset.h"
#include "text/receivetextdecoder.h"

namespace {

// UTF-8 and GB18030 are the terminal's own choices; GBK and EUC-CN are what a Chinese locale
// gives for the locale's character set.
constexpr std::array<const char*, 4> kCharsets = {"UTF-8", "GB18030", "GBK", "EUC-CN"};

// Line breaks in the received bytes: every CR, and every LF that does not follow a CR. None of
// the character sets uses the codes of CR or LF inside a character.
size_t LineBreaksIn(std::string_view bytes) {
  size_t breaks = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r' || (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r'))) ++breaks;
  }
  return breaks;
}

void CheckShown(std::string_view shown, std::string_view bytes) {
  if (!talyx::formats::IsValidUtf8(shown)) std::abort();
  size_t breaks = 0;
  for (const char c : shown) {
    const auto code = static_cast<unsigned char>(c);
    if (code == '\n') ++breaks;
    if ((code < 0x20 && code != '\n' && code != '\t') || code == 0x7F) std::abort();
  }
  if (breaks != LineBreaksIn(bytes)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  talyx::fuzz::FuzzInput input(data, size);
  const char* charset = kCharsets[input.Byte() % kCharsets.size()];
  talyx::fuzz::FuzzSequence cuts(input.Integer<uint32_t>());
  const std::string_view bytes = input.Rest();

  talyx::formats::ReceiveTextDecoder whole(charset);
  const std::string shown = whole.Decode(bytes);
  CheckShown(shown, bytes);

  // Pieces of 0 to 8 bytes: an empty event, a character or a CR LF cut at any byte.
  talyx::formats::ReceiveTextDecoder pieces(charset);
  std::string joined;
  for (std::string_view rest = bytes; !rest.empty();) {
    const size_t length = cuts.Next() % 9;
    joined += pieces.Decode(rest.substr(0, length));
    rest.remove_prefix(std::min(length, rest.size()));
  }
  if (joined != shown) std::abort();

  // After a reset nothing of the earlier bytes (a pending character or CR) shows any more.
  pieces.Reset();
  if (pieces.Decode(bytes) != shown) std::abort();
  return 0;
}
