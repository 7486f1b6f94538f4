// Register formats: the worked reply's registers in every format, each word order on a float
// whose bytes all differ, NaN, infinities and tiny floats, a register left over, stored names.
#include "text/registerformat.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace talyx::formats {
namespace {

using Texts = std::vector<std::string>;
using F = TRegisterFormat;

// The registers of the reply 01 03 04 00 0A 00 14 DA 3E: A = 00, B = 0A, C = 00, D = 14.
const std::vector<uint16_t> kReply = {0x000A, 0x0014};

TEST(RegisterFormatTest, WorkedReplyInEveryFormat) {
  EXPECT_EQ(FormatRegisters(kReply, F::rfU16), (Texts{"10", "20"}));
  EXPECT_EQ(FormatRegisters(kReply, F::rfS16), (Texts{"10", "20"}));
  EXPECT_EQ(FormatRegisters(kReply, F::rfHex), (Texts{"0x000A", "0x0014"}));
  // 0x000A0014, 0x0014000A, 0x0A001400, 0x14000A00.
  EXPECT_EQ(FormatRegisters(kReply, F::rfU32Abcd), (Texts{"655380"}));
  EXPECT_EQ(FormatRegisters(kReply, F::rfU32Cdab), (Texts{"1310730"}));
  EXPECT_EQ(FormatRegisters(kReply, F::rfU32Badc), (Texts{"167777280"}));
  EXPECT_EQ(FormatRegisters(kReply, F::rfU32Dcba), (Texts{"335546880"}));
  EXPECT_EQ(FormatRegisters(kReply, F::rfS32Abcd), (Texts{"655380"}));
  EXPECT_EQ(FormatRegisters(kReply, F::rfS32Cdab), (Texts{"1310730"}));
  EXPECT_EQ(FormatRegisters(kReply, F::rfS32Badc), (Texts{"167777280"}));
  EXPECT_EQ(FormatRegisters(kReply, F::rfS32Dcba), (Texts{"335546880"}));
  EXPECT_EQ(FormatRegisters(kReply, F::rfF32Abcd), (Texts{"9.18383e-40"}));
  EXPECT_EQ(FormatRegisters(kReply, F::rfF32Cdab), (Texts{"1.836724e-39"}));
  EXPECT_EQ(FormatRegisters(kReply, F::rfF32Badc), (Texts{"6.1667374e-33"}));
  EXPECT_EQ(FormatRegisters(kReply, F::rfF32Dcba), (Texts{"6.464321e-27"}));
}

TEST(RegisterFormatTest, SignedValuesAndUpperCaseHex) {
  const std::vector<uint16_t> registers = {0xFFFF, 0xFFFE, 0x8000, 0x00AB};
  EXPECT_EQ(FormatRegisters(registers, F::rfU16), (Texts{"65535", "65534", "32768", "171"}));
  EXPECT_EQ(FormatRegisters(registers, F::rfS16), (Texts{"-1", "-2", "-32768", "171"}));
  EXPECT_EQ(FormatRegisters(registers, F::rfHex), (Texts{"0xFFFF", "0xFFFE", "0x8000", "0x00AB"}));
  EXPECT_EQ(FormatRegisters(registers, F::rfU32Abcd), (Texts{"4294967294", "2147483819"}));
  EXPECT_EQ(FormatRegisters(registers, F::rfS32Abcd), (Texts{"-2", "-2147483477"}));
}

TEST(RegisterFormatTest, EachWordOrderReadsItsOwnByteLayout) {
  // 3.1415927 is 0x40490FDB; 10 is 0x41200000; -2.5 is 0xC0200000.
  EXPECT_EQ(FormatRegisters({0x4049, 0x0FDB, 0x4120, 0x0000}, F::rfF32Abcd),
            (Texts{"3.1415927", "10"}));
  EXPECT_EQ(FormatRegisters({0x0FDB, 0x4049, 0x0000, 0xC020}, F::rfF32Cdab),
            (Texts{"3.1415927", "-2.5"}));
  EXPECT_EQ(FormatRegisters({0x4940, 0xDB0F, 0x2041, 0x0000}, F::rfF32Badc),
            (Texts{"3.1415927", "10"}));
  EXPECT_EQ(FormatRegisters({0xDB0F, 0x4940, 0x0000, 0x2041}, F::rfF32Dcba),
            (Texts{"3.1415927", "10"}));
  EXPECT_EQ(FormatRegisters({0xDB0F, 0x4940}, F::rfU32Dcba), (Texts{"1078530011"}));
  EXPECT_EQ(FormatRegisters({0x0000, 0x8000}, F::rfS32Cdab), (Texts{"-2147483648"}));
}

TEST(RegisterFormatTest, NanAndInfinityHaveFixedTextsAndTinyFloatsReadBack) {
  EXPECT_EQ(FormatRegisters({0x7FC0, 0x0000, 0xFFFF, 0xFFFF, 0x7F80, 0x0000, 0xFF80, 0x0000},
                            F::rfF32Abcd),
            (Texts{"NaN", "NaN", "+Inf", "-Inf"}));
  EXPECT_EQ(FormatRegisters({0x0000, 0x807F}, F::rfF32Dcba), (Texts{"+Inf"}));
  EXPECT_EQ(FormatRegisters({0x8000, 0x0000, 0x0000, 0x0001}, F::rfF32Abcd),
            (Texts{"-0", "1e-45"}));
}

TEST(RegisterFormatTest, AnOddRegisterIsLeftUnsignedSixteenBit) {
  EXPECT_EQ(FormatRegisters({0x4120, 0x0000, 0xFFFF}, F::rfF32Abcd), (Texts{"10", "65535"}));
  EXPECT_EQ(FormatRegisters({0xFFFF}, F::rfS32Abcd), (Texts{"65535"}));
  EXPECT_TRUE(FormatRegisters({}, F::rfU32Abcd).empty());
}

TEST(RegisterFormatTest, NamesRoundTripAndUnknownNamesReadAsTheDefault) {
  EXPECT_EQ(RegisterFormatName(F::rfU16), "u16");
  EXPECT_EQ(RegisterFormatName(F::rfHex), "hex");
  EXPECT_EQ(RegisterFormatName(F::rfS32Cdab), "s32-cdab");
  EXPECT_EQ(RegisterFormatName(F::rfF32Badc), "f32-badc");
  for (int i = 0; i < kRegisterFormatCount; ++i) {
    const auto format = static_cast<TRegisterFormat>(i);
    EXPECT_EQ(RegisterFormatFromName(RegisterFormatName(format)), format) << i;
  }
  EXPECT_EQ(RegisterFormatFromName("F32-DCBA"), F::rfF32Dcba);
  EXPECT_EQ(RegisterFormatFromName("f32"), F::rfU16);
  EXPECT_EQ(RegisterFormatFromName(""), F::rfU16);
}

}  // namespace
}  // namespace talyx::formats
