// The receive view's lines from read times: frame gaps within and across events, timestamps of
// each line in local time, and text receive that never cuts a character and decodes exactly as
// the decoder does for a whole event.
#include "text/receivelines.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <random>
#include <string>
#include <vector>

namespace talyx::formats {
namespace {

// 2026-01-02 03:04:05.678 UTC.
constexpr int64_t kWallNow = 1767323045678;

class ReceiveLinesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC0", 1);
    tzset();
  }
  // One event of hexadecimal receive at clockNow, whose bytes were read at the given times.
  std::string HexEvent(const std::string& bytes, const std::vector<uint32_t>& times,
                       bool atLineStart = false, uint32_t clockNow = 5000) {
    lines.BeginEvent(atLineStart, kWallNow, clockNow);
    lines.AddHex(bytes, times);
    return lines.TakeText();
  }
  ReceiveLines lines;
};

TEST_F(ReceiveLinesTest, FrameGapBreaksBetweenBytesReadMoreThanTheGapApartWhateverTheEvents) {
  lines.SetOptions({.Timestamps = false, .FrameGap = true, .FrameGapMs = 20});
  // Two frames read 30 ms apart in one event; 20 ms exactly is no gap.
  EXPECT_EQ(HexEvent("\x01\x02\x03\x04", {100, 100, 130, 150}, true), "01 02 \n03 04 ");
  // The next event goes on with the line while it comes within the gap, else starts a new one.
  EXPECT_EQ(HexEvent("\x05", {160}), "05 ");
  EXPECT_EQ(HexEvent("\x06", {181}), "\n06 ");
  // At a line start (each event on its own line, or an empty view) no line break is added.
  EXPECT_EQ(HexEvent("\x07", {900}, true), "07 ");
  // Across the wrap of the 32-bit clock.
  EXPECT_EQ(HexEvent("\x08\x09\x0A", {0xFFFFFFF0u, 0xFFFFFFFAu, 20}, true), "08 09 \n0A ");
}

TEST_F(ReceiveLinesTest, TimestampsBeginEveryLineWithTheLocalTimeOfItsFirstByte) {
  lines.SetOptions({.Timestamps = true, .FrameGap = true, .FrameGapMs = 20});
  // Read 5678 and 678 ms before the event's clock reading of 10000.
  EXPECT_EQ(HexEvent("\xAA\xBB", {4322, 9322}, true, 10000),
            "[03:04:00.000] AA \n[03:04:05.000] BB ");
  // A line that goes on gets no second stamp.
  EXPECT_EQ(HexEvent("\xCC", {9330}, false, 10000), "CC ");

  // Text: a line break ends the line, and the next piece read begins the next one with its time.
  ReceiveTextDecoder decoder("UTF-8");
  lines.BeginEvent(true, kWallNow, 20000);
  EXPECT_EQ(lines.AddText(decoder, "ab\r\ncd\n", {19000, 19000, 19000, 19000, 19500, 19500, 19500}),
            "ab\ncd\n");
  EXPECT_EQ(lines.TakeText(), "[03:04:04.678] ab\n[03:04:05.178] cd\n");

  EXPECT_EQ(ReceiveLines::Stamp(kWallNow - 86400000), "[03:04:05.678] ");
}

TEST_F(ReceiveLinesTest, TextNeverCutsACharacterAndDecodesAsTheWholeEventWould) {
  lines.SetOptions({.Timestamps = false, .FrameGap = true, .FrameGapMs = 20});
  ReceiveTextDecoder decoder("GB18030");
  // 中 (D6 D0) with a gap between its two bytes: it moves whole to the new line, timed by its
  // last byte; 文 (CE C4) follows at once.
  lines.BeginEvent(true, kWallNow, 1000);
  EXPECT_EQ(lines.AddText(decoder, "A\xD6\xD0\xCE\xC4", {100, 100, 200, 200, 200}), "A中文");
  EXPECT_EQ(lines.TakeText(), "A\n中文");

  // Random bytes, cut into random events: the decoded text is exactly what one decoder gives for
  // the same events, for every character set the window offers.
  for (const char* charset : {"UTF-8", "GB18030"}) {
    ReceiveTextDecoder timed(charset);
    ReceiveTextDecoder whole(charset);
    std::mt19937 random(11);
    uint32_t time = 0;
    for (int event = 0; event < 300; ++event) {
      std::string bytes;
      std::vector<uint32_t> times;
      for (auto n = static_cast<uint32_t>(random() % 12); n > 0; --n) {
        bytes.push_back(static_cast<char>(random() % 4 == 0 ? '\r' : random() % 256));
        time += static_cast<uint32_t>(random() % 40);
        times.push_back(time);
      }
      lines.BeginEvent(false, kWallNow, time);
      ASSERT_EQ(lines.AddText(timed, bytes, times), whole.Decode(bytes)) << charset << " " << event;
      lines.TakeText();
    }
  }
}

}  // namespace
}  // namespace talyx::formats
