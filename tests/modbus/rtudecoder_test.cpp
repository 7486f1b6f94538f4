// DecodeFrame and the function table: each function's request and response taken apart,
// exceptions and their names, a wrong CRC kept with both values, data that does not fit its
// function kept whole, and the lengths the framer relies on.
#include "modbus/rtudecoder.h"

#include <gtest/gtest.h>

#include "modbus/rtufunctions.h"
#include "rtustream.h"

namespace talyx::modbus::testing {
namespace {

DecodedFrame Decode(const Bytes& body, FrameRole role) {
  const Bytes frame = WithCrc(body);
  return DecodeFrame(frame.data(), frame.size(), role);
}

constexpr FrameRole Request = FrameRole::Request;
constexpr FrameRole Response = FrameRole::Response;

TEST(RtuDecoder, ReadsGiveTheirRangeAndRepliesTheirValues) {
  const DecodedFrame read = Decode({0x11, 0x03, 0x00, 0x6B, 0x00, 0x03}, Request);
  EXPECT_TRUE(read.WellFormed && read.CrcOk && read.KnownFunction);
  EXPECT_EQ(read.Address, 0x11);
  EXPECT_EQ(read.Function, FnReadHolding);
  EXPECT_TRUE(read.HasAddress && read.HasQuantity);
  EXPECT_EQ(read.StartAddress, 0x6B);
  EXPECT_EQ(read.Quantity, 3);

  const DecodedFrame reply =
      Decode({0x11, 0x03, 0x06, 0xAE, 0x41, 0x56, 0x52, 0x43, 0x40}, Response);
  EXPECT_TRUE(reply.WellFormed);
  EXPECT_EQ(reply.Registers, (std::vector<uint16_t>{0xAE41, 0x5652, 0x4340}));
  EXPECT_FALSE(reply.HasAddress);

  const DecodedFrame coils = Decode({0x11, 0x01, 0x02, 0xCD, 0x01}, Response);
  EXPECT_TRUE(coils.WellFormed);
  EXPECT_EQ(coils.Bits, (std::vector<bool>{1, 0, 1, 1, 0, 0, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(RtuDecoder, WritesGiveTheirAddressQuantityAndValues) {
  const DecodedFrame coil = Decode({0x11, 0x05, 0x00, 0xAC, 0xFF, 0x00}, Response);
  EXPECT_EQ(coil.StartAddress, 0xAC);
  EXPECT_EQ(coil.Registers, (std::vector<uint16_t>{0xFF00}));

  const DecodedFrame coils =
      Decode({0x11, 0x0F, 0x00, 0x13, 0x00, 0x0A, 0x02, 0xCD, 0x01}, Request);
  EXPECT_TRUE(coils.WellFormed);
  EXPECT_EQ(coils.Quantity, 10);
  EXPECT_EQ(coils.Bits, (std::vector<bool>{1, 0, 1, 1, 0, 0, 1, 1, 1, 0}));  // padding dropped

  const DecodedFrame registers =
      Decode({0x11, 0x10, 0x00, 0x01, 0x00, 0x02, 0x04, 0x00, 0x0A, 0x01, 0x02}, Request);
  EXPECT_TRUE(registers.WellFormed);
  EXPECT_EQ(registers.StartAddress, 1);
  EXPECT_EQ(registers.Registers, (std::vector<uint16_t>{0x000A, 0x0102}));
  const DecodedFrame written = Decode({0x11, 0x10, 0x00, 0x01, 0x00, 0x02}, Response);
  EXPECT_TRUE(written.WellFormed && written.HasQuantity);
  EXPECT_TRUE(written.Registers.empty());

  const DecodedFrame mask = Decode({0x11, 0x16, 0x00, 0x04, 0x00, 0xF2, 0x00, 0x25}, Request);
  EXPECT_EQ(mask.StartAddress, 4);
  EXPECT_EQ(mask.Registers, (std::vector<uint16_t>{0x00F2, 0x0025}));

  const DecodedFrame readWrite = Decode({0x11, 0x17, 0x00, 0x03, 0x00, 0x06, 0x00, 0x0E, 0x00, 0x03,
                                         0x06, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF},
                                        Request);
  EXPECT_TRUE(readWrite.WellFormed && readWrite.HasWrite);
  EXPECT_EQ(readWrite.Quantity, 6);
  EXPECT_EQ(readWrite.WriteAddress, 0x0E);
  EXPECT_EQ(readWrite.WriteQuantity, 3);
  EXPECT_EQ(readWrite.Registers, (std::vector<uint16_t>{0x00FF, 0x00FF, 0x00FF}));
}

TEST(RtuDecoder, SerialLineAndQueueFunctionsAreLaidOut) {
  EXPECT_EQ(Decode({0x11, 0x07, 0x6D}, Response).Data, (Bytes{0x6D}));
  const DecodedFrame diagnostics = Decode({0x11, 0x08, 0x00, 0x00, 0xA5, 0x37}, Request);
  EXPECT_TRUE(diagnostics.HasSubFunction);
  EXPECT_EQ(diagnostics.SubFunction, 0);
  EXPECT_EQ(diagnostics.Registers, (std::vector<uint16_t>{0xA537}));
  EXPECT_EQ(Decode({0x11, 0x0B, 0xFF, 0xFF, 0x01, 0x08}, Response).Registers,
            (std::vector<uint16_t>{0xFFFF, 0x0108}));
  const DecodedFrame log =
      Decode({0x11, 0x0C, 0x08, 0x00, 0x00, 0x01, 0x08, 0x01, 0x21, 0x20, 0x00}, Response);
  EXPECT_EQ(log.Registers, (std::vector<uint16_t>{0x0000, 0x0108, 0x0121}));
  EXPECT_EQ(log.Data, (Bytes{0x20, 0x00}));
  EXPECT_EQ(Decode({0x11, 0x11, 0x02, 0x42, 0xFF}, Response).Data, (Bytes{0x42, 0xFF}));
  const DecodedFrame fifo =
      Decode({0x11, 0x18, 0x00, 0x06, 0x00, 0x02, 0x01, 0xB8, 0x12, 0x84}, Response);
  EXPECT_TRUE(fifo.WellFormed);
  EXPECT_EQ(fifo.Quantity, 2);
  EXPECT_EQ(fifo.Registers, (std::vector<uint16_t>{0x01B8, 0x1284}));
  EXPECT_TRUE(Decode({0x11, 0x07}, Request).WellFormed);
}

TEST(RtuDecoder, DeviceIdentificationGivesItsObjects) {
  const DecodedFrame request = Decode({0x11, 0x2B, 0x0E, 0x01, 0x00}, Request);
  EXPECT_TRUE(request.WellFormed);
  EXPECT_EQ(request.MeiType, MeiReadDeviceIdentification);
  EXPECT_EQ(request.ReadDeviceIdCode, 1);
  const Bytes body = {0x11, 0x2B, 0x0E, 0x01, 0x01, 0x00, 0x00, 0x02, 0x00,
                      0x03, 'A',  'C',  'M',  0x01, 0x02, 'V',  '2'};
  const DecodedFrame response = Decode(body, Response);
  EXPECT_TRUE(response.WellFormed);
  EXPECT_FALSE(response.MoreFollows);
  EXPECT_EQ(response.Objects, (std::vector<DeviceObject>{{0, "ACM"}, {1, "V2"}}));
  EXPECT_EQ(FunctionName(FnEncapsulatedInterface, response.MeiType), "Read Device Identification");
  const Bytes frame = WithCrc(body);
  const ExpectedLength length = ResponseLength(frame.data(), frame.size());
  EXPECT_EQ(length.Rule, LengthRule::Fixed);
  EXPECT_EQ(length.Bytes, frame.size());
  EXPECT_EQ(ResponseLength(frame.data(), 12).Rule, LengthRule::Pending);  // the second object
}

TEST(RtuDecoder, ExceptionsCarryTheirCodeWhateverTheRoleSaid) {
  const DecodedFrame exception = Decode({0x0A, 0x81, 0x02}, Request);
  EXPECT_TRUE(exception.IsException && exception.WellFormed);
  EXPECT_EQ(exception.Role, Response);
  EXPECT_EQ(exception.Function, FnReadCoils);
  EXPECT_EQ(exception.ExceptionCode, ExIllegalAddress);
  const std::pair<uint8_t, const char*> names[] = {
      {0x01, "Illegal Function"},
      {0x02, "Illegal Data Address"},
      {0x03, "Illegal Data Value"},
      {0x04, "Slave Device Failure"},
      {0x05, "Acknowledge"},
      {0x06, "Slave Device Busy"},
      {0x08, "Memory Parity Error"},
      {0x0A, "Gateway Path Unavailable"},
      {0x0B, "Gateway Target Device Failed to Respond"}};
  for (const auto& [code, name] : names) EXPECT_EQ(ExceptionName(code), name) << int{code};
  EXPECT_EQ(ExceptionName(0x07), "");
  EXPECT_EQ(FunctionName(0x17), "Read/Write Multiple Registers");
  EXPECT_EQ(FunctionName(0x41), "");
}

TEST(RtuDecoder, AWrongCrcKeepsTheValueReceivedAndTheValueComputed) {
  Bytes frame = WithCrc({0x01, 0x03, 0x00, 0x00, 0x00, 0x02});  // CRC C4 0B: 0x0BC4
  frame[7] = 0x0C;
  const DecodedFrame decoded = DecodeFrame(frame.data(), frame.size(), Request);
  EXPECT_FALSE(decoded.CrcOk);
  EXPECT_EQ(decoded.CrcReceived, 0x0CC4);
  EXPECT_EQ(decoded.CrcComputed, 0x0BC4);
  EXPECT_TRUE(decoded.WellFormed);  // the fields are still shown
  EXPECT_EQ(decoded.Quantity, 2);
}

TEST(RtuDecoder, DataThatDoesNotFitItsFunctionIsKeptWhole) {
  // A byte count of 5 over 4 bytes; an odd register reply; an unknown function.
  const DecodedFrame miscounted = Decode({0x01, 0x03, 0x05, 0x00, 0x0A, 0x00, 0x14}, Response);
  EXPECT_FALSE(miscounted.WellFormed);
  EXPECT_TRUE(miscounted.Registers.empty());
  EXPECT_EQ(miscounted.Data, (Bytes{0x05, 0x00, 0x0A, 0x00, 0x14}));
  EXPECT_FALSE(Decode({0x01, 0x03, 0x03, 0x00, 0x0A, 0x00}, Response).WellFormed);
  const DecodedFrame unknown = Decode({0x01, 0x41, 0x10, 0x20}, Request);
  EXPECT_FALSE(unknown.KnownFunction || unknown.WellFormed);
  EXPECT_EQ(unknown.Data, (Bytes{0x10, 0x20}));
  EXPECT_FALSE(DecodeFrame(Bytes{0x01, 0x03}.data(), 2, Request).CrcOk);
}

TEST(RtuFunctions, CountsAFunctionCannotHaveGiveNoLength) {
  const Bytes zeroCount = {0x01, 0x03, 0x00};
  EXPECT_EQ(ResponseLength(zeroCount.data(), 3).Rule, LengthRule::None);
  const Bytes oddCount = {0x01, 0x04, 0x03};
  EXPECT_EQ(ResponseLength(oddCount.data(), 3).Rule, LengthRule::None);
  const Bytes coils = {0x01, 0x01, 0x03};  // 3 bytes of coils: 8 bytes, as long as a request
  EXPECT_EQ(ResponseLength(coils.data(), 3).Bytes, 8u);
  EXPECT_EQ(RequestLength(coils.data(), 3).Bytes, 8u);
  const Bytes beyond = {0x01, 0x10, 0x00, 0x00, 0x00, 0x7D, 0xFA};  // 9 + 250 > 256
  EXPECT_EQ(RequestLength(beyond.data(), beyond.size()).Rule, LengthRule::None);
  EXPECT_EQ(RequestLength(beyond.data(), 6).Rule, LengthRule::Pending);
}

}  // namespace
}  // namespace talyx::modbus::testing
