// Tests of the port map and of port availability (ports 1 to 50, devices that exist).
#include "platform/portmap.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/termiosserialdevice.h"
#include "support/ptypair.h"

namespace talyx::platform {
namespace {

using talyx::testing::PtyPair;
using talyx::testing::ScopedPortMap;

TEST(PortMap, DefaultMapGivesTheSerialDeviceOneBelowTheNumber) {
  const PortMap map = PortMap::Defaults();
  EXPECT_EQ(map.PathOf(1), "/dev/ttyS0");
  EXPECT_EQ(map.PathOf(12), "/dev/ttyS11");
  EXPECT_EQ(map.PathOf(51), "/dev/ttyS50");
  EXPECT_EQ(map.PathOf(0), "");
  EXPECT_EQ(map.PathOf(-3), "");
}

TEST(PortMap, OverrideReplacesOneNumberAndForgetRestoresIt) {
  PortMap map = PortMap::Defaults();
  map.Override(1, "/dev/ttyUSB0");
  EXPECT_EQ(map.PathOf(1), "/dev/ttyUSB0");
  EXPECT_EQ(map.PathOf(2), "/dev/ttyS1");
  map.Override(2, "");
  EXPECT_EQ(map.PathOf(2), "");
  map.Forget(1);
  map.Forget(2);
  EXPECT_EQ(map.PathOf(1), "/dev/ttyS0");
  EXPECT_EQ(map.PathOf(2), "/dev/ttyS1");
  map.Override(0, "/dev/null");
  EXPECT_EQ(map.PathOf(0), "");
}

TEST(PortMap, ExhaustiveMapHasNoDeviceForNumbersItDoesNotList) {
  PortMap map = PortMap::Only({{3, "/dev/ttyUSB3"}});
  EXPECT_EQ(map.PathOf(3), "/dev/ttyUSB3");
  EXPECT_EQ(map.PathOf(1), "");
  map.Override(4, "/dev/ttyACM0");
  EXPECT_EQ(map.PathOf(4), "/dev/ttyACM0");
  map.Forget(3);
  EXPECT_EQ(map.PathOf(3), "");
}

TEST(PortMap, ScopedReplacementOfTheProcessMapIsUndoneAfterwards) {
  const PortMap before = CurrentPortMap();
  {
    ScopedPortMap scoped({{2, "/dev/ttyUSB1"}});
    EXPECT_EQ(PortDevicePath(2), "/dev/ttyUSB1");
    EXPECT_EQ(PortDevicePath(1), "");
    OverridePortPath(5, "/dev/ttyACM5");
    EXPECT_EQ(PortDevicePath(5), "/dev/ttyACM5");
  }
  EXPECT_EQ(CurrentPortMap(), before);
}

class PortAvailability : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/talyx-portmap-XXXXXX";
    const int descriptor = mkstemp(pattern);
    ASSERT_GE(descriptor, 0);
    close(descriptor);
    plainFile_ = pattern;
  }
  void TearDown() override { unlink(plainFile_.c_str()); }

  PtyPair first_, second_;
  std::string plainFile_;
};

TEST_F(PortAvailability, ExistingTerminalsInOneToFiftyAreAvailable) {
  ScopedPortMap map({{3, first_.SlavePath()},
                     {7, second_.SlavePath()},
                     {50, second_.SlavePath()},
                     {51, first_.SlavePath()},
                     {4, "/dev/talyx-no-such-device"},
                     {5, plainFile_}});
  EXPECT_TRUE(IsPortAvailable(3));
  EXPECT_TRUE(IsPortAvailable(7));
  EXPECT_TRUE(IsPortAvailable(50));
  EXPECT_FALSE(IsPortAvailable(51));
  EXPECT_FALSE(IsPortAvailable(0));
  EXPECT_FALSE(IsPortAvailable(4));
  EXPECT_FALSE(IsPortAvailable(5));
  EXPECT_FALSE(IsPortAvailable(1));  // not listed: no device, never /dev/ttyS0
}

TEST_F(PortAvailability, PortHeldByAnotherOwnerIsAvailableAndUndisturbed) {
  ScopedPortMap map({{3, first_.SlavePath()}});
  TermiosSerialDevice holder;
  ASSERT_EQ(holder.Open(first_.SlavePath()), 0);
  first_.CloseSlave();
  LineSettings settings;
  ASSERT_EQ(holder.GetState(settings), 0);
  settings.BaudRate = 31250;
  ASSERT_EQ(holder.SetState(settings), 0);

  EXPECT_TRUE(IsPortAvailable(3));

  LineSettings after;
  ASSERT_EQ(holder.GetState(after), 0);
  EXPECT_EQ(after, settings);
  TermiosSerialDevice other;
  EXPECT_EQ(other.Open(first_.SlavePath()), 5);
  const uint8_t byte = 'h';
  EXPECT_EQ(holder.Write(&byte, 1).Written, 1u);
  EXPECT_EQ(first_.Receive(1), std::vector<uint8_t>{'h'});
}

}  // namespace
}  // namespace talyx::platform
