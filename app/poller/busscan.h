// TBusScan: runs a bus scan over the request channel: which slave addresses answer, at the
// port's rate or at each of several rates.
//
// Principles of operation:
// - The steps and the tally are a TScanPlan (scanplan.h); TBusScan puts each step's request on
//   the line through the channel when the channel is Ready, and the next step when the outcome
//   has come and the channel is Ready again. Nothing waits: the event loop runs throughout, and
//   ReadyChanged or the outcome's callback moves the scan on.
// - Over several rates the scan sets the port's rate (its Baud) before the first address at
//   each rate, and at the end, however it ends, puts back the rate the port had when the scan
//   started (the window's setting). It changes no control of the window; the rate it offers is
//   BestBaud, for the user to take or not.
// - Cancel takes effect after the request on the line: its outcome is still recorded. A port
//   that closes, is lost or refuses a rate ends the scan (Failure says why when a rate was
//   refused).
// - The scan shares the line with the poll loop through the channel; the owner of both stops
//   the loop while RunningChanged says a scan runs (a scan at another rate would fail its
//   polls).
// - Main thread only.
#pragma once

#include <QObject>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "app/poller/scanplan.h"

namespace talyx {
class TComPort;
}

namespace talyx::app {

class TRequestChannel;

enum class TScanEnd : uint8_t {
  seDone,         // every address at every rate was asked
  seCancelled,    // Cancel
  sePortAway,     // the port closed or was lost
  seRateRefused,  // the port refused a rate of the scan (Failure)
};

class TBusScan : public QObject {
  Q_OBJECT

 public:
  TBusScan(TRequestChannel& channel, TComPort& port, QObject* parent = nullptr);

  // Starts a scan; false (and nothing starts) while one runs, when the port is not open or the
  // settings are not Valid.
  bool Start(const TScanSettings& settings);
  // Ends the running scan once the request on the line (if any) has its outcome.
  void Cancel();
  bool Running() const { return running_; }

  // The running or last scan's progress and answers.
  size_t Done() const { return plan_ ? plan_->Done() : 0; }
  size_t Total() const { return plan_ ? plan_->Total() : 0; }
  const std::vector<TScanAnswer>& Answers() const;
  int32_t BestBaud() const { return plan_ ? plan_->BestBaud() : 0; }
  // Why the rate was refused (seRateRefused), else "".
  QString Failure() const { return failure_; }

 signals:
  // A scan started (true) or ended (false, just before Finished).
  void RunningChanged(bool running);
  // A step's outcome came: done of total steps.
  void Progress(size_t done, size_t total);
  // Something answered at an address (the newest of Answers).
  void Answered(const talyx::app::TScanAnswer& answer);
  // The scan ended; the port has its rate back.
  void Finished(talyx::app::TScanEnd end);

 private:
  // Puts the next step on the line when it can, or ends the scan.
  void Next();
  void OnOutcome(const TRequestResult& result);
  void Finish(TScanEnd end);
  // Sets the port's rate; false (Failure set) when the port refused it.
  bool SetRate(int32_t baud);

  TRequestChannel& channel_;
  TComPort& port_;
  std::optional<TScanPlan> plan_;
  bool running_ = false;
  bool onLine_ = false;  // a request awaits its outcome
  int32_t savedBaud_ = 0;
  QString failure_;
};

}  // namespace talyx::app
