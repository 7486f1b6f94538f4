// TFrameFilter: which of the bus monitor's frames the table shows.
//
// Principles:
// - Address and function (-1: any) match frames only; a raw run has neither and is hidden while
//   either is set. Errors are frames with a wrong CRC, raw runs and unanswered requests;
//   exceptions are exception responses. Echoes of sent frames are hidden while HideEcho is set.
// - Pure: any thread.
#pragma once

#include "app/monitor/framestore.h"

namespace talyx::app {

struct TFrameFilter {
  int Address = -1;
  int Function = -1;
  bool ErrorsOnly = false;
  bool ExceptionsOnly = false;
  bool HideEcho = true;

  bool Accepts(const TFrameRecord& record) const;
  bool operator==(const TFrameFilter&) const = default;
};

}  // namespace talyx::app
