// The simulator serving a pseudo-terminal, with libmodbus as the master on the terminal end.
#include <gtest/gtest.h>
#include <modbus.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "modbus/modbuscrc.h"
#include "modbus/modbussimulator.h"
#include "modbus/simulatorloop.h"
#include "support/ptypair.h"

namespace talyx::modbus {
namespace {

class SimulatorLine : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty_.Valid());
    stop_ = eventfd(0, EFD_CLOEXEC);
    ASSERT_GE(stop_, 0);
    server_ = std::thread([this] { end_ = ServeSimulator(pty_.Master(), stop_, registers_); });
    master_ = modbus_new_rtu(pty_.SlavePath().c_str(), 9600, 'N', 8, 1);
    ASSERT_NE(master_, nullptr);
    modbus_set_slave(master_, SimulatorAddress);
    modbus_set_response_timeout(master_, 3, 0);
    ASSERT_EQ(modbus_connect(master_), 0) << modbus_strerror(errno);
  }
  void TearDown() override {
    if (master_ != nullptr) {
      modbus_close(master_);
      modbus_free(master_);
    }
    const uint64_t one = 1;
    EXPECT_EQ(write(stop_, &one, sizeof one), static_cast<ssize_t>(sizeof one));
    if (server_.joinable()) server_.join();
    EXPECT_EQ(end_, ServeEnd::Stopped);
    close(stop_);
  }

  // Sends body with its CRC through libmodbus and returns the exception code of the reply
  // (0 when the reply was no exception, -1 when none came).
  int ExceptionOf(std::vector<uint8_t> body) {
    if (modbus_send_raw_request(master_, body.data(), static_cast<int>(body.size())) < 0) return -1;
    uint8_t reply[MODBUS_RTU_MAX_ADU_LENGTH];
    const int length = modbus_receive_confirmation(master_, reply);
    if (length < 3) return -1;
    return (reply[1] & 0x80) != 0 && reply[1] == (body[1] | 0x80) ? reply[2] : 0;
  }

  testing::PtyPair pty_;
  SimulatorRegisters registers_;
  int stop_ = -1;
  std::thread server_;
  ServeEnd end_ = ServeEnd::Failed;
  modbus_t* master_ = nullptr;
};

TEST_F(SimulatorLine, ReadsAndWritesRegisters) {
  uint16_t values[4] = {};
  ASSERT_EQ(modbus_read_registers(master_, 0, 2, values), 2) << modbus_strerror(errno);
  EXPECT_EQ(values[0], 10);
  EXPECT_EQ(values[1], 20);
  ASSERT_EQ(modbus_write_register(master_, 5, 777), 1) << modbus_strerror(errno);
  const uint16_t many[3] = {0xAAAA, 0, 65535};
  ASSERT_EQ(modbus_write_registers(master_, 97, 3, many), 3) << modbus_strerror(errno);
  uint16_t back[4] = {};
  ASSERT_EQ(modbus_read_registers(master_, 96, 4, back), 4);
  EXPECT_EQ(back[0], 970);
  EXPECT_EQ(back[1], 0xAAAA);
  EXPECT_EQ(back[2], 0);
  EXPECT_EQ(back[3], 65535);
  ASSERT_EQ(modbus_read_registers(master_, 5, 1, back), 1);
  EXPECT_EQ(back[0], 777);

  uint16_t inputs[125] = {};
  ASSERT_EQ(modbus_read_input_registers(master_, 0, 100, inputs), 100) << modbus_strerror(errno);
  EXPECT_EQ(inputs[0], 1000);
  EXPECT_EQ(inputs[98], 1098);
  EXPECT_LT(inputs[99], 600);  // seconds since the registers were made
}

TEST_F(SimulatorLine, ExceptionReplies) {
  uint16_t values[2];
  EXPECT_EQ(modbus_read_registers(master_, 99, 2, values), -1);
  EXPECT_EQ(errno, EMBXILADD);
  EXPECT_EQ(ExceptionOf({0x01, 0x03, 0x00, 0x00, 0x00, 0x7E}), 3);  // 126 registers
  EXPECT_EQ(ExceptionOf({0x01, 0x2B, 0x0E, 0x01, 0x00}), 1);        // unknown function
  // The line still works after them.
  ASSERT_EQ(modbus_read_registers(master_, 0, 1, values), 1);
  EXPECT_EQ(values[0], 10);
}

TEST_F(SimulatorLine, FrameWithBadCrcGetsNoReply) {
  // A read of one register whose last CRC byte is wrong; any answer to it would be taken as the
  // reply to the read of two registers below and fail there.
  uint8_t bad[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A};
  bad[7] ^= 0xFF;
  ASSERT_NE(ModbusCrcRegister(bad, sizeof bad), 0);
  ASSERT_EQ(write(modbus_get_socket(master_), bad, sizeof bad), static_cast<ssize_t>(sizeof bad));
  // A gap longer than the silence interval ends the bad bytes; it sets the scene and decides
  // nothing, since a longer gap would only make the case clearer.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  uint16_t values[2] = {};
  ASSERT_EQ(modbus_read_registers(master_, 1, 2, values), 2) << modbus_strerror(errno);
  EXPECT_EQ(values[0], 20);
  EXPECT_EQ(values[1], 30);
}

}  // namespace
}  // namespace talyx::modbus
