// The register-map CSV: a poll set's file, and the register maps imported from and exported to
// devices' manuals, in one format.
//
// Principles:
// - RFC 4180 text in UTF-8 (a leading BOM is skipped; lines end in CRLF or LF; quoted fields may
//   hold commas, doubled quotes and line ends): a header line, then one line per register with
//   the fields name, slave, function, address, format, scale, offset, unit. The header names the
//   columns (in any case and order; other columns are ignored); lines with every field empty are
//   skipped, and a line with fewer fields than the header has the rest empty.
// - A poll set file adds the row's fields after them (row, start, count, period, enabled,
//   writes; enabled and writes 1 or 0, writes 1 for MultipleWrites) so that rows, their periods
//   and the addresses no register names come back as they were. Rows are numbered from 1 in
//   order of first appearance, each line repeating its row's fields; a line with an empty address
//   declares a row without registers. A map without row fields groups its registers into rows by
//   itself: same slave and function, in address order, each row as long as the function's count
//   limit allows (a 32-bit register's second word included), each polled every second.
// - Addresses are protocol addresses (0-65535) with the function given. A map may leave the
//   function empty and give manual-style register numbers instead (up to five digits
//   00001-09999, 10001-19999, 30001-39999, 40001-49999, or six digits 000001-465536): the
//   number's range gives the function and address = number - base. A file is read in one
//   numbering, and the reading says which; a poll set file (with row fields) always gives
//   functions. Writing always gives protocol addresses, lines ending in CRLF.
// - Empty cells: format u16, scale 1, offset 0, name and unit empty. Formats by the names of the
//   settings file ("u16", "f32-cdab", ...) in any case; scale (nonzero) and offset are finite
//   numbers with '.' as the decimal point, whatever the locale, written as the shortest text that
//   reads back the same.
// - A poll set file is written whole through a temporary file in the same folder and a rename,
//   so a crash or a full disk leaves the old file, never half a new one.
// - Pure functions apart from the file operations, free of Qt; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
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

// Bounds on what is read from outside: lines after the header (so registers and rows), and the
// size of a file.
inline constexpr size_t MaxMapLines = 10000;
inline constexpr size_t MaxPollSetFileBytes = 16u << 20;

// What was wrong with a map, for the window to say in its own words. Each kind has a stable
// English phrase (MapProblemText), except mpFileUnreadable, whose text is the system's.
enum class MapProblem : uint8_t {
  mpNone,
  mpFileMissing,         // "file not found"
  mpFileUnreadable,      // the system's text of the error
  mpFileTooLarge,        // "file too large"
  mpNoHeader,            // "no header line"
  mpColumnMissing,       // "column missing": a base column, or only some of the row columns
  mpQuote,               // "quote not closed": or text after a closing quote
  mpTooManyLines,        // "too many lines"
  mpSlave,               // "slave not 1-247"
  mpFunction,            // "function not 1-4"
  mpAddress,             // "address not 0-65535": or a 32-bit register's second word past it
  mpRegisterNumber,      // "register number outside the ranges"
  mpMixedNumbering,      // "numbering differs from earlier lines"
  mpFormat,              // "unknown format"
  mpScale,               // "scale not a nonzero number"
  mpOffset,              // "offset not a number"
  mpRowField,            // "row field not valid": row, start, count, period, enabled or writes
  mpRowNumber,           // "row number out of order": not a row before, nor the next one
  mpRowMismatch,         // "row differs from its first line"
  mpRowCount,            // "count outside the limits"
  mpRowRange,            // "row passes address 65535"
  mpRowPeriod,           // "period below 10 ms"
  mpRegisterOutsideRow,  // "register outside the row"
};
std::string_view MapProblemText(MapProblem problem);

struct RegisterMapReading {
  bool Ok = false;
  // When not Ok: the first line (from 1) that could not be read (0 for the file as a whole), what
  // was wrong with it, and its phrase (or the system's text).
  size_t Line = 0;
  MapProblem Kind = MapProblem::mpNone;
  std::string Problem;
  PollSet Set;
  MapNumbering Numbering = MapNumbering::mnProtocol;
};

RegisterMapReading ReadRegisterMap(std::string_view text);

// One field as RFC 4180 writes it: in quotes, quotes doubled, when it holds a separator, a quote
// or a line end.
std::string CsvField(std::string_view text);
// A number in its shortest text that reads back the same, '.' as the decimal point whatever the
// locale.
std::string CsvNumber(double value);
// The text of a poll set file (with the row fields), protocol addresses.
std::string WriteRegisterMap(const PollSet& set);

// Reads the file at path; a file that is missing, too large or cannot be read says so in Kind and
// Problem (Line 0).
RegisterMapReading LoadPollSetFile(const std::string& path);
// Writes the poll set file through a temporary in the same folder, synced, and a rename; empty on
// success, else the system's text of the error, the old file left as it was.
std::string SavePollSetFile(const std::string& path, const PollSet& set);

}  // namespace talyx::app
