// TBusScan: the scan's steps put on the line one after another as the channel allows.
#include "app/poller/busscan.h"

#include <QPointer>
#include <exception>

#include "app/poller/requestchannel.h"
#include "port/comport.h"

namespace talyx::app {

TBusScan::TBusScan(TRequestChannel& channel, TComPort& port, QObject* parent)
    : QObject(parent), channel_(channel), port_(port) {
  connect(&channel_, &TRequestChannel::ReadyChanged, this, [this] { Next(); });
}

bool TBusScan::Start(const TScanSettings& settings) {
  if (running_ || !port_.Open() || !settings.Valid()) return false;
  savedBaud_ = port_.Baud();
  std::vector<int32_t> rates = settings.Rates;
  if (rates.empty()) rates.push_back(savedBaud_);
  plan_.emplace(settings, std::move(rates));
  failure_.clear();
  running_ = true;
  emit RunningChanged(true);
  Next();
  return true;
}

void TBusScan::Cancel() {
  if (!running_) return;
  plan_->Cancel();
  if (!onLine_) Finish(TScanEnd::seCancelled);
}

const std::vector<TScanAnswer>& TBusScan::Answers() const {
  static const std::vector<TScanAnswer> none;
  return plan_ ? plan_->Answers() : none;
}

void TBusScan::Next() {
  if (!running_ || onLine_) return;
  if (plan_->Finished()) {
    Finish(plan_->Cancelled() ? TScanEnd::seCancelled : TScanEnd::seDone);
    return;
  }
  if (!port_.Open()) {
    Finish(TScanEnd::sePortAway);
    return;
  }
  if (port_.Baud() != plan_->Baud() && !SetRate(plan_->Baud())) {
    Finish(TScanEnd::seRateRefused);
    return;
  }
  // Not Ready yet: the line's silence, a send of the window or its wait; ReadyChanged comes back.
  if (!channel_.Ready()) return;
  const uint64_t timeoutUs = plan_->TimeoutUs(channel_.LineMicroseconds(ScanReplyBytes));
  QPointer<TBusScan> self(this);
  onLine_ = channel_.Submit(plan_->Request(), timeoutUs, [self](const TRequestResult& result) {
    if (self) self->OnOutcome(result);
  });
}

void TBusScan::OnOutcome(const TRequestResult& result) {
  onLine_ = false;
  if (!running_) return;
  if (result.Outcome == TRequestOutcome::roPortAway) {
    Finish(TScanEnd::sePortAway);
    return;
  }
  const size_t answers = plan_->Answers().size();
  plan_->Record(result);
  if (plan_->Answers().size() > answers) emit Answered(plan_->Answers().back());
  emit Progress(plan_->Done(), plan_->Total());
  // Submitting from inside the outcome's call would re-enter the channel: the next request goes
  // from the event loop.
  QMetaObject::invokeMethod(this, &TBusScan::Next, Qt::QueuedConnection);
}

void TBusScan::Finish(TScanEnd end) {
  running_ = false;
  if (port_.Baud() != savedBaud_) SetRate(savedBaud_);
  emit RunningChanged(false);
  emit Finished(end);
}

bool TBusScan::SetRate(int32_t baud) {
  try {
    port_.SetBaud(baud);
    return true;
  } catch (const std::exception& error) {
    failure_ = QString::fromStdString(error.what());
    return false;
  }
}

}  // namespace talyx::app
