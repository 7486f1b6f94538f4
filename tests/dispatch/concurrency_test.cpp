// A threaded test: one thread runs the dispatch turn (reads, trigger checks, deliveries) while
// the main thread adds, removes, clears, saves and restores triggers and handlers and moves
// data. Every received byte must reach the handler once and in order; run under ThreadSanitizer
// it also proves that the lists and rings are guarded.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "testdispatcher.h"

namespace talyx::testing {
namespace {

// Takes every offered byte; runs in the dispatch thread.
class Collector {
 public:
  explicit Collector(TBaseDispatcher& dispatcher) : dispatcher_(dispatcher) {}

  void OnTrigger(uint32_t msg, platform::WParam first, platform::LParam) {
    if (msg != TriggerAvailMsg) return;
    for (uint32_t i = 0; i < first; ++i) {
      uint8_t c;
      if (dispatcher_.GetChar(c) != ecOK) break;
      bytes_.push_back(static_cast<char>(c));
    }
    count_ = bytes_.size();
  }

  size_t Count() const { return count_; }
  // Read only after the dispatch thread has ended.
  const std::string& Bytes() const { return bytes_; }

 private:
  TBaseDispatcher& dispatcher_;
  std::string bytes_;
  std::atomic<size_t> count_{0};
};

TEST(DispatcherConcurrency, ChecksRunWhileTheMainThreadChangesTriggersAndMovesData) {
  TTestDispatcher d;
  ASSERT_EQ(d.OpenDefault(512), ecOK);
  Collector collector(d);
  ASSERT_EQ(
      d.RegisterEventTriggerHandler(MakeTriggerMethod<&Collector::OnTrigger>(&collector), false),
      ecOK);
  d.SetAvailTriggerLength(1);

  std::atomic<bool> stop{false};
  std::thread dispatch([&] {
    while (!stop) {
      d.SetCurrentEvent(platform::EvRxChar);
      d.HandleDeviceEvent();
      d.PollTriggers();
      std::this_thread::yield();
    }
  });

  std::mt19937 random(99);
  std::string sent;
  std::vector<int32_t> handles;
  TTriggerSave save;
  const uint8_t sequences[][3] = {{'a', 'b', 'c'}, {'x', 'y', 0}, {'q', 0, 0}};
  for (int step = 0; step < 20000; ++step) {
    std::string chunk;
    for (auto i = static_cast<uint32_t>(random() % 20); i > 0; --i)
      chunk.push_back(static_cast<char>('a' + random() % 26));
    d.Fake().FeedInput(chunk);
    sent += chunk;
    if (step % 4 == 0) std::this_thread::yield();

    switch (random() % 12) {
      case 0:
        handles.push_back(d.AddDataTrigger(sequences[step % 3], 3 - step % 3, step % 2 == 0));
        break;
      case 1:
        if (!handles.empty()) {
          d.RemoveTrigger(handles.back());
          handles.pop_back();
        }
        break;
      case 2: {
        const int32_t status = d.AddStatusTrigger(1 + static_cast<int32_t>(random() % 5));
        d.SetStatusTrigger(status, static_cast<uint16_t>(random() % 600), true);
        handles.push_back(status);
        break;
      }
      case 3: {
        const int32_t timer = d.AddTimerTrigger();
        d.SetTimerTrigger(timer, 0, true);
        handles.push_back(timer);
        break;
      }
      case 4:
        d.SaveTriggers(save);
        break;
      case 5:
        d.RestoreTriggers(save);
        d.SetAvailTriggerLength(1);
        break;
      case 6:
        d.ClearTriggers();
        handles.clear();
        d.SetAvailTriggerLength(1);
        break;
      case 7: {
        const uint8_t block[] = {1, 2, 3, 4, 5, 6, 7};
        d.PutBlock(block, 1 + random() % 7);
        d.DrainOutput(static_cast<uint32_t>(random() % 10));
        break;
      }
      case 8: {
        uint8_t c;
        d.PeekChar(1 + random() % 4, c);
        d.InBuffUsed();
        d.OutBuffUsed();
        break;
      }
      case 9:
        d.RegisterWndTriggerHandler(1000 + step);
        d.DeregisterWndTriggerHandler(1000 + step);
        break;
      case 10:
        d.Fake().SetModemLines(random() % 2 ? platform::ModemCts : platform::ModemDsr);
        d.LineErrorCode();
        d.GetModemStatus(0xFF);
        break;
      default:
        d.Fake().InjectLineErrors(platform::CeBreak);
        d.BreakReceived();
        break;
    }
  }

  d.SetAvailTriggerLength(1);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (collector.Count() < sent.size() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  stop = true;
  dispatch.join();
  EXPECT_EQ(collector.Bytes().size(), sent.size());
  EXPECT_TRUE(collector.Bytes() == sent) << "bytes lost, repeated or out of order";
}

}  // namespace
}  // namespace talyx::testing
