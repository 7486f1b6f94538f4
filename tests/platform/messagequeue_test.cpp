// Tests of the main thread's message queue: posts, sends and their hand-off rule, calls, quit.
#include "platform/messagequeue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace talyx::platform {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kLimit = 10s;

// The test thread is the main thread; every test leaves no window, message or quit behind.
class MessageQueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    BindMainThread();
    SetQueueWakeHook([this] {
      std::lock_guard lock(wakeMutex_);
      ++wakes_;
      wakeChanged_.notify_all();
    });
  }
  void TearDown() override {
    SetQueueWakeHook(nullptr);
    for (WindowHandle window : windows_) DestroyHiddenWindow(window);
    while (PumpOneMessage()) {
    }
    TakeQuitMessage(nullptr);
  }

  // A window whose procedure records (msg, wParam) and the thread it ran on; returns lParam + 1.
  WindowHandle RecordingWindow() {
    const WindowHandle window =
        CreateHiddenWindow("TestWindow", [this](WindowHandle, uint32_t msg, WParam w, LParam l) {
          std::lock_guard lock(recordMutex_);
          seen_.push_back({msg, w});
          threads_.push_back(std::this_thread::get_id());
          return static_cast<LResult>(l) + 1;
        });
    windows_.push_back(window);
    return window;
  }

  size_t Wakes() {
    std::lock_guard lock(wakeMutex_);
    return wakes_;
  }
  // Waits until the wake hook has been called count times in all.
  bool WaitForWakes(size_t count) {
    std::unique_lock lock(wakeMutex_);
    return wakeChanged_.wait_for(lock, kLimit, [&] { return wakes_ >= count; });
  }
  // Pumps until done holds (or the limit passes).
  bool PumpUntil(const std::function<bool()>& done) {
    const auto deadline = Clock::now() + kLimit;
    while (!done()) {
      if (Clock::now() > deadline) return false;
      if (!PumpOneMessage()) std::this_thread::sleep_for(1ms);
    }
    return true;
  }
  std::vector<std::pair<uint32_t, WParam>> Seen() {
    std::lock_guard lock(recordMutex_);
    return seen_;
  }

  std::vector<WindowHandle> windows_;
  std::mutex recordMutex_;
  std::vector<std::pair<uint32_t, WParam>> seen_;
  std::vector<std::thread::id> threads_;
  std::mutex wakeMutex_;
  std::condition_variable wakeChanged_;
  size_t wakes_ = 0;
};

TEST_F(MessageQueueTest, WindowsHaveDistinctHandlesUntilDestroyed) {
  const WindowHandle a = RecordingWindow();
  const WindowHandle b = RecordingWindow();
  EXPECT_NE(a, 0);
  EXPECT_NE(b, 0);
  EXPECT_NE(a, b);
  EXPECT_TRUE(IsWindow(a));
  EXPECT_EQ(CreateHiddenWindow("NoProc", nullptr), 0);
  EXPECT_TRUE(DestroyHiddenWindow(a));
  EXPECT_FALSE(IsWindow(a));
  EXPECT_FALSE(DestroyHiddenWindow(a));
  EXPECT_FALSE(IsWindow(0));
  EXPECT_FALSE(PostMessage(a, 1, 0, 0));
}

TEST_F(MessageQueueTest, PostedMessagesRunInOrderOnePerPump) {
  const WindowHandle a = RecordingWindow();
  const WindowHandle b = RecordingWindow();
  const size_t wakesBefore = Wakes();
  ASSERT_TRUE(PostMessage(a, 10, 1, 0));
  ASSERT_TRUE(PostMessage(b, 11, 2, 0));
  ASSERT_TRUE(PostMessage(a, 12, 3, 0));
  EXPECT_EQ(Wakes(), wakesBefore + 3);
  EXPECT_TRUE(Seen().empty());
  EXPECT_TRUE(PumpOneMessage());
  EXPECT_EQ(Seen().size(), 1u);
  EXPECT_TRUE(PumpOneMessage());
  EXPECT_TRUE(PumpOneMessage());
  EXPECT_FALSE(PumpOneMessage());
  const std::vector<std::pair<uint32_t, WParam>> expected = {{10, 1}, {11, 2}, {12, 3}};
  EXPECT_EQ(Seen(), expected);
}

TEST_F(MessageQueueTest, PumpOnAWorkerThreadRunsNothing) {
  const WindowHandle a = RecordingWindow();
  ASSERT_TRUE(PostMessage(a, 20, 0, 0));
  bool ran = true;
  std::thread worker([&] { ran = PumpOneMessage(); });
  worker.join();
  EXPECT_FALSE(ran);
  EXPECT_TRUE(Seen().empty());
  EXPECT_TRUE(PumpOneMessage());
  EXPECT_EQ(Seen().size(), 1u);
}

