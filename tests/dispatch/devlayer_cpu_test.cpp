// What an open port costs while nothing moves: an idle port, and one whose input ring is full
// while more bytes wait in the driver, each stay far below one percent of a core.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "devlayer_harness.h"
#include "support/ptypair.h"
#include "support/scopedproviders.h"

namespace talyx::testing {
namespace {

// The sanitizers multiply the cost of every wake-up; the bound keeps its meaning there.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr double CpuShareLimit = 0.05;
#else
constexpr double CpuShareLimit = 0.01;
#endif

constexpr auto Window = std::chrono::seconds(2);

// The share of one core the process used over the window. The window is a measurement, not a
// wait for an event: nothing is expected to happen in it.
double CpuShareOverWindow() {
  const double before = ProcessCpuMs();
  const auto start = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(Window);
  const double wallMs =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  return (ProcessCpuMs() - before) / wallMs;
}

class DevLayerCpuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty.Valid());
    ASSERT_EQ(dispatcher.OpenPort(pty.SlavePath(), 115200, 0, 8, 1, 4096, 4096, loDtrOn), ecOK);
  }

  ScopedDeviceProviders providers{TermiosProviderOnly()};
  MainThreadPump pump;
  PtyPair pty;
  TProbeDispatcher dispatcher;
};

TEST_F(DevLayerCpuTest, IdleOpenPortCostsUnderOnePercentOfACore) {
  WindowRecorder window(dispatcher);
  window.Register();
  dispatcher.SetAvailTriggerLength(1);
  const double share = CpuShareOverWindow();
  RecordProperty("cpu_share_percent", std::to_string(share * 100));
  EXPECT_LT(share, CpuShareLimit);
}

TEST_F(DevLayerCpuTest, FullInputRingWithBytesWaitingCostsUnderOnePercentOfACore) {
  // Nobody takes the bytes: the ring fills and the rest waits in the driver.
  const std::vector<uint8_t> sent = PseudoRandomBytes(InBufferSize + 3000, 51);
  ASSERT_TRUE(pty.Send(sent));
  ASSERT_TRUE(pump.Until([&] { return dispatcher.InBuffUsed() == InBufferSize; }));

  const double share = CpuShareOverWindow();
  RecordProperty("cpu_share_percent", std::to_string(share * 100));
  EXPECT_LT(share, CpuShareLimit);

  // Nothing waiting in the driver was lost: taking the ring's bytes lets the rest in, in order.
  std::vector<uint8_t> taken;
  ASSERT_TRUE(pump.Until([&] {
    uint8_t c;
    while (dispatcher.GetChar(c) == ecOK) taken.push_back(c);
    return taken.size() >= sent.size();
  }));
  EXPECT_TRUE(taken == sent);
}

}  // namespace
}  // namespace talyx::testing
