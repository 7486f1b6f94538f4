// TRequestChannel: requests written through the component, outcomes taken from the monitor feed.
#include "app/poller/requestchannel.h"

#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <utility>

#include "app/monitor/monitorhub.h"
#include "app/monitor/precisetimer.h"
#include "app/send/sendpath.h"
#include "errors/exception.h"
#include "modbus/rtutiming.h"
#include "platform/clock.h"
#include "port/comport.h"

namespace talyx::app {

namespace {

// How long past its deadline a request waits for bytes the port holds but has not given yet.
constexpr uint64_t DeadlineGraceUs = 20'000;

}  // namespace

TRequestChannel::TRequestChannel(TComPort& port, TMonitorHub& hub, const TSendPath& sendPath,
                                 QObject* parent)
    : QObject(parent), port_(port), hub_(hub), sendPath_(sendPath) {
  deadlineTimer_ = new TPreciseTimer([this] { Deadline(); }, this);
  readyTimer_ = new TPreciseTimer([this] { Reconsider(); }, this);
  hub_.Feed().AddSink(this);
  sendEndedHandler_ = sendPath_.AddSendEndedHandler([this] { Reconsider(); });
  // The port keeps its users for its whole life, possibly longer than this channel's.
  port_.AddPortUser({0, [channel = QPointer<TRequestChannel>(this)](TCustomComPort&, bool opening) {
                       if (channel != nullptr) channel->PortChanged(opening);
                     }});
  ready_ = Ready();
}

TRequestChannel::~TRequestChannel() {
  hub_.Feed().RemoveSink(this);
  sendPath_.RemoveSendEndedHandler(sendEndedHandler_);
}

bool TRequestChannel::Ready() const {
  if (!port_.Open() || port_.OpenState() != TOpenState::osOpen || pending_.has_value()) {
    return false;
  }
  if (sendPath_.RunningSends() > 0) return false;
  const uint64_t now = platform::MicrosecondClock();
  if (now < lineFreeUs_) return false;
  const uint64_t sendEnd = sendPath_.LastSendEndUs();
  return sendEnd == 0 || now >= sendEnd + uint64_t{responseTimeoutMs_} * 1000;
}

bool TRequestChannel::Submit(std::vector<uint8_t> request, uint64_t timeoutUs, TDone done) {
  if (!Ready() || request.size() < 4) return false;
  hub_.StartFeeding();
  const uint64_t queuedUs = platform::MicrosecondClock();
  TPending pending;
  pending.Slave = request[0];
  pending.Done = std::move(done);
  pending.QueuedUs = queuedUs;
  pending.LeftUs = queuedUs + LineMicroseconds(request.size());
  pending.DeadlineUs = pending.LeftUs + timeoutUs;
  pending.Bytes = std::move(request);
  pending_ = std::move(pending);
  ready_ = false;
  try {
    port_.PutBlock(pending_->Bytes.data(), pending_->Bytes.size());
  } catch (const Exception&) {
    // The port refused the block (closing, gone): nothing is on the line.
    TRequestResult result;
    result.Outcome = TRequestOutcome::roPortAway;
    result.EndUs = queuedUs;
    Finish(std::move(result), queuedUs);
    return true;
  }
  deadlineTimer_->Start(pending_->DeadlineUs);
  return true;
}

void TRequestChannel::SetTurnaroundMs(uint32_t ms) {
  turnaroundUs_ = uint64_t{std::min(ms, 1000u)} * 1000;
}

void TRequestChannel::SetResponseTimeoutMs(uint32_t ms) {
  responseTimeoutMs_ = ms;
  Reconsider();
}

uint64_t TRequestChannel::LineMicroseconds(size_t count) const {
  return modbus::TransmissionMicroseconds(PortLineFormat(port_), count);
}

uint64_t TRequestChannel::SilenceMicroseconds() const {
  return modbus::SilenceMicroseconds(PortLineFormat(port_));
}

void TRequestChannel::OnEvents(const std::vector<modbus::RtuEvent>& events) {
  for (const modbus::RtuEvent& event : events) {
    if (!pending_.has_value()) return;
    if (event.Kind != modbus::RtuEventKind::Frame) continue;
    if (event.Dir == modbus::Direction::Sent) {
      if (pending_->Seq == 0 && event.Bytes == pending_->Bytes) pending_->Seq = event.Seq;
      continue;
    }
    if (pending_->Seq == 0 || event.Echo) continue;
    const modbus::DecodedFrame& frame = event.Frame;
    // A response that found no request of its own is the request's too when it is of its slave
    // and function: a device without line timing answers before the request would have left a
    // real line, and a reply may come after the feed's own timeout.
    const bool paired = frame.CrcOk && frame.Role == modbus::FrameRole::Response &&
                        (event.PairSeq == pending_->Seq ||
                         (event.PairSeq == 0 && frame.Address == pending_->Slave &&
                          frame.Function == pending_->Bytes[1]));
    const bool corrupted = !frame.CrcOk && frame.Address == pending_->Slave &&
                           event.EndUs > pending_->QueuedUs && event.EndUs <= pending_->DeadlineUs;
    if (!paired && !corrupted) continue;
    TRequestResult result;
    result.Outcome = corrupted           ? TRequestOutcome::roCrcError
                     : frame.IsException ? TRequestOutcome::roException
                                         : TRequestOutcome::roReply;
    result.Frame = frame;
    result.EndUs = event.EndUs;
    result.ResponseUs =
        paired ? event.ResponseUs : event.EndUs - std::min(event.EndUs, pending_->LeftUs);
    Finish(std::move(result), event.EndUs + SilenceMicroseconds() + turnaroundUs_);
  }
}

void TRequestChannel::Deadline() {
  if (!pending_.has_value()) return;
  // A reply already read but not yet framed ends the request before it times out; bytes the
  // port still holds are taken by the receive path in a moment.
  const uint64_t now = platform::MicrosecondClock();
  if (port_.InBuffUsed() != 0 && now < pending_->DeadlineUs + DeadlineGraceUs) {
    deadlineTimer_->Start(now + 1000);
    return;
  }
  hub_.LookAt(now);
  if (!pending_.has_value()) return;
  TRequestResult result;
  result.Outcome = TRequestOutcome::roTimeout;
  result.EndUs = now;
  Finish(std::move(result), now + turnaroundUs_);
}

void TRequestChannel::Finish(TRequestResult result, uint64_t freeUs) {
  TDone done = std::move(pending_->Done);
  pending_.reset();
  deadlineTimer_->Stop();
  lineFreeUs_ = std::max(lineFreeUs_, freeUs);
  // Called from inside the port's events: done runs at the event loop's next turn, where it may
  // show a message or submit the next request, and readiness is told after it.
  QTimer::singleShot(0, this, [this, done = std::move(done), result = std::move(result)] {
    if (done) done(result);
    Reconsider();
  });
}

void TRequestChannel::PortChanged(bool opening) {
  if (!opening && pending_.has_value()) {
    TRequestResult result;
    result.Outcome = TRequestOutcome::roPortAway;
    result.EndUs = platform::MicrosecondClock();
    Finish(std::move(result), result.EndUs);
    return;
  }
  // The port is told before it closes: its state is looked at once the close is through.
  QTimer::singleShot(0, this, [this] { Reconsider(); });
}

void TRequestChannel::Reconsider() {
  const bool ready = Ready();
  if (ready != ready_) {
    ready_ = ready;
    emit ReadyChanged();
  }
  if (ready || pending_.has_value() || !port_.Open()) return;
  // Not ready by time alone: the line's silence, or the wait after a send of the window.
  const uint64_t sendEnd = sendPath_.LastSendEndUs();
  uint64_t atUs = lineFreeUs_;
  if (sendPath_.RunningSends() == 0 && sendEnd != 0) {
    atUs = std::max(atUs, sendEnd + uint64_t{responseTimeoutMs_} * 1000);
  }
  if (sendPath_.RunningSends() == 0 && atUs > platform::MicrosecondClock()) {
    readyTimer_->Start(atUs);
  }
}

}  // namespace talyx::app
