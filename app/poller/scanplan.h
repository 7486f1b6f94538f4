// TScanPlan: the steps of a bus scan (every address of a range at each rate), the answers found
// and the rate to offer.
//
// Principles:
// - A scan asks each slave address from First to Last a read of one item (function and address
//   of the settings) at the first rate, then all of them at the next rate, and so on.
// - The wait per address is the scan timeout plus the time of a 7-byte reply (one register
//   read) at the rate, from when the request has left the line.
// - Anything that answers counts: a reply, an exception reply, and a frame from the asked
//   address with a wrong CRC (something is there; a wrong CRC says the line is poor, not that
//   nobody answered, and hiding it would make the address look free). Each answer keeps its
//   outcome, so the list shows which kind it was.
// - The rate offered at the end is the one at which most addresses answered well (a reply or
//   an exception); addresses that answered only with wrong CRCs decide between rates that tie;
//   the earlier rate wins a full tie.
// - Cancel ends the plan; an outcome recorded after it (the request that was on the line) is
//   still kept.
// - Pure logic, any one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "app/poller/pollset.h"
#include "app/poller/requestchannel.h"

namespace talyx::app {

inline constexpr uint32_t DefaultScanTimeoutMs = 50;
// The reply whose time the wait adds: a read of one register.
inline constexpr size_t ScanReplyBytes = 7;
// The common rates a scan over several rates goes through, in this order.
inline constexpr int32_t CommonBaudRates[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

struct TScanSettings {
  uint8_t First = MinSlaveAddress;
  uint8_t Last = MaxSlaveAddress;
  PollFunction Function = PollFunction::ReadHoldingRegisters;
  uint16_t Address = 0;
  uint32_t TimeoutMs = DefaultScanTimeoutMs;
  // The rates to scan at, in order; empty: the port's rate alone.
  std::vector<int32_t> Rates;

  // First and Last within 1-247, First not above Last, and every rate above 0.
  bool Valid() const;
};

struct TScanAnswer {
  uint8_t Slave = 0;
  int32_t Baud = 0;
  TRequestOutcome Outcome = TRequestOutcome::roReply;  // roReply, roException or roCrcError
  uint8_t ExceptionCode = 0;                           // roException
  uint64_t ResponseUs = 0;
};

class TScanPlan {
 public:
  // rates: at least one (the settings' rates, or the port's rate when they name none).
  TScanPlan(const TScanSettings& settings, std::vector<int32_t> rates);

  // Every step is done, or the plan was cancelled.
  bool Finished() const { return cancelled_ || done_ == Total(); }
  bool Cancelled() const { return cancelled_; }
  // The step due: its address, its rate and its request (with the CRC).
  uint8_t Slave() const;
  int32_t Baud() const;
  std::vector<uint8_t> Request() const;
  // The wait after the request has left the line, given the time a reply takes at the rate.
  uint64_t TimeoutUs(uint64_t replyUs) const { return uint64_t{timeoutMs_} * 1000 + replyUs; }

  // The outcome of the step due (after a cancel: of the request that was on the line); moves to
  // the next step.
  void Record(const TRequestResult& result);
  void Cancel() { cancelled_ = true; }

  size_t Done() const { return done_; }
  size_t Total() const { return rates_.size() * addresses_; }
  const std::vector<TScanAnswer>& Answers() const { return answers_; }
  // The rate to offer; 0 when nothing answered.
  int32_t BestBaud() const;

 private:
  std::vector<int32_t> rates_;
  uint8_t first_;
  size_t addresses_;
  PollFunction function_;
  uint16_t address_;
  uint32_t timeoutMs_;
  size_t done_ = 0;
  bool cancelled_ = false;
  std::vector<TScanAnswer> answers_;
};

}  // namespace talyx::app
