// TPollLoop: the choice of the next row, retries, statistics and samples, writes in between.
#include "app/poller/pollloop.h"

#include <QDateTime>
#include <algorithm>
#include <utility>

#include "app/monitor/precisetimer.h"
#include "platform/clock.h"
#include "port/comport.h"

namespace talyx::app {

namespace {

// The wall-clock time (ms since the epoch) of a microsecond clock reading.
int64_t WallMsOf(uint64_t us) {
  const int64_t nowUs = static_cast<int64_t>(platform::MicrosecondClock());
  return QDateTime::currentMSecsSinceEpoch() - (nowUs - static_cast<int64_t>(us)) / 1000;
}

}  // namespace

TPollLoop::TPollLoop(TComPort& port, TRequestChannel& channel, QObject* parent)
    : QObject(parent), port_(port), channel_(channel) {
  dueTimer_ = new TPreciseTimer([this] { Pump(); }, this);
  connect(&channel_, &TRequestChannel::ReadyChanged, this, [this] {
    CheckPaused();
    Pump();
  });
  SetOptions(options_);
}

TPollLoop::~TPollLoop() = default;

void TPollLoop::SetPollSet(PollSet set) {
  set_ = std::move(set);
  stats_.assign(set_.Rows.size(), {});
  dueUs_.assign(set_.Rows.size(), 0);
  writes_.clear();
  ++generation_;
  busy_ = false;
  retry_.reset();
  startUs_ = platform::MicrosecondClock();
  Pump();
}

void TPollLoop::SetOptions(const TPollOptions& options) {
  options_ = options;
  options_.Retries = std::min(options_.Retries, TPollOptions::MaxRetries);
  options_.TurnaroundMs = std::min(options_.TurnaroundMs, TPollOptions::MaxTurnaroundMs);
  options_.TimeoutMs =
      std::clamp(options_.TimeoutMs, TPollOptions::MinTimeoutMs, TPollOptions::MaxTimeoutMs);
  channel_.SetTurnaroundMs(options_.TurnaroundMs);
  channel_.SetResponseTimeoutMs(options_.TimeoutMs);
}

void TPollLoop::Start() {
  if (running_) return;
  running_ = true;
  ++generation_;
  busy_ = false;
  retry_.reset();
  startUs_ = platform::MicrosecondClock();
  std::fill(dueUs_.begin(), dueUs_.end(), 0);
  emit RunningChanged(true);
  CheckPaused();
  Pump();
}

void TPollLoop::Stop() {
  if (!running_) return;
  running_ = false;
  ++generation_;
  busy_ = false;
  retry_.reset();
  writes_.clear();
  dueTimer_->Stop();
  CheckPaused();
  emit RunningChanged(false);
}

bool TPollLoop::Paused() const {
  return running_ && (!port_.Open() || port_.OpenState() != TOpenState::osOpen);
}

void TPollLoop::CheckPaused() {
  const bool paused = Paused();
  if (paused == paused_) return;
  paused_ = paused;
  emit PausedChanged(paused);
}

uint64_t TPollLoop::PeriodUs(size_t row) const {
  return uint64_t{std::max(set_.Rows[row].PeriodMs, MinPollPeriodMs)} * 1000;
}

uint64_t TPollLoop::TimeoutUs() const { return uint64_t{options_.TimeoutMs} * 1000; }

bool TPollLoop::Stale(size_t row) const {
  const TPollRowStats& stats = stats_.at(row);
  if (!running_ || Paused() || !set_.Rows[row].Enabled) return false;
  const uint64_t now = platform::MicrosecondClock();
  const uint64_t since = stats.LastGoodUs != 0 ? stats.LastGoodUs : startUs_;
  // A row waiting for a line that others hold (their timeouts) is not stale for that.
  const uint64_t waiting = stats.LastPollUs != 0 ? now - stats.LastPollUs : 0;
  return now - since > 3 * std::max({PeriodUs(row), stats.AchievedPeriodUs, waiting});
}

bool TPollLoop::Write(size_t row, size_t index, double value, TWriteDone done) {
  if (!running_ || row >= set_.Rows.size()) return false;
  std::vector<uint8_t> request = WriteRequest(set_.Rows[row], index, value);
  if (request.empty()) return false;
  writes_.push_back({row, std::move(request), std::move(done)});
  Pump();
  return true;
}

void TPollLoop::Pump() {
  if (!running_ || busy_ || !channel_.Ready()) return;
  // A retry goes as soon as the line allows, before anything else.
  if (retry_.has_value()) {
    const size_t row = *retry_;
    retry_.reset();
    SubmitPoll(row);
    return;
  }
  if (!writes_.empty()) {
    TWrite write = std::move(writes_.front());
    writes_.pop_front();
    busy_ = true;
    const uint64_t generation = generation_;
    channel_.Submit(std::move(write.Request), TimeoutUs(),
                    [this, generation, row = write.Row,
                     done = std::move(write.Done)](const TRequestResult& result) {
                      if (done) done(result);
                      if (generation != generation_) return;
                      busy_ = false;
                      // The value written is read back at once.
                      if (row < dueUs_.size()) dueUs_[row] = 0;
                      Pump();
                    });
    return;
  }
  const uint64_t now = platform::MicrosecondClock();
  size_t next = set_.Rows.size();
  uint64_t earliest = UINT64_MAX;
  for (size_t row = 0; row < set_.Rows.size(); ++row) {
    if (!set_.Rows[row].Enabled || CheckPollRow(set_.Rows[row]) != PollRowProblem::rpOk) continue;
    if (dueUs_[row] < earliest) {
      earliest = dueUs_[row];
      next = row;
    }
  }
  if (next == set_.Rows.size()) return;
  if (earliest > now) {
    dueTimer_->Start(earliest);
    return;
  }
  attempt_ = 0;
  const TPollRowStats& stats = stats_[next];
  if (stats.LastPollUs != 0) stats_[next].AchievedPeriodUs = now - stats.LastPollUs;
  stats_[next].LastPollUs = now;
  dueUs_[next] = now + PeriodUs(next);
  SubmitPoll(next);
}

void TPollLoop::SubmitPoll(size_t row) {
  busy_ = true;
  ++stats_[row].Requests;
  const uint64_t generation = generation_;
  channel_.Submit(ReadRequest(set_.Rows[row]), TimeoutUs(),
                  [this, generation, row](const TRequestResult& result) {
                    if (generation != generation_) return;
                    PollDone(row, result);
                  });
}

void TPollLoop::PollDone(size_t row, const TRequestResult& result) {
  busy_ = false;
  Count(row, result);
  const bool retry = (result.Outcome == TRequestOutcome::roTimeout ||
                      result.Outcome == TRequestOutcome::roCrcError) &&
                     attempt_ < options_.Retries;
  if (retry) {
    ++attempt_;
    retry_ = row;
    emit RowChanged(row);
    Pump();
    return;
  }
  if (result.Outcome != TRequestOutcome::roPortAway) {
    TPollSample sample;
    sample.WallMs = WallMsOf(result.EndUs);
    sample.Row = row;
    sample.Ok = result.Outcome == TRequestOutcome::roReply;
    sample.Values = sample.Ok ? RowValues(set_.Rows[row], result.Frame)
                              : std::vector<PollValue>(set_.Rows[row].Registers.size());
    emit Polled(sample);
  } else {
    // The poll is asked again once the port is back.
    dueUs_[row] = 0;
  }
  emit RowChanged(row);
  CheckPaused();
  Pump();
}

void TPollLoop::Count(size_t row, const TRequestResult& result) {
  TPollRowStats& stats = stats_[row];
  if (result.Outcome != TRequestOutcome::roPortAway) stats.LastOutcome = result.Outcome;
  switch (result.Outcome) {
    case TRequestOutcome::roReply:
      ++stats.GoodReplies;
      stats.LastGoodUs = result.EndUs;
      stats.LastResponseUs = result.ResponseUs;
      stats.MaxResponseUs = std::max(stats.MaxResponseUs, result.ResponseUs);
      stats.TotalResponseUs += result.ResponseUs;
      break;
    case TRequestOutcome::roException:
      ++stats.Exceptions;
      stats.LastException = result.Frame.ExceptionCode;
      break;
    case TRequestOutcome::roCrcError:
      ++stats.CrcErrors;
      break;
    case TRequestOutcome::roTimeout:
      ++stats.Timeouts;
      break;
    case TRequestOutcome::roPortAway:
      break;
  }
}

}  // namespace talyx::app
