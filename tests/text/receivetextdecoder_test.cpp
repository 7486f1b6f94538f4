// The receive text decoder: characters and line breaks cut between events, invalid bytes,
// control characters.
#include "text/receivetextdecoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace talyx::formats {
namespace {

const std::string kFffd = "\xEF\xBF\xBD";

// Decodes the events one after another and joins what they show.
std::string DecodeEvents(ReceiveTextDecoder& decoder, const std::vector<std::string>& events) {
  std::string shown;
  for (const std::string& event : events) shown += decoder.Decode(event);
  return shown;
}

TEST(ReceiveTextDecoderTest, CharacterCutBetweenEventsShowsOnceWhole) {
  ReceiveTextDecoder utf8("UTF-8");
  EXPECT_EQ(utf8.Decode("A\xE4"), "A");
  EXPECT_EQ(utf8.Decode("\xB8"), "");
  EXPECT_EQ(utf8.Decode("\xAD"
                        "B"),
            "中B");
  ReceiveTextDecoder gbk("GBK");
  EXPECT_EQ(DecodeEvents(gbk, {"\xD6", "\xD0\xCE", "\xC4"}), "中文");
  ReceiveTextDecoder gb18030("GB18030");
  const std::string smiley = "\x94\x39\xFC\x36";  // U+1F600 in four bytes
  EXPECT_EQ(DecodeEvents(gb18030, {smiley.substr(0, 1), smiley.substr(1, 2), smiley.substr(3)}),
            "😀");
}

TEST(ReceiveTextDecoderTest, InvalidBytesShowAsReplacementAndDecodingGoesOn) {
  ReceiveTextDecoder decoder("UTF-8");
  EXPECT_EQ(decoder.Decode("\xFF"
                           "A\x80"),
            kFffd + "A" + kFffd);
  // A lead byte whose next byte, in the next event, does not continue it.
  EXPECT_EQ(DecodeEvents(decoder, {"x\xE4", "A"}), "x" + kFffd + "A");
}

TEST(ReceiveTextDecoderTest, LineBreakAfterFalseCharacterStartShowsAtOnce) {
  // GB18030 reads 81 30 as the start of a four-byte code until it sees the next two bytes.
  ReceiveTextDecoder decoder("GB18030");
  EXPECT_EQ(decoder.Decode("A\x81\x30\n"), "A" + kFffd + "0\n");
  EXPECT_EQ(decoder.Decode("\x81\x30\r"), kFffd + "0\n");
  // A true start still waits for its end: 81 30 81 30 is U+0080.
  EXPECT_EQ(DecodeEvents(decoder, {"\x81\x30\x81", "\x30"}), "\xC2\x80");
}

TEST(ReceiveTextDecoderTest, EachLineEndBreaksOnceAlsoAcrossEvents) {
  ReceiveTextDecoder decoder("UTF-8");
  EXPECT_EQ(decoder.Decode("a\rb\nc\r\nd"), "a\nb\nc\nd");
  EXPECT_EQ(DecodeEvents(decoder, {"e\r", "\nf"}), "e\nf");
  EXPECT_EQ(DecodeEvents(decoder, {"\r", "\r", "\n"}), "\n\n");
  EXPECT_EQ(decoder.Decode("\n\r"), "\n\n");
  // A CR then a character cut between events: the LF after it is a break of its own.
  EXPECT_EQ(DecodeEvents(decoder, {"\r\xE4", "\xB8\xAD", "\n"}), "\n中\n");
}

TEST(ReceiveTextDecoderTest, ControlCharactersShowAsSymbolsTabStays) {
  ReceiveTextDecoder decoder("UTF-8");
  EXPECT_EQ(decoder.Decode(std::string("a\0\x01\tb\x1B\x7F", 7)), "a␀␁\tb␛␡");
}

TEST(ReceiveTextDecoderTest, ResetForgetsPendingCharacterAndCr) {
  ReceiveTextDecoder decoder("UTF-8");
  EXPECT_EQ(decoder.Decode("\r\xE4\xB8"), "\n");
  decoder.Reset();
  EXPECT_EQ(decoder.Decode("\nA"), "\nA");
}

}  // namespace
}  // namespace talyx::formats
