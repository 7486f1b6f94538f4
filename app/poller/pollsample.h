// TPollSample: the outcome of one poll of a row, as the values table, the plot and the CSV log
// receive it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "app/poller/pollset.h"

namespace talyx::app {

struct TPollSample {
  int64_t WallMs = 0;  // when the reply ended (or the poll failed), ms since the epoch, UTC
  size_t Row = 0;      // the row's index in the poll set
  bool Ok = false;     // a good reply: Values are Valid
  // One per register of the row, in the order of PollRow::Registers.
  std::vector<PollValue> Values;
};

}  // namespace talyx::app
