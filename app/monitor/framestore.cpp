// TFrameStore: compact records in a deque, their bytes in a chunked arena, session counters.
#include "app/monitor/framestore.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace talyx::app {

namespace {

uint32_t Capped(uint64_t us) {
  return static_cast<uint32_t>(std::min<uint64_t>(us, std::numeric_limits<uint32_t>::max()));
}

}  // namespace

TFrameStore::TFrameStore(size_t limit) : limit_(std::max<size_t>(limit, 1)) {}

const uint8_t* TFrameStore::Bytes(const TFrameRecord& record) const {
  const uint64_t chunk = record.Offset / ChunkBytes;
  return chunks_[chunk - firstChunk_].get() + record.Offset % ChunkBytes;
}

modbus::DecodedFrame TFrameStore::Decode(const TFrameRecord& record) const {
  modbus::DecodedFrame frame =
      modbus::DecodeFrame(Bytes(record), record.Length,
                          record.Has(TFrameRecord::Response) ? modbus::FrameRole::Response
                                                             : modbus::FrameRole::Request);
  if (!frame.HasAddress && record.Has(TFrameRecord::HasStart)) {
    frame.HasAddress = true;
    frame.StartAddress = record.StartAddress;
  }
  if (!frame.HasQuantity && record.Has(TFrameRecord::HasQuantity)) {
    frame.HasQuantity = true;
    frame.Quantity = record.Quantity;
    if (frame.Quantity < frame.Bits.size()) frame.Bits.resize(frame.Quantity);
  }
  return frame;
}

uint64_t TFrameStore::Allocate(size_t length) {
  const uint64_t chunksEnd = (firstChunk_ + chunks_.size()) * ChunkBytes;
  if (chunks_.empty() || arenaEnd_ + length > chunksEnd) {
    // A frame never straddles two chunks: it starts the next one (the arena is empty only
    // after a clear, where it starts from 0 again).
    if (!chunks_.empty()) arenaEnd_ = chunksEnd;
    chunks_.push_back(std::make_unique<uint8_t[]>(ChunkBytes));
  }
  const uint64_t offset = arenaEnd_;
  arenaEnd_ += length;
  return offset;
}

void TFrameStore::DropOldest() {
  records_.pop_front();
  ++dropped_;
  if (records_.empty()) return;
  const uint64_t keepFrom = records_.front().Offset / ChunkBytes;
  // The chunk being filled always stays.
  while (chunks_.size() > 1 && firstChunk_ < keepFrom) {
    chunks_.pop_front();
    ++firstChunk_;
  }
}

void TFrameStore::OnEvents(const std::vector<modbus::RtuEvent>& events) {
  const uint64_t first = End();
  const uint64_t droppedBefore = dropped_;
  std::vector<uint64_t> marked;
  for (const modbus::RtuEvent& event : events) {
    if (event.Kind == modbus::RtuEventKind::Unanswered) {
      MarkUnanswered(event.Seq, marked);
    } else {
      Add(event);
    }
  }
  std::erase_if(marked, [this](uint64_t position) { return position < dropped_; });
  if (listener_ != nullptr && (End() != first || dropped_ != droppedBefore || !marked.empty())) {
    listener_->FramesChanged(std::max(first, dropped_), End(), dropped_, marked);
  }
}

void TFrameStore::Add(const modbus::RtuEvent& event) {
  if (records_.size() >= limit_) DropOldest();
  TFrameRecord record;
  const bool sent = event.Dir == modbus::Direction::Sent;
  const bool raw = event.Kind == modbus::RtuEventKind::Raw;
  const size_t length = std::min<size_t>(event.Bytes.size(), UINT16_MAX);
  record.StartUs = event.StartUs;
  record.Seq = event.Seq;
  record.Length = static_cast<uint16_t>(length);
  record.Offset = Allocate(length);
  if (length > 0) {
    const uint64_t chunk = record.Offset / ChunkBytes;
    std::memcpy(chunks_[chunk - firstChunk_].get() + record.Offset % ChunkBytes, event.Bytes.data(),
                length);
  }
  uint64_t& lastEnd = lastEndUs_[sent ? 1 : 0];
  record.GapUs = lastEnd == 0 || event.StartUs < lastEnd ? 0 : Capped(event.StartUs - lastEnd);
  lastEnd = std::max(lastEnd, event.EndUs);
  record.Address = event.Frame.Address;
  record.Function = event.Frame.Function;
  uint16_t flags = 0;
  if (sent) flags |= TFrameRecord::Sent;
  if (raw) flags |= TFrameRecord::Raw;
  if (!raw && event.Frame.CrcOk) flags |= TFrameRecord::CrcOk;
  if (!raw && event.Frame.IsException) flags |= TFrameRecord::Exception;
  if (event.Echo) flags |= TFrameRecord::Echo;
  if (!raw && event.Frame.Role == modbus::FrameRole::Response) flags |= TFrameRecord::Response;
  if (event.Broadcast) flags |= TFrameRecord::Broadcast;
  const bool paired =
      !raw && !event.Echo && event.PairSeq != 0 && event.Frame.Role == modbus::FrameRole::Response;
  if (paired && event.Frame.HasAddress) {
    flags |= TFrameRecord::HasStart;
    record.StartAddress = event.Frame.StartAddress;
  }
  if (paired && event.Frame.HasQuantity) {
    flags |= TFrameRecord::HasQuantity;
    record.Quantity = event.Frame.Quantity;
  }
  if (paired) {
    flags |= TFrameRecord::Paired;
    record.ResponseUs = Capped(event.ResponseUs);
    TResponseStats& stats = responseTimes_[event.Frame.Address];
    stats.MinUs = stats.Count == 0 ? event.ResponseUs : std::min(stats.MinUs, event.ResponseUs);
    stats.MaxUs = std::max(stats.MaxUs, event.ResponseUs);
    stats.SumUs += event.ResponseUs;
    ++stats.Count;
  }
  record.Flags = flags;
  records_.push_back(record);

  if (raw) {
    ++counters_.CrcErrors;
  } else {
    ++counters_.Frames;
    if (!event.Frame.CrcOk) ++counters_.CrcErrors;
    if (event.Frame.IsException) ++counters_.Exceptions;
  }
}

void TFrameStore::MarkUnanswered(uint64_t seq, std::vector<uint64_t>& marked) {
  ++counters_.Unanswered;
  const auto found = std::lower_bound(
      records_.begin(), records_.end(), seq,
      [](const TFrameRecord& record, uint64_t value) { return record.Seq < value; });
  if (found == records_.end() || found->Seq != seq) return;
  found->Flags |= TFrameRecord::Unanswered;
  marked.push_back(dropped_ + static_cast<uint64_t>(found - records_.begin()));
}

void TFrameStore::Clear() {
  records_.clear();
  chunks_.clear();
  dropped_ = 0;
  firstChunk_ = 0;
  arenaEnd_ = 0;
  lastEndUs_ = {};
  counters_ = {};
  responseTimes_ = {};
  if (listener_ != nullptr) listener_->FramesCleared();
}

}  // namespace talyx::app
