// TCustomComPort's data and status operations, its events, and the hidden window's procedure
// that turns trigger messages into events.
#include <exception>

#include "dispatch/dispatcherlist.h"
#include "errors/commerror.h"
#include "platform/clock.h"
#include "port/apphooks.h"
#include "port/comport.h"

namespace talyx {

// ---- Data and status operations ------------------------------------------------------------

uint8_t TCustomComPort::GetChar() { return TakeChar(nullptr); }

uint8_t TCustomComPort::GetChar(uint32_t& readTime) {
  TReadTime time;
  const uint8_t c = TakeChar(&time);
  readTime = time.Ms;
  return c;
}

uint8_t TCustomComPort::GetChar(TReadTime& readTime) { return TakeChar(&readTime); }

uint8_t TCustomComPort::TakeChar(TReadTime* readTime) {
  // Without a byte taken, the time is that of the call; the clock is read only then.
  const auto untimed = [readTime] {
    if (readTime != nullptr) *readTime = TReadTime::At(platform::MicrosecondClock());
  };
  if (openState_ == TOpenState::osClosing) {
    untimed();
    return 0;
  }
  TBaseDispatcher* dispatcher = RequireDispatcher();
  if (dispatcher == nullptr) {
    untimed();
    return 0;
  }
  uint8_t c = 0;
  const ErrorCode result =
      readTime != nullptr ? dispatcher->GetChar(c, *readTime) : dispatcher->GetChar(c);
  if (result == ecOK) return c;
  untimed();
  Check(result);
  return 0;
}

void TCustomComPort::PutString(const std::string& text) {
  if (openState_ == TOpenState::osClosing) return;
  TBaseDispatcher* dispatcher = RequireDispatcher();
  if (dispatcher == nullptr) return;
  Check(dispatcher->PutBlock(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

int32_t TCustomComPort::PutBlock(const void* buffer, size_t len) {
  if (openState_ == TOpenState::osClosing) return 0;
  TBaseDispatcher* dispatcher = RequireDispatcher();
  if (dispatcher == nullptr) return 0;
  Check(dispatcher->PutBlock(static_cast<const uint8_t*>(buffer), len));
  return 0;
}

uint32_t TCustomComPort::OutBuffUsed() {
  TBaseDispatcher* dispatcher = OpenDispatcher();
  return dispatcher != nullptr ? dispatcher->OutBuffUsed() : 0;
}

uint32_t TCustomComPort::InBuffUsed() {
  TBaseDispatcher* dispatcher = OpenDispatcher();
  return dispatcher != nullptr ? dispatcher->InBuffUsed() : 0;
}

uint64_t TCustomComPort::ReadUpTo() {
  TBaseDispatcher* dispatcher = OpenDispatcher();
  return dispatcher != nullptr ? dispatcher->ReadUpTo() : UINT64_MAX;
}

uint16_t TCustomComPort::LineErrorCode() {
  TBaseDispatcher* dispatcher = OpenDispatcher();
  if (dispatcher == nullptr) return 0;
  return static_cast<uint16_t>(Check(dispatcher->LineErrorCode()));
}

bool TCustomComPort::BreakReceived() {
  TBaseDispatcher* dispatcher = OpenDispatcher();
  return dispatcher != nullptr && dispatcher->BreakReceived();
}

void TCustomComPort::ServicePort() {
  if (openState_ == TOpenState::osClosing) return;
  TBaseDispatcher* dispatcher = RequireDispatcher();
  if (dispatcher != nullptr) Check(dispatcher->DeviceIdle());
}

// ---- Events ------------------------------------------------------------------------------------

bool TCustomComPort::AnyTriggerEventAssigned() const {
  return onTrigger_ || onTriggerAvail_ || onTriggerData_ || onTriggerStatus_ || onTriggerTimer_ ||
         onTriggerLineError_ || onTriggerModemStatus_ || onTriggerOutbuffFree_ ||
         onTriggerOutbuffUsed_ || onTriggerOutSent_;
}

void TCustomComPort::RefreshHandlerFlags() {
  TBaseDispatcher* dispatcher = OpenDispatcher();
  if (dispatcher == nullptr) return;
  // 1: the component's window wants trigger messages; 2: it does not, and the dispatcher
  // delivers only when other handlers are registered.
  dispatcher->UpdateHandlerFlags(AnyTriggerEventAssigned() ? 1 : 2);
}

void TCustomComPort::SetOnTrigger(TTriggerEvent handler) {
  onTrigger_ = std::move(handler);
  RefreshHandlerFlags();
}

void TCustomComPort::SetOnTriggerAvail(TTriggerAvailEvent handler) {
  onTriggerAvail_ = std::move(handler);
  RefreshHandlerFlags();
}

void TCustomComPort::SetOnTriggerData(TTriggerDataEvent handler) {
  onTriggerData_ = std::move(handler);
  RefreshHandlerFlags();
}

void TCustomComPort::SetOnTriggerStatus(TTriggerStatusEvent handler) {
  onTriggerStatus_ = std::move(handler);
  RefreshHandlerFlags();
}

void TCustomComPort::SetOnTriggerTimer(TTriggerTimerEvent handler) {
  onTriggerTimer_ = std::move(handler);
  RefreshHandlerFlags();
}

void TCustomComPort::SetOnTriggerLineError(TTriggerLineErrorEvent handler) {
  onTriggerLineError_ = std::move(handler);
  RefreshHandlerFlags();
}

void TCustomComPort::SetOnTriggerModemStatus(TPortNotifyEvent handler) {
  onTriggerModemStatus_ = std::move(handler);
  RefreshHandlerFlags();
}

void TCustomComPort::SetOnTriggerOutbuffFree(TPortNotifyEvent handler) {
  onTriggerOutbuffFree_ = std::move(handler);
  RefreshHandlerFlags();
}

void TCustomComPort::SetOnTriggerOutbuffUsed(TPortNotifyEvent handler) {
  onTriggerOutbuffUsed_ = std::move(handler);
  RefreshHandlerFlags();
}

void TCustomComPort::SetOnTriggerOutSent(TPortNotifyEvent handler) {
  onTriggerOutSent_ = std::move(handler);
  RefreshHandlerFlags();
}

void TCustomComPort::FireTrigger(uint16_t msg, uint16_t triggerHandle, uint16_t data) {
  const auto handler = onTrigger_;  // a copy: the handler may reassign its own event
  if (handler) handler(*this, msg, triggerHandle, data);
}

void TCustomComPort::FireTriggerAvail(uint16_t count) {
  const auto handler = onTriggerAvail_;
  if (handler) handler(*this, count);
}

void TCustomComPort::FireTriggerData(uint16_t triggerHandle) {
  const auto handler = onTriggerData_;
  if (handler) handler(*this, triggerHandle);
}

void TCustomComPort::FireTriggerStatus(uint16_t triggerHandle) {
  const auto handler = onTriggerStatus_;
  if (handler) handler(*this, triggerHandle);
}

void TCustomComPort::FireTriggerTimer(uint16_t triggerHandle) {
  const auto handler = onTriggerTimer_;
  if (handler) handler(*this, triggerHandle);
}

void TCustomComPort::FireTriggerLineError(uint16_t error, bool lineBreak) {
  const auto handler = onTriggerLineError_;
  if (handler) handler(*this, error, lineBreak);
}

void TCustomComPort::FireTriggerModemStatus() {
  const auto handler = onTriggerModemStatus_;
  if (handler) handler(*this);
}

void TCustomComPort::FireTriggerOutbuffFree() {
  const auto handler = onTriggerOutbuffFree_;
  if (handler) handler(*this);
}

void TCustomComPort::FireTriggerOutbuffUsed() {
  const auto handler = onTriggerOutbuffUsed_;
  if (handler) handler(*this);
}

void TCustomComPort::FireTriggerOutSent() {
  const auto handler = onTriggerOutSent_;
  if (handler) handler(*this);
}

void TCustomComPort::FireWaitChar(uint8_t c) {
  const auto handler = onWaitChar_;
  if (handler) handler(*this, c);
}

// ---- The hidden window ---------------------------------------------------------------------

platform::LResult TCustomComPort::ComWindowProc(platform::WindowHandle window, uint32_t msg,
                                                platform::WParam wParam, platform::LParam lParam) {
  const bool accepted = (msg >= TriggerAvailMsg && msg <= TriggerStatusMsg) ||
                        msg == ClosePendingMsg || msg == DeviceLostMsg;
  if (!accepted) return 0;

  // Held while the events run, so that the sending dispatcher stays in the list meanwhile.
  platform::SectionGuard guard(DispatcherListLock());
  const int32_t handle = static_cast<int32_t>(static_cast<uint32_t>(lParam) >> 16);
  TBaseDispatcher* sender = LookUpDispatcher(handle);
  if (sender == nullptr || sender->Owner == nullptr) return 0;
  try {
    sender->Owner.load()->DispatchWindowMessage(window, msg, wParam, lParam, sender);
  } catch (...) {
    // Events run on the main thread; a message that reached a procedure anywhere else has no
    // one to show its failure to.
    if (platform::IsMainThread()) ShowApplicationException(std::current_exception());
  }
  return 0;
}

void TCustomComPort::DispatchWindowMessage(platform::WindowHandle window, uint32_t msg,
                                           platform::WParam wParam, platform::LParam lParam,
                                           TBaseDispatcher* sender) {
  // Not an event of its own: the close comes first, as a close from outside any event, and
  // only then OnDeviceLost.
  if (msg == DeviceLostMsg) {
    HandleDeviceLost(sender);
    return;
  }
  // An event may close or destroy the component: before each event the procedure makes sure the
  // component still exists and, for trigger messages, that no close has begun (a closing port
  // would hand the handler nothing but refusals).
  const std::shared_ptr<bool> alive = alive_;
  struct EventScope {
    TCustomComPort& port;
    const std::shared_ptr<bool>& alive;
    explicit EventScope(TCustomComPort& p, const std::shared_ptr<bool>& a) : port(p), alive(a) {
      ++port.eventDepth_;
    }
    ~EventScope() {
      if (*alive) --port.eventDepth_;
    }
  } scope(*this, alive);
  const bool trigger = msg != ClosePendingMsg;
  auto mayRaise = [&] {
    return *alive &&
           (!trigger || (openState_ == TOpenState::osOpen && dispatcher_.get() == sender));
  };

  const auto first = static_cast<uint16_t>(wParam);
  const auto data = msg == TriggerAvailMsg ? first : static_cast<uint16_t>(lParam);
  if (!mayRaise()) return;
  FireTrigger(static_cast<uint16_t>(msg), first, data);
  if (!mayRaise()) return;
  switch (msg) {
    case TriggerAvailMsg:
      FireTriggerAvail(first);
      break;
    case TriggerDataMsg:
      FireTriggerData(first);
      break;
    case TriggerTimerMsg:
      FireTriggerTimer(first);
      break;
    case TriggerStatusMsg:
      FireTriggerStatus(first);
      if (!mayRaise()) return;
      switch (TBaseDispatcher::StatusTriggerKind(first)) {
        case stModem:
          FireTriggerModemStatus();
          break;
        case stLine: {
          // Both readings clear what they report; the break comes first.
          const bool lineBreak = BreakReceived();
          const uint16_t error = LineErrorCode();
          FireTriggerLineError(error, lineBreak);
          break;
        }
        case stOutBuffFree:
          FireTriggerOutbuffFree();
          break;
        case stOutBuffUsed:
          FireTriggerOutbuffUsed();
          break;
        case stOutSent:
          FireTriggerOutSent();
          break;
        default:
          break;
      }
      break;
    case ClosePendingMsg:
      FinishDeferredClose(window, lParam, sender);
      break;
    default:
      break;
  }
}

void TCustomComPort::HandleDeviceLost(TBaseDispatcher* sender) {
  // A loss reported by a dispatcher this component has already closed is over.
  if (sender != dispatcher_.get() || openState_ != TOpenState::osOpen) return;
  // The close is that of any open port (trace and log written, threads ended, descriptor
  // released). The sender may be destroyed by it and is not touched again.
  SetOpen(false);
  if (onDeviceLost_) {
    const TPortNotifyEvent handler = onDeviceLost_;
    handler(*this);
  }
}

}  // namespace talyx
