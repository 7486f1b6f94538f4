// TFrameFilter: the bus monitor's row filter.
#include "app/monitor/framefilter.h"

namespace talyx::app {

bool TFrameFilter::Accepts(const TFrameRecord& record) const {
  const bool raw = record.Has(TFrameRecord::Raw);
  if (HideEcho && record.Has(TFrameRecord::Echo)) return false;
  if (Address >= 0 && (raw || record.Address != Address)) return false;
  if (Function >= 0 && (raw || record.Function != Function)) return false;
  if (ExceptionsOnly && !record.Has(TFrameRecord::Exception)) return false;
  if (ErrorsOnly && !raw && record.Has(TFrameRecord::CrcOk) &&
      !record.Has(TFrameRecord::Unanswered)) {
    return false;
  }
  return true;
}

}  // namespace talyx::app