TEST_F(MessageQueueTest, SendFromAWorkerRunsOnThePumpingThreadAndReturnsTheResult) {
  const WindowHandle a = RecordingWindow();
  std::atomic<bool> done{false};
  bool delivered = false;
  LResult result = 0;
  std::thread worker([&] {
    delivered = SendMessageTimeout(a, 30, 5, 41, 5000, &result);
    done = true;
  });
  ASSERT_TRUE(PumpUntil([&] { return done.load(); }));
  worker.join();
  EXPECT_TRUE(delivered);
  EXPECT_EQ(result, 42);
  ASSERT_EQ(threads_.size(), 1u);
  EXPECT_EQ(threads_[0], std::this_thread::get_id());
}

TEST_F(MessageQueueTest, PostedCallRunsOnTheNextPumpAndARunningSendsSenderIsServed) {
  const size_t wakesBefore = Wakes();
  bool ran = false;
  std::thread poster([&] { PostToMainThread([&] { ran = true; }); });
  poster.join();
  EXPECT_FALSE(ran);
  EXPECT_GT(Wakes(), wakesBefore);
  EXPECT_TRUE(PumpOneMessage());
  EXPECT_TRUE(ran);

  // While the main thread runs a worker's send, that worker (and only it) is served.
  std::atomic<std::thread::id> sender{};
  bool servedInside = false, otherServed = true;
  const WindowHandle window =
      CreateHiddenWindow("Serving", [&](WindowHandle, uint32_t, WParam, LParam) {
        servedInside = ServingHandOffFrom(sender);
        otherServed = ServingHandOffFrom(std::this_thread::get_id());
        return LResult{0};
      });
  windows_.push_back(window);
  std::atomic<bool> done{false};
  std::thread worker([&] {
    sender = std::this_thread::get_id();
    SendMessageTimeout(window, 1, 0, 0, 5000, nullptr);
    done = true;
  });
  ASSERT_TRUE(PumpUntil([&] { return done.load(); }));
  worker.join();
  EXPECT_TRUE(servedInside);
  EXPECT_FALSE(otherServed);
  EXPECT_FALSE(ServingHandOffFrom(sender));
}

TEST_F(MessageQueueTest, SendOnTheMainThreadRunsDirectly) {
  const WindowHandle a = RecordingWindow();
  LResult result = 0;
  EXPECT_TRUE(SendMessageTimeout(a, 31, 0, 9, 0, &result));
  EXPECT_EQ(result, 10);
  EXPECT_EQ(Seen().size(), 1u);
  EXPECT_FALSE(PumpOneMessage());
  EXPECT_FALSE(SendMessageTimeout(a + 1000, 31, 0, 9, 0, &result));
}

TEST_F(MessageQueueTest, SendNobodyPumpsTimesOutAndNeverRunsLater) {
  const WindowHandle a = RecordingWindow();
  bool delivered = true;
  const auto start = Clock::now();
  std::thread worker([&] { delivered = SendMessageTimeout(a, 32, 0, 0, 100, nullptr); });
  worker.join();
  EXPECT_FALSE(delivered);
  EXPECT_GE(Clock::now() - start, 100ms);
  EXPECT_FALSE(PumpOneMessage());
  EXPECT_TRUE(Seen().empty());
}

TEST_F(MessageQueueTest, StartedProcedureMakesTheSenderWaitPastItsTimeOut) {
  constexpr uint32_t kTimeoutMs = 1000;
  std::atomic<bool> finished{false};
  std::atomic<int64_t> sentAt{0};
  const WindowHandle slow = CreateHiddenWindow("Slow", [&](WindowHandle, uint32_t, WParam, LParam) {
    // Outlast the sender's time-out before finishing.
    const auto deadline = Clock::time_point(Clock::duration(sentAt.load())) +
                          std::chrono::milliseconds(kTimeoutMs) + 200ms;
    while (Clock::now() < deadline) std::this_thread::sleep_for(5ms);
    finished = true;
    return LResult{7};
  });
  windows_.push_back(slow);
  bool delivered = false;
  bool finishedWhenReturned = false;
  LResult result = 0;
  const size_t wakesBefore = Wakes();
  std::thread worker([&] {
    sentAt = Clock::now().time_since_epoch().count();
    delivered = SendMessageTimeout(slow, 33, 0, 0, kTimeoutMs, &result);
    finishedWhenReturned = finished;
  });
  ASSERT_TRUE(WaitForWakes(wakesBefore + 1));
  EXPECT_TRUE(PumpOneMessage());
  worker.join();
  EXPECT_TRUE(delivered);
  EXPECT_TRUE(finishedWhenReturned);
  EXPECT_EQ(result, 7);
}

TEST_F(MessageQueueTest, DestroyingAWindowFailsItsPendingSendsAndDropsItsPosts) {
  const WindowHandle a = RecordingWindow();
  const WindowHandle b = RecordingWindow();
  ASSERT_TRUE(PostMessage(a, 40, 0, 0));
  ASSERT_TRUE(PostMessage(b, 41, 0, 0));
  const size_t wakesBefore = Wakes();
  bool delivered = true;
  const auto start = Clock::now();
  std::thread worker([&] { delivered = SendMessageTimeout(a, 42, 0, 0, 60000, nullptr); });
  ASSERT_TRUE(WaitForWakes(wakesBefore + 1));
  EXPECT_TRUE(DestroyHiddenWindow(a));
  worker.join();
  EXPECT_FALSE(delivered);
  EXPECT_LT(Clock::now() - start, kLimit);
  EXPECT_TRUE(PumpOneMessage());
  EXPECT_FALSE(PumpOneMessage());
  const std::vector<std::pair<uint32_t, WParam>> expected = {{41, 0}};
  EXPECT_EQ(Seen(), expected);
}

