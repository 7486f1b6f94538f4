// TPollLoop: runs a poll set on the request channel: each enabled row read on its period, its
// statistics kept, a sample of every poll given out, and writes put in between.
//
// Principles of operation:
// - One request at a time, when the channel is Ready. The next poll is of the row most overdue
//   among the enabled rows whose period has passed since their last poll began. A row is due
//   again a period after its last poll began, never earlier; a row whose period is shorter
//   than the line allows is thus polled as often as the line allows, without bursts to catch up
//   (no debt is kept), and its achieved period shows how often that is.
// - A poll that timed out or came back with a wrong CRC is asked again up to Retries times
//   before it counts as failed. Every request counts; the response times are those of good
//   replies. Each poll ends in one sample (TPollSample): the values of a good reply, or none.
// - A row is stale when it has had no good reply for three periods (the achieved period, or
//   the time it has waited for its turn since its last poll, when the line makes that longer),
//   counted from its last good reply or from the loop's start.
// - While the port is away the loop pauses (Paused) and resumes by itself when the channel is
//   Ready again; nothing piles up meanwhile, since each row is one poll due at most.
// - Writes queued by Write go before the next poll, once each, and the row is read at once
//   after its write so the value written shows.
// - A new poll set or Stop drops what is pending: a request on the line then ends unheard.
// - Main thread only.
#pragma once

#include <QObject>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/poller/pollsample.h"
#include "app/poller/pollset.h"
#include "app/poller/requestchannel.h"

namespace talyx {
class TComPort;
}

namespace talyx::app {

class TPreciseTimer;

struct TPollOptions {
  static constexpr uint32_t MaxRetries = 3;
  static constexpr uint32_t MaxTurnaroundMs = 1000;
  static constexpr uint32_t MinTimeoutMs = 10;
  static constexpr uint32_t MaxTimeoutMs = 60000;

  uint32_t TimeoutMs = 1000;  // the response timeout, from the request's end on the line
  uint32_t Retries = 0;       // 0-3
  uint32_t TurnaroundMs = 0;  // 0-1000, after each reply

  bool operator==(const TPollOptions&) const = default;
};

// One row's figures since the poll set was given.
struct TPollRowStats {
  uint64_t Requests = 0;
  uint64_t GoodReplies = 0;
  uint64_t Timeouts = 0;
  uint64_t CrcErrors = 0;
  uint64_t Exceptions = 0;
  uint8_t LastException = 0;                   // the code of the last exception reply
  std::optional<TRequestOutcome> LastOutcome;  // of the last request (none before the first)
  uint64_t LastResponseUs = 0;
  uint64_t MaxResponseUs = 0;
  uint64_t TotalResponseUs = 0;   // of the good replies
  uint64_t AchievedPeriodUs = 0;  // between the starts of the last two polls
  uint64_t LastPollUs = 0;        // when the last poll began (0: never)
  uint64_t LastGoodUs = 0;        // when the last good reply ended (0: never)

  uint64_t AverageResponseUs() const {
    return GoodReplies == 0 ? 0 : TotalResponseUs / GoodReplies;
  }
};

class TPollLoop : public QObject {
  Q_OBJECT

 public:
  using TWriteDone = std::function<void(const TRequestResult&)>;

  TPollLoop(TComPort& port, TRequestChannel& channel, QObject* parent = nullptr);
  ~TPollLoop() override;

  // A new poll set: statistics start again; a running loop goes on with it.
  void SetPollSet(PollSet set);
  const PollSet& Set() const { return set_; }
  void SetOptions(const TPollOptions& options);
  const TPollOptions& Options() const { return options_; }

  void Start();
  void Stop();
  bool Running() const { return running_; }
  // Running, and the port is away: the rows wait for it.
  bool Paused() const;

  const TPollRowStats& Stats(size_t row) const { return stats_.at(row); }
  bool Stale(size_t row) const;

  // Queues the write of value into register index of row (WriteRequest); done gets its outcome.
  // False when the row cannot be written so or the loop is not running.
  bool Write(size_t row, size_t index, double value, TWriteDone done);

 signals:
  void Polled(const TPollSample& sample);
  // A row's statistics changed (the poll of Polled, or a failed attempt before a retry).
  void RowChanged(size_t row);
  void PausedChanged(bool paused);
  void RunningChanged(bool running);

 private:
  struct TWrite {
    size_t Row;
    std::vector<uint8_t> Request;
    TWriteDone Done;
  };

  // Submits the next write or poll when the channel is ready; else times the next due row.
  void Pump();
  void SubmitPoll(size_t row);
  void PollDone(size_t row, const TRequestResult& result);
  void Count(size_t row, const TRequestResult& result);
  void CheckPaused();
  uint64_t PeriodUs(size_t row) const;
  uint64_t TimeoutUs() const;

  TComPort& port_;
  TRequestChannel& channel_;
  PollSet set_;
  TPollOptions options_;
  std::vector<TPollRowStats> stats_;
  std::vector<uint64_t> dueUs_;  // when each row may be polled next
  std::deque<TWrite> writes_;
  bool running_ = false;
  bool paused_ = false;
  bool busy_ = false;            // a request of this loop is on the line
  uint32_t attempt_ = 0;         // the retry of the poll on the line
  std::optional<size_t> retry_;  // the row whose poll is asked again next
  uint64_t generation_ = 0;      // outcomes of an older set or run are dropped
  uint64_t startUs_ = 0;
  TPreciseTimer* dueTimer_;
};

}  // namespace talyx::app
