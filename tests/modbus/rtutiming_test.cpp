// The character and silence times of a line: 3.5 characters of the line's own bits up to 19200
// baud, 1750 µs above.
#include "modbus/rtutiming.h"

#include <gtest/gtest.h>

namespace talyx::modbus {
namespace {

LineFormat Line(uint32_t baud, uint8_t dataBits, bool parity, StopBits stop) {
  return LineFormat{baud, dataBits, parity, stop};
}

TEST(RtuTiming, SilenceIsThreeAndAHalfCharactersOfTheLinesOwnBits) {
  EXPECT_EQ(SilenceMicroseconds(Line(9600, 8, false, StopBits::One)), 3646u);  // 10 bits
  EXPECT_EQ(SilenceMicroseconds(Line(9600, 8, true, StopBits::One)), 4011u);   // 11 bits
  EXPECT_EQ(SilenceMicroseconds(Line(9600, 8, false, StopBits::Two)), 4011u);
  EXPECT_EQ(SilenceMicroseconds(Line(9600, 7, true, StopBits::One)), 3646u);
  EXPECT_EQ(SilenceMicroseconds(Line(1200, 8, true, StopBits::Two)), 35000u);          // 12 bits
  EXPECT_EQ(SilenceMicroseconds(Line(1200, 5, false, StopBits::OneAndHalf)), 21875u);  // 7.5
  EXPECT_EQ(SilenceMicroseconds(Line(19200, 8, false, StopBits::One)), 1823u);
  EXPECT_EQ(SilenceMicroseconds(Line(19200, 8, true, StopBits::One)), 2006u);
}

TEST(RtuTiming, SilenceIsFixedAboveNineteenThousandTwoHundredBaudAndForAnUnknownRate) {
  EXPECT_EQ(SilenceMicroseconds(Line(19201, 8, true, StopBits::Two)), 1750u);
  EXPECT_EQ(SilenceMicroseconds(Line(115200, 8, false, StopBits::One)), 1750u);
  EXPECT_EQ(SilenceMicroseconds(Line(921600, 8, false, StopBits::One)), 1750u);
  EXPECT_EQ(SilenceMicroseconds(Line(0, 8, false, StopBits::One)), 1750u);
}

TEST(RtuTiming, TransmissionCountsEveryBitOfEveryCharacter) {
  EXPECT_EQ(CharacterHalfBits(Line(9600, 8, true, StopBits::One)), 22u);
  EXPECT_EQ(CharacterHalfBits(Line(9600, 5, false, StopBits::OneAndHalf)), 15u);
  // 8 characters of 10 bits at 9600 baud: 8333.3 µs, rounded up.
  EXPECT_EQ(TransmissionMicroseconds(Line(9600, 8, false, StopBits::One), 8), 8334u);
  // 256 characters of 10 bits at 921600 baud: 2777.8 µs, not 256 rounded character times.
  EXPECT_EQ(TransmissionMicroseconds(Line(921600, 8, false, StopBits::One), 256), 2778u);
  EXPECT_EQ(TransmissionMicroseconds(Line(0, 8, false, StopBits::One), 8), 0u);
}

}  // namespace
}  // namespace talyx::modbus
