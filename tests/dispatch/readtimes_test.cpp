// Read times of received bytes: each byte taken with GetChar carries the time of the read that
// brought it into the input ring, to the microsecond and on the millisecond clock, across reads,
// the ring's end, read-ahead deliveries and flushes; the marks stay bounded when nothing is
// taken; and reads and takes on two threads keep them consistent (run under ThreadSanitizer as
// well).
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "testdispatcher.h"

namespace talyx::testing {
namespace {

// Bytes taken with their read times: microseconds, and the millisecond clock's readings.
struct Timed {
  std::string Bytes;
  std::vector<uint64_t> Times;
  std::vector<uint32_t> Ms;
};

Timed TakeTimed(TBaseDispatcher& d, size_t count) {
  Timed taken;
  for (size_t i = 0; i < count; ++i) {
    uint8_t c;
    TReadTime time;
    if (d.GetChar(c, time) != ecOK) break;
    taken.Bytes.push_back(static_cast<char>(c));
    taken.Times.push_back(time.Us);
    taken.Ms.push_back(time.Ms);
  }
  return taken;
}

template <typename T>
std::vector<T> Repeated(std::initializer_list<std::pair<size_t, T>> runs) {
  std::vector<T> times;
  for (const auto& [count, time] : runs) times.insert(times.end(), count, time);
  return times;
}

// Takes every byte an available-data message offers, with its time; runs in the caller of the
// check.
struct TimedHandler {
  TBaseDispatcher* Dispatcher;
  Timed Taken;
  void OnTrigger(uint32_t msg, platform::WParam first, platform::LParam) {
    if (msg != TriggerAvailMsg) return;
    const Timed more = TakeTimed(*Dispatcher, first);
    Taken.Bytes += more.Bytes;
    Taken.Times.insert(Taken.Times.end(), more.Times.begin(), more.Times.end());
  }
};

class ReadTimesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    d.SetReadClock([this] { return now; });
    ASSERT_EQ(d.OpenDefault(), ecOK);
  }
  void ReceiveAt(uint64_t us, const std::string& bytes) {
    now = us;
    d.Receive(bytes);
  }
  uint64_t now = 0;
  TTestDispatcher d;
};

TEST_F(ReadTimesTest, EachByteCarriesTheTimeOfItsReadAcrossReadsAndTheRingsEnd) {
  ReceiveAt(1, std::string(InBufferSize - 12, 'x'));
  ASSERT_EQ(TakeTimed(d, InBufferSize - 12).Times.size(), InBufferSize - 12);

  ReceiveAt(100, "abcde");
  ReceiveAt(100, "fg");                    // the same microsecond
  ReceiveAt(130, "0123456789ABCDEFGHIJ");  // runs over the ring's end
  ReceiveAt(175, "xyz");
  EXPECT_EQ(d.InHead, 18u);
  const Timed taken = TakeTimed(d, 30);
  EXPECT_EQ(taken.Bytes, "abcdefg0123456789ABCDEFGHIJxyz");
  EXPECT_EQ(taken.Times, Repeated<uint64_t>({{7, 100}, {20, 130}, {3, 175}}));

  // A delivery reads ahead without moving the tail; every handler sees the same times.
  TimedHandler first{&d, {}};
  TimedHandler second{&d, {}};
  ASSERT_EQ(
      d.RegisterEventTriggerHandler(MakeTriggerMethod<&TimedHandler::OnTrigger>(&first), false),
      ecOK);
  ASSERT_EQ(
      d.RegisterEventTriggerHandler(MakeTriggerMethod<&TimedHandler::OnTrigger>(&second), false),
      ecOK);
  d.SetAvailTriggerLength(1);
  ReceiveAt(200, "pqrs");
  ASSERT_EQ(TakeTimed(d, 2).Bytes, "pq");
  ReceiveAt(260, "tuv");
  while (d.CheckDataTriggers()) {
  }
  EXPECT_EQ(first.Taken.Bytes, "rstuv");
  EXPECT_EQ(first.Taken.Times, Repeated<uint64_t>({{2, 200}, {3, 260}}));
  EXPECT_EQ(second.Taken.Times, first.Taken.Times);
  EXPECT_EQ(d.InBuffUsed(), 0u);
  EXPECT_EQ(d.ReadTimes.Count(), 1u);  // only the mark of the last read is left
}

