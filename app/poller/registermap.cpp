// The register-map CSV: reading a map or poll set file into rows, and writing a poll set file.
#include "app/poller/registermap.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <optional>
#include <utility>
#include <vector>

namespace talyx::app {

namespace {

using formats::TRegisterFormat;

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr uint32_t kMapPeriodMs = 1000;

// The columns, base first, then the row's.
enum Column : size_t {
  cName,
  cSlave,
  cFunction,
  cAddress,
  cFormat,
  cScale,
  cOffset,
  cUnit,
  cRow,
  cStart,
  cCount,
  cPeriod,
  cEnabled,
  cWrites,
  kColumnCount
};
constexpr size_t kBaseColumns = cRow;
constexpr std::array<std::string_view, kColumnCount> kColumnNames = {
    "name", "slave", "function", "address", "format", "scale",   "offset",
    "unit", "row",   "start",    "count",   "period", "enabled", "writes"};

struct Record {
  size_t Line = 0;  // where the record starts
  std::vector<std::string> Fields;
};

struct Failure {
  size_t Line;
  MapProblem Kind;
};

// Splits RFC 4180 text into records, one at a time.
class RecordReader {
 public:
  explicit RecordReader(std::string_view text) : text_(text) {}

  bool AtEnd() const { return at_ >= text_.size(); }

  // The next record; nullopt with a failure for a quote not closed or followed by text.
  std::optional<Record> Next(std::optional<Failure>& failure) {
    Record record;
    record.Line = line_;
    std::string field;
    while (true) {
      if (at_ < text_.size() && text_[at_] == '"') {
        if (!Quoted(field)) {
          failure = Failure{record.Line, MapProblem::mpQuote};
          return std::nullopt;
        }
      } else {
        Unquoted(field);
      }
      record.Fields.push_back(std::move(field));
      field.clear();
      if (at_ < text_.size() && text_[at_] == ',') {
        ++at_;
        continue;
      }
      if (at_ < text_.size()) {
        if (text_[at_] != '\n' && !text_.substr(at_).starts_with("\r\n")) {
          failure = Failure{record.Line, MapProblem::mpQuote};
          return std::nullopt;
        }
        at_ += text_[at_] == '\r' ? 2 : 1;
        ++line_;
      }
      return record;
    }
  }

 private:
  // A field up to the next comma or line end; a CR is part of it unless a LF follows.
  void Unquoted(std::string& field) {
    const size_t from = at_;
    while (at_ < text_.size() && text_[at_] != ',' && text_[at_] != '\n' &&
           !text_.substr(at_).starts_with("\r\n")) {
      ++at_;
    }
    field.assign(text_.substr(from, at_ - from));
  }

  // A field in quotes, doubled quotes standing for one; false when the closing quote is missing.
  bool Quoted(std::string& field) {
    ++at_;
    while (at_ < text_.size()) {
      const char c = text_[at_++];
      if (c == '"') {
        if (at_ < text_.size() && text_[at_] == '"') {
          field += '"';
          ++at_;
          continue;
        }
        return true;
      }
      if (c == '\n') ++line_;
      field += c;
    }
    return false;
  }

