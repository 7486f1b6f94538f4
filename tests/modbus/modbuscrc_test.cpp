// Modbus CRC: the tables' known prefixes, the register's byte order and the standard value.
#include "modbus/modbuscrc.h"

#include <gtest/gtest.h>

#include <vector>

namespace talyx::modbus {
namespace {

uint16_t RegisterOf(const std::vector<uint8_t>& bytes) {
  return ModbusCrcRegister(bytes.data(), bytes.size());
}

TEST(ModbusCrcTables, BeginWithThePublishedBytes) {
  const uint8_t h[] = {0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41};
  const uint8_t l[] = {0x00, 0xC0, 0xC1, 0x01, 0xC3, 0x03, 0x02, 0xC2};
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(ModbusCrcTableH[i], h[i]) << "H[" << i << "]";
    EXPECT_EQ(ModbusCrcTableL[i], l[i]) << "L[" << i << "]";
  }
  EXPECT_EQ(ModbusCrcTableH[255], 0x40);
  EXPECT_EQ(ModbusCrcTableL[255], 0x40);
}

TEST(ModbusCrcStep, RegisterReadsInWireOrder) {
  EXPECT_EQ(RegisterOf({0x01, 0x03, 0x00, 0x00, 0x00, 0x02}), 0xC40B);
  EXPECT_EQ(RegisterOf({0x01, 0x03, 0x00, 0x0A, 0x00, 0x01}), 0xA408);
  EXPECT_EQ(RegisterOf({0x01, 0x03, 0x04, 0x00, 0x0A, 0x00, 0x14}), 0xDA3E);
  EXPECT_EQ(RegisterOf({}), 0xFFFF);
}

TEST(ModbusCrcStep, FrameWithItsOwnCrcLeavesZero) {
  EXPECT_EQ(RegisterOf({0x01, 0x06, 0x00, 0x01, 0x00, 0x03, 0x98, 0x0B}), 0x0000);
  EXPECT_EQ(RegisterOf({0x01, 0x03, 0x00, 0x00, 0x00, 0x02, 0xC4, 0x0B}), 0x0000);
}

TEST(ModbusCrc, IsTheStandardCheckValue) {
  const uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  EXPECT_EQ(ModbusCrc(check, sizeof check), 0x4B37);
  const uint8_t request[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x02};
  EXPECT_EQ(ModbusCrc(request, sizeof request), 0x0BC4);
}

}  // namespace
}  // namespace talyx::modbus
