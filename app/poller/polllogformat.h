// The poll log's CSV pieces: its columns, times and lines, free of Qt (fields and numbers are the
// register map's, registermap.h).
//
// Principles:
// - RFC 4180: a field is quoted when it holds ',', '"', CR or LF, a '"' inside doubled; lines end
//   in CR LF.
// - Numbers are the shortest text that reads back to the same double (std::to_chars), so the
//   decimal point is '.' whatever the locale.
// - Times are ISO 8601 local time with milliseconds and the zone's offset at that moment
//   ("2026-12-09T21:45:03.123+01:00").
// - Columns: one per named register of every enabled row, in the set's order. A name that
//   several columns share gets the row (from 1) after it, "name (row 2)"; if two registers of
//   one row share it too, also the register's place in its row, "name (row 2, register 3)".
// - Pure functions; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/poller/pollsample.h"
#include "app/poller/pollset.h"
#include "app/poller/registermap.h"

namespace talyx::app {

struct PollLogColumn {
  size_t Row = 0;
  size_t Register = 0;
  std::string Header;

  bool operator==(const PollLogColumn&) const = default;
};

std::vector<PollLogColumn> PollLogColumns(const PollSet& set);

std::string LocalIsoTime(int64_t wallMs);

// The header line: the time and row columns' titles, then the registers' headers.
std::string PollLogHeader(const std::string& timeTitle, const std::string& rowTitle,
                          const std::vector<PollLogColumn>& columns);
// One poll's line: its time, its row (from 1), and a cell per column; cells of other rows, of a
// failed poll and of values the reply did not carry are empty.
std::string PollLogLine(const std::vector<PollLogColumn>& columns, const TPollSample& sample);

}  // namespace talyx::app
