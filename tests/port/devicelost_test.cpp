// A device that goes away while its port is open, over pseudo-terminal pairs: the loss event
// after the last data event, the port closed, and nothing left behind after many losses.
#include <gtest/gtest.h>
#include <malloc.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "port/comport.h"
#include "porttesting.h"
#include "support/ptypair.h"
#include "support/scopedproviders.h"

namespace talyx::testing {
namespace {

size_t EntriesIn(const char* folder) {
  size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++count;
  return count;
}

class DeviceLostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    port.SetComNumber(3);
    port.SetOnTrigger([this](TCustomComPort& CP, uint16_t Msg, uint16_t, uint16_t Data) {
      if (Msg != TriggerAvailMsg) return;
      journal.push_back(losses > 0 ? "data after loss" : "data");
      for (uint16_t i = 0; i < Data; ++i) received += static_cast<char>(CP.GetChar());
    });
    port.SetOnDeviceLost([this](TCustomComPort& CP) {
      ++losses;
      stateAtLoss = CP.OpenState();
    });
  }
  void TearDown() override {
    ForgetTriggerEvents(port);
    port.SetOnDeviceLost(nullptr);
  }

  ScopedDeviceProviders providers{TermiosProviderOnly()};
  MainThreadLoop loop;
  AppHookRecorder hooks;
  std::vector<std::string> journal;
  std::string received;
  int losses = 0;
  TOpenState stateAtLoss = TOpenState::osOpen;
  TComPort port;
};

TEST_F(DeviceLostTest, FarEndClosedWhileStreamingClosesThePortAfterTheLastData) {
  PtyPair pty;
  ASSERT_TRUE(pty.Valid());
  pty.CloseSlave();
  ScopedPortMap map{{{3, pty.SlavePath()}}};
  port.SetOpen(true);

  // The far end streams numbered lines until the test closes it.
  std::string sent;
  for (int i = 0; sent.size() < 200000; ++i) sent += "line " + std::to_string(i) + "\n";
  std::atomic<bool> stop{false};
  std::atomic<size_t> written{0};
  std::thread writer([&] {
    for (size_t at = 0; at < sent.size() && !stop; at += 64) {
      if (!pty.Send(sent.substr(at, 64))) break;
      written = at + 64;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });
  ASSERT_TRUE(loop.Until([&] { return received.size() > 4096; }));
  stop = true;
  writer.join();
  const auto closedAt = std::chrono::steady_clock::now();
  pty.CloseMaster();

  ASSERT_TRUE(loop.Until([&] { return losses > 0; }, 5000));
  EXPECT_LT(std::chrono::steady_clock::now() - closedAt, std::chrono::seconds(1));
  EXPECT_EQ(losses, 1);
  EXPECT_EQ(stateAtLoss, TOpenState::osClosed);
  EXPECT_FALSE(port.Open());
  EXPECT_EQ(port.ComWindow(), 0);
  EXPECT_TRUE(hooks.Shown.empty());
  // What arrived is the stream's beginning, unbroken, and no event came after the loss.
  EXPECT_LE(received.size(), written.load());
  EXPECT_EQ(received, sent.substr(0, received.size()));
  for (const std::string& entry : journal) EXPECT_EQ(entry, "data");

  // The port opens again once a device is there.
  PtyPair back;
  back.CloseSlave();
  ScopedPortMap again{{{3, back.SlavePath()}}};
  port.SetOpen(true);
  EXPECT_TRUE(port.Open());
  received.clear();
  ASSERT_TRUE(back.Send("again"));
  EXPECT_TRUE(loop.Until([&] { return received == "again"; }));
}

TEST_F(DeviceLostTest, ManyLossesLeaveNoDescriptorThreadOrMemoryBehind) {
  const auto cycle = [&] {
    PtyPair pty;
    ASSERT_TRUE(pty.Valid());
    pty.CloseSlave();
    ScopedPortMap map{{{3, pty.SlavePath()}}};
    const int before = losses;
    port.SetOpen(true);
    ASSERT_TRUE(port.Open());
    ASSERT_TRUE(pty.Send("x"));
    ASSERT_TRUE(loop.Until([&] { return !received.empty(); }));
    received.clear();
    pty.CloseMaster();
    ASSERT_TRUE(loop.Until([&] { return losses > before; }, 5000));
  };
  // The first cycles set up what lives for the whole process (the message queue, allocator
  // arenas of the worker threads).
  for (int i = 0; i < 5; ++i) cycle();
  // The process's own threads (a sanitizer runs one of its own); a port's workers end with it.
  const size_t tasks = EntriesIn("/proc/self/task");
  const size_t descriptors = EntriesIn("/proc/self/fd");
  const size_t heapBefore = mallinfo2().uordblks;

  for (int i = 0; i < 100; ++i) cycle();
  EXPECT_EQ(losses, 105);
  EXPECT_TRUE(loop.Until([&] { return EntriesIn("/proc/self/task") <= tasks; }));
  EXPECT_EQ(EntriesIn("/proc/self/fd"), descriptors);
  // Bytes in use on the heap (0 under a sanitizer's allocator, whose own leak check counts
  // there); one leaked pair of rings per cycle alone would be over a megabyte.
  EXPECT_LT(mallinfo2().uordblks, heapBefore + 64 * 1024);
}

}  // namespace
}  // namespace talyx::testing
