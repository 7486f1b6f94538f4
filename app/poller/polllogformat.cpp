// The poll log's CSV pieces: columns, quoting, numbers, local times and lines.
#include "app/poller/polllogformat.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <map>

namespace talyx::app {

std::vector<PollLogColumn> PollLogColumns(const PollSet& set) {
  std::vector<PollLogColumn> columns;
  std::map<std::string, size_t> perName;
  std::map<std::pair<size_t, std::string>, size_t> perRowAndName;
  for (size_t row = 0; row < set.Rows.size(); ++row) {
    if (!set.Rows[row].Enabled) continue;
    const std::vector<PollRegister>& registers = set.Rows[row].Registers;
    for (size_t reg = 0; reg < registers.size(); ++reg) {
      if (registers[reg].Name.empty()) continue;
      columns.push_back({row, reg, registers[reg].Name});
      ++perName[registers[reg].Name];
      ++perRowAndName[{row, registers[reg].Name}];
    }
  }
  for (PollLogColumn& column : columns) {
    if (perName[column.Header] < 2) continue;
    const bool sharedInRow = perRowAndName[{column.Row, column.Header}] > 1;
    column.Header += " (row " + std::to_string(column.Row + 1);
    if (sharedInRow) column.Header += ", register " + std::to_string(column.Register + 1);
    column.Header += ')';
  }
  return columns;
}

std::string LocalIsoTime(int64_t wallMs) {
  // Floor division, so that times before 1970 keep a millisecond part of 0-999.
  int64_t seconds = wallMs / 1000;
  int64_t ms = wallMs % 1000;
  if (ms < 0) {
    ms += 1000;
    --seconds;
  }
  const auto stamp = static_cast<time_t>(seconds);
  struct tm local {};
  localtime_r(&stamp, &local);
  char text[64];
  const size_t length = strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  const long offsetMinutes = local.tm_gmtoff / 60;
  const long absolute = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
  char tail[64];
  snprintf(tail, sizeof tail, ".%03d%c%02ld:%02ld", static_cast<int>(ms),
           offsetMinutes < 0 ? '-' : '+', absolute / 60, absolute % 60);
  return std::string(text, length) + tail;
}

std::string PollLogHeader(const std::string& timeTitle, const std::string& rowTitle,
                          const std::vector<PollLogColumn>& columns) {
  std::string line = CsvField(timeTitle) + ',' + CsvField(rowTitle);
  for (const PollLogColumn& column : columns) line += ',' + CsvField(column.Header);
  line += "\r\n";
  return line;
}

std::string PollLogLine(const std::vector<PollLogColumn>& columns, const TPollSample& sample) {
  std::string line = LocalIsoTime(sample.WallMs) + ',' + std::to_string(sample.Row + 1);
  for (const PollLogColumn& column : columns) {
    line += ',';
    if (!sample.Ok || column.Row != sample.Row || column.Register >= sample.Values.size()) continue;
    const PollValue& value = sample.Values[column.Register];
    if (value.Valid) line += CsvNumber(value.Value);
  }
  line += "\r\n";
  return line;
}

}  // namespace talyx::app
