// ModbusSimulator framing and replies, byte by byte, without a line.
#include "modbus/modbussimulator.h"

#include <gtest/gtest.h>

#include <vector>

#include "modbus/modbuscrc.h"

namespace talyx::modbus {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes WithCrc(Bytes body) {
  const uint16_t reg = ModbusCrcRegister(body.data(), body.size());
  body.push_back(static_cast<uint8_t>(reg >> 8));
  body.push_back(static_cast<uint8_t>(reg & 0xFF));
  return body;
}

Bytes Join(const Bytes& a, const Bytes& b) {
  Bytes joined = a;
  joined.insert(joined.end(), b.begin(), b.end());
  return joined;
}

class Simulator : public ::testing::Test {
 protected:
  Bytes Receive(const Bytes& bytes) { return simulator_.Receive(bytes.data(), bytes.size()); }

  SimulatorRegisters registers_;
  ModbusSimulator simulator_{registers_};
};

TEST_F(Simulator, AnswersTheWorkedReadExample) {
  EXPECT_EQ(Receive({0x01, 0x03, 0x00, 0x00, 0x00, 0x02, 0xC4, 0x0B}),
            (Bytes{0x01, 0x03, 0x04, 0x00, 0x0A, 0x00, 0x14, 0xDA, 0x3E}));
  EXPECT_FALSE(simulator_.AwaitsSilence());
}

TEST_F(Simulator, GathersAcrossReadsAndAnswersTwoRequestsInOneRead) {
  const Bytes readInput = WithCrc({0x01, 0x04, 0x00, 0x05, 0x00, 0x01});
  const Bytes write = WithCrc({0x01, 0x10, 0x00, 0x02, 0x00, 0x02, 0x04, 0x12, 0x34, 0x56, 0x78});
  const Bytes both = Join(write, readInput);
  EXPECT_TRUE(Receive(Bytes(both.begin(), both.begin() + 5)).empty());
  EXPECT_TRUE(simulator_.AwaitsSilence());
  const Bytes replies = Receive(Bytes(both.begin() + 5, both.end()));
  EXPECT_EQ(replies, Join(WithCrc({0x01, 0x10, 0x00, 0x02, 0x00, 0x02}),
                          WithCrc({0x01, 0x04, 0x02, 0x03, 0xED})));  // input 5 = 1005
  EXPECT_EQ(Receive(WithCrc({0x01, 0x03, 0x00, 0x02, 0x00, 0x02})),
            WithCrc({0x01, 0x03, 0x04, 0x12, 0x34, 0x56, 0x78}));
}

TEST_F(Simulator, ExceptionReplies) {
  // Unknown function: its length is unknown, so the silence ends it.
  EXPECT_TRUE(Receive(WithCrc({0x01, 0x11})).empty());
  EXPECT_EQ(simulator_.Silence(), WithCrc({0x01, 0x91, 0x01}));
  EXPECT_EQ(Receive(WithCrc({0x01, 0x03, 0x00, 0x63, 0x00, 0x02})), WithCrc({0x01, 0x83, 0x02}));
  EXPECT_EQ(Receive(WithCrc({0x01, 0x04, 0x00, 0x64, 0x00, 0x01})), WithCrc({0x01, 0x84, 0x02}));
  EXPECT_EQ(Receive(WithCrc({0x01, 0x03, 0x00, 0x00, 0x00, 0x7E})), WithCrc({0x01, 0x83, 0x03}));
  EXPECT_EQ(Receive(WithCrc({0x01, 0x04, 0x00, 0x00, 0x00, 0x00})), WithCrc({0x01, 0x84, 0x03}));
  EXPECT_EQ(Receive(WithCrc({0x01, 0x06, 0x00, 0x64, 0x00, 0x01})), WithCrc({0x01, 0x86, 0x02}));
  // A 16 whose byte count does not match its count, and one of 124 registers.
  EXPECT_EQ(Receive(WithCrc({0x01, 0x10, 0x00, 0x00, 0x00, 0x02, 0x02, 0x00, 0x01})),
            WithCrc({0x01, 0x90, 0x03}));
  Bytes tooMany{0x01, 0x10, 0x00, 0x00, 0x00, 0x7C, 0xF8};
  tooMany.resize(7 + 0xF8, 0);
  EXPECT_EQ(Receive(WithCrc(tooMany)), WithCrc({0x01, 0x90, 0x03}));
  uint16_t value = 0;
  registers_.ReadHolding(0, 1, &value);
  EXPECT_EQ(value, 10);  // nothing refused was written
}

TEST_F(Simulator, SilentForBadCrcOtherAddressesAndBroadcast) {
  Bytes bad = WithCrc({0x01, 0x03, 0x00, 0x00, 0x00, 0x01});
  bad.back() ^= 0x01;
  // The good request right behind a bad one is lost with it; after a silence they answer again.
  EXPECT_TRUE(Receive(Join(bad, WithCrc({0x01, 0x03, 0x00, 0x00, 0x00, 0x01}))).empty());
  EXPECT_TRUE(simulator_.Silence().empty());
  EXPECT_TRUE(Receive(WithCrc({0x02, 0x03, 0x00, 0x00, 0x00, 0x01})).empty());
  EXPECT_TRUE(Receive(WithCrc({0x00, 0x06, 0x00, 0x07, 0xBE, 0xEF})).empty());
  EXPECT_TRUE(Receive(WithCrc({0x00, 0x10, 0x00, 0x08, 0x00, 0x01, 0x02, 0xCA, 0xFE})).empty());
  EXPECT_TRUE(Receive(WithCrc({0x00, 0x11})).empty());
  EXPECT_TRUE(simulator_.Silence().empty());
  EXPECT_EQ(Receive(WithCrc({0x01, 0x03, 0x00, 0x07, 0x00, 0x02})),
            WithCrc({0x01, 0x03, 0x04, 0xBE, 0xEF, 0xCA, 0xFE}));
}

TEST_F(Simulator, BytesThatMakeNoRequestAreDroppedAtTheSilence) {
  EXPECT_TRUE(Receive({0x01, 0x03, 0x00}).empty());
  EXPECT_TRUE(simulator_.Silence().empty());
  EXPECT_TRUE(Receive({0x01, 0x42, 0x55, 0x66}).empty());  // unknown function, CRC wrong
  EXPECT_TRUE(simulator_.Silence().empty());
  EXPECT_FALSE(simulator_.AwaitsSilence());
  EXPECT_EQ(Receive(WithCrc({0x01, 0x03, 0x00, 0x63, 0x00, 0x01})),
            WithCrc({0x01, 0x03, 0x02, 0x03, 0xE8}));
}

}  // namespace
}  // namespace talyx::modbus
