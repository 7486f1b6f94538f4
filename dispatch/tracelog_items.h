// The byte items and time text shared by the trace and dispatch log file formats.
//
// Principles of operation:
// - A byte is printed as one item: the character itself when printable, otherwise in brackets
//   as two upper-case hex digits or as its decimal value. An item's width is its length.
// - ItemLineWriter lays items side by side and breaks the line before an item that would carry
//   the column count past 78; a continuation line starts with an indent so that items stay
//   under their column.
// - Pure formatting; used by one thread at a time together with its TraceLogFile.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "dispatch/tracelog_textfile.h"

namespace talyx {

// The text of one byte. allHex: always "[XX]". Otherwise printable bytes (from space, or from '!'
// when inHex is set, up to '~') as themselves; other bytes "[XX]" when inHex is set, else "[n]"
// in decimal.
std::string TraceItem(uint8_t byte, bool inHex, bool allHex);

// A record time in milliseconds as the log shows it: at least seven digits with a "." after the
// fourth (1234 gives "0001.234", 12345678 gives "1234.5678").
std::string LogTimeText(uint32_t milliseconds);

class ItemLineWriter {
 public:
  // The column count starts at margin; a line break writes indent and restarts the count at
  // margin plus the width of the item that broke the line.
  ItemLineWriter(TraceLogFile& file, uint32_t margin, std::string_view indent);

  void Put(std::string_view item);
  // The caller has started a new line itself: the count goes back to the margin.
  void Restart() { column_ = margin_; }

 private:
  static constexpr uint32_t LastColumn = 78;

  TraceLogFile& file_;
  uint32_t margin_;
  std::string_view indent_;
  uint32_t column_;
};

}  // namespace talyx
