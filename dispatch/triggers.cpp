// Triggers: the data-trigger matcher, timer expiry, adding, changing, removing, saving and
// restoring triggers, and the timer and status checks of the dispatch thread.
#include "dispatch/triggers.h"

#include <algorithm>

#include "dispatch/dispatcher.h"
#include "platform/clock.h"

namespace talyx {

uint8_t UpperCaseByte(uint8_t byte) {
  return byte >= 'a' && byte <= 'z' ? static_cast<uint8_t>(byte - ('a' - 'A')) : byte;
}

bool MatchDataTrigger(TDataTrigger& trigger, uint8_t byte) {
  if (trigger.IgnoreCase) byte = UpperCaseByte(byte);
  const uint32_t length = std::min(trigger.Length, MaxTriggerLen);
  bool result = false;
  bool started = false;
  bool examine = true;
  for (uint32_t i = 0; i < length; ++i) {
    uint32_t& state = trigger.MatchState[i];
    if (examine) {
      const uint32_t p = state;
      if (trigger.MatchData[p] == byte) {
        if (p == length - 1) {
          result = true;
          trigger.MatchState.fill(0);
        } else {
          state = p + 1;
        }
      } else if (trigger.MatchData[0] == byte) {
        state = 1;
        started = true;
      } else {
        state = 0;
      }
    }
    if (state == 1) started = true;
    if (i + 1 < length) {
      const bool nextBusy = trigger.MatchState[i + 1] != 0;
      examine = started ? nextBusy : nextBusy || trigger.MatchData[0] == byte;
    }
  }
  return result;
}

int32_t TimerTickCount() { return static_cast<int32_t>(platform::MillisecondClock() / TickMs); }

bool TimerExpired(const TTimerTrigger& timer, int32_t now) {
  if (now > timer.ExpireTick) return true;
  return now < timer.StartTick && int64_t{now} + TicksPerClockWrap > timer.ExpireTick;
}

namespace {

// Copies a sequence into a data trigger record (upper case when it ignores case) and forgets
// every partial match.
void StoreSequence(TDataTrigger& trigger, const uint8_t* data, uint32_t len, bool ignoreCase) {
  trigger.Length = len;
  trigger.IgnoreCase = ignoreCase;
  trigger.MatchData.fill(0);
  for (uint32_t i = 0; i < len; ++i) {
    trigger.MatchData[i] = ignoreCase ? UpperCaseByte(data[i]) : data[i];
  }
  trigger.MatchState.fill(0);
  trigger.Matched = false;
}

ErrorCode CheckSequence(const uint8_t* data, uint32_t len) {
  if (len > MaxTriggerLen) return ecTriggerTooLong;
  if (len == 0 || data == nullptr) return ecBadArgument;
  return ecOK;
}

template <typename Record>
Record* FindTrigger(std::vector<Record>& list, int32_t handle) {
  auto it = std::find_if(list.begin(), list.end(),
                         [handle](const Record& record) { return record.Handle == handle; });
  return it == list.end() ? nullptr : &*it;
}

}  // namespace

// ---- Records ---------------------------------------------------------------------------------

void TBaseDispatcher::ClearTriggers() {
  platform::SectionGuard guard(MainLock);
  AvailTriggerLength = 0;
  TimerTriggers.clear();
  DataTriggers.clear();
  StatusTriggers.clear();
  TriggerCounter = 1;
}

void TBaseDispatcher::ResetStatusHits() {
  platform::SectionGuard guard(MainLock);
  for (auto it = StatusTriggers.rbegin(); it != StatusTriggers.rend(); ++it) it->Hit = false;
  StatusHitThisPass = false;
}

void TBaseDispatcher::ResetDataMatches() {
  platform::SectionGuard guard(MainLock);
  for (auto it = DataTriggers.rbegin(); it != DataTriggers.rend(); ++it) it->MatchState.fill(0);
}

void TBaseDispatcher::SetAvailTriggerLength(uint32_t length) {
  platform::SectionGuard guard(MainLock);
  AvailTriggerLength = length;
  if (Log.Active()) Log.Add(ltTrDatChg, lsAvailChanged, length, nullptr, 0);
}

bool TBaseDispatcher::TriggerNumberInUse(int32_t number) const {
  auto uses = [number](const auto& list) {
    return std::any_of(list.begin(), list.end(),
                       [number](const auto& record) { return (record.Handle >> 3) == number; });
  };
  return uses(TimerTriggers) || uses(DataTriggers) || uses(StatusTriggers);
}

int32_t TBaseDispatcher::AllocateTriggerHandle(int32_t kind) {
  // Restored triggers keep the handles of the dispatcher that saved them, so a number is only
  // taken when no trigger of any list carries it.
  for (int32_t tries = 0; tries < MaxTriggerNumber; ++tries) {
    const int32_t number = TriggerCounter;
    TriggerCounter = TriggerCounter >= MaxTriggerNumber ? 1 : TriggerCounter + 1;
    if (!TriggerNumberInUse(number)) return (number << 3) | kind;
  }
  return ecNoMoreTriggers;
}

int32_t TBaseDispatcher::AddTimerTrigger() {
  platform::SectionGuard guard(MainLock);
  const int32_t handle = AllocateTriggerHandle(stNone);
  if (handle < 0) return handle;
  TimerTriggers.push_back(TTimerTrigger{handle, 0, 0, false});
  if (Log.Active()) Log.Add(ltTrigAllc, lsTriggerTimer, static_cast<uint32_t>(handle), nullptr, 0);
  return handle;
}

int32_t TBaseDispatcher::AddDataTrigger(const uint8_t* data, uint32_t len, bool ignoreCase) {
  const ErrorCode check = CheckSequence(data, len);
  if (check != ecOK) return check;
  platform::SectionGuard guard(MainLock);
  const int32_t handle = AllocateTriggerHandle(stNone);
  if (handle < 0) return handle;
  TDataTrigger trigger;
  trigger.Handle = handle;
  StoreSequence(trigger, data, len, ignoreCase);
  DataTriggers.push_back(trigger);
  if (Log.Active()) Log.Add(ltTrigAllc, lsTriggerData, static_cast<uint32_t>(handle), nullptr, 0);
  return handle;
}

int32_t TBaseDispatcher::AddStatusTrigger(int32_t kind) {
  if (kind < stModem || kind > stOutSent) return ecBadArgument;
  platform::SectionGuard guard(MainLock);
  const int32_t handle = AllocateTriggerHandle(kind);
  if (handle < 0) return handle;
  StatusTriggers.push_back(TStatusTrigger{handle, kind, 0, false, false});
  if (Log.Active()) {
    const uint8_t kindByte = static_cast<uint8_t>(kind);
    Log.Add(ltTrigAllc, lsStatusTrigger, static_cast<uint32_t>(handle), &kindByte, 1);
  }
  return handle;
}

ErrorCode TBaseDispatcher::SetTimerTrigger(int32_t handle, int32_t ticks, bool activate) {
  if (ticks < 0 || ticks >= TicksPerClockWrap) return ecBadArgument;
  platform::SectionGuard guard(MainLock);
  TTimerTrigger* timer = FindTrigger(TimerTriggers, handle);
  if (timer == nullptr) return ecBadTriggerHandle;
  if (activate) {
    timer->StartTick = TimerTickCount();
    timer->ExpireTick = timer->StartTick + ticks;
  }
  timer->Active = activate;
  return ecOK;
}

ErrorCode TBaseDispatcher::ChangeDataTrigger(int32_t handle, const uint8_t* data, uint32_t len,
                                             bool ignoreCase) {
  const ErrorCode check = CheckSequence(data, len);
  if (check != ecOK) return check;
  platform::SectionGuard guard(MainLock);
  TDataTrigger* trigger = FindTrigger(DataTriggers, handle);
  if (trigger == nullptr) return ecBadTriggerHandle;
  StoreSequence(*trigger, data, len, ignoreCase);
  return ecOK;
}

ErrorCode TBaseDispatcher::SetStatusTrigger(int32_t handle, uint16_t value, bool activate) {
  platform::SectionGuard guard(MainLock);
  TStatusTrigger* trigger = FindTrigger(StatusTriggers, handle);
  if (trigger == nullptr) return ecBadTriggerHandle;
  trigger->Value = value;
  trigger->Armed = activate;
  return ecOK;
}

ErrorCode TBaseDispatcher::RemoveTrigger(int32_t handle) {
  platform::SectionGuard guard(MainLock);
  auto remove = [handle](auto& list) {
    const auto before = list.size();
    std::erase_if(list, [handle](const auto& record) { return record.Handle == handle; });
    return list.size() != before;
  };
  const auto disposed = static_cast<uint32_t>(handle);
  if (remove(TimerTriggers)) {
    if (Log.Active()) Log.Add(ltTrigDisp, lsTriggerTimer, disposed, nullptr, 0);
  } else if (remove(DataTriggers)) {
    if (Log.Active()) Log.Add(ltTrigDisp, lsTriggerData, disposed, nullptr, 0);
  } else if (remove(StatusTriggers)) {
    const uint8_t kindByte = static_cast<uint8_t>(StatusTriggerKind(handle));
    if (Log.Active()) Log.Add(ltTrigDisp, lsStatusTrigger, disposed, &kindByte, 1);
  } else {
    return ecBadTriggerHandle;
  }
  return ecOK;
}

void TBaseDispatcher::SaveTriggers(TTriggerSave& save) {
  FreeSavedTriggers(save);
  platform::SectionGuard guard(MainLock);
  save.AvailLength = AvailTriggerLength;
  save.TimerTriggers = TimerTriggers;
  save.DataTriggers = DataTriggers;
  save.StatusTriggers = StatusTriggers;
  // A saved set starts with no matches under way: a save taken during a delivery would otherwise
  // carry triggers that completed on a byte of this port, or partial sequences of its bytes,
  // into the next port, where they would complete on bytes that never formed the sequence.
  for (TDataTrigger& trigger : *save.DataTriggers) {
    trigger.Matched = false;
    trigger.MatchState.fill(0);
  }
}

void TBaseDispatcher::RestoreTriggers(const TTriggerSave& save) {
  platform::SectionGuard guard(MainLock);
  AvailTriggerLength = save.AvailLength;
  TimerTriggers.clear();
  DataTriggers.clear();
  StatusTriggers.clear();
  if (save.TimerTriggers) TimerTriggers = *save.TimerTriggers;
  if (save.DataTriggers) DataTriggers = *save.DataTriggers;
  if (save.StatusTriggers) StatusTriggers = *save.StatusTriggers;
}

void TBaseDispatcher::FreeSavedTriggers(TTriggerSave& save) {
  save.TimerTriggers.reset();
  save.DataTriggers.reset();
  save.StatusTriggers.reset();
}

// ---- Checks (dispatch thread) ----------------------------------------------------------------

bool TBaseDispatcher::CheckTimerTriggers() {
  int32_t handle = 0;
  {
    platform::SectionGuard guard(MainLock);
    const int32_t now = TimerTickCount();
    auto timer =
        std::find_if(TimerTriggers.begin(), TimerTriggers.end(),
                     [now](const TTimerTrigger& t) { return t.Active && TimerExpired(t, now); });
    if (timer == TimerTriggers.end()) return false;
    timer->Active = false;
    handle = timer->Handle;
    if (Log.Active()) Log.Add(ltTrigger, lsTimer, static_cast<uint32_t>(handle), nullptr, 0);
  }
  return NotifyHandlers(TriggerTimerMsg, static_cast<uint32_t>(handle), 0);
}

bool TBaseDispatcher::CheckStatusTriggers() {
  // The output counts take OutLock, which is never taken under MainLock: they are read first,
  // and only when an output trigger waits to be checked.
  bool wantCounts = false;
  {
    platform::SectionGuard guard(MainLock);
    wantCounts = std::any_of(StatusTriggers.begin(), StatusTriggers.end(), [](const auto& t) {
      return t.Armed && !t.Hit && (t.Kind == stOutBuffFree || t.Kind == stOutBuffUsed);
    });
  }
  const uint32_t used = wantCounts ? OutBuffUsed() : 0;
  const uint32_t freeRoom = wantCounts ? OutQueueSize - used : 0;

  int32_t handle = 0;
  uint32_t data = 0;
  {
    platform::SectionGuard guard(MainLock);
    bool fired = false;
    for (TStatusTrigger& trigger : StatusTriggers) {
      if (!trigger.Armed || trigger.Hit) continue;
      uint32_t count = 0;
      switch (trigger.Kind) {
        case stModem:
          fired = (((trigger.Value & 0xFF) ^ (ModemStatus & 0xFF)) & (trigger.Value >> 8)) != 0;
          break;
        case stLine:
          fired = (trigger.Value & LastError) != 0;
          if (fired) trigger.Value = static_cast<uint16_t>(LastError & 0xFFFF);
          break;
        case stOutBuffFree:
          // Armed after the counts were read: it is looked at on the next call.
          fired = wantCounts && freeRoom >= trigger.Value;
          count = freeRoom;
          break;
        case stOutBuffUsed:
          fired = wantCounts && used <= trigger.Value;
          count = used;
          break;
        case stOutSent:
          fired = OutputSentPending.exchange(false);
          break;
        default:
          break;
      }
      if (fired) {
        trigger.Armed = false;
        trigger.Hit = true;
        StatusHitThisPass = true;
        handle = trigger.Handle;
        data = count;
        if (Log.Active()) Log.Add(ltTrigger, lsStatus, static_cast<uint32_t>(handle), nullptr, 0);
        break;
      }
    }
    if (!fired) return false;
  }
  return NotifyHandlers(TriggerStatusMsg, static_cast<uint32_t>(handle),
                        static_cast<uint16_t>(data));
}

}  // namespace talyx
