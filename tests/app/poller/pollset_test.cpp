// Poll definitions: row checks, read requests as the decoder reads them, values of every format out
// of decoded replies, and write requests of each kind decoded back.
#include "app/poller/pollset.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "modbus/modbuscrc.h"

namespace talyx::app {
namespace {

using formats::TRegisterFormat;
using modbus::DecodedFrame;
using modbus::DecodeFrame;
using modbus::FrameRole;
using F = TRegisterFormat;

std::vector<uint8_t> WithCrc(std::vector<uint8_t> frame) {
  const uint16_t crc = modbus::ModbusCrc(frame.data(), frame.size());
  frame.push_back(static_cast<uint8_t>(crc & 0xFF));
  frame.push_back(static_cast<uint8_t>(crc >> 8));
  return frame;
}

DecodedFrame Decoded(const std::vector<uint8_t>& frame, FrameRole role) {
  return DecodeFrame(frame.data(), frame.size(), role);
}

// A read reply of registers: slave, function, byte count, the words high byte first, CRC.
DecodedFrame RegisterReply(uint8_t slave, uint8_t function, const std::vector<uint16_t>& words) {
  std::vector<uint8_t> frame = {slave, function, static_cast<uint8_t>(2 * words.size())};
  for (const uint16_t word : words) {
    frame.push_back(static_cast<uint8_t>(word >> 8));
    frame.push_back(static_cast<uint8_t>(word & 0xFF));
  }
  return Decoded(WithCrc(frame), FrameRole::Response);
}

PollRegister Reg(uint16_t address, TRegisterFormat format, double scale = 1, double offset = 0) {
  return PollRegister{.Name = "r",
                      .Address = address,
                      .Format = format,
                      .Scale = scale,
                      .Offset = offset,
                      .Unit = ""};
}

PollRow Row(PollFunction function, uint16_t start, uint16_t count,
            std::vector<PollRegister> registers = {}) {
  PollRow row;
  row.Slave = 7;
  row.Function = function;
  row.Start = start;
  row.Count = count;
  row.Registers = std::move(registers);
  return row;
}

TEST(PollRowCheckTest, EachLimitOfARow) {
  PollRow row = Row(PollFunction::ReadHoldingRegisters, 0, 125, {Reg(123, F::rfF32Abcd)});
  EXPECT_EQ(CheckPollRow(row), PollRowProblem::rpOk);
  row.Slave = 0;
  EXPECT_EQ(CheckPollRow(row), PollRowProblem::rpSlave);
  row.Slave = 248;
  EXPECT_EQ(CheckPollRow(row), PollRowProblem::rpSlave);
  row.Slave = 247;
  row.Count = 126;
  EXPECT_EQ(CheckPollRow(row), PollRowProblem::rpCount);
  row.Count = 0;
  EXPECT_EQ(CheckPollRow(row), PollRowProblem::rpCount);
  row.Count = 125;
  row.Registers = {Reg(124, F::rfF32Abcd)};  // its second word is past the row
  EXPECT_EQ(CheckPollRow(row), PollRowProblem::rpRegisterRange);
  row.Registers = {};
  row.PeriodMs = 9;
  EXPECT_EQ(CheckPollRow(row), PollRowProblem::rpPeriod);
  row.PeriodMs = 10;
  row.Start = 65412;
  EXPECT_EQ(CheckPollRow(row), PollRowProblem::rpRange);
  row.Start = 65411;
  EXPECT_EQ(CheckPollRow(row), PollRowProblem::rpOk);

  PollRow coils = Row(PollFunction::ReadCoils, 0, 2000, {Reg(1999, F::rfF32Abcd)});
  EXPECT_EQ(CheckPollRow(coils), PollRowProblem::rpOk);  // a bit is one address whatever the format
  coils.Count = 2001;
  EXPECT_EQ(CheckPollRow(coils), PollRowProblem::rpCount);
}

TEST(ReadRequestTest, BytesAsTheProtocolLaysThemOut) {
  PollRow row = Row(PollFunction::ReadHoldingRegisters, 0x006B, 3);
  row.Slave = 0x11;
  EXPECT_EQ(ReadRequest(row),
            (std::vector<uint8_t>{0x11, 0x03, 0x00, 0x6B, 0x00, 0x03, 0x76, 0x87}));

  const PollRow coils = Row(PollFunction::ReadDiscreteInputs, 0xFFF0, 16);
  const DecodedFrame frame = Decoded(ReadRequest(coils), FrameRole::Request);
  EXPECT_TRUE(frame.CrcOk);
  EXPECT_TRUE(frame.WellFormed);
  EXPECT_EQ(frame.Address, 7);
  EXPECT_EQ(frame.Function, 0x02);
  EXPECT_EQ(frame.StartAddress, 0xFFF0);
  EXPECT_EQ(frame.Quantity, 16);
}

// 0xC0490FDB: u32 3226013659, s32 -1068953637, f32 -3.1415927; its words in each word order.
const std::vector<uint16_t> kWordsInEachOrder = {0xC049, 0x0FDB, 0x0FDB, 0xC049,
                                                 0x49C0, 0xDB0F, 0xDB0F, 0x49C0};

TEST(RowValuesTest, ThirtyTwoBitFormatsInEachWordOrder) {
  const std::vector<F> formats[4] = {
      {F::rfU32Abcd, F::rfS32Abcd, F::rfF32Abcd},
      {F::rfU32Cdab, F::rfS32Cdab, F::rfF32Cdab},
      {F::rfU32Badc, F::rfS32Badc, F::rfF32Badc},
      {F::rfU32Dcba, F::rfS32Dcba, F::rfF32Dcba},
  };
  PollRow row = Row(PollFunction::ReadHoldingRegisters, 100, 8);
  for (uint16_t order = 0; order < 4; ++order) {
    for (const F format : formats[order]) {
      row.Registers.push_back(Reg(static_cast<uint16_t>(100 + 2 * order), format));
    }
  }
  const std::vector<PollValue> values = RowValues(row, RegisterReply(7, 3, kWordsInEachOrder));
  ASSERT_EQ(values.size(), 12u);
  for (size_t order = 0; order < 4; ++order) {
    const PollValue& u32 = values[3 * order];
    const PollValue& s32 = values[3 * order + 1];
    const PollValue& f32 = values[3 * order + 2];
    SCOPED_TRACE(order);
    EXPECT_TRUE(u32.Valid && s32.Valid && f32.Valid);
    EXPECT_EQ(u32.Value, 3226013659.0);
    EXPECT_EQ(u32.Text, "3226013659");
    EXPECT_EQ(s32.Value, -1068953637.0);
    EXPECT_EQ(s32.Text, "-1068953637");
    EXPECT_EQ(f32.Value, static_cast<double>(-3.1415927f));
    EXPECT_EQ(f32.Text, "-3.1415927");
  }
}

TEST(RowValuesTest, SixteenBitFormatsScaleAndOffset) {
  const PollRow row =
      Row(PollFunction::ReadInputRegisters, 10, 4,
          {Reg(10, F::rfU16), Reg(10, F::rfS16), Reg(10, F::rfHex), Reg(11, F::rfU16, 0.5, -10),
           Reg(10, F::rfS16, 0.5), Reg(12, F::rfHex, 2, 1), Reg(11, F::rfF32Dcba, 1, 0.25),
           Reg(13, F::rfU16, 0.1)});
  const std::vector<PollValue> values =
      RowValues(row, RegisterReply(7, 4, {0xFFFF, 251, 0x0010, 2301}));
  ASSERT_EQ(values.size(), 8u);
  EXPECT_EQ(values[0].Text, "65535");
  EXPECT_EQ(values[0].Value, 65535);
  EXPECT_EQ(values[1].Text, "-1");
  EXPECT_EQ(values[1].Value, -1);
  EXPECT_EQ(values[2].Text, "0xFFFF");
  EXPECT_EQ(values[2].Value, 65535);
  EXPECT_EQ(values[3].Text, "115.5");  // 251 * 0.5 - 10
  EXPECT_EQ(values[4].Text, "-0.5");
  EXPECT_EQ(values[5].Text, "33");
  EXPECT_EQ(values[5].Value, 33);
  // DCBA of 0x00FB, 0x0010: 0x1000FB00, a float far below the offset's last digit.
  EXPECT_EQ(values[6].Value, static_cast<double>(std::bit_cast<float>(0x1000FB00u)) + 0.25);
  EXPECT_EQ(values[6].Text, "0.25");
  // The scaled value keeps the double's product; its text drops the product's binary remainder.
  EXPECT_EQ(values[7].Value, 2301 * 0.1);
  EXPECT_EQ(values[7].Text, "230.1");
}

TEST(RowValuesTest, BitsOfCoilsAndInputs) {
  // 10 coils from 20: 0xCD 0x01 is 1 0 1 1 0 0 1 1, 1 0.
  const std::vector<uint8_t> reply = WithCrc({7, 0x01, 2, 0xCD, 0x01});
  const PollRow row = Row(PollFunction::ReadCoils, 20, 10,
                          {Reg(20, F::rfU16), Reg(21, F::rfU16), Reg(28, F::rfF32Abcd),
                           Reg(29, F::rfU16), Reg(22, F::rfU16, 10, 5)});
  const std::vector<PollValue> values = RowValues(row, Decoded(reply, FrameRole::Response));
  ASSERT_EQ(values.size(), 5u);
  EXPECT_EQ(values[0].Text, "1");
  EXPECT_EQ(values[1].Text, "0");
  EXPECT_EQ(values[2].Text, "1");
  EXPECT_EQ(values[2].Value, 1);
  EXPECT_EQ(values[3].Text, "0");
  EXPECT_EQ(values[4].Value, 15);
  EXPECT_EQ(values[4].Text, "15");
}

TEST(RowValuesTest, RepliesThatDoNotAnswerTheRowGiveNoValues) {
  const PollRow row = Row(PollFunction::ReadHoldingRegisters, 0, 2, {Reg(0, F::rfU16)});
  EXPECT_TRUE(RowValues(row, RegisterReply(7, 3, {1, 2}))[0].Valid);
  const auto none = [&](const DecodedFrame& reply) {
    const std::vector<PollValue> values = RowValues(row, reply);
    return values.size() == 1 && !values[0].Valid && values[0].Text.empty();
  };
  EXPECT_TRUE(none(RegisterReply(8, 3, {1, 2})));                             // another slave
  EXPECT_TRUE(none(RegisterReply(7, 4, {1, 2})));                             // another function
  EXPECT_TRUE(none(RegisterReply(7, 3, {1})));                                // fewer registers
  EXPECT_TRUE(none(Decoded(WithCrc({7, 0x83, 0x02}), FrameRole::Response)));  // exception
  std::vector<uint8_t> damaged = WithCrc({7, 3, 4, 0, 1, 0, 2});
  damaged.back() ^= 1;
  EXPECT_TRUE(none(Decoded(damaged, FrameRole::Response)));
  // A register the reply does not reach is not valid, the others are.
  const PollRow longer =
      Row(PollFunction::ReadHoldingRegisters, 0, 2, {Reg(0, F::rfU16), Reg(1, F::rfU32Abcd)});
  const std::vector<PollValue> values = RowValues(longer, RegisterReply(7, 3, {1, 2}));
  EXPECT_TRUE(values[0].Valid);
  EXPECT_FALSE(values[1].Valid);
}

DecodedFrame DecodedWrite(const PollRow& row, size_t index, double value) {
  const std::vector<uint8_t> request = WriteRequest(row, index, value);
  EXPECT_FALSE(request.empty());
  const DecodedFrame frame = Decoded(request, FrameRole::Request);
  EXPECT_TRUE(frame.CrcOk);
  EXPECT_TRUE(frame.WellFormed);
  EXPECT_EQ(frame.Address, row.Slave);
  return frame;
}

TEST(WriteRequestTest, SingleRegisterBy06ScaledAndRounded) {
  PollRow row = Row(PollFunction::ReadHoldingRegisters, 0x10, 4,
                    {Reg(0x10, F::rfU16), Reg(0x11, F::rfS16, 0.1), Reg(0x12, F::rfHex, 1, 100)});
  DecodedFrame frame = DecodedWrite(row, 0, 1234);
  EXPECT_EQ(frame.Function, 0x06);
  EXPECT_EQ(frame.StartAddress, 0x10);
  EXPECT_EQ(frame.Registers, (std::vector<uint16_t>{1234}));
  frame = DecodedWrite(row, 1, -12.36);  // raw -123.6 rounds to -124
  EXPECT_EQ(frame.StartAddress, 0x11);
  EXPECT_EQ(frame.Registers, (std::vector<uint16_t>{0xFF84}));
  frame = DecodedWrite(row, 2, 100.5);  // raw 0.5 rounds away from zero
  EXPECT_EQ(frame.Registers, (std::vector<uint16_t>{1}));

  row.MultipleWrites = true;
  frame = DecodedWrite(row, 0, 65535);
  EXPECT_EQ(frame.Function, 0x10);
  EXPECT_EQ(frame.Quantity, 1);
  EXPECT_EQ(frame.Registers, (std::vector<uint16_t>{0xFFFF}));
}

TEST(WriteRequestTest, ThirtyTwoBitsBy16InTheWordOrder) {
  const F floats[4] = {F::rfF32Abcd, F::rfF32Cdab, F::rfF32Badc, F::rfF32Dcba};
  const F signeds[4] = {F::rfS32Abcd, F::rfS32Cdab, F::rfS32Badc, F::rfS32Dcba};
  const F unsigneds[4] = {F::rfU32Abcd, F::rfU32Cdab, F::rfU32Badc, F::rfU32Dcba};
  for (size_t order = 0; order < 4; ++order) {
    SCOPED_TRACE(order);
    const std::vector<uint16_t> words(kWordsInEachOrder.begin() + 2 * order,
                                      kWordsInEachOrder.begin() + 2 * order + 2);
    const PollRow row =
        Row(PollFunction::ReadHoldingRegisters, 40, 2,
            {Reg(40, floats[order], 2, 1), Reg(40, signeds[order]), Reg(40, unsigneds[order])});
    const DecodedFrame frame = DecodedWrite(row, 0, -3.1415927f * 2 + 1);
    EXPECT_EQ(frame.Function, 0x10);
    EXPECT_EQ(frame.StartAddress, 40);
    EXPECT_EQ(frame.Quantity, 2);
    EXPECT_EQ(frame.Registers, words);
    EXPECT_EQ(DecodedWrite(row, 1, -1068953637).Registers, words);
    EXPECT_EQ(DecodedWrite(row, 2, 3226013659.0).Registers, words);
  }
}

TEST(WriteRequestTest, CoilsBy05OrBy15) {
  PollRow row = Row(PollFunction::ReadCoils, 0, 8, {Reg(5, F::rfU16), Reg(6, F::rfU16, 10, 5)});
  DecodedFrame frame = DecodedWrite(row, 0, 1);
  EXPECT_EQ(frame.Function, 0x05);
  EXPECT_EQ(frame.StartAddress, 5);
  EXPECT_EQ(frame.Registers, (std::vector<uint16_t>{0xFF00}));
  EXPECT_EQ(DecodedWrite(row, 1, 5).Registers, (std::vector<uint16_t>{0x0000}));
  row.MultipleWrites = true;
  frame = DecodedWrite(row, 1, 15);
  EXPECT_EQ(frame.Function, 0x0F);
  EXPECT_EQ(frame.StartAddress, 6);
  EXPECT_EQ(frame.Quantity, 1);
  EXPECT_EQ(frame.Bits, (std::vector<bool>{true}));
}

TEST(WriteRequestTest, RefusedOutsideTheFormatOrOnReadOnlyRows) {
  const PollRow row =
      Row(PollFunction::ReadHoldingRegisters, 0, 2,
          {Reg(0, F::rfU16), Reg(0, F::rfS16), Reg(0, F::rfU32Abcd), Reg(0, F::rfF32Abcd)});
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_TRUE(WriteRequest(row, 0, 65535.6).empty());
  EXPECT_FALSE(WriteRequest(row, 0, 65535.4).empty());
  EXPECT_TRUE(WriteRequest(row, 0, -0.6).empty());
  EXPECT_TRUE(WriteRequest(row, 0, nan).empty());
  EXPECT_TRUE(WriteRequest(row, 1, -32769).empty());
  EXPECT_TRUE(WriteRequest(row, 1, 32768).empty());
  EXPECT_TRUE(WriteRequest(row, 2, 4294967296.0).empty());
  EXPECT_TRUE(WriteRequest(row, 2, nan).empty());
  EXPECT_TRUE(WriteRequest(row, 3, 1e39).empty());
  EXPECT_TRUE(WriteRequest(row, 4, 1).empty());  // no such register
  const PollRow last = Row(PollFunction::ReadHoldingRegisters, 65535, 1,
                           {Reg(65535, F::rfU16), Reg(65535, F::rfS32Abcd)});
  EXPECT_FALSE(WriteRequest(last, 0, 1).empty());
  EXPECT_TRUE(WriteRequest(last, 1, 1).empty());  // its second word would be past 65535

  const PollRow coils = Row(PollFunction::ReadCoils, 0, 1, {Reg(0, F::rfU16)});
  EXPECT_TRUE(WriteRequest(coils, 0, 2).empty());
  EXPECT_TRUE(WriteRequest(coils, 0, -1).empty());
  for (const PollFunction readOnly :
       {PollFunction::ReadInputRegisters, PollFunction::ReadDiscreteInputs}) {
    EXPECT_TRUE(WriteRequest(Row(readOnly, 0, 1, {Reg(0, F::rfU16)}), 0, 0).empty());
  }
}

}  // namespace
}  // namespace talyx::app
