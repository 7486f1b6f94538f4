// ReceiveTextDecoder: turns the bytes of successive receive events into display text (UTF-8).
#include "text/receivetextdecoder.h"

#include "platform/utf8.h"
#include "text/utf8.h"

namespace talyx::formats {

namespace {

// iconv may call a rest cut short from its first bytes alone: GB18030 takes 81 30 for the start
// of a four-byte code whatever follows. No character set of a locale uses a control code inside
// a character, so a rest holding one is no beginning, and a line break in it must show now
// rather than wait for bytes that may never come.
bool HoldsControlCode(std::string_view rest) {
  for (const char c : rest) {
    const auto code = static_cast<unsigned char>(c);
    if (code < 0x20 || code == 0x7F) return true;
  }
  return false;
}

}  // namespace

ReceiveTextDecoder::ReceiveTextDecoder(const std::string& charset) : converter_(charset, "UTF-8") {}

std::string ReceiveTextDecoder::Decode(std::string_view bytes) {
  std::string input = pending_;
  input.append(bytes);
  pending_.clear();

  std::string decoded;
  decoded.reserve(input.size());
  std::string_view rest = input;
  for (;;) {
    const IconvConverter::Stop stop = converter_.Convert(rest, decoded);
    if (stop == IconvConverter::Stop::kDone) break;
    if (stop == IconvConverter::Stop::kIncomplete && !HoldsControlCode(rest)) {
      // The start of a character whose other bytes are still on their way (at most a few bytes).
      pending_.assign(rest);
      break;
    }
    decoded += kReplacementCharacter;
    rest.remove_prefix(1);
  }

  std::string out;
  out.reserve(decoded.size());
  AppendShown(decoded, out);
  return out;
}

void ReceiveTextDecoder::AppendShown(std::string_view decoded, std::string& out) {
  // Control characters are single bytes in UTF-8 and never occur inside a multi-byte sequence,
  // so a byte-wise scan sees each of them.
  for (const char ch : decoded) {
    const auto code = static_cast<unsigned char>(ch);
    if (code == '\n') {
      if (!afterCr_) out += '\n';
      afterCr_ = false;
      continue;
    }
    afterCr_ = code == '\r';
    if (code == '\r') {
      out += '\n';
    } else if (code == '\t' || (code >= 0x20 && code != 0x7F)) {
      out += ch;
    } else {
      platform::AppendUtf8(out, code == 0x7F ? char32_t{0x2421} : char32_t{0x2400} + code);
    }
  }
}

void ReceiveTextDecoder::SetCharset(const std::string& charset) {
  converter_ = IconvConverter(charset, "UTF-8");
  pending_.clear();
}

void ReceiveTextDecoder::Reset() {
  pending_.clear();
  afterCr_ = false;
  std::string discarded;
  converter_.Finish(discarded);
}

}  // namespace talyx::formats