TEST_F(ReadTimesTest, FlushedBytesTakeTheirTimesAlong) {
  ReceiveAt(10, "abc");
  ReceiveAt(20, "de");
  ASSERT_EQ(d.FlushInBuffer(), ecOK);
  ReceiveAt(20, "fg");
  ReceiveAt(50, "hi");
  const Timed taken = TakeTimed(d, 10);
  EXPECT_EQ(taken.Bytes, "fghi");
  EXPECT_EQ(taken.Times, Repeated<uint64_t>({{2, 20}, {2, 50}}));
}

TEST_F(ReadTimesTest, ReadsWithinOneMillisecondKeepTheirOwnMicrosecond) {
  ReceiveAt(7'100'000, "ab");
  ReceiveAt(7'100'400, "cd");
  ReceiveAt(7'100'400, "e");  // the same microsecond: no mark of its own
  ReceiveAt(7'102'150, "f");
  EXPECT_EQ(d.ReadTimes.Count(), 3u);
  const Timed taken = TakeTimed(d, 6);
  EXPECT_EQ(taken.Times, Repeated<uint64_t>({{2, 7'100'000}, {3, 7'100'400}, {1, 7'102'150}}));
  EXPECT_EQ(taken.Ms, Repeated<uint32_t>({{5, 7100}, {1, 7102}}));
}

TEST_F(ReadTimesTest, AFullMarkRingMergesTheOldestReadsAndKeepsTheNewestExact) {
  const size_t reads = TReadTimes::Capacity + 100;
  for (size_t i = 0; i < reads; ++i) ReceiveAt(i + 1, "b");
  EXPECT_EQ(d.ReadTimes.Count(), TReadTimes::Capacity);

  const Timed taken = TakeTimed(d, reads);
  ASSERT_EQ(taken.Times.size(), reads);
  // The oldest reads share the first read's time; the last Capacity - 1 keep their own.
  const size_t merged = reads - TReadTimes::Capacity + 1;
  for (size_t i = 0; i < reads; ++i) {
    EXPECT_EQ(taken.Times[i], i < merged ? 1u : i + 1) << "byte " << i;
  }
  EXPECT_EQ(d.ReadTimes.Count(), 1u);
}

TEST(ReadTimesConcurrency, ReadsOnTheDispatchThreadAndTakesOnTheMainThreadAgree) {
  TTestDispatcher d;
  std::atomic<uint64_t> now{0};
  d.SetReadClock([&now] { return now.load(); });
  ASSERT_EQ(d.OpenDefault(), ecOK);

  std::mt19937 random(7);
  std::vector<size_t> batchOf;  // the batch (and read time) of every byte, in order
  std::vector<std::string> batches;
  for (uint32_t k = 1; k <= 3000; ++k) {
    const size_t size = 1 + random() % 24;
    batches.emplace_back(size, static_cast<char>(k));
    batchOf.insert(batchOf.end(), size, k);
  }

  std::thread dispatch([&] {
    for (size_t k = 0; k < batches.size(); ++k) {
      now = k + 1;
      d.Fake().FeedInput(batches[k]);
      // The whole batch is read at its time, however long the main thread leaves the ring full.
      while (d.Fake().InputCount() > 0) {
        if (!d.ExtractData() || d.InBuffUsed() == InBufferSize) std::this_thread::yield();
      }
    }
  });

  size_t taken = 0;
  uint64_t previous = 0;
  size_t exact = 0;
  while (taken < batchOf.size()) {
    uint8_t c;
    TReadTime readTime;
    if (d.GetChar(c, readTime) != ecOK) {
      std::this_thread::yield();
      continue;
    }
    const uint64_t time = readTime.Us;
    const uint64_t batch = batchOf[taken];
    ASSERT_EQ(c, static_cast<uint8_t>(batch)) << "byte " << taken;
    // Merging only ever gives a byte an earlier read's time, never a later one.
    ASSERT_LE(time, batch) << "byte " << taken;
    ASSERT_GE(time, previous) << "byte " << taken;
    if (time == batch) ++exact;
    previous = time;
    ++taken;
  }
  dispatch.join();
  EXPECT_GT(exact, 0u);
  EXPECT_LE(d.ReadTimes.Count(), TReadTimes::Capacity);
}

}  // namespace
}  // namespace talyx::testing
