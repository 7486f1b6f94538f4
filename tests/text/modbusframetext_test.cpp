// DescribeFrame: the one-line text of decoded Modbus frames, register values in the chosen
// register format, exceptions, broadcasts, wrong CRCs and data that fits no layout.
#include "text/modbusframetext.h"

#include <gtest/gtest.h>

#include <vector>

#include "modbus/modbuscrc.h"

namespace talyx::formats {
namespace {

using modbus::FrameRole;
using Bytes = std::vector<uint8_t>;

std::string Describe(Bytes body, FrameRole role, TRegisterFormat format = TRegisterFormat::rfU16) {
  const uint16_t crc = modbus::ModbusCrc(body.data(), body.size());
  body.push_back(static_cast<uint8_t>(crc & 0xFF));
  body.push_back(static_cast<uint8_t>(crc >> 8));
  return DescribeFrame(modbus::DecodeFrame(body.data(), body.size(), role), format);
}

TEST(ModbusFrameText, ReadsShowTheirRangeAndRepliesTheirValuesInTheChosenFormat) {
  EXPECT_EQ(Describe({0x11, 0x03, 0x00, 0x6B, 0x00, 0x03}, FrameRole::Request),
            "17: Read Holding Registers request, start 107, count 3");
  const Bytes reply = {0x11, 0x03, 0x08, 0x41, 0x20, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x0A};
  EXPECT_EQ(Describe(reply, FrameRole::Response),
            "17: Read Holding Registers response, 4 registers: 16672, 0, 65535, 10");
  EXPECT_EQ(Describe(reply, FrameRole::Response, TRegisterFormat::rfS16),
            "17: Read Holding Registers response, 4 registers: 16672, 0, -1, 10");
  EXPECT_EQ(Describe(reply, FrameRole::Response, TRegisterFormat::rfF32Abcd),
            "17: Read Holding Registers response, 4 registers: 10, NaN");
  EXPECT_EQ(Describe({0x11, 0x01, 0x02, 0xCD, 0x01}, FrameRole::Response),
            "17: Read Coils response, 16 coils: 10110011 10000000");
}

TEST(ModbusFrameText, WritesShowWhatTheyWrite) {
  EXPECT_EQ(Describe({0x11, 0x05, 0x00, 0xAC, 0xFF, 0x00}, FrameRole::Request),
            "17: Write Single Coil request, coil 172 = ON");
  EXPECT_EQ(
      Describe({0x00, 0x06, 0x00, 0x01, 0xFF, 0xFE}, FrameRole::Request, TRegisterFormat::rfHex),
      "broadcast: Write Single Register request, register 1 = 0xFFFE");
  EXPECT_EQ(Describe({0x11, 0x10, 0x00, 0x01, 0x00, 0x02, 0x04, 0x00, 0x0A, 0x01, 0x02},
                     FrameRole::Request),
            "17: Write Multiple Registers request, 2 registers from 1: 10, 258");
  EXPECT_EQ(Describe({0x11, 0x0F, 0x00, 0x13, 0x00, 0x0A}, FrameRole::Response),
            "17: Write Multiple Coils response, 10 coils from 19");
  EXPECT_EQ(Describe({0x11, 0x16, 0x00, 0x04, 0x00, 0xF2, 0x00, 0x25}, FrameRole::Request),
            "17: Mask Write Register request, register 4, AND 0x00F2, OR 0x0025");
}

TEST(ModbusFrameText, OtherFunctionsShowTheirFields) {
  EXPECT_EQ(Describe({0x11, 0x08, 0x00, 0x00, 0xA5, 0x37}, FrameRole::Response),
            "17: Diagnostics response, sub-function 0x0000, data 0xA537");
  EXPECT_EQ(Describe({0x11, 0x0B}, FrameRole::Request), "17: Get Comm Event Counter request");
  EXPECT_EQ(Describe({0x11, 0x11, 0x02, 0x42, 0xFF}, FrameRole::Response),
            "17: Report Server ID response, data 42 FF");
  EXPECT_EQ(Describe({0x11, 0x2B, 0x0E, 0x01, 0x01, 0xFF, 0x02, 0x01, 0x00, 0x03, 'A', 'C', 'M'},
                     FrameRole::Response),
            "17: Read Device Identification response, conformity 0x01, objects: 0 \"ACM\", "
            "more follows from object 2");
}

TEST(ModbusFrameText, ExceptionsAndUnknownFunctionsAreNamedOrShownRaw) {
  EXPECT_EQ(Describe({0x0A, 0x81, 0x02}, FrameRole::Response),
            "10: Read Coils exception 02 Illegal Data Address");
  EXPECT_EQ(Describe({0x0A, 0x83, 0x0B}, FrameRole::Response),
            "10: Read Holding Registers exception 0B Gateway Target Device Failed to Respond");
  EXPECT_EQ(Describe({0x01, 0x41, 0x10, 0x20}, FrameRole::Request), "1: function 0x41, data 10 20");
}

TEST(ModbusFrameText, AWrongCrcAndAMisfitAreSaid) {
  Bytes frame = {0x01, 0x03, 0x00, 0x00, 0x00, 0x02, 0xC4, 0x0C};
  EXPECT_EQ(DescribeFrame(modbus::DecodeFrame(frame.data(), frame.size(), FrameRole::Request),
                          TRegisterFormat::rfU16),
            "1: Read Holding Registers request, start 0, count 2, CRC wrong (received 0x0CC4, "
            "computed 0x0BC4)");
  EXPECT_EQ(Describe({0x01, 0x03, 0x05, 0x00, 0x0A, 0x00, 0x14}, FrameRole::Response),
            "1: Read Holding Registers response, malformed: 05 00 0A 00 14");
}

}  // namespace
}  // namespace talyx::formats
