// TReadTimes: the bounded ring of read-time marks beside the input ring.
#include "dispatch/readtimes.h"

namespace talyx {

void TReadTimes::Add(uint64_t position, uint64_t us) {
  if (count_ > 0 && At(count_ - 1).Us == us) return;
  if (count_ == Capacity) {
    // The oldest mark takes the place of the second oldest: the two stretches become one,
    // read at the older time.
    At(1) = At(0);
    first_ = (first_ + 1) % Capacity;
    --count_;
  }
  At(count_) = Mark{position, us};
  ++count_;
}

void TReadTimes::DropBefore(uint64_t position) {
  while (count_ > 1 && At(1).Position <= position) {
    first_ = (first_ + 1) % Capacity;
    --count_;
  }
}

TReadTime TReadTimes::TimeOf(uint64_t position) const {
  if (count_ == 0) return {};
  // The last mark at or before position; the oldest mark also answers for anything earlier.
  size_t low = 0;
  size_t high = count_;
  while (high - low > 1) {
    const size_t middle = low + (high - low) / 2;
    if (At(middle).Position <= position) {
      low = middle;
    } else {
      high = middle;
    }
  }
  return TReadTime::At(At(low).Us);
}

}  // namespace talyx
