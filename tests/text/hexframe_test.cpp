// The hexadecimal send frame: Modbus CRC vectors, register count, filtering, chunks and pairs.
#include "text/hexframe.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace talyx::formats {
namespace {

// All bytes of a frame, chunk after chunk, as the send path puts them on the line.
std::vector<uint8_t> FrameBytes(const HexFrame& frame) {
  std::vector<uint8_t> bytes;
  for (const std::string& chunk : frame.Chunks) {
    const std::vector<uint8_t> part = HexDigitsToBytes(chunk);
    bytes.insert(bytes.end(), part.begin(), part.end());
  }
  return bytes;
}

TEST(HexFrameTest, ReadRequestsGetTheirCrcAndRegisterCount) {
  const HexFrame spaced = BuildHexFrame("01 03 00 00 00 02", "UTF-8");
  EXPECT_EQ(spaced.Digits, "010300000002C40B");
  EXPECT_EQ(spaced.RegCount, 2);
  EXPECT_EQ(spaced.StrippedLength, 12u);
  EXPECT_EQ(FrameBytes(spaced), (std::vector<uint8_t>{1, 3, 0, 0, 0, 2, 0xC4, 0x0B}));
  const HexFrame lines = BuildHexFrame("01\r\n03 00 00\r00\n02\r", "UTF-8");
  EXPECT_EQ(lines.Digits, spaced.Digits);
  EXPECT_EQ(lines.StrippedLength, 12u);

  EXPECT_EQ(BuildHexFrame("01 03 00 0a 00 01", "UTF-8").Digits, "0103000a0001A408");
  EXPECT_EQ(BuildHexFrame("01 03 00 0A 00 01", "UTF-8").RegCount, 1);
  const HexFrame ten = BuildHexFrame("01 03 00 00 00 0A", "UTF-8");
  EXPECT_EQ(ten.RegCount, 10);
  EXPECT_EQ(ten.Digits.substr(12), "C5CD");
  EXPECT_EQ(BuildHexFrame("0103 0000 ffff", "UTF-8").RegCount, 65535);
}

TEST(HexFrameTest, FrameWithItsOwnCrcGetsZeroCrcAndNoRegisterCount) {
  const HexFrame frame = BuildHexFrame("01 06 00 01 00 03 98 0B", "UTF-8");
  EXPECT_EQ(frame.RegCount, 0);
  EXPECT_EQ(FrameBytes(frame), (std::vector<uint8_t>{1, 6, 0, 1, 0, 3, 0x98, 0x0B, 0x00, 0x00}));
  EXPECT_EQ(frame.Chunks, (std::vector<std::string>{"010600010003980B", "0000"}));
}

TEST(HexFrameTest, LongFrameGoesInChunksOfEightBytes) {
  std::string text;
  for (int i = 0; i < 23; ++i) text += "A5 ";
  const HexFrame frame = BuildHexFrame(text, "UTF-8");
  ASSERT_EQ(frame.Chunks.size(), 4u);
  EXPECT_EQ(HexDigitsToBytes(frame.Chunks[0]).size(), 8u);
  EXPECT_EQ(HexDigitsToBytes(frame.Chunks[2]).size(), 8u);
  EXPECT_EQ(HexDigitsToBytes(frame.Chunks[3]).size(), 1u);
  EXPECT_EQ(FrameBytes(frame).size(), 25u);
}

TEST(HexFrameTest, OtherCharactersAreDroppedButCounted) {
  // "中" is three bytes in UTF-8 and two in GBK; 'g', ',' and '-' are dropped too.
  const HexFrame frame = BuildHexFrame("01,03 g-中", "UTF-8");
  EXPECT_EQ(frame.Digits.substr(0, 4), "0103");
  EXPECT_EQ(frame.StrippedLength, 10u);
  EXPECT_EQ(BuildHexFrame("01,03 g-中", "GBK").StrippedLength, 9u);
  // Nothing valid: the CRC of nothing.
  const HexFrame empty = BuildHexFrame("xyz \r\n", "UTF-8");
  EXPECT_EQ(FrameBytes(empty), (std::vector<uint8_t>{0xFF, 0xFF}));
  EXPECT_EQ(empty.StrippedLength, 3u);
  EXPECT_EQ(empty.RegCount, 0);
}

TEST(HexFrameTest, OddDigitMisalignsTheCrcAsPairsRunFromTheStart) {
  // 0103 0 : the CRC covers 01 03 only; the last data digit pairs with the first CRC digit and
  // the final CRC digit is not sent.
  const HexFrame frame = BuildHexFrame("01030", "UTF-8");
  ASSERT_EQ(frame.Digits.size(), 9u);
  EXPECT_EQ(frame.Digits.substr(0, 5), "01030");
  const std::vector<uint8_t> bytes = FrameBytes(frame);
  ASSERT_EQ(bytes.size(), 4u);
  EXPECT_EQ(bytes[2] >> 4, 0);
  EXPECT_EQ(HexDigitsToBytes("ABC"), (std::vector<uint8_t>{0xAB}));
}

}  // namespace
}  // namespace talyx::formats
