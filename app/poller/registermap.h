// The register-map CSV: a poll set's file, and the register maps imported from and exported to
// devices' manuals, in one format.
//
// Principles:
// - RFC 4180 text in UTF-8 (a leading BOM is skipped): a header line, then one line per register
//   with the fields name, slave, function, address, format, scale, offset, unit. A poll set file
//   adds the row's fields after them (row, start, count, period, enabled, writes) so that rows,
//   their periods and the addresses no register names come back as they were; a map without them
//   groups its registers into rows by itself (same slave and function, within the function's
//   count limit), each polled every second.
// - Addresses in the file are protocol addresses (0-65535) with the function given. A map may
//   give manual-style register numbers instead (five digits 00001-09999, 10001-19999,
//   30001-39999, 40001-49999, or six digits 000001-465536): the number's range gives the function
//   and address = number - base. A file is read in one numbering, and the reading says which;
//   writing always gives protocol addresses.
// - Formats by the names of the settings file ("u16", "f32-cdab", ...); scale and offset with '.'
//   as the decimal point, whatever the locale.
// - A poll set file is written whole through a temporary file in the same folder and a rename,
//   so a crash or a full disk leaves the old file, never half a new one.
// - Pure functions apart from the file operations, free of Qt; any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "app/poller/pollset.h"

namespace talyx::app {

// The file a poll set is kept in by default, beside the settings file.
inline constexpr std::string_view DefaultPollSetFileName = "talyx-poll.csv";

enum class MapNumbering : uint8_t {
  mnProtocol,  // protocol addresses with the function in its own field
  mnManual5,   // five-digit register numbers (40001 ...)
  mnManual6,   // six-digit register numbers (400001 ...)
};

struct RegisterMapReading {
  bool Ok = false;
  // When not Ok: the first line (from 1) that could not be read, and what was wrong with it.
  size_t Line = 0;
  std::string Problem;
  PollSet Set;
  MapNumbering Numbering = MapNumbering::mnProtocol;
};

RegisterMapReading ReadRegisterMap(std::string_view text);
// The text of a poll set file (with the row fields), protocol addresses.
std::string WriteRegisterMap(const PollSet& set);

// Reads the file at path; a file that cannot be read says so in Problem (Line 0).
RegisterMapReading LoadPollSetFile(const std::string& path);
// Writes the poll set file through a temporary and a rename; empty on success, else why not.
std::string SavePollSetFile(const std::string& path, const PollSet& set);

}  // namespace talyx::app
