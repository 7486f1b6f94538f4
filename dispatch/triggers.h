// Trigger and handler records of the dispatcher, the trigger messages, and the pure trigger rules.
//
// Principles of operation:
// - A trigger is a condition the dispatcher watches for the application: received data
//   available (one threshold per dispatcher), a byte sequence received (TDataTrigger), a timer
//   run out (TTimerTrigger), or a change of modem, line or output status (TStatusTrigger). When
//   one fires, the dispatcher delivers a trigger message to every registered handler record.
// - The records are plain values. The dispatcher keeps them in lists guarded by its MainLock and
//   never hands out a reference that outlives the lock; a delivery copies what it needs first.
// - Trigger handles fit in 16 bits (the port component passes them on as a Word): a number of
//   1..MaxTriggerNumber shifted left by three, with the status kind in the low three bits.
// - MatchDataTrigger and TimerExpired are pure functions of their arguments; the dispatcher
//   calls them under MainLock.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/messagequeue.h"

namespace talyx {

// Trigger messages. First parameter: a byte count or trigger handle; second parameter: the
// dispatcher's handle times 65536 plus the message's data.
inline constexpr uint32_t TriggerAvailMsg = 0x7E01;
inline constexpr uint32_t TriggerDataMsg = 0x7E02;
inline constexpr uint32_t TriggerTimerMsg = 0x7E03;
inline constexpr uint32_t TriggerStatusMsg = 0x7E04;
// Posted (not sent) to every window handler once the device has gone away, after the bytes read
// before the hang-up have been offered. First parameter 0; second the dispatcher's handle times
// 65536. It is no trigger: no trigger event is raised for it.
inline constexpr uint32_t DeviceLostMsg = 0x7E0B;

// Status trigger kinds; a status trigger's handle carries its kind in the low three bits.
inline constexpr int32_t stNone = 0;
inline constexpr int32_t stModem = 1;
inline constexpr int32_t stLine = 2;
inline constexpr int32_t stOutBuffFree = 3;
inline constexpr int32_t stOutBuffUsed = 4;
inline constexpr int32_t stOutSent = 5;

// The longest byte sequence a data trigger can watch for.
inline constexpr uint32_t MaxTriggerLen = 22;
// Trigger numbers run 1..MaxTriggerNumber, so that (number << 3) | kind fits in 16 bits.
inline constexpr int32_t MaxTriggerNumber = 8191;

// Timer ticks are milliseconds of the millisecond clock divided by 55. The 32-bit clock wraps
// after 2^32 ms, which is this many ticks; a timer that sees the tick count below its start tick
// adds it to compare across the wrap.
inline constexpr int32_t TickMs = 55;
inline constexpr int32_t TicksPerClockWrap = 78090315;

struct TTimerTrigger {
  int32_t Handle = 0;
  int32_t StartTick = 0;   // tick count when the timer was started
  int32_t ExpireTick = 0;  // tick count at which it runs out
  bool Active = false;     // running; cleared when it fires

  bool operator==(const TTimerTrigger&) const = default;
};

struct TDataTrigger {
  int32_t Handle = 0;
  uint32_t Length = 0;                               // length of the sequence; 0 = inactive
  std::array<uint32_t, MaxTriggerLen> MatchState{};  // one partial occurrence per slot
  bool Matched = false;                              // completed, waiting to be delivered
  bool IgnoreCase = false;                           // MatchData is then held in upper case
  std::array<uint8_t, MaxTriggerLen> MatchData{};

  bool operator==(const TDataTrigger&) const = default;
};

struct TStatusTrigger {
  int32_t Handle = 0;
  int32_t Kind = stNone;
  // stModem: low byte the reference modem status, high byte the lines to watch; stLine: mask of
  // line error bits (replaced by the error bits when it fires); stOutBuffFree/stOutBuffUsed: the
  // byte threshold; stOutSent: not used.
  uint16_t Value = 0;
  bool Armed = false;  // may fire; cleared when it fires
  bool Hit = false;    // fired during the current dispatch pass

  bool operator==(const TStatusTrigger&) const = default;
};

// A procedure handler: called with (message, first parameter, second parameter).
using TTriggerProc = void (*)(uint32_t msg, platform::WParam firstParam,
                              platform::LParam secondParam);

// An event handler: a method, that is code and the object it runs on.
struct TTriggerMethod {
  void (*Code)(void* object, uint32_t msg, platform::WParam firstParam,
               platform::LParam secondParam) = nullptr;
  void* Object = nullptr;

  bool operator==(const TTriggerMethod&) const = default;
  void operator()(uint32_t msg, platform::WParam firstParam, platform::LParam secondParam) const {
    Code(Object, msg, firstParam, secondParam);
  }
};

// Binds a member function taking (msg, firstParam, secondParam) to an object as a TTriggerMethod.
template <auto Method, typename Class>
TTriggerMethod MakeTriggerMethod(Class* object) {
  return TTriggerMethod{
      [](void* self, uint32_t msg, platform::WParam firstParam, platform::LParam secondParam) {
        (static_cast<Class*>(self)->*Method)(msg, firstParam, secondParam);
      },
      object};
}

// Handler records. A record removed while a delivery runs is only marked Deleted; the delivery
// skips it and removes it when it ends.
struct TWndTriggerHandler {
  platform::WindowHandle Window = 0;
  bool Deleted = false;
};

struct TProcTriggerHandler {
  TTriggerProc Proc = nullptr;
  bool Deleted = false;
};

struct TEventTriggerHandler {
  TTriggerMethod Method;
  bool Deleted = false;
  bool Synchronised = false;  // run it in the main thread
};

// A saved trigger set, held by the port component while it re-opens a port. Any list may be
// absent (std::nullopt); FreeSavedTriggers makes all three absent.
struct TTriggerSave {
  uint32_t AvailLength = 0;
  std::optional<std::vector<TTimerTrigger>> TimerTriggers;
  std::optional<std::vector<TDataTrigger>> DataTriggers;
  std::optional<std::vector<TStatusTrigger>> StatusTriggers;
};

// The ANSI upper-casing of one byte in the narrow code page: the letters a..z. Bytes above 0x7F
// are lead and trail bytes of double-byte characters and stay as they are.
uint8_t UpperCaseByte(uint8_t byte);

// Feeds one received byte to a data trigger; true when it completes the sequence. Each of the
// Length slots follows one partial occurrence; a byte starts at most one new candidate (in the
// first free slot reached); a completed match clears every candidate and lets the completing
// byte start a new one.
bool MatchDataTrigger(TDataTrigger& trigger, uint8_t byte);

// The tick count now: the millisecond clock divided by TickMs.
int32_t TimerTickCount();

// True when a running timer has run out at tick count now: now is past ExpireTick, or, when
// now is below StartTick (the clock has wrapped), now + TicksPerClockWrap is past ExpireTick.
bool TimerExpired(const TTimerTrigger& timer, int32_t now);

}  // namespace talyx
