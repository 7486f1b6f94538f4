// Byte items, record times and the 78-column item lines of the trace and log files.
#include "dispatch/tracelog_items.h"

#include <cstdio>

#include "platform/hexbytes.h"

namespace talyx {

namespace {

std::string HexItem(uint8_t byte) {
  char text[] = "[XX]";
  platform::PutHexByte(text + 1, byte);
  return text;
}

}  // namespace

std::string TraceItem(uint8_t byte, bool inHex, bool allHex) {
  if (allHex) return HexItem(byte);
  const uint8_t firstPrintable = inHex ? '!' : ' ';
  if (byte >= firstPrintable && byte <= '~') return std::string(1, static_cast<char>(byte));
  if (inHex) return HexItem(byte);
  return "[" + std::to_string(byte) + "]";
}

std::string LogTimeText(uint32_t milliseconds) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%07u", static_cast<unsigned>(milliseconds));
  std::string text(digits);
  text.insert(4, ".");
  return text;
}

ItemLineWriter::ItemLineWriter(TraceLogFile& file, uint32_t margin, std::string_view indent)
    : file_(file), margin_(margin), indent_(indent), column_(margin) {}

void ItemLineWriter::Put(std::string_view item) {
  const auto width = static_cast<uint32_t>(item.size());
  column_ += width;
  if (column_ > LastColumn) {
    file_.EndLine();
    file_.Write(indent_);
    column_ = margin_ + width;
  }
  file_.Write(item);
}

}  // namespace talyx
