// TDispatchLog: the dispatch log of one dispatcher, time-stamped records in a byte ring.
//
// Principles of operation:
// - Each record is a 16-byte header (type, subtype, time, data, data length) followed by its data
//   bytes, stored contiguously in LogBuffer and wrapping across its end. LogTail is the oldest
//   record, LogHead where the next one goes, LogFree the free bytes (LogCapacity when empty).
// - A record is stored whole or not at all: older records are dropped until header and data fit
//   together, and a record of LogCapacity bytes or more is never stored. So the ring always holds
//   whole records, and a header is never left without its data.
// - Record times are milliseconds since LogStart (SetStart, taken when the port opens), read from
//   the millisecond clock; the clock can be replaced so that times are reproducible.
// - States: none (no ring) -> open and active (Open) <-> paused (Pause/Resume); Clear empties
//   the ring and keeps the state; Write turns recording off, writes the file and discards (a file
//   that cannot be opened keeps the log, paused); Discard frees the ring.
// - Add stores whenever a ring exists; callers record only while Active() is true.
// - Not thread-safe: the dispatcher calls every member with its MainLock held, and holds it for
//   the whole of a file write.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "errors/errorcodes.h"

namespace talyx {

// The serial library's version: the log file's first line names it after "SERIAL ", and the
// components' Version attribute reads it.
inline constexpr std::string_view LibraryVersion = "v3.06";

// Record types and subtypes; their names come from the error string table (type names at
// 15001 + type, subtype names at 15100 + subtype).
inline constexpr uint8_t ltDispatch = 1;
inline constexpr uint8_t ltTrigger = 2;
inline constexpr uint8_t ltTrigAllc = 5;
inline constexpr uint8_t ltTrigDisp = 6;
inline constexpr uint8_t ltTrgHdAlc = 7;
inline constexpr uint8_t ltTrgHdDsp = 8;
inline constexpr uint8_t ltTrDatChg = 9;
inline constexpr uint8_t ltTelnet = 10;
inline constexpr uint8_t ltUser = 19;

inline constexpr uint8_t lsReadCom = 1;
inline constexpr uint8_t lsWriteCom = 2;
inline constexpr uint8_t lsLineStatus = 3;
inline constexpr uint8_t lsModemStatus = 4;
inline constexpr uint8_t lsAvail = 5;
inline constexpr uint8_t lsTimer = 6;
inline constexpr uint8_t lsData = 7;
inline constexpr uint8_t lsStatus = 8;
// Trigger allocated/disposed (ltTrigAllc/ltTrigDisp) of a data or timer trigger; a status
// trigger uses lsStatusTrigger, with its kind as the one data byte.
inline constexpr uint8_t lsTriggerData = 13;
inline constexpr uint8_t lsTriggerTimer = 14;
inline constexpr uint8_t lsStatusTrigger = 15;
inline constexpr uint8_t lsAvailChanged = 16;
// Handler allocated/disposed (ltTrgHdAlc/ltTrgHdDsp) of a window, procedure or event handler.
inline constexpr uint8_t lsWindow = 17;
inline constexpr uint8_t lsHandlerProcedure = 18;
inline constexpr uint8_t lsHandlerMethod = 19;

// The header that precedes each record's data in the ring (16 bytes, host byte order).
struct LogRecordHeader {
  uint8_t Type = 0;
  uint8_t SubType = 0;
  uint16_t Reserved = 0;  // carries no meaning; stored as 0
  uint32_t Time = 0;      // milliseconds since LogStart
  uint32_t Data = 0;
  uint32_t Len = 0;  // number of data bytes that follow
};
static_assert(sizeof(LogRecordHeader) == 16, "a log record header is 16 bytes in the ring");

class TDispatchLog {
 public:
  using ClockFunction = std::function<uint32_t()>;

  TDispatchLog();

  // LogOpen: clears an existing ring (the active state unchanged), or allocates a ring of
  // capacity bytes and its scratch buffer and makes recording active.
  void Open(uint32_t capacity);
  // LogClear: forgets every record, keeps the ring and the active state.
  void Clear();
  // LogDiscard: stops recording and frees the ring and the scratch buffer.
  void Discard();
  // LogResume: recording becomes active again when a ring exists.
  void Resume();
  // LogPause: recording stops; the records are kept.
  void Pause();
  // LogActive.
  bool Active() const { return LogActive; }
  // LogStart := clockMs (taken by OpenPort); record times count from it.
  void SetStart(uint32_t clockMs) { LogStart = clockMs; }
  // LogElapsed: the clock minus LogStart, modulo 2^32 (so a clock wrap is harmless).
  uint32_t Elapsed() const;
  // LogAdd: stores one record stamped with Elapsed() when a ring exists (whatever the active
  // state), dropping the oldest records to make room. bytes may be null when len is 0.
  void Add(uint8_t type, uint8_t subType, uint32_t data, const uint8_t* bytes, uint32_t len);
  // LogGet: takes the oldest record out of the ring; its data is copied into the scratch buffer
  // and stays readable through ScratchData() until the next call. True when the ring is empty.
  bool Get(LogRecordHeader& header, uint32_t& len);
  const uint8_t* ScratchData() const { return LogScratch.data(); }
  // LogWrite: writes the header lines and the records, oldest first, to fileName (appending when
  // append is set and the file exists) and discards the log. 0 when fine or when nothing was
  // recorded (then no file is touched); a file that cannot be opened gives its negated platform
  // error number and keeps the log, paused; a later failure gives its code and discards.
  ErrorCode Write(const std::string& fileName, bool append, bool inHex, bool allHex,
                  const std::string& deviceName);

  bool HasRing() const { return hasRing_; }
  uint32_t Capacity() const { return LogCapacity; }
  uint32_t Free() const { return LogFree; }
  bool Empty() const { return LogFree == LogCapacity; }

  // The clock that record times are read from (platform::MillisecondClock unless replaced).
  void SetClock(ClockFunction clock);
  // The operating-system description of the file header ("Linux " + the kernel release unless
  // replaced); std::nullopt restores the real one.
  void SetOsDescription(std::optional<std::string> description);

 private:
  // LogPut: stores header and data as one record; false (nothing stored) when the record is not
  // smaller than the ring.
  bool LogPut(const LogRecordHeader& header, const uint8_t* data);
  void CopyIn(const uint8_t* bytes, uint32_t n);
  void CopyOut(uint8_t* bytes, uint32_t n);

  bool LogActive = false;
  bool hasRing_ = false;
  std::vector<uint8_t> LogBuffer;
  uint32_t LogHead = 0;
  uint32_t LogTail = 0;
  uint32_t LogFree = 0;
  uint32_t LogCapacity = 0;
  // Holds the data of the record being written out; as large as the biggest storable record.
  std::vector<uint8_t> LogScratch;
  uint32_t LogStart = 0;
  ClockFunction clock_;
  std::optional<std::string> osDescription_;
};

// "Linux " followed by the kernel release, or "Unknown" when the kernel cannot be asked.
std::string OperatingSystemDescription();

}  // namespace talyx
