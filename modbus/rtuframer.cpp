// RtuFramer: length-first framing with a CRC search and silences as the fallback.
#include "modbus/rtuframer.h"

#include <algorithm>

#include "modbus/modbuscrc.h"
#include "modbus/rtufunctions.h"

namespace talyx::modbus {

namespace {

bool Reached(const ExpectedLength& expected, size_t held) {
  return expected.Rule == LengthRule::Fixed && held >= expected.Bytes;
}

// Whether more bytes could still complete the length.
bool Open(const ExpectedLength& expected, size_t held) {
  return expected.Rule == LengthRule::Pending ||
         (expected.Rule == LengthRule::Fixed && held < expected.Bytes);
}

size_t FixedOrZero(const ExpectedLength& expected) {
  return expected.Rule == LengthRule::Fixed ? expected.Bytes : 0;
}

}  // namespace

RtuFramer::RtuFramer(const LineFormat& line, RtuFramerSink& sink)
    : silenceUs_(SilenceMicroseconds(line)),
      characterUs_(TransmissionMicroseconds(line, 1)),
      sink_(sink),
      prefix_{ModbusCrcInitial} {
  bytes_.reserve(MaxFrameLength + 1);
  times_.reserve(MaxFrameLength + 1);
  prefix_.reserve(MaxFrameLength + 2);
}

void RtuFramer::Push(uint8_t byte, uint64_t timeUs) {
  timeUs = std::max(timeUs, lastUs_);
  // The stream's first byte, and the first after the line was found silent, follow a silence.
  const bool afterSilence = !started_ || ended_ || SilenceBetween(lastUs_, timeUs);
  started_ = true;
  lastUs_ = timeUs;
  if (bytes_.empty()) afterSilence_ = afterSilence;
  if (afterSilence) {
    if (bytes_.empty()) HandOverRaw();
    if (!bytes_.empty() && silenceAt_ == NoSilence) silenceAt_ = bytes_.size();
  }
  ended_ = false;
  bytes_.push_back(byte);
  times_.push_back(timeUs);
  prefix_.push_back(ModbusCrcStep(byte, prefix_.back()));
  Scan();
}

void RtuFramer::Idle(uint64_t nowUs) {
  if (nowUs < lastUs_ || nowUs - lastUs_ < silenceUs_) return;
  ended_ = true;
  Scan();
}

void RtuFramer::Scan() {
  while (!bytes_.empty() && Step()) {
  }
  if (bytes_.empty() && ended_) HandOverRaw();
}

bool RtuFramer::Step() {
  const size_t held = bytes_.size();
  // Where a silence (or the end of the stream) ends the candidate, if anywhere yet.
  const size_t boundary = ended_ ? std::min(silenceAt_, held) : silenceAt_;
  ExpectedLength request;
  ExpectedLength response;
  if (held >= 2) {
    request = RequestLength(bytes_.data(), held);
    response = ResponseLength(bytes_.data(), held);
  } else if (!ended_) {
    return false;
  }
  const size_t requestLength = FixedOrZero(request);
  const size_t responseLength = FixedOrZero(response);

  if (request.Rule != LengthRule::None || response.Rule != LengthRule::None) {
    bool preferResponse = request.Rule == LengthRule::None;
    if (request.Rule != LengthRule::None && response.Rule != LengthRule::None) {
      if (!preferenceAsked_) {
        preferResponse_ = sink_.ExpectsResponse(bytes_[0], bytes_[1], times_[0]);
        preferenceAsked_ = true;
      }
      preferResponse = preferResponse_;
    }
    const ExpectedLength& first = preferResponse ? response : request;
    const ExpectedLength& second = preferResponse ? request : response;
    if (Reached(first, held) && CrcEndsAt(first.Bytes)) {
      return CutFrame(first.Bytes, requestLength, responseLength);
    }
    const bool firstOpen = !ended_ && Open(first, held);
    if (Reached(second, held) && CrcEndsAt(second.Bytes) &&
        (!firstOpen || boundary == second.Bytes)) {
      return CutFrame(second.Bytes, requestLength, responseLength);
    }
    if (firstOpen || (!ended_ && Open(second, held))) return false;
  }

  // No length of the function holds: the first end with a valid CRC before the silence.
  const size_t limit = std::min({held, boundary, MaxFrameLength});
  for (size_t length = std::max(searched_ + 1, MinFrameLength); length <= limit; ++length) {
    if (CrcEndsAt(length)) return CutFrame(length, requestLength, responseLength);
  }
  searched_ = std::max(searched_, limit);
  if (boundary <= held) {
    // A silence ends the candidate. With its function's length, or between two silences with
    // no frame inside, it is a frame whose CRC is wrong; otherwise its first byte cannot begin a
    // frame.
    if (boundary >= MinFrameLength && (boundary == requestLength || boundary == responseLength ||
                                       (afterSilence_ && !FrameInside(boundary)))) {
      return CutFrame(boundary, requestLength, responseLength);
    }
    return Reject();
  }
  if (held >= MaxFrameLength) return Reject();
  return false;
}

bool RtuFramer::CutFrame(size_t length, size_t requestLength, size_t responseLength) {
  HandOverRaw();
  FramerCut cut;
  cut.Bytes = bytes_.data();
  cut.Length = length;
  cut.StartUs = times_[0];
  cut.EndUs = times_[length - 1];
  cut.CrcOk = CrcEndsAt(length);
  cut.MatchesRequest = length == requestLength;
  cut.MatchesResponse = length == responseLength;
  sink_.OnFrame(cut);
  DropFront(length);
  return true;
}

bool RtuFramer::FrameInside(size_t end) const {
  for (size_t start = 1; start + MinFrameLength <= end; ++start) {
    uint16_t crc = ModbusCrcInitial;
    for (size_t at = start; at < end; ++at) {
      crc = ModbusCrcStep(bytes_[at], crc);
      if (at + 1 - start >= MinFrameLength && crc == 0) return true;
    }
  }
  return false;
}

bool RtuFramer::Reject() {
  if (raw_.empty()) rawStartUs_ = times_[0];
  raw_.push_back(bytes_[0]);
  rawEndUs_ = times_[0];
  const bool silenceNext = silenceAt_ == 1;
  DropFront(1);
  if (silenceNext || raw_.size() >= MaxFrameLength) HandOverRaw();
  return true;
}

void RtuFramer::HandOverRaw() {
  if (raw_.empty()) return;
  FramerCut cut;
  cut.Bytes = raw_.data();
  cut.Length = raw_.size();
  cut.StartUs = rawStartUs_;
  cut.EndUs = rawEndUs_;
  sink_.OnRaw(cut);
  raw_.clear();
}

void RtuFramer::DropFront(size_t count) {
  afterSilence_ = silenceAt_ == count;
  bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(count));
  times_.erase(times_.begin(), times_.begin() + static_cast<std::ptrdiff_t>(count));
  prefix_.resize(1);
  for (const uint8_t byte : bytes_) prefix_.push_back(ModbusCrcStep(byte, prefix_.back()));
  silenceAt_ = NoSilence;
  for (size_t i = 1; i < times_.size(); ++i) {
    if (SilenceBetween(times_[i - 1], times_[i])) {
      silenceAt_ = i;
      break;
    }
  }
  preferenceAsked_ = false;
  searched_ = 0;
}

}  // namespace talyx::modbus
