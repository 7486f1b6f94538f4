// RtuMonitor: roles, pairing, echoes and timeouts over the two directions' framers.
#include "modbus/rtumonitor.h"

#include <algorithm>
#include <utility>

namespace talyx::modbus {

namespace {

// Sent frames kept for their echo at most; older ones are forgotten first.
constexpr size_t MaxSentFrames = 64;

}  // namespace

RtuMonitor::RtuMonitor(const LineFormat& line, uint32_t responseTimeoutMs)
    : line_(line),
      silenceUs_(SilenceMicroseconds(line)),
      timeoutUs_(uint64_t{responseTimeoutMs} * 1000),
      received_(line, receivedSink_),
      sent_(line, sentSink_) {}

void RtuMonitor::Received(uint8_t byte, uint64_t timeUs) { received_.Push(byte, timeUs); }

void RtuMonitor::Sent(const uint8_t* bytes, size_t count, uint64_t writeUs) {
  const uint64_t start = std::max(writeUs, sentLineFreeUs_);
  for (size_t i = 0; i < count; ++i) {
    sent_.Push(bytes[i], start + TransmissionMicroseconds(line_, i + 1));
  }
  sentLineFreeUs_ = start + TransmissionMicroseconds(line_, count);
}

void RtuMonitor::Idle(uint64_t nowUs) {
  received_.Idle(nowUs);
  sent_.Idle(nowUs);
  Expire(nowUs);
  ForgetSentBefore(nowUs);
}

std::vector<RtuEvent> RtuMonitor::TakeEvents() {
  std::vector<RtuEvent> taken;
  taken.swap(events_);
  return taken;
}

bool RtuMonitor::ExpectsResponse(Direction direction, uint8_t address, uint8_t function,
                                 uint64_t startUs) {
  if (direction == Direction::Received && EchoMayArrive(address, function, startUs)) return false;
  return RequestFor(direction, KeyOf(address, function), startUs) != nullptr;
}

bool RtuMonitor::EchoMayArrive(uint8_t address, uint8_t function, uint64_t startUs) {
  return std::any_of(sentFrames_.begin(), sentFrames_.end(), [&](const SentFrame& sent) {
    return sent.Bytes[0] == address && sent.Bytes[1] == function && startUs >= sent.WriteUs &&
           startUs <= sent.EndUs + silenceUs_;
  });
}

const RtuMonitor::Waiting* RtuMonitor::RequestFor(Direction direction, uint16_t key,
                                                  uint64_t endUs) const {
  const auto found = waiting_.find(key);
  if (found == waiting_.end()) return nullptr;
  const Waiting& request = found->second;
  // This program does not answer its own requests.
  if (direction == Direction::Sent && request.Dir == Direction::Sent) return nullptr;
  if (endUs < request.EndUs || endUs > request.EndUs + timeoutUs_) return nullptr;
  return &request;
}

FrameRole RtuMonitor::RoleOf(Direction direction, const FramerCut& cut) {
  if ((cut.Bytes[1] & ExceptionBit) != 0) return FrameRole::Response;
  if (cut.Bytes[0] == BroadcastAddress) return FrameRole::Request;
  if (cut.MatchesRequest != cut.MatchesResponse) {
    return cut.MatchesRequest ? FrameRole::Request : FrameRole::Response;
  }
  return RequestFor(direction, KeyOf(cut.Bytes[0], cut.Bytes[1]), cut.EndUs) != nullptr
             ? FrameRole::Response
             : FrameRole::Request;
}

void RtuMonitor::OnFrame(Direction direction, const FramerCut& cut) {
  RtuEvent event;
  event.Dir = direction;
  event.Seq = nextSeq_++;
  event.StartUs = cut.StartUs;
  event.EndUs = cut.EndUs;
  event.Bytes.assign(cut.Bytes, cut.Bytes + cut.Length);

  SentFrame echoed;
  if (direction == Direction::Received && TakeEchoed(cut, echoed)) {
    event.Echo = true;
    event.PairSeq = echoed.Seq;
    event.Frame = DecodeFrame(cut.Bytes, cut.Length, echoed.Role);
  } else {
    event.Frame = DecodeFrame(cut.Bytes, cut.Length, RoleOf(direction, cut));
    event.Broadcast =
        event.Frame.Role == FrameRole::Request && event.Frame.Address == BroadcastAddress;
    if (event.Frame.Role == FrameRole::Response) Pair(event);
  }
  Expire(event.EndUs);
  if (!event.Echo && !event.Broadcast && event.Frame.Role == FrameRole::Request &&
      event.Frame.CrcOk) {
    Wait(event);
  }
  if (direction == Direction::Sent) {
    if (sentFrames_.size() == MaxSentFrames) sentFrames_.pop_front();
    sentFrames_.push_back(SentFrame{event.Bytes, event.Seq, event.Frame.Role,
                                    cut.StartUs - TransmissionMicroseconds(line_, 1), cut.EndUs});
  }
  events_.push_back(std::move(event));
}

void RtuMonitor::OnRaw(Direction direction, const FramerCut& cut) {
  RtuEvent event;
  event.Kind = RtuEventKind::Raw;
  event.Dir = direction;
  event.Seq = nextSeq_++;
  event.StartUs = cut.StartUs;
  event.EndUs = cut.EndUs;
  event.Bytes.assign(cut.Bytes, cut.Bytes + cut.Length);
  Expire(event.EndUs);
  events_.push_back(std::move(event));
}

bool RtuMonitor::TakeEchoed(const FramerCut& cut, SentFrame& echoed) {
  const auto match =
      std::find_if(sentFrames_.begin(), sentFrames_.end(), [&](const SentFrame& sent) {
        return cut.EndUs >= sent.WriteUs && cut.EndUs <= sent.EndUs + silenceUs_ &&
               std::equal(sent.Bytes.begin(), sent.Bytes.end(), cut.Bytes, cut.Bytes + cut.Length);
      });
  const bool found = match != sentFrames_.end();
  if (found) {
    echoed = std::move(*match);
    sentFrames_.erase(match);
  }
  // Received frames come in time order: no later one can echo what this one could not.
  ForgetSentBefore(cut.EndUs);
  return found;
}

void RtuMonitor::ForgetSentBefore(uint64_t nowUs) {
  while (!sentFrames_.empty() && sentFrames_.front().EndUs + silenceUs_ < nowUs) {
    sentFrames_.pop_front();
  }
}

void RtuMonitor::Pair(RtuEvent& response) {
  DecodedFrame& frame = response.Frame;
  if (!frame.CrcOk) return;
  const uint16_t key = KeyOf(frame.Address, frame.Function);
  const Waiting* request = RequestFor(response.Dir, key, response.EndUs);
  if (request == nullptr) return;
  response.PairSeq = request->Seq;
  response.ResponseUs = response.EndUs - request->EndUs;
  if (!frame.HasAddress && request->HasAddress) {
    frame.HasAddress = true;
    frame.StartAddress = request->StartAddress;
  }
  if (!frame.HasQuantity && request->HasQuantity) {
    frame.HasQuantity = true;
    frame.Quantity = request->Quantity;
    if (frame.Quantity < frame.Bits.size()) frame.Bits.resize(frame.Quantity);
  }
  waiting_.erase(key);
}

void RtuMonitor::Wait(const RtuEvent& request) {
  const DecodedFrame& frame = request.Frame;
  const uint16_t key = KeyOf(frame.Address, frame.Function);
  const auto found = waiting_.find(key);
  if (found != waiting_.end()) ReportUnanswered(found->second);
  waiting_[key] = Waiting{request.Seq,       request.Dir,    request.StartUs,  request.EndUs,
                          frame.Address,     frame.Function, frame.HasAddress, frame.StartAddress,
                          frame.HasQuantity, frame.Quantity};
  deadlines_.push_back(Deadline{request.EndUs + timeoutUs_, key, request.Seq});
}

void RtuMonitor::ReportUnanswered(const Waiting& request) {
  RtuEvent event;
  event.Kind = RtuEventKind::Unanswered;
  event.Dir = request.Dir;
  event.Seq = request.Seq;
  event.StartUs = request.StartUs;
  event.EndUs = request.EndUs;
  event.Frame.Address = request.Address;
  event.Frame.Function = request.Function;
  event.Frame.HasAddress = request.HasAddress;
  event.Frame.StartAddress = request.StartAddress;
  event.Frame.HasQuantity = request.HasQuantity;
  event.Frame.Quantity = request.Quantity;
  events_.push_back(std::move(event));
}

void RtuMonitor::Expire(uint64_t nowUs) {
  // Deadlines come in the order of the requests, which is their time order up to the small
  // skew between the directions: one behind a later deadline is reported a little late.
  while (!deadlines_.empty() && deadlines_.front().Us < nowUs) {
    const Deadline deadline = deadlines_.front();
    deadlines_.pop_front();
    const auto found = waiting_.find(deadline.Key);
    if (found != waiting_.end() && found->second.Seq == deadline.Seq) {
      ReportUnanswered(found->second);
      waiting_.erase(found);
    }
  }
}

}  // namespace talyx::modbus