TEST_F(MessageQueueTest, ThrowingProcedureFailsItsSenderAndLeavesThroughThePump) {
  const WindowHandle bad =
      CreateHiddenWindow("Bad", [](WindowHandle, uint32_t, WParam, LParam) -> LResult {
        throw std::runtime_error("procedure failed");
      });
  windows_.push_back(bad);
  const size_t wakesBefore = Wakes();
  bool delivered = true;
  std::thread worker([&] { delivered = SendMessageTimeout(bad, 43, 0, 0, 60000, nullptr); });
  ASSERT_TRUE(WaitForWakes(wakesBefore + 1));
  EXPECT_THROW(PumpOneMessage(), std::runtime_error);
  worker.join();
  EXPECT_FALSE(delivered);
}

TEST_F(MessageQueueTest, CallInMainThreadRunsOnTheMainThreadAndWaits) {
  std::thread::id ranOn;
  int value = 0;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    CallInMainThread([&] {
      ranOn = std::this_thread::get_id();
      value = 5;
    });
    // The call has run by the time CallInMainThread returns.
    EXPECT_EQ(value, 5);
    done = true;
  });
  ASSERT_TRUE(PumpUntil([&] { return done.load(); }));
  worker.join();
  EXPECT_EQ(ranOn, std::this_thread::get_id());

  bool direct = false;
  CallInMainThread([&] { direct = true; });
  EXPECT_TRUE(direct);
  EXPECT_FALSE(PumpOneMessage());
}

TEST_F(MessageQueueTest, ExceptionOfAMainThreadCallIsThrownInTheCaller) {
  std::atomic<bool> done{false};
  bool caught = false;
  std::thread worker([&] {
    try {
      CallInMainThread([] { throw std::runtime_error("call failed"); });
    } catch (const std::runtime_error&) {
      caught = true;
    }
    done = true;
  });
  ASSERT_TRUE(PumpUntil([&] { return done.load(); }));
  worker.join();
  EXPECT_TRUE(caught);
}

TEST_F(MessageQueueTest, QuitIsFoundAfterTheOtherMessagesAndStaysQueued) {
  const WindowHandle a = RecordingWindow();
  EXPECT_FALSE(QuitRequested(nullptr));
  PostQuitMessage(7);
  ASSERT_TRUE(PostMessage(a, 50, 0, 0));
  EXPECT_TRUE(PumpOneMessage());
  EXPECT_EQ(Seen().size(), 1u);
  EXPECT_FALSE(PumpOneMessage());
  EXPECT_FALSE(PumpOneMessage());
  int code = 0;
  EXPECT_TRUE(QuitRequested(&code));
  EXPECT_EQ(code, 7);
  code = 0;
  EXPECT_TRUE(TakeQuitMessage(&code));
  EXPECT_EQ(code, 7);
  EXPECT_FALSE(QuitRequested(nullptr));
  EXPECT_FALSE(TakeQuitMessage(nullptr));
}

TEST_F(MessageQueueTest, ManySendersAndPostersAreServedCompletelyAndInEachSendersOrder) {
  constexpr int kWorkers = 4;
  constexpr int kEach = 200;
  std::mutex orderMutex;
  std::vector<std::vector<WParam>> order(kWorkers);
  const WindowHandle target =
      CreateHiddenWindow("Many", [&](WindowHandle, uint32_t msg, WParam w, LParam l) {
        std::lock_guard lock(orderMutex);
        order[msg].push_back(w);
        return static_cast<LResult>(l) * 2;
      });
  windows_.push_back(target);
  std::atomic<int> finishedWorkers{0};
  std::atomic<int> wrongResults{0};
  std::vector<std::thread> workers;
  for (int id = 0; id < kWorkers; ++id) {
    workers.emplace_back([&, id] {
      for (int i = 0; i < kEach; ++i) {
        if (id % 2 == 0) {
          LResult result = 0;
          if (!SendMessageTimeout(target, id, i, i, 60000, &result) || result != 2 * i)
            ++wrongResults;
        } else {
          PostMessage(target, id, i, 0);
        }
      }
      ++finishedWorkers;
    });
  }
  ASSERT_TRUE(PumpUntil([&] {
    std::lock_guard lock(orderMutex);
    size_t total = 0;
    for (const auto& list : order) total += list.size();
    return finishedWorkers == kWorkers && total == kWorkers * kEach;
  }));
  for (auto& worker : workers) worker.join();
  EXPECT_EQ(wrongResults.load(), 0);
  for (int id = 0; id < kWorkers; ++id) {
    ASSERT_EQ(order[id].size(), static_cast<size_t>(kEach));
    for (int i = 0; i < kEach; ++i) EXPECT_EQ(order[id][i], static_cast<WParam>(i));
  }
}

}  // namespace
}  // namespace talyx::platform
