// Events, the waits on one or two events, the re-entrant critical section and the clock.
#include "platform/event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/criticalsection.h"

namespace talyx::platform {
namespace {

TEST(EventTest, AutoResetWakesOneWaitAndResets) {
  Event event(false);
  event.Set();
  event.Set();  // a flag, not a counter
  EXPECT_EQ(WaitForEvent(event, 0), 0);
  EXPECT_EQ(WaitForEvent(event, 0), WaitTimeout);
}

TEST(EventTest, ManualResetStaysSetUntilReset) {
  Event event(true, true);
  EXPECT_EQ(WaitForEvent(event, 0), 0);
  EXPECT_EQ(WaitForEvent(event, 0), 0);
  event.Reset();
  EXPECT_EQ(WaitForEvent(event, 5), WaitTimeout);
}

TEST(EventTest, FirstOfTwoWinsAndOnlyItIsConsumed) {
  Event first(false), second(false);
  first.Set();
  second.Set();
  EXPECT_EQ(WaitForEvents(first, second, 0), 0);
  EXPECT_EQ(WaitForEvents(first, second, 0), 1);
  EXPECT_EQ(WaitForEvents(EventPair{&first, &second}, 0), WaitTimeout);
}

TEST(EventTest, TimeOutReturnsAfterTheLimit) {
  Event event(false);
  const uint32_t start = MillisecondClock();
  EXPECT_EQ(WaitForEvent(event, 30), WaitTimeout);
  EXPECT_GE(MillisecondClock() - start, 29u);
}

TEST(EventTest, SetFromAnotherThreadEndsAnEndlessWait) {
  Event first(false), second(false);
  std::thread setter([&] { second.Set(); });
  EXPECT_EQ(WaitForEvents(first, second, Infinite), 1);
  setter.join();
}

// Two threads hand a token back and forth many times through two auto-reset events; a lost
// wake-up would hang the test, a doubled one would break the strict alternation.
TEST(EventTest, PingPongLosesNoWakeUp) {
  Event ping(false), pong(false);
  constexpr int rounds = 20000;
  std::atomic<int> turn{0};
  std::thread other([&] {
    for (int i = 0; i < rounds; ++i) {
      ASSERT_EQ(WaitForEvent(ping, Infinite), 0);
      ASSERT_EQ(turn.fetch_add(1), 2 * i + 1);
      pong.Set();
    }
  });
  for (int i = 0; i < rounds; ++i) {
    ASSERT_EQ(turn.fetch_add(1), 2 * i);
    ping.Set();
    ASSERT_EQ(WaitForEvent(pong, 10000), 0);
  }
  other.join();
  EXPECT_EQ(turn.load(), 2 * rounds);
}

// Many setters against one waiter on two events: every round ends with exactly one wake of the
// waited event; the waiter counts what it got and the setters what they sent.
TEST(EventTest, ManySettersOneWaiterCountsEveryRound) {
  Event data(false), stop(false), ack(false);
  std::atomic<int> received{0};
  std::thread waiter([&] {
    while (WaitForEvents(data, stop, Infinite) == 0) {
      received.fetch_add(1);
      ack.Set();
    }
  });
  std::vector<std::thread> setters;
  std::atomic<int> sent{0};
  CriticalSection serialise;
  for (int t = 0; t < 3; ++t) {
    setters.emplace_back([&] {
      for (int i = 0; i < 2000; ++i) {
        SectionGuard guard(serialise);
        data.Set();
        sent.fetch_add(1);
        ASSERT_EQ(WaitForEvent(ack, 10000), 0);
      }
    });
  }
  for (auto& s : setters) s.join();
  stop.Set();
  waiter.join();
  EXPECT_EQ(received.load(), sent.load());
}

TEST(CriticalSectionTest, OwnerMayEnterAgainOthersWait) {
  CriticalSection section;
  section.Enter();
  section.Enter();
  bool otherGotIt = true;
  std::thread other([&] { otherGotIt = section.TryEnter(); });
  other.join();
  EXPECT_FALSE(otherGotIt);
  section.Leave();
  section.Leave();
  std::thread later([&] {
    otherGotIt = section.TryEnter();
    if (otherGotIt) section.Leave();
  });
  later.join();
  EXPECT_TRUE(otherGotIt);
}

TEST(ClockTest, CountsMillisecondsForward) {
  const uint32_t start = MillisecondClock();
  SleepMs(20);
  const uint32_t elapsed = MillisecondClock() - start;
  EXPECT_GE(elapsed, 19u);
  EXPECT_LT(elapsed, 5000u);
}

TEST(ClockTest, TheMicrosecondClockReadsAsTheMillisecondClockAtTheSameInstant) {
  for (int i = 0; i < 1000; ++i) {
    const uint32_t before = MillisecondClock();
    const uint64_t micros = MicrosecondClock();
    const uint32_t after = MillisecondClock();
    // Differences, so that a wrap of the 32-bit clock between the readings does not matter.
    ASSERT_LE(MillisecondsOf(micros) - before, after - before);
  }
  const uint64_t first = MicrosecondClock();
  std::this_thread::sleep_for(std::chrono::milliseconds(2));
  EXPECT_GE(MicrosecondClock() - first, 2000u);
}

}  // namespace
}  // namespace talyx::platform
