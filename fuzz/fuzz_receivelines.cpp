// Fuzz target of the receive view's timestamps and frame-gap line breaks: for any options, bytes,
// read times (wrapping the 32-bit clock included) and event boundaries, each byte's text carries
// a break exactly where the gap before it is too long, a well-formed stamp of its own read time
// at each line it begins, and nothing else; an event's text is its bytes' texts joined, and its
// decoded text what the decoder gives for the whole event.
//
// Input: a byte of options (bit 0 timestamps, bit 1 frame gap, bits 2-3 character set), the gap
// (16 bits), the wall clock in milliseconds (42 bits of 64), the millisecond clock at the start (32
// bits); then events, each a byte (bit 0 starts a line, bit 1 hexadecimal, bits 2-7 the number of
// bytes), per byte its value and the time since the byte before (16 bits), the time from its
// last byte to the event's handling (8 bits), and a step of the wall clock since the event
// before (signed 16 bits, milliseconds: the clock set back or forward).
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzzinput.h"
#include "text/receivelines.h"
#include "text/receivetextdecoder.h"

namespace {

using talyx::formats::ReceiveLines;
using talyx::formats::ReceiveTextDecoder;

constexpr std::array<const char*, 4> kCharsets = {"UTF-8", "GB18030", "GBK", "EUC-CN"};

bool IsDigits(std::string_view text) {
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

int Number(std::string_view digits) {
  int value = 0;
  for (const char c : digits) value = value * 10 + (c - '0');
  return value;
}

// "[hh:mm:ss.zzz] " for wallMs, every field in its range (a leap second allowed) and the
// milliseconds those of wallMs whatever the time zone.
void CheckStamp(std::string_view stamp, int64_t wallMs) {
  if (stamp.size() != 15 || stamp[0] != '[' || stamp[3] != ':' || stamp[6] != ':' ||
      stamp[9] != '.' || stamp.substr(13) != "] ") {
    std::abort();
  }
  const std::string_view hours = stamp.substr(1, 2), minutes = stamp.substr(4, 2),
                         seconds = stamp.substr(7, 2), millis = stamp.substr(10, 3);
  if (!IsDigits(hours) || !IsDigits(minutes) || !IsDigits(seconds) || !IsDigits(millis))
    std::abort();
  if (Number(hours) > 23 || Number(minutes) > 59 || Number(seconds) > 60) std::abort();
  if (Number(millis) != (wallMs % 1000 + 1000) % 1000) std::abort();
}

// What the rules say one byte's text shows, kept beside the object under test.
struct Expectation {
  bool timestamps = false;
  bool frameGap = false;
  uint32_t gapMs = 0;
  bool atLineStart = true;
  bool haveLast = false;
  uint32_t lastTime = 0;

  std::string Shown(std::string_view piece, uint32_t readTime, int64_t wallNow, uint32_t clockNow) {
    std::string shown;
    if (piece.empty()) return shown;
    if (frameGap && haveLast && !atLineStart &&
        static_cast<int64_t>(static_cast<int32_t>(readTime - lastTime)) > gapMs) {
      shown += '\n';
      atLineStart = true;
    }
    haveLast = true;
    lastTime = readTime;
    const int64_t readWall = wallNow - static_cast<int32_t>(clockNow - readTime);
    for (const char c : piece) {
      if (atLineStart && timestamps) {
        const std::string stamp = ReceiveLines::Stamp(readWall);
        CheckStamp(stamp, readWall);
        shown += stamp;
      }
      shown += c;
      atLineStart = c == '\n';
    }
    return shown;
  }
};

std::string HexPiece(char byte) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  const auto code = static_cast<unsigned char>(byte);
  return {kDigits[code >> 4], kDigits[code & 0xF], ' '};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  talyx::fuzz::FuzzInput input(data, size);
  const uint8_t flags = input.Byte();
  const ReceiveLines::Options options{.Timestamps = (flags & 1) != 0,
                                      .FrameGap = (flags & 2) != 0,
                                      .FrameGapMs = input.Integer<uint16_t>()};
  const char* charset = kCharsets[(flags >> 2) % kCharsets.size()];
  int64_t wallStart = static_cast<int64_t>(input.Integer<uint64_t>() & 0x3FF'FFFF'FFFF);
  const uint32_t clockStart = input.Integer<uint32_t>();

  // The whole event at once, and each byte on its own: both must show the same.
  ReceiveLines eventWise, byteWise;
  eventWise.SetOptions(options);
  byteWise.SetOptions(options);
  ReceiveTextDecoder eventDecoder(charset), byteDecoder(charset), reference(charset);
  Expectation expected{
      .timestamps = options.Timestamps, .frameGap = options.FrameGap, .gapMs = options.FrameGapMs};

  uint32_t clock = clockStart;
  while (!input.Empty()) {
    const uint8_t head = input.Byte();
    const bool atLineStart = (head & 1) != 0, hex = (head & 2) != 0;
    std::string bytes;
    std::vector<uint32_t> times;
    for (int i = 0; i < head >> 2; ++i) {
      bytes += static_cast<char>(input.Byte());
      clock += input.Integer<uint16_t>();
      times.push_back(clock);
    }
    const uint32_t clockNow = clock + input.Byte();
    wallStart += static_cast<int16_t>(input.Integer<uint16_t>());
    const int64_t wallNow = wallStart + static_cast<uint32_t>(clockNow - clockStart);

    eventWise.BeginEvent(atLineStart, wallNow, clockNow);
    byteWise.BeginEvent(atLineStart, wallNow, clockNow);
    expected.atLineStart = atLineStart;
    std::string joined;
    if (hex) {
      eventDecoder.Reset();
      byteDecoder.Reset();
      reference.Reset();
      eventWise.AddHex(bytes, times);
      for (size_t i = 0; i < bytes.size(); ++i) {
        byteWise.AddHex(std::string_view(bytes).substr(i, 1), {times[i]});
        const std::string shown = byteWise.TakeText();
        if (shown != expected.Shown(HexPiece(bytes[i]), times[i], wallNow, clockNow)) std::abort();
        joined += shown;
      }
    } else {
      const std::string decoded = reference.Decode(bytes);
      if (eventWise.AddText(eventDecoder, bytes, times) != decoded) std::abort();
      std::string pieces;
      for (size_t i = 0; i < bytes.size(); ++i) {
        const std::string piece =
            byteWise.AddText(byteDecoder, std::string_view(bytes).substr(i, 1), {times[i]});
        const std::string shown = byteWise.TakeText();
        if (shown != expected.Shown(piece, times[i], wallNow, clockNow)) std::abort();
        pieces += piece;
        joined += shown;
      }
      if (pieces != decoded) std::abort();
    }
    if (eventWise.TakeText() != joined) std::abort();
  }
  return 0;
}
