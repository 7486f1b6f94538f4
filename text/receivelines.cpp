// ReceiveLines: timestamps and frame-gap line breaks of the receive view.
#include "text/receivelines.h"

#include <time.h>

#include <cstdio>

#include "platform/hexbytes.h"

namespace talyx::formats {

void ReceiveLines::BeginEvent(bool atLineStart, int64_t wallNowMs, uint32_t clockNow) {
  atLineStart_ = atLineStart;
  wallNowMs_ = wallNowMs;
  clockNow_ = clockNow;
}

void ReceiveLines::AddHex(std::string_view bytes, const std::vector<uint32_t>& times) {
  for (size_t i = 0; i < bytes.size() && i < times.size(); ++i) {
    char piece[] = "XX ";
    platform::PutHexByte(piece, static_cast<uint8_t>(bytes[i]));
    AddPiece(std::string_view(piece, 3), times[i]);
  }
}

std::string ReceiveLines::AddText(ReceiveTextDecoder& decoder, std::string_view bytes,
                                  const std::vector<uint32_t>& times) {
  std::string decoded;
  for (size_t i = 0; i < bytes.size() && i < times.size(); ++i) {
    const std::string piece = decoder.Decode(bytes.substr(i, 1));
    if (piece.empty()) continue;  // part of a character, or the LF of a CR LF
    AddPiece(piece, times[i]);
    decoded += piece;
  }
  return decoded;
}

void ReceiveLines::AddPiece(std::string_view piece, uint32_t readTime) {
  // The millisecond clock wraps in 32 bits: the difference of two times read as signed is the
  // time between them.
  if (options_.FrameGap && haveLast_ && !atLineStart_ &&
      static_cast<int32_t>(readTime - lastTime_) > static_cast<int64_t>(options_.FrameGapMs)) {
    text_ += '\n';
    atLineStart_ = true;
  }
  haveLast_ = true;
  lastTime_ = readTime;
  for (const char ch : piece) {
    if (atLineStart_ && options_.Timestamps) {
      text_ += Stamp(wallNowMs_ - static_cast<int32_t>(clockNow_ - readTime));
    }
    text_ += ch;
    atLineStart_ = ch == '\n';
  }
}

std::string ReceiveLines::TakeText() {
  std::string text;
  text.swap(text_);
  return text;
}

std::string ReceiveLines::Stamp(int64_t wallMs) {
  const int64_t seconds = wallMs >= 0 ? wallMs / 1000 : (wallMs - 999) / 1000;
  const auto milliseconds = static_cast<int>(wallMs - seconds * 1000);
  const auto when = static_cast<time_t>(seconds);
  tm local{};
  localtime_r(&when, &local);
  char stamp[24];
  std::snprintf(stamp, sizeof stamp, "[%02d:%02d:%02d.%03d] ", local.tm_hour, local.tm_min,
                local.tm_sec, milliseconds);
  return stamp;
}

}  // namespace talyx::formats
