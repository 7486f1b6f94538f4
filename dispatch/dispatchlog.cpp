// TDispatchLog: the record ring (put, get, drop oldest) and the log file's header and record lines.
#include "dispatch/dispatchlog.h"

#include <sys/utsname.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "dispatch/tracelog_items.h"
#include "dispatch/tracelog_textfile.h"
#include "errors/strres.h"
#include "platform/clock.h"

namespace talyx {

namespace {

constexpr uint32_t HeaderSize = sizeof(LogRecordHeader);

// Ids of the log's vocabulary in the error string table.
constexpr int32_t TypeNameBase = 15001;
constexpr int32_t SubTypeNameBase = 15100;
constexpr int32_t ColumnHeadingsId = 15501;
constexpr int32_t ColumnRulesId = 15502;
constexpr int32_t ModemBitNameBase = 15601;
constexpr int32_t TelnetOptionBase = 15700;
constexpr uint8_t LastTypeName = 19;
constexpr uint32_t LastTelnetOption = 42;
constexpr size_t OsDescriptionLength = 80;

// Record lines put the data bytes from column 45; a continuation line is indented to match.
constexpr uint32_t DataMargin = 45;
constexpr std::string_view DataIndent = "                                            ";
static_assert(DataIndent.size() == DataMargin - 1);

std::string PadLeft(const std::string& text, size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

std::string PadRight(const std::string& text, size_t width) {
  return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

std::string TypeName(uint8_t type) {
  // Only the type group of the table names types; ids past it belong to other groups.
  return type <= LastTypeName ? ErrorStrings().LookUp(TypeNameBase + type) : std::string();
}

std::string SubTypeName(uint8_t subType) {
  return subType == 0 ? std::string() : ErrorStrings().LookUp(SubTypeNameBase + subType);
}

std::string TelnetOptionName(uint32_t option) {
  if (option > LastTelnetOption) return std::string();
  return ErrorStrings().LookUp(TelnetOptionBase + static_cast<int32_t>(option));
}

const char* StatusTriggerKindText(uint8_t kind) {
  switch (kind) {
    case 0:
      return "(Not active)";
    case 1:
      return "(Modem status)";
    case 2:
      return "(Line status)";
    case 3:
      return "(Output buffer free)";
    case 4:
      return "(Output buffer used)";
    case 5:
      return "(Output sent)";
    default:
      return "";
  }
}

std::string ModemBitNames(uint32_t data) {
  std::string names;
  for (int bit = 0; bit < 8; ++bit) {
    if (data & (1u << bit)) names += ErrorStrings().LookUp(ModemBitNameBase + bit);
  }
  if (!names.empty() && names.back() == ' ') names.pop_back();
  return "(" + names + ")";
}

void WriteRecord(TraceLogFile& file, const LogRecordHeader& header, const uint8_t* data, bool inHex,
                 bool allHex) {
  char dataText[16];
  std::snprintf(dataText, sizeof dataText, "%08X", static_cast<unsigned>(header.Data));
  file.Write(PadLeft(LogTimeText(header.Time), 8) + "  " + PadRight(TypeName(header.Type), 8) +
             "  " + PadRight(SubTypeName(header.SubType), 12) + "  " + dataText + "  ");

  if (header.Len == 0) {
    if (header.Type == ltTelnet) file.Write("[" + TelnetOptionName(header.Data) + "]");
  } else if (header.SubType == lsStatusTrigger &&
             (header.Type == ltTrigAllc || header.Type == ltTrigDisp)) {
    file.Write(StatusTriggerKindText(data[0]));
  } else {
    ItemLineWriter line(file, DataMargin, DataIndent);
    // A user record keeps its own bytes as they are when everything else goes hex.
    const bool userText = allHex && header.Type == ltUser;
    for (uint32_t i = 0; i < header.Len; ++i) {
      line.Put(userText ? std::string(1, static_cast<char>(data[i]))
                        : TraceItem(data[i], inHex, allHex));
    }
    if (header.SubType == lsModemStatus) file.Write(ModemBitNames(header.Data));
  }
  file.EndLine();
}

}  // namespace

std::string OperatingSystemDescription() {
  utsname names{};
  if (::uname(&names) != 0) return "Unknown";
  return std::string("Linux ") + names.release;
}

TDispatchLog::TDispatchLog() : clock_(platform::MillisecondClock) {}

void TDispatchLog::Open(uint32_t capacity) {
  if (hasRing_) {
    Clear();
    return;
  }
  LogBuffer.assign(capacity, 0);
  // The largest storable record has capacity - 1 bytes, so its data always fits here.
  LogScratch.assign(capacity, 0);
  LogCapacity = capacity;
  LogHead = 0;
  LogTail = 0;
  LogFree = capacity;
  hasRing_ = true;
  LogActive = true;
}

void TDispatchLog::Clear() {
  LogHead = 0;
  LogTail = 0;
  LogFree = LogCapacity;
}

void TDispatchLog::Discard() {
  LogActive = false;
  hasRing_ = false;
  std::vector<uint8_t>().swap(LogBuffer);
  std::vector<uint8_t>().swap(LogScratch);
  LogCapacity = 0;
  LogHead = 0;
  LogTail = 0;
  LogFree = 0;
}

void TDispatchLog::Resume() {
  if (hasRing_) LogActive = true;
}

void TDispatchLog::Pause() { LogActive = false; }

uint32_t TDispatchLog::Elapsed() const { return clock_() - LogStart; }

void TDispatchLog::Add(uint8_t type, uint8_t subType, uint32_t data, const uint8_t* bytes,
                       uint32_t len) {
  if (!hasRing_) return;
  LogRecordHeader header;
  header.Type = type;
  header.SubType = subType;
  header.Time = Elapsed();
  header.Data = data;
  header.Len = bytes != nullptr ? len : 0;
  LogPut(header, bytes);
}

bool TDispatchLog::LogPut(const LogRecordHeader& header, const uint8_t* data) {
  // 64-bit sum: a length near 2^32 must not wrap into a small record.
  const uint64_t size = uint64_t{HeaderSize} + header.Len;
  if (size >= LogCapacity) return false;
  LogRecordHeader dropped;
  uint32_t droppedLen = 0;
  while (LogFree < size && !Get(dropped, droppedLen)) {
  }
  CopyIn(reinterpret_cast<const uint8_t*>(&header), HeaderSize);
  if (header.Len > 0) CopyIn(data, header.Len);
  return true;
}

bool TDispatchLog::Get(LogRecordHeader& header, uint32_t& len) {
  if (LogFree == LogCapacity) return true;
  CopyOut(reinterpret_cast<uint8_t*>(&header), HeaderSize);
  len = header.Len;
  if (len > 0) CopyOut(LogScratch.data(), len);
  return false;
}

void TDispatchLog::CopyIn(const uint8_t* bytes, uint32_t n) {
  const uint32_t first = std::min(n, LogCapacity - LogHead);
  std::memcpy(LogBuffer.data() + LogHead, bytes, first);
  std::memcpy(LogBuffer.data(), bytes + first, n - first);
  LogHead = (LogHead + n) % LogCapacity;
  LogFree -= n;
}

void TDispatchLog::CopyOut(uint8_t* bytes, uint32_t n) {
  const uint32_t first = std::min(n, LogCapacity - LogTail);
  std::memcpy(bytes, LogBuffer.data() + LogTail, first);
  std::memcpy(bytes + first, LogBuffer.data(), n - first);
  LogTail = (LogTail + n) % LogCapacity;
  LogFree += n;
}

ErrorCode TDispatchLog::Write(const std::string& fileName, bool append, bool inHex, bool allHex,
                              const std::string& deviceName) {
  if (!hasRing_ || Empty()) {
    Discard();
    return ecOK;
  }
  LogActive = false;

  TraceLogFile file;
  ErrorCode result = file.Open(fileName, append);
  if (result != ecOK) return result;

  const std::string os = osDescription_ ? *osDescription_ : OperatingSystemDescription();
  const std::string headerLines[] = {
      "SERIAL " + std::string(LibraryVersion),
      "Compiler : Unknown",
      "Operating System : " + os.substr(0, OsDescriptionLength),
      "Device: " + deviceName,
      ErrorStrings().LookUp(ColumnHeadingsId),
      ErrorStrings().LookUp(ColumnRulesId),
  };
  for (const std::string& text : headerLines) {
    file.Write(text);
    file.EndLine();
  }

  LogRecordHeader header;
  uint32_t len = 0;
  while (!Get(header, len)) WriteRecord(file, header, LogScratch.data(), inHex, allHex);

  result = file.Close();
  Discard();
  return result;
}

void TDispatchLog::SetClock(ClockFunction clock) {
  clock_ = clock ? std::move(clock) : ClockFunction(platform::MillisecondClock);
}

void TDispatchLog::SetOsDescription(std::optional<std::string> description) {
  osDescription_ = std::move(description);
}

}  // namespace talyx
