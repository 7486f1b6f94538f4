// TMonitorFeed: received and sent bytes merged by time into one RtuMonitor, its events to sinks.
#include "app/monitor/monitorfeed.h"

#include <algorithm>
#include <utility>

namespace talyx::app {

TMonitorFeed::TMonitorFeed() : monitor_(std::make_unique<modbus::RtuMonitor>(line_, timeoutMs_)) {}

TMonitorFeed::TSentHook TMonitorFeed::SentHook() const {
  return [queue = queue_](const uint8_t* bytes, size_t count, uint64_t writeUs) {
    const std::lock_guard<std::mutex> guard(queue->Lock);
    if (queue->Bytes + count > MaxQueuedSentBytes) {
      ++queue->Dropped;
      return;
    }
    queue->Blocks.push_back({std::vector<uint8_t>(bytes, bytes + count), writeUs});
    queue->Bytes += count;
  };
}

uint64_t TMonitorFeed::DroppedSentBlocks() const {
  const std::lock_guard<std::mutex> guard(queue_->Lock);
  return queue_->Dropped;
}

void TMonitorFeed::SetLine(const modbus::LineFormat& line) {
  if (line.BaudRate == line_.BaudRate && line.DataBits == line_.DataBits &&
      line.Parity == line_.Parity && line.StopBits == line_.StopBits) {
    return;
  }
  line_ = line;
  Restart();
}

void TMonitorFeed::SetResponseTimeout(uint32_t ms) {
  if (ms == timeoutMs_) return;
  timeoutMs_ = ms;
  Restart();
}

void TMonitorFeed::Restart() {
  TakeQueued();
  GiveSentUntil(UINT64_MAX);
  // Far enough ahead that every candidate ends and every waiting request times out.
  monitor_->Idle(lastUs_ + 3'600'000'000ULL);
  Publish();
  monitor_ = std::make_unique<modbus::RtuMonitor>(line_, timeoutMs_);
}

void TMonitorFeed::AddSink(TMonitorSink* sink) {
  if (std::find(sinks_.begin(), sinks_.end(), sink) == sinks_.end()) sinks_.push_back(sink);
}

void TMonitorFeed::RemoveSink(TMonitorSink* sink) { std::erase(sinks_, sink); }

void TMonitorFeed::TakeQueued() {
  const std::lock_guard<std::mutex> guard(queue_->Lock);
  for (SentBlock& block : queue_->Blocks) pending_.push_back(std::move(block));
  queue_->Blocks.clear();
  queue_->Bytes = 0;
}

void TMonitorFeed::GiveSentUntil(uint64_t untilUs) {
  while (!pending_.empty() && pending_.front().WriteUs <= untilUs) {
    const SentBlock& block = pending_.front();
    lastUs_ = std::max(lastUs_, block.WriteUs);
    monitor_->Sent(block.Bytes.data(), block.Bytes.size(), block.WriteUs);
    pending_.pop_front();
  }
}

void TMonitorFeed::Received(const std::string& bytes, const std::vector<uint64_t>& timesUs) {
  TakeQueued();
  const size_t count = std::min(bytes.size(), timesUs.size());
  for (size_t i = 0; i < count; ++i) {
    GiveSentUntil(timesUs[i]);
    lastUs_ = std::max(lastUs_, timesUs[i]);
    monitor_->Received(static_cast<uint8_t>(bytes[i]), timesUs[i]);
  }
  Publish();
}

void TMonitorFeed::Idle(uint64_t nowUs) {
  TakeQueued();
  GiveSentUntil(nowUs);
  lastUs_ = std::max(lastUs_, nowUs);
  monitor_->Idle(nowUs);
  Publish();
}

void TMonitorFeed::Publish() {
  if (monitor_->Events().empty()) return;
  for (TMonitorSink* sink : sinks_) sink->OnEvents(monitor_->Events());
  monitor_->ClearEvents();
}

}  // namespace talyx::app
