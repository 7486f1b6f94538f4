// TMonitorFeed: the line's Modbus RTU traffic for the bus monitor and the capture: the bytes the
// window received and the bytes the output thread wrote, framed, decoded and paired.
//
// Principles of operation:
// - Received bytes come from the receive path (Received, with their read times); sent bytes from
//   the dispatcher's sent-bytes hook (SentHook), on the output thread, into a bounded queue
//   that the main thread drains. Sent blocks and received bytes are given to the RtuMonitor
//   merged by time: a block written before a byte was read is given before it, as the monitor
//   asks.
// - Idle(now) is called on a timer, only when every byte read before now has been taken
//   (Received): it gives the sent blocks written up to now and lets the monitor end frames and
//   report unanswered requests.
// - Every event the monitor makes goes to every sink, in order, on the main thread.
// - A new line format or response timeout starts a new monitor: what was held is ended first.
// - The sent queue holds at most MaxQueuedSentBytes; blocks beyond are dropped and counted
//   (a main thread stalled that long has lost the line's timing anyway).
// - Threads: SentHook's callable runs on the output thread; everything else on the main thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "modbus/rtumonitor.h"

namespace talyx::app {

class TMonitorSink {
 public:
  virtual ~TMonitorSink() = default;
  virtual void OnEvents(const std::vector<modbus::RtuEvent>& events) = 0;
};

class TMonitorFeed {
 public:
  static constexpr size_t MaxQueuedSentBytes = 16u << 20;

  using TSentHook = std::function<void(const uint8_t* bytes, size_t count, uint64_t writeUs)>;

  TMonitorFeed();
  TMonitorFeed(const TMonitorFeed&) = delete;
  TMonitorFeed& operator=(const TMonitorFeed&) = delete;

  // The callable for the dispatcher's sent-bytes hook; it keeps the queue alive on its own.
  TSentHook SentHook() const;

  void SetLine(const modbus::LineFormat& line);
  void SetResponseTimeout(uint32_t ms);
  uint32_t ResponseTimeoutMs() const { return timeoutMs_; }

  void AddSink(TMonitorSink* sink);
  void RemoveSink(TMonitorSink* sink);

  void Received(const std::string& bytes, const std::vector<uint64_t>& timesUs);
  void Idle(uint64_t nowUs);

  // Sent blocks dropped because the queue was full.
  uint64_t DroppedSentBlocks() const;

 private:
  struct SentBlock {
    std::vector<uint8_t> Bytes;
    uint64_t WriteUs;
  };
  struct SentQueue {
    mutable std::mutex Lock;
    std::deque<SentBlock> Blocks;
    size_t Bytes = 0;
    uint64_t Dropped = 0;
  };

  // Moves the queued sent blocks to pending_.
  void TakeQueued();
  // Gives the monitor the pending blocks written up to untilUs.
  void GiveSentUntil(uint64_t untilUs);
  // Ends what the monitor holds and starts a new one.
  void Restart();
  void Publish();

  std::shared_ptr<SentQueue> queue_ = std::make_shared<SentQueue>();
  std::deque<SentBlock> pending_;
  modbus::LineFormat line_;
  uint32_t timeoutMs_ = modbus::DefaultResponseTimeoutMs;
  uint64_t lastUs_ = 0;
  std::unique_ptr<modbus::RtuMonitor> monitor_;
  std::vector<TMonitorSink*> sinks_;
};

}  // namespace talyx::app
