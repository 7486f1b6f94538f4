// Fuzz target of the register-map reader: any text either reads as a poll set whose rows are all
// valid and whose written file reads back the same, in protocol addresses, or fails with a line
// and the phrase of its problem's kind.
//
// Input: the text of a map.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/poller/registermap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace talyx::app;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const RegisterMapReading reading = ReadRegisterMap(text);
  if (!reading.Ok) {
    const bool fileKind =
        reading.Kind == MapProblem::mpNone || reading.Kind == MapProblem::mpFileMissing ||
        reading.Kind == MapProblem::mpFileUnreadable || reading.Kind == MapProblem::mpFileTooLarge;
    if (fileKind || reading.Line == 0 || reading.Problem != MapProblemText(reading.Kind) ||
        reading.Problem.empty()) {
      std::abort();
    }
    return 0;
  }
  size_t registers = 0;
  for (const PollRow& row : reading.Set.Rows) {
    if (CheckPollRow(row) != PollRowProblem::rpOk) std::abort();
    registers += row.Registers.size();
  }
  if (registers > MaxMapLines || reading.Set.Rows.size() > MaxMapLines) std::abort();
  const RegisterMapReading again = ReadRegisterMap(WriteRegisterMap(reading.Set));
  if (!again.Ok || again.Numbering != MapNumbering::mnProtocol || again.Set != reading.Set) {
    std::abort();
  }
  return 0;
}