  std::string_view text_;
  size_t at_ = 0;
  size_t line_ = 1;
};

std::string_view Trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

// The whole trimmed text as a number of type T, '.' as the decimal point for doubles.
template <typename T>
std::optional<T> Number(std::string_view text) {
  text = Trimmed(text);
  T value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<bool> Flag(std::string_view text) {
  text = Trimmed(text);
  if (text == "1") return true;
  if (text == "0") return false;
  return std::nullopt;
}

bool IsEmpty(const Record& record) {
  return std::all_of(record.Fields.begin(), record.Fields.end(),
                     [](const std::string& field) { return Trimmed(field).empty(); });
}

// The column index of each column in the header; nullopt where it has none.
using ColumnMap = std::array<std::optional<size_t>, kColumnCount>;

std::optional<ColumnMap> ReadHeader(const Record& header) {
  ColumnMap columns;
  for (size_t i = 0; i < header.Fields.size(); ++i) {
    const std::string name = Lower(Trimmed(header.Fields[i]));
    const auto known = std::find(kColumnNames.begin(), kColumnNames.end(), name);
    if (known != kColumnNames.end() && !columns[known - kColumnNames.begin()]) {
      columns[known - kColumnNames.begin()] = i;
    }
  }
  const auto has = [&](size_t column) { return columns[column].has_value(); };
  size_t rowColumns = 0;
  for (size_t c = cRow; c < kColumnCount; ++c) rowColumns += has(c) ? 1 : 0;
  for (size_t c = 0; c < kBaseColumns; ++c) {
    if (!has(c)) return std::nullopt;
  }
  if (rowColumns != 0 && rowColumns != kColumnCount - kBaseColumns) return std::nullopt;
  return columns;
}

// One line of the map, its fields read.
struct MapLine {
  size_t Line = 0;
  uint8_t Slave = 0;
  PollFunction Function = PollFunction::ReadHoldingRegisters;
  bool HasRegister = true;
  PollRegister Register;
  MapNumbering Numbering = MapNumbering::mnProtocol;
  // Row fields, when the file has them.
  size_t RowNumber = 0;
  PollRow Row;
};

struct NumberRange {
  uint32_t First;
  uint32_t Last;
  PollFunction Function;
};

// A manual-style register number: the function of its range and the protocol address.
std::optional<std::pair<PollFunction, uint16_t>> ManualNumber(std::string_view digits,
                                                              MapNumbering numbering) {
  const auto number = Number<uint32_t>(digits);
  if (!number) return std::nullopt;
  static constexpr std::array<NumberRange, 4> kFive = {{
      {1, 9999, PollFunction::ReadCoils},
      {10001, 19999, PollFunction::ReadDiscreteInputs},
      {30001, 39999, PollFunction::ReadInputRegisters},
      {40001, 49999, PollFunction::ReadHoldingRegisters},
  }};
  static constexpr std::array<NumberRange, 4> kSix = {{
      {1, 65536, PollFunction::ReadCoils},
      {100001, 165536, PollFunction::ReadDiscreteInputs},
      {300001, 365536, PollFunction::ReadInputRegisters},
      {400001, 465536, PollFunction::ReadHoldingRegisters},
  }};
  for (const NumberRange& range : numbering == MapNumbering::mnManual5 ? kFive : kSix) {
    if (*number >= range.First && *number <= range.Last) {
      return std::pair{range.Function, static_cast<uint16_t>(*number - range.First)};
    }
  }
  return std::nullopt;
}

std::optional<TRegisterFormat> FormatNamed(std::string_view text) {
  text = Trimmed(text);
  if (text.empty()) return TRegisterFormat::rfU16;
  const TRegisterFormat format = formats::RegisterFormatFromName(text);
  if (formats::RegisterFormatName(format) != Lower(text)) return std::nullopt;
  return format;
}

class LineReader {
 public:
  LineReader(const Record& record, const ColumnMap& columns) : record_(record), columns_(columns) {}

  std::string_view Field(size_t column) const {
    const size_t index = *columns_[column];
    return index < record_.Fields.size() ? std::string_view(record_.Fields[index])
                                         : std::string_view();
  }

  // The line's fields; the kind of the first field that cannot be read otherwise.
  MapProblem Read(bool rowFields, MapLine& line) const {
    line.Line = record_.Line;
    const auto slave = Number<uint8_t>(Field(cSlave));
    if (!slave || *slave < MinSlaveAddress || *slave > MaxSlaveAddress) return MapProblem::mpSlave;
    line.Slave = *slave;
    const std::string_view address = Trimmed(Field(cAddress));
    if (Trimmed(Field(cFunction)).empty()) {
      if (rowFields) return MapProblem::mpFunction;
      if (const MapProblem problem = ReadManualAddress(address, line);
          problem != MapProblem::mpNone) {
        return problem;
      }
    } else {
      const auto function = Number<uint8_t>(Field(cFunction));
      if (!function || *function < 1 || *function > 4) return MapProblem::mpFunction;
      line.Function = static_cast<PollFunction>(*function);
      line.HasRegister = !(rowFields && address.empty());
      const auto protocolAddress = Number<uint16_t>(address);
      if (line.HasRegister && !protocolAddress) return MapProblem::mpAddress;
      line.Register.Address = protocolAddress.value_or(0);
    }
    if (line.HasRegister) {
      if (const MapProblem problem = ReadRegister(line); problem != MapProblem::mpNone) {
        return problem;
      }
    }
    return rowFields ? ReadRow(line) : MapProblem::mpNone;
  }

 private:
  MapProblem ReadManualAddress(std::string_view address, MapLine& line) const {
    const bool digits = !address.empty() && address.size() <= 6 &&
                        address.find_first_not_of("0123456789") == std::string_view::npos;
    if (!digits) return MapProblem::mpRegisterNumber;
    line.Numbering = address.size() == 6 ? MapNumbering::mnManual6 : MapNumbering::mnManual5;
    const auto number = ManualNumber(address, line.Numbering);
    if (!number) return MapProblem::mpRegisterNumber;
    line.Function = number->first;
    line.Register.Address = number->second;
    return MapProblem::mpNone;
  }

  MapProblem ReadRegister(MapLine& line) const {
    PollRegister& reg = line.Register;
    reg.Name = Field(cName);
    reg.Unit = Field(cUnit);
    const auto format = FormatNamed(Field(cFormat));
    if (!format) return MapProblem::mpFormat;
    reg.Format = *format;
    if (!Trimmed(Field(cScale)).empty()) {
      const auto scale = Number<double>(Field(cScale));
      if (!scale || !std::isfinite(*scale) || *scale == 0.0) return MapProblem::mpScale;
      reg.Scale = *scale;
    }
    if (!Trimmed(Field(cOffset)).empty()) {
      const auto offset = Number<double>(Field(cOffset));
      if (!offset || !std::isfinite(*offset)) return MapProblem::mpOffset;
      reg.Offset = *offset;
    }
    if (reg.Address + RegisterWidth(reg, line.Function) > 0x10000u) return MapProblem::mpAddress;
    return MapProblem::mpNone;
  }

  MapProblem ReadRow(MapLine& line) const {
    const auto number = Number<size_t>(Field(cRow));
    const auto start = Number<uint16_t>(Field(cStart));
    const auto count = Number<uint16_t>(Field(cCount));
    const auto period = Number<uint32_t>(Field(cPeriod));
    const auto enabled = Flag(Field(cEnabled));
    const auto writes = Flag(Field(cWrites));
    if (!number || *number == 0 || !start || !count || !period || !enabled || !writes) {
      return MapProblem::mpRowField;
    }
    line.RowNumber = *number;
    line.Row = PollRow{.Slave = line.Slave,
                       .Function = line.Function,
                       .Start = *start,
                       .Count = *count,
                       .PeriodMs = *period,
                       .Enabled = *enabled,
                       .MultipleWrites = *writes,
                       .Registers = {}};
    return MapProblem::mpNone;
  }

  const Record& record_;
  const ColumnMap& columns_;
};

MapProblem RowProblemKind(PollRowProblem problem) {
  switch (problem) {
    case PollRowProblem::rpOk:
      return MapProblem::mpNone;
    case PollRowProblem::rpSlave:
      return MapProblem::mpSlave;
    case PollRowProblem::rpCount:
      return MapProblem::mpRowCount;
    case PollRowProblem::rpRange:
      return MapProblem::mpRowRange;
    case PollRowProblem::rpPeriod:
      return MapProblem::mpRowPeriod;
    case PollRowProblem::rpRegisterRange:
      return MapProblem::mpRegisterOutsideRow;
  }
  return MapProblem::mpRowField;
}

// Rows as the file gives them: a new row number must be the next one, and a row's lines agree.
std::optional<Failure> RowsAsGiven(const std::vector<MapLine>& lines, PollSet& set) {
  for (const MapLine& line : lines) {
    if (line.RowNumber == set.Rows.size() + 1) {
      if (const MapProblem problem = RowProblemKind(CheckPollRow(line.Row));
          problem != MapProblem::mpNone) {
        return Failure{line.Line, problem};
      }
      set.Rows.push_back(line.Row);
    } else if (line.RowNumber > set.Rows.size()) {
      return Failure{line.Line, MapProblem::mpRowNumber};
    }
    PollRow& row = set.Rows[line.RowNumber - 1];
    PollRow fields = row;
    fields.Registers.clear();
    if (fields != line.Row) return Failure{line.Line, MapProblem::mpRowMismatch};
    if (!line.HasRegister) continue;
    const PollRegister& reg = line.Register;
    if (reg.Address < row.Start ||
        reg.Address + RegisterWidth(reg, row.Function) > size_t{row.Start} + row.Count) {
      return Failure{line.Line, MapProblem::mpRegisterOutsideRow};
    }
    row.Registers.push_back(reg);
  }
  return std::nullopt;
}

// Rows made of the registers: by slave and function in order of first appearance, each run of
// addresses as long as the function's count limit allows.
void GroupRows(const std::vector<MapLine>& lines, PollSet& set) {
  std::vector<std::pair<uint8_t, PollFunction>> groups;
  for (const MapLine& line : lines) {
    const std::pair key{line.Slave, line.Function};
    if (std::find(groups.begin(), groups.end(), key) == groups.end()) groups.push_back(key);
  }
  for (const auto& [slave, function] : groups) {
    std::vector<PollRegister> registers;
    for (const MapLine& line : lines) {
      if (line.Slave == slave && line.Function == function) registers.push_back(line.Register);
    }
    std::stable_sort(
        registers.begin(), registers.end(),
        [](const PollRegister& a, const PollRegister& b) { return a.Address < b.Address; });
    const bool bits =
        function == PollFunction::ReadCoils || function == PollFunction::ReadDiscreteInputs;
    const size_t limit = bits ? MaxReadBits : MaxReadRegisters;
    PollRow* row = nullptr;
    for (PollRegister& reg : registers) {
      const size_t end = reg.Address + RegisterWidth(reg, function);
      if (row == nullptr || end - row->Start > limit) {
        set.Rows.push_back(PollRow{.Slave = slave,
                                   .Function = function,
                                   .Start = reg.Address,
                                   .Count = 0,
                                   .PeriodMs = kMapPeriodMs,
                                   .Enabled = true,
                                   .MultipleWrites = false,
                                   .Registers = {}});
        row = &set.Rows.back();
      }
      row->Count = static_cast<uint16_t>(std::max<size_t>(row->Count, end - row->Start));
      row->Registers.push_back(std::move(reg));
    }
  }
}

RegisterMapReading Failed(Failure failure) {
  RegisterMapReading reading;
  reading.Line = failure.Line;
  reading.Kind = failure.Kind;
  reading.Problem = MapProblemText(failure.Kind);
  return reading;
}

}  // namespace

std::string CsvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

std::string CsvNumber(double value) {
  std::array<char, 32> text{};
  const auto result = std::to_chars(text.data(), text.data() + text.size(), value);
  return std::string(text.data(), result.ptr);
}

std::string_view MapProblemText(MapProblem problem) {
  switch (problem) {
    case MapProblem::mpNone:
      return "";
    case MapProblem::mpFileMissing:
      return "file not found";
    case MapProblem::mpFileUnreadable:
      return "file cannot be read";
    case MapProblem::mpFileTooLarge:
      return "file too large";
    case MapProblem::mpNoHeader:
      return "no header line";
    case MapProblem::mpColumnMissing:
      return "column missing";
    case MapProblem::mpQuote:
      return "quote not closed";
    case MapProblem::mpTooManyLines:
      return "too many lines";
    case MapProblem::mpSlave:
      return "slave not 1-247";
    case MapProblem::mpFunction:
      return "function not 1-4";
    case MapProblem::mpAddress:
      return "address not 0-65535";
    case MapProblem::mpRegisterNumber:
      return "register number outside the ranges";
    case MapProblem::mpMixedNumbering:
      return "numbering differs from earlier lines";
    case MapProblem::mpFormat:
      return "unknown format";
    case MapProblem::mpScale:
      return "scale not a nonzero number";
    case MapProblem::mpOffset:
      return "offset not a number";
    case MapProblem::mpRowField:
      return "row field not valid";
    case MapProblem::mpRowNumber:
      return "row number out of order";
    case MapProblem::mpRowMismatch:
      return "row differs from its first line";
    case MapProblem::mpRowCount:
      return "count outside the limits";
    case MapProblem::mpRowRange:
      return "row passes address 65535";
    case MapProblem::mpRowPeriod:
      return "period below 10 ms";
    case MapProblem::mpRegisterOutsideRow:
      return "register outside the row";
  }
  return "";
}

RegisterMapReading ReadRegisterMap(std::string_view text) {
  if (text.starts_with(kBom)) text.remove_prefix(kBom.size());
  RecordReader reader(text);
  std::optional<Failure> failure;
  std::optional<ColumnMap> columns;
  std::vector<MapLine> lines;
  std::optional<MapNumbering> numbering;
  while (!reader.AtEnd()) {
    const std::optional<Record> record = reader.Next(failure);
    if (!record) return Failed(*failure);
    if (!columns) {
      if (IsEmpty(*record)) continue;
      columns = ReadHeader(*record);
      if (!columns) return Failed({record->Line, MapProblem::mpColumnMissing});
      continue;
    }
    if (IsEmpty(*record)) continue;
    const LineReader fields(*record, *columns);
    if (lines.size() == MaxMapLines) return Failed({record->Line, MapProblem::mpTooManyLines});
    const bool rowFields = (*columns)[cRow].has_value();
    MapLine line;
    if (const MapProblem problem = fields.Read(rowFields, line); problem != MapProblem::mpNone) {
      return Failed({record->Line, problem});
    }
    if (line.HasRegister) {
      if (numbering && *numbering != line.Numbering) {
        return Failed({record->Line, MapProblem::mpMixedNumbering});
      }
      numbering = line.Numbering;
    }
    lines.push_back(std::move(line));
  }
  if (!columns) return Failed({1, MapProblem::mpNoHeader});
  RegisterMapReading reading;
  if ((*columns)[cRow]) {
    if (const auto rowFailure = RowsAsGiven(lines, reading.Set)) return Failed(*rowFailure);
  } else {
    GroupRows(lines, reading.Set);
  }
  reading.Ok = true;
  reading.Numbering = numbering.value_or(MapNumbering::mnProtocol);
  return reading;
}

std::string WriteRegisterMap(const PollSet& set) {
  std::string text;
  for (size_t c = 0; c < kColumnCount; ++c) {
    text += c == 0 ? "" : ",";
    text += kColumnNames[c];
  }
  text += "\r\n";
  for (size_t r = 0; r < set.Rows.size(); ++r) {
    const PollRow& row = set.Rows[r];
    const std::string rowFields = std::to_string(r + 1) + ',' + std::to_string(row.Start) + ',' +
                                  std::to_string(row.Count) + ',' + std::to_string(row.PeriodMs) +
                                  ',' + (row.Enabled ? "1" : "0") + ',' +
                                  (row.MultipleWrites ? "1" : "0") + "\r\n";
    const std::string slave = std::to_string(row.Slave);
    const std::string function = std::to_string(static_cast<int>(row.Function));
    if (row.Registers.empty()) text += ',' + slave + ',' + function + ",,,,,," + rowFields;
    for (const PollRegister& reg : row.Registers) {
      text += CsvField(reg.Name) + ',' + slave + ',' + function + ',' +
              std::to_string(reg.Address) + ',' + formats::RegisterFormatName(reg.Format) + ',' +
              CsvNumber(reg.Scale) + ',' + CsvNumber(reg.Offset) + ',' + CsvField(reg.Unit) + ',' +
              rowFields;
    }
  }
  return text;
}

}  // namespace talyx::app
