// ReceiveLines: the receive view's timestamps and frame-gap line breaks, from the times at which
// the engine read each received byte from the device.
//
// Principles of operation:
// - The receive path hands over the display text of one event in pieces, each with the read
//   time (millisecond clock) of its bytes, and takes back the text to show. A piece is never cut:
//   in hexadecimal receive a piece is one byte ("HH "); in text receive it is what one byte
//   completed (a whole character, a line break), timed by that byte, so a character split across
//   two reads counts as read when its last byte came.
// - Timestamps: every line begins with "[hh:mm:ss.zzz] ", the local time at which its first
//   piece was read. A read time becomes local time through the offset between the wall clock
//   and the millisecond clock, taken once per event.
// - Frame gap: when more than FrameGapMs passed between the read times of two consecutive
//   pieces, also across events, the later one starts a new line.
// - The text decides nothing about the view itself: the caller says at each event whether the
//   text begins a line of its own (the view's last line is empty, or every event stands on its
//   own line).
// - Free of Qt, main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "text/receivetextdecoder.h"

namespace talyx::formats {

class ReceiveLines {
 public:
  struct Options {
    bool Timestamps = false;
    bool FrameGap = false;
    uint32_t FrameGapMs = 20;
  };

  void SetOptions(const Options& options) { options_ = options; }
  // Either option is on; otherwise the receive path shows its text as it is.
  bool Active() const { return options_.Timestamps || options_.FrameGap; }

  // Starts the text of one event. wallNowMs (milliseconds since 1970, UTC) and clockNow (the
  // millisecond clock) are read at the same moment.
  void BeginEvent(bool atLineStart, int64_t wallNowMs, uint32_t clockNow);
  // Hexadecimal receive: each byte as "HH " with its read time.
  void AddHex(std::string_view bytes, const std::vector<uint32_t>& times);
  // Text receive: decodes the bytes one at a time and adds what each completes; returns the
  // decoded text, the same the decoder gives for all the bytes at once.
  std::string AddText(ReceiveTextDecoder& decoder, std::string_view bytes,
                      const std::vector<uint32_t>& times);
  // Adds one piece of display text, read at readTime.
  void AddPiece(std::string_view piece, uint32_t readTime);
  // The text to show for the event so far; it is emptied.
  std::string TakeText();

  // "[hh:mm:ss.zzz] " for a wall-clock time in milliseconds since 1970, in local time.
  static std::string Stamp(int64_t wallMs);

 private:
  Options options_;
  std::string text_;
  bool atLineStart_ = true;
  bool haveLast_ = false;
  uint32_t lastTime_ = 0;
  int64_t wallNowMs_ = 0;
  uint32_t clockNow_ = 0;
};

}  // namespace talyx::formats
