// The dispatch thread's turn: HandleDeviceEvent, PollTriggers, the scan of received bytes for
// data triggers and available data (CheckDataTriggers), and NotifyHandlers, which delivers one
// trigger message to every handler.
#include <algorithm>
#include <thread>
#include <type_traits>

#include "dispatch/dispatcher.h"
#include "dispatch/handlerfailure.h"
#include "platform/messagequeue.h"

namespace talyx {

namespace {

uint32_t NextPos(uint32_t pos) { return pos + 1 == InBufferSize ? 0 : pos + 1; }

}  // namespace

bool TBaseDispatcher::RunStatusChecks() {
  if (!InHandler) {
    for (;;) {
      const bool fired = CheckStatusTriggers();
      if (ClosePending) return false;
      if (!fired) break;
    }
  }
  if (StatusHitThisPass) ResetStatusHits();
  return true;
}

void TBaseDispatcher::HandleDeviceEvent() {
  const uint32_t events = CurrentEvent;
  if (events & ModemEvents) {
    RefreshModemStatus();
    if (!RunStatusChecks()) return;
  }
  if (events & LineEvents) {
    RefreshLineErrors();
    if (!RunStatusChecks()) return;
  }
  ExtractData();
  if (!InHandler) {
    for (;;) {
      const bool fired = CheckStatusTriggers();
      if (ClosePending) return;
      if (!fired) break;
    }
    for (;;) {
      const bool more = CheckDataTriggers();
      if (ClosePending) return;
      if (!more) break;
    }
  }
  if (StatusHitThisPass) ResetStatusHits();
  // The device-event thread may now wait for the next event. On the returns above the port is
  // closing, and the device layer's stop releases that thread instead.
  if (EventDoneSignal != nullptr) EventDoneSignal->Set();
}

void TBaseDispatcher::PollTriggers() {
  if (ClosePending || InHandler) return;
  StatusHitThisPass = false;
  bool fired;
  do {
    fired = CheckStatusTriggers();
    if (!fired) fired = CheckTimerTriggers();
  } while (fired && !ClosePending);
  if (StatusHitThisPass) ResetStatusHits();
}

bool TBaseDispatcher::CheckDataTriggers() {
  uint32_t pos = ScanPos;
  bool matched = false;
  uint32_t matchLen = 0;
  int64_t countThrough = 0;  // unread bytes up to and including the matching byte
  uint32_t availLength;
  {
    // One run of the scan reads the ring under InLock and feeds the data triggers under
    // MainLock, taken in that order once for the whole run.
    platform::SectionGuard inGuard(InLock);
    if (InBuffer == nullptr) return false;
    const uint32_t unread = UnreadBytes();
    uint32_t distance = (pos + InBufferSize - InTail) % InBufferSize;
    if (ScanLapPending || distance > unread) {
      // The scan goes on at the first unread byte: after a read that filled the ring all the
      // way round to the scan position every unread byte is new to it (also when some were
      // taken or flushed since), and bytes from the scan position on that were taken or flushed
      // before the scan reached them are gone.
      pos = InTail;
      distance = 0;
    }
    uint32_t unscanned = unread - distance;
    ScanLapPending = false;

    platform::SectionGuard mainGuard(MainLock);
    availLength = AvailTriggerLength;
    const bool watching = std::any_of(DataTriggers.begin(), DataTriggers.end(),
                                      [](const TDataTrigger& t) { return t.Length != 0; });
    if (!watching) {
      pos = (pos + unscanned) % InBufferSize;
      unscanned = 0;
    }
    for (; unscanned > 0; --unscanned, ++distance, pos = NextPos(pos)) {
      const uint8_t byte = InBuffer[pos];
      for (TDataTrigger& trigger : DataTriggers) {
        if (trigger.Length == 0) continue;
        if (!trigger.Matched) trigger.Matched = MatchDataTrigger(trigger, byte);
        if (trigger.Matched) {
          matched = true;
          matchLen = std::max(matchLen, trigger.Length);
        }
      }
      if (matched) {
        countThrough = int64_t{distance} + 1 - (InAvailDelivery ? DeliveryGetCount : 0);
        break;
      }
    }
  }

  if (!matched) {
    // The scan reached the head: offer every unread byte, once per head position; a full ring
    // whenever the scan gets here, whatever the threshold, so that its reader can make room.
    ScanPos = pos;
    if (availLength == 0 || !HandlerServiceNeeded) return false;
    const uint32_t unread = InBuffUsed();
    const bool ringFull = unread == InBufferSize;
    if (!ringFull && (LastAvailPos == static_cast<int32_t>(pos) || unread < availLength)) {
      return false;
    }
    AddLogRecord(ltTrigger, lsAvail, unread);
    const bool result = NotifyHandlers(TriggerAvailMsg, unread, 0);
    LastAvailPos = OfferMissed ? NoAvailPos : static_cast<int32_t>(pos);
    return result;
  }

  bool result = true;
  if (availLength != 0 && HandlerServiceNeeded && LastAvailPos != static_cast<int32_t>(pos)) {
    // Offer the unread bytes in front of the matched sequence; the handlers may read exactly
    // those. When the sequence's first bytes were taken already there is nothing in front.
    const int64_t before = countThrough - matchLen;
    if (before >= availLength) {
      AddLogRecord(ltTrigger, lsAvail, static_cast<uint32_t>(before));
      result = NotifyHandlers(TriggerAvailMsg, static_cast<uint32_t>(before), 0);
      ScanPos = pos;
      LastAvailPos = OfferMissed ? NoAvailPos : static_cast<int32_t>(pos);
    }
  }

  // Deliver the completed triggers, last registered first. The list is looked at again after
  // each delivery: the handlers may have changed it meanwhile.
  size_t index;
  {
    platform::SectionGuard guard(MainLock);
    index = DataTriggers.size();
  }
  while (index > 0 && !ClosePending) {
    --index;
    int32_t handle = 0;
    uint32_t length = 0;
    {
      platform::SectionGuard guard(MainLock);
      if (index >= DataTriggers.size()) break;
      TDataTrigger& trigger = DataTriggers[index];
      if (!trigger.Matched) continue;
      trigger.Matched = false;
      handle = trigger.Handle;
      length = trigger.Length;
      if (Log.Active()) Log.Add(ltTrigger, lsData, static_cast<uint32_t>(handle), nullptr, 0);
    }
    result = NotifyHandlers(TriggerDataMsg, static_cast<uint32_t>(handle),
                            static_cast<uint16_t>(length));
  }
  ScanPos = NextPos(pos);
  return result;
}

bool TBaseDispatcher::NotifyHandlers(uint32_t msg, uint32_t firstParam, uint16_t data) {
  OfferMissed = false;
  if (!HandlerServiceNeeded) return true;
  {
    platform::SectionGuard guard(MainLock);
    DeliveringThread = std::this_thread::get_id();
    InHandler = true;
  }
  const bool availDelivery = msg == TriggerAvailMsg || msg == TriggerDataMsg;
  {
    platform::SectionGuard guard(InLock);
    MaxDeliveryGetCount = 0;
    InAvailDelivery = availDelivery;
  }
  const auto secondParam =
      static_cast<platform::LParam>((static_cast<uint32_t>(Handle) << 16) + data);

  // Runs one handler: it starts reading at the first unread byte, and what it took counts
  // toward the bytes the ring gives up at the end. False when the port started closing.
  auto serve = [this](auto&& call) {
    {
      platform::SectionGuard guard(InLock);
      DeliveryGetCount = 0;
    }
    call();
    if (ClosePending) return false;
    platform::SectionGuard guard(InLock);
    MaxDeliveryGetCount = std::max(MaxDeliveryGetCount, DeliveryGetCount);
    return true;
  };
  // Walks one handler list in order with the count taken at the start, copying each record
  // under MainLock so that the main thread may register and mark records meanwhile.
  auto walk = [this, &serve](auto& list, auto&& deliver) {
    size_t count;
    {
      platform::SectionGuard guard(MainLock);
      count = list.size();
    }
    for (size_t i = 0; i < count; ++i) {
      typename std::remove_reference_t<decltype(list)>::value_type record;
      {
        platform::SectionGuard guard(MainLock);
        if (i >= list.size()) break;
        record = list[i];
      }
      if (!serve([&] {
            if (record.Deleted) return;
            // Whatever one handler throws, the delivery goes on with the next.
            try {
              deliver(record);
            } catch (...) {
              ReportHandlerFailure(std::current_exception());
            }
          })) {
        return false;
      }
    }
    return true;
  };

  bool delivered = false;
  try {
    delivered = walk(EventTriggerHandlers,
                     [&](const TEventTriggerHandler& handler) {
                       if (handler.Synchronised) {
                         // A failure on the main thread is shown there, at once.
                         platform::CallInMainThread([&] {
                           try {
                             handler.Method(msg, firstParam, secondParam);
                           } catch (...) {
                             ReportHandlerFailure(std::current_exception());
                           }
                         });
                       } else {
                         handler.Method(msg, firstParam, secondParam);
                       }
                     }) &&
                walk(ProcTriggerHandlers, [&](const TProcTriggerHandler& handler) {
                  if (handler.Proc != nullptr) handler.Proc(msg, firstParam, secondParam);
                });
    if (delivered) {
      bool serveWindows;
      {
        platform::SectionGuard guard(MainLock);
        serveWindows = WndTriggerHandlers.size() > 1 || PortHandlerInstalled;
      }
      if (serveWindows) {
        delivered = walk(WndTriggerHandlers, [&](const TWndTriggerHandler& handler) {
          platform::LResult ignored = 0;
          if (!platform::SendMessageTimeout(handler.Window, msg, firstParam, secondParam,
                                            WindowSendLimitMs, &ignored)) {
            OfferMissed = true;
          }
        });
      }
    }
  } catch (...) {
    // Handlers' exceptions are caught around each handler; a failure of the delivery itself
    // ends it, and the dispatcher stays consistent for the caller that receives it: the tail
    // stays, read-ahead ends, and the delivery is over.
    {
      platform::SectionGuard guard(InLock);
      InAvailDelivery = false;
      DeliveryGetCount = 0;
    }
    EndDelivery();
    throw;
  }

  bool result = delivered;
  {
    platform::SectionGuard guard(InLock);
    if (delivered && availDelivery) {
      InTail = (InTail + MaxDeliveryGetCount) % InBufferSize;
      if (MaxDeliveryGetCount != 0) InBufferFull = false;
      DropTakenReadTimes();
      if (msg == TriggerAvailMsg && MaxDeliveryGetCount != firstParam) result = false;
    }
    // Closing: the tail stays where it is, and read-ahead ends with the delivery.
    InAvailDelivery = false;
    if (delivered) DeliveryGetCount = 0;
  }
  EndDelivery();
  return result;
}

bool TBaseDispatcher::MainThreadInsideDelivery() const {
  return InHandler && platform::ServingHandOffFrom(DeliveringThread);
}

void TBaseDispatcher::EndDelivery() {
  platform::SectionGuard guard(MainLock);
  InHandler = false;
  if (HandlersDeleted) {
    RemoveDeletedHandlers();
    HandlersDeleted = false;
    UpdateHandlerFlags(0);
  }
}

}  // namespace talyx
