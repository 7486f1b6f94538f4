// TPollerSettings: the poller's entries of the settings file: the poll set file's name and the
// poll loop's options, in the section "poller".
//
//   [poller]
//   PollFile=            (the poll set file; empty: talyx-poll.csv beside the settings file)
//   TimeoutMs=1000       (10 to 60000, out of range reads as the nearest bound)
//   Retries=0            (0 to 3)
//   TurnaroundMs=0       (0 to 1000)
//   LogFolder=           (the CSV log's folder; empty: DefaultPollLogFolder)
//   LogBom=0             (1: a UTF-8 BOM at the start of each log file)
//   LogRotateDaily=1     (1: a new log file each day; 0: by size)
//   LogRotateMb=10       (by size: a new file past this many MiB, 1 to 4096)
// Main thread only.
#pragma once

#include <string>

#include "app/poller/polllog.h"
#include "app/poller/pollloop.h"
#include "app/settings/settingsfile.h"

namespace talyx::app {

struct TPollerSettings {
  std::string PollFile;
  TPollOptions Options;
  TPollLogSettings Log;

  static constexpr uint32_t MinLogRotateMb = 1;
  static constexpr uint32_t MaxLogRotateMb = 4096;
  static constexpr uint32_t DefaultLogRotateMb = 10;
  static constexpr uint64_t BytesPerMb = 1024 * 1024;

  static TPollerSettings Read(const TSettingsFile& settings);
  // Raises EIniFileException when a key cannot be written.
  void Write(TSettingsFile& settings) const;
  // The poll set file's path: PollFile, or the default beside the settings file.
  std::string PollFilePath(const TSettingsFile& settings) const;
};

}  // namespace talyx::app
