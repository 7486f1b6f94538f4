// TScanPlan: the order of a bus scan's steps and the tally of its answers.
#include "app/poller/scanplan.h"

#include <algorithm>
#include <utility>

namespace talyx::app {

bool TScanSettings::Valid() const {
  return First >= MinSlaveAddress && Last <= MaxSlaveAddress && First <= Last &&
         std::all_of(Rates.begin(), Rates.end(), [](int32_t rate) { return rate > 0; });
}

TScanPlan::TScanPlan(const TScanSettings& settings, std::vector<int32_t> rates)
    : rates_(std::move(rates)),
      first_(settings.First),
      addresses_(size_t{settings.Last} - settings.First + 1),
      function_(settings.Function),
      address_(settings.Address),
      timeoutMs_(settings.TimeoutMs) {}

uint8_t TScanPlan::Slave() const { return static_cast<uint8_t>(first_ + done_ % addresses_); }

int32_t TScanPlan::Baud() const { return rates_[std::min(done_ / addresses_, rates_.size() - 1)]; }

std::vector<uint8_t> TScanPlan::Request() const {
  PollRow row;
  row.Slave = Slave();
  row.Function = function_;
  row.Start = address_;
  row.Count = 1;
  return ReadRequest(row);
}

void TScanPlan::Record(const TRequestResult& result) {
  if (done_ == Total()) return;
  switch (result.Outcome) {
    case TRequestOutcome::roReply:
    case TRequestOutcome::roException:
    case TRequestOutcome::roCrcError:
      answers_.push_back(TScanAnswer{Slave(), Baud(), result.Outcome, result.Frame.ExceptionCode,
                                     result.ResponseUs});
      break;
    case TRequestOutcome::roTimeout:
    case TRequestOutcome::roPortAway:
      break;
  }
  ++done_;
}

int32_t TScanPlan::BestBaud() const {
  int32_t best = 0;
  std::pair<size_t, size_t> bestCount{0, 0};
  for (const int32_t rate : rates_) {
    std::pair<size_t, size_t> count{0, 0};
    for (const TScanAnswer& answer : answers_) {
      if (answer.Baud != rate) continue;
      if (answer.Outcome == TRequestOutcome::roCrcError) {
        ++count.second;
      } else {
        ++count.first;
      }
    }
    if (count > bestCount) {
      best = rate;
      bestCount = count;
    }
  }
  return best;
}

}  // namespace talyx::app
