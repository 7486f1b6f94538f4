// TCustomComPort's settings and the opening and closing of its port.
#include "port/comport.h"

#include <cstdint>
#include <exception>
#include <optional>
#include <utility>

#include "dispatch/deferredrelease.h"
#include "dispatch/devlayer.h"
#include "errors/commerror.h"
#include "platform/portmap.h"
#include "port/apphooks.h"

namespace talyx {

namespace {

// UseEventWord's dispatcher option bit.
constexpr uint32_t EventWordOption = 4;

// The telephony line handle TapiCid stands for when nothing set it.
constexpr uint16_t NoTapiLine = 0;

// SetLine's values that keep the line's current rate, parity, byte size and stop bits.
constexpr int32_t KeepBaud = 0;
constexpr uint8_t KeepParity = 5;
constexpr uint8_t KeepDataBits = 9;
constexpr uint8_t KeepStopBits = 3;

// How long a deferred close's ClosePendingMsg waits for the worker threads' end before it asks
// again.
constexpr uint32_t DeferredCloseWaitMs = 10;

uint16_t Percent(uint32_t value, uint32_t percent) {
  return static_cast<uint16_t>(value * percent / 100);
}

// The resume mark a flow-control setter picks: a share of the input size, unless that would lie
// above the full mark (a small BufferFull), where a resume mark above it makes every flow-control
// call fail; then a tenth of the full mark, as the BufferResume setter takes.
uint16_t DefaultResume(uint32_t inSize, uint32_t bufferFull, uint32_t percent) {
  const uint16_t resume = Percent(inSize, percent);
  return resume > bufferFull ? Percent(bufferFull, 10) : resume;
}

// The software flow mode the dispatcher takes for each option.
uint32_t SWFlowMode(TSWFlowOptions options) {
  switch (options) {
    case TSWFlowOptions::swfBoth:
      return swoTransmit | swoReceive;
    case TSWFlowOptions::swfTransmit:
      return swoTransmit;
    case TSWFlowOptions::swfReceive:
      return swoReceive;
    case TSWFlowOptions::swfNone:
      break;
  }
  return 0;
}

TSWFlowOptions SWFlowOptionsOf(uint32_t mode) {
  switch (mode & (swoTransmit | swoReceive)) {
    case swoTransmit | swoReceive:
      return TSWFlowOptions::swfBoth;
    case swoTransmit:
      return TSWFlowOptions::swfTransmit;
    case swoReceive:
      return TSWFlowOptions::swfReceive;
    default:
      return TSWFlowOptions::swfNone;
  }
}

// The open's result as the component reports it: a held device and a missing one have codes
// of their own.
ErrorCode TranslateOpenResult(ErrorCode result) {
  switch (result) {
    case ecAccessDenied:
      return ecAlreadyOpen;
    case ecFileNotFound:
    case ecPathNotFound:
      return ecBadId;
    default:
      return result;
  }
}

}  // namespace

class TCustomComPort::ForceApplyScope {
 public:
  explicit ForceApplyScope(TCustomComPort& port)
      : port_(port), previous_(std::exchange(port.forceApply_, true)) {}
  ~ForceApplyScope() { port_.forceApply_ = previous_; }
  ForceApplyScope(const ForceApplyScope&) = delete;
  ForceApplyScope& operator=(const ForceApplyScope&) = delete;

 private:
  TCustomComPort& port_;
  bool previous_;
};

TCustomComPort::TCustomComPort() = default;

TCustomComPort::~TCustomComPort() {
  // A window procedure that is running one of this component's events (the destructor may be
  // called from inside one) raises nothing more once it returns.
  *alive_ = false;
  try {
    if (openState_ == TOpenState::osOpen) DoClose();
  } catch (...) {
    ShowApplicationException(std::current_exception());
  }
  if (dispatcher_ != nullptr) {
    // A close still under way (deferred because it was asked for from inside an event) ends
    // here. The window goes first, so no message reaches this component any more. Inside an
    // event the dispatch thread may be waiting for the very event that destroys this component:
    // then the dispatcher outlives the component and is freed on the main thread once its
    // threads have ended. Elsewhere the close waits for the threads, as any close does.
    RegisterComWindow(false);
    if (eventDepth_ > 0 || dispatcher_->MainThreadInsideDelivery()) {
      dispatcher_->Owner = nullptr;
      openState_ = TOpenState::osClosed;
      ReleaseWhenThreadsEnded(std::move(dispatcher_));
    } else {
      ReleaseDispatcher();
    }
  }
  TBaseDispatcher::FreeSavedTriggers(triggerSave_);
}

TBaseDispatcher* TCustomComPort::OpenDispatcher() const {
  return openState_ == TOpenState::osOpen ? dispatcher_.get() : nullptr;
}

ErrorCode TCustomComPort::Check(ErrorCode code) const { return RaiseIfError(this, code); }

// ---- Dispatcher ------------------------------------------------------------------------------

TBaseDispatcher* TCustomComPort::Dispatcher() {
  if (dispatcher_ == nullptr && !IsDesigning() && !IsLoading() &&
      openState_ != TOpenState::osOpen && autoOpen_) {
    SetOpen(true);
  }
  return dispatcher_.get();
}

TBaseDispatcher* TCustomComPort::RequireDispatcher() {
  TBaseDispatcher* dispatcher = Dispatcher();
  if (dispatcher == nullptr) Check(ecCommNotOpen);
  return dispatcher;
}

std::unique_ptr<TBaseDispatcher> TCustomComPort::CreateDispatcher() {
  if (dispatcherFactory_) return dispatcherFactory_(*this);
  if (deviceLayer_ != TDeviceLayer::dlWin32) {
    Check(ecNullApi);
    return nullptr;
  }
  if (tapiMode_ == TTapiMode::tmOn) {
    // The telephony layer's line handle is the open descriptor of the line. The dispatcher takes
    // it over (and closes it at its close, or when it cannot use it): it is handed over once.
    const int descriptor = tapiCid_ == NoTapiLine ? TTapi32Dispatcher::NoDescriptor : tapiCid_;
    tapiLineHandedOver_ = tapiCid_ != NoTapiLine;
    return std::make_unique<TTapi32Dispatcher>(this, descriptor);
  }
  return std::make_unique<TWin32Dispatcher>(this);
}

// ---- Opening -----------------------------------------------------------------------------------

void TCustomComPort::ValidateComNumber() {
  if (comNumber_ != 0) return;
  if (!promptForPort_) {
    Check(ecNoPortSelected);
    return;
  }
  const int chosen = ChoosePort();
  if (chosen <= 0 || chosen > 0xFFFF) {
    Check(ecNoPortSelected);
    return;
  }
  comNumber_ = static_cast<uint16_t>(chosen);
}

ErrorCode TCustomComPort::OpenDevicePort() {
  uint32_t options = 0;
  if (dtr_) options |= loDtrOn;
  if (rts_) options |= loRtsOn;
  if (tapiMode_ == TTapiMode::tmOn) {
    // A handed-over line keeps the settings it was opened with (the keep-current values of
    // SetLine); the component takes them over once the dispatcher has adopted the line.
    return dispatcher_->OpenPort({}, KeepBaud, KeepParity, KeepDataBits, KeepStopBits, inSize_,
                                 outSize_, options);
  }
  const std::string devicePath = platform::PortDevicePath(comNumber_);
  // A number the port map gives no device does not exist, without asking the file system.
  if (devicePath.empty()) return ecFileNotFound;
  if (hwFlowOptions_.Contains(THWFlowOptions::hwfUseDTR)) options |= loDtrFlow;
  if (hwFlowOptions_.Contains(THWFlowOptions::hwfUseRTS)) options |= loRtsFlow;
  return dispatcher_->OpenPort(devicePath, baud_, static_cast<uint8_t>(parity_),
                               static_cast<uint8_t>(dataBits_), static_cast<uint8_t>(stopBits_),
                               inSize_, outSize_, options);
}

void TCustomComPort::DoOpen() {
  if (tapiMode_ != TTapiMode::tmOn) ValidateComNumber();
  std::unique_ptr<TBaseDispatcher> created = CreateDispatcher();
  if (created == nullptr) return;  // refused while loading, where codes are not raised
  created->SetDeviceName("COM" + std::to_string(comNumber_));
  created->SetSentBytesHook(sentBytesHook_);
  dispatcher_ = std::move(created);

  try {
    if (tapiMode_ == TTapiMode::tmOn && tapiCid_ == NoTapiLine) {
      ReleaseDispatcher();
      Check(ecNotOpenedByTapi);
      return;
    }

    const ErrorCode result = TranslateOpenResult(OpenDevicePort());
    if (result != ecOK) {
      ReleaseDispatcher();
      Check(result);
      return;
    }

    if (tapiMode_ == TTapiMode::tmOn) {
      // The settings the telephony layer opened the line with, read from the adopted line.
      int32_t baud;
      uint8_t parity, dataBits, stopBits;
      if (dispatcher_->GetLine(baud, parity, dataBits, stopBits) == ecOK) {
        baud_ = baud;
        parity_ = static_cast<TParity>(parity);
        dataBits_ = dataBits;
        stopBits_ = stopBits;
      }
      uint32_t hwOptions, swOptions;
      uint8_t xOn, xOff;
      if (dispatcher_->GetFlowOptions(hwOptions, swOptions, xOn, xOff) == ecOK) {
        hwFlowOptions_ = THWFlowOptionSet::FromWord(hwOptions);
        swFlowOptions_ = SWFlowOptionsOf(swOptions);
        xOnChar_ = xOn;
        xOffChar_ = xOff;
      }
    }

    openState_ = TOpenState::osOpen;
    RefreshHandlerFlags();
    ApplyAllSettings();

    open_ = true;
    RegisterComWindow(true);
    if (triggersSaved_) {
      triggersSaved_ = false;
      dispatcher_->RestoreTriggers(triggerSave_);
    }
    PortOpened();
  } catch (...) {
    open_ = false;
    if (dispatcher_ != nullptr) ReleaseDispatcher();
    throw;
  }
}

void TCustomComPort::ApplyAllSettings() {
  ForceApplyScope force(*this);
  SetTracing(tracing_);
  SetLogging(logging_);
  SetHWFlowOptions(hwFlowOptions_);
  SetSWFlowOptions(swFlowOptions_);
  SetXOnChar(xOnChar_);
  SetXOffChar(xOffChar_);
  SetAvailTriggerLength(availTriggerLength_);
  SetDTR(dtr_);
  if (deviceLayer_ != TDeviceLayer::dlFossil) SetRTS(rts_);
  SetUseMSRShadow(UseMSRShadow());
  SetUseEventWord(useEventWord_);
  SetCommNotificationLevel(commNotificationLevel_);
  SetRS485Mode(rs485Mode_);
  SetPriorityBoost(priorityBoost_);
}

void TCustomComPort::RegisterComWindow(bool enabling) {
  if (enabling) {
    window_ = platform::CreateHiddenWindow(ComPortWindowClass, &TCustomComPort::ComWindowProc);
    dispatcher_->RegisterWndTriggerHandler(window_);
    return;
  }
  if (window_ == 0) return;
  if (dispatcher_ != nullptr) dispatcher_->DeregisterWndTriggerHandler(window_);
  platform::DestroyHiddenWindow(window_);
  window_ = 0;
}

void TCustomComPort::NotifyPortUsers(bool opening) {
  for (auto user = portUsers_.rbegin(); user != portUsers_.rend(); ++user) {
    if (user->Window != 0) {
      // Told and waited for, however long the user takes.
      platform::SendMessageTimeout(user->Window, opening ? PortOpenedMsg : PortClosedMsg, 0, 0,
                                   UINT32_MAX, nullptr);
    } else if (user->Callback) {
      user->Callback(*this, opening);
    }
  }
}

void TCustomComPort::PortOpened() {
  NotifyPortUsers(true);
  if (onPortOpened_) onPortOpened_(*this);
}

void TCustomComPort::PortClosing() {
  NotifyPortUsers(false);
  if (onPortClosed_) onPortClosed_(*this);
}

// ---- Closing -----------------------------------------------------------------------------------

void TCustomComPort::DoClose() {
  open_ = false;
  // Closing cancels a reopen still waiting for a close under way.
  reopenPending_ = false;
  if (openState_ != TOpenState::osOpen) return;

  // The close always runs to its end, so the port can be opened again; what failed on the way
  // (a trace or log file that cannot be written, a closing notification that raised) is shown
  // once the port is closed.
  std::exception_ptr failure;
  try {
    DumpTraceAndLogAtClose();
  } catch (...) {
    failure = std::current_exception();
  }
  openState_ = TOpenState::osClosing;
  try {
    PortClosing();
  } catch (...) {
    if (!failure) failure = std::current_exception();
  }
  dispatcher_->SaveTriggers(triggerSave_);
  triggersSaved_ = true;

  // Only a close asked for from inside one of this component's events (or inside another
  // handler of a delivery the dispatch thread waits for) is deferred: there the dispatch thread
  // waits for the event to return. Any other close first destroys the hidden window, which
  // fails at once the trigger message the dispatch thread may be waiting to hand to the main
  // thread (its bytes stay unread and go with the port's flush) and every later one; the close
  // then stops the threads and completes before it returns.
  const bool insideEvent = eventDepth_ > 0 || dispatcher_->MainThreadInsideDelivery();
  if (!insideEvent) RegisterComWindow(false);
  dispatcher_->ClosePort();

  if (insideEvent && dispatcher_->GetInHandler()) {
    // The dispatcher is destroyed only once its threads have ended.
    platform::PostMessage(window_, ClosePendingMsg, 0,
                          static_cast<platform::LParam>(dispatcher_->Handle) << 16);
    platform::PumpOneMessage();
  } else {
    ReleaseDispatcher();
  }

  if (failure) ShowApplicationException(failure);
}

void TCustomComPort::DumpTraceAndLogAtClose() {
  std::exception_ptr failure;
  try {
    SetTracing(TTraceLogState::tlDump);
  } catch (...) {
    failure = std::current_exception();
    // The trace goes with the dispatcher: it is over whether it could be written or not.
    tracing_ = TTraceLogState::tlOff;
  }
  try {
    SetLogging(TTraceLogState::tlDump);
  } catch (...) {
    if (!failure) failure = std::current_exception();
    logging_ = TTraceLogState::tlOff;
  }
  if (failure) std::rethrow_exception(failure);
}

void TCustomComPort::ReleaseDispatcher() {
  RegisterComWindow(false);
  // The descriptor of a handed-over line is closed with its dispatcher: it is not named again.
  if (tapiLineHandedOver_) {
    tapiLineHandedOver_ = false;
    tapiCid_ = NoTapiLine;
  }
  // Reset before the dispatcher is destroyed: its destruction may run queued main-thread
  // messages, which must find the component without a dispatcher.
  std::unique_ptr<TBaseDispatcher> dispatcher = std::move(dispatcher_);
  openState_ = TOpenState::osClosed;
  dispatcher.reset();
}

void TCustomComPort::FinishDeferredClose(platform::WindowHandle window, platform::LParam lParam,
                                         TBaseDispatcher* sender) {
  // Only the close of this component's own current dispatcher is finished here.
  if (sender != dispatcher_.get() || openState_ != TOpenState::osClosing) return;
  // The message comes again until the threads have ended, but not in a tight loop: it waits a
  // little for their end first, unless it runs inside another event of the delivery, whose
  // return the dispatch thread is still waiting for.
  if (eventDepth_ == 1 && !sender->MainThreadInsideDelivery()) {
    sender->AwaitThreadsEnd(DeferredCloseWaitMs);
  }
  if (sender->GetThreadsActive()) {
    platform::PostMessage(window, ClosePendingMsg, 0, lParam);
    return;
  }
  ReleaseDispatcher();
  if (reopenPending_) {
    reopenPending_ = false;
    DoOpen();
  }
}

// ---- Attributes --------------------------------------------------------------------------------

void TCustomComPort::SetSentBytesHook(TBaseDispatcher::TSentBytesHook hook) {
  sentBytesHook_ = std::move(hook);
  if (dispatcher_ != nullptr) dispatcher_->SetSentBytesHook(sentBytesHook_);
}

void TCustomComPort::SetOpen(bool value) {
  if (value == open_) return;
  if (IsDesigning() || IsLoading()) {
    open_ = value;
    if (value) openAfterLoad_ = true;
    return;
  }
  if (!value) {
    DoClose();
  } else if (openState_ != TOpenState::osClosed) {
    reopenPending_ = true;
  } else {
    DoOpen();
  }
}

void TCustomComPort::Loaded() {
  if (IsDesigning()) return;
  if (openAfterLoad_) open_ = true;
  if (!open_ || openState_ != TOpenState::osClosed) return;
  openAfterLoad_ = false;
  try {
    DoOpen();
  } catch (...) {
    open_ = false;
    ShowApplicationException(std::current_exception());
  }
}

void TCustomComPort::SetDeviceLayer(TDeviceLayer value) {
  if (value == deviceLayer_ && !forceApply_) return;
  // dlWin32 is the one device layer this system has a dispatcher for.
  if (openState_ != TOpenState::osClosed || value != TDeviceLayer::dlWin32) return;
  deviceLayer_ = value;
  DeviceLayerHook();
}

void TCustomComPort::SetComNumber(uint16_t value) {
  if (value == comNumber_) return;
  if (openState_ != TOpenState::osOpen) {
    comNumber_ = value;
    return;
  }
  // The port moves: triggers and the trace and log state go along, and every stored setting
  // reaches the new port when it opens. A paused trace does not survive the close.
  dispatcher_->SaveTriggers(triggerSave_);
  const TTraceLogState tracing = tracing_;
  const TTraceLogState logging = logging_;
  SetOpen(false);
  comNumber_ = value;
  SetTracing(tracing);
  SetLogging(logging);
  SetOpen(true);
  if (TBaseDispatcher* dispatcher = Dispatcher()) dispatcher->RestoreTriggers(triggerSave_);
}

void TCustomComPort::SetBaud(int32_t value) {
  if (value == baud_) return;
  baud_ = value;
  if (TBaseDispatcher* d = OpenDispatcher()) {
    Check(d->SetLine(baud_, static_cast<uint8_t>(parity_), static_cast<uint8_t>(dataBits_),
                     static_cast<uint8_t>(stopBits_)));
  }
}

void TCustomComPort::SetParity(TParity value) {
  if (value == parity_) return;
  parity_ = value;
  if (TBaseDispatcher* d = OpenDispatcher()) {
    Check(d->SetLine(baud_, static_cast<uint8_t>(parity_), static_cast<uint8_t>(dataBits_),
                     static_cast<uint8_t>(stopBits_)));
  }
}

void TCustomComPort::SetDataBits(uint16_t value) {
  if (value == dataBits_) return;
  dataBits_ = value;
  if (TBaseDispatcher* d = OpenDispatcher()) {
    Check(d->SetLine(baud_, static_cast<uint8_t>(parity_), static_cast<uint8_t>(dataBits_),
                     static_cast<uint8_t>(stopBits_)));
  }
}

void TCustomComPort::SetStopBits(uint16_t value) {
  if (value == stopBits_) return;
  stopBits_ = value;
  if (TBaseDispatcher* d = OpenDispatcher()) {
    Check(d->SetLine(baud_, static_cast<uint8_t>(parity_), static_cast<uint8_t>(dataBits_),
                     static_cast<uint8_t>(stopBits_)));
  }
}

void TCustomComPort::SetInSize(uint16_t value) {
  if (value == inSize_) return;
  inSize_ = value;
  // Only the driver's queues change; the rings keep their sizes until the next open.
  if (TBaseDispatcher* d = OpenDispatcher()) d->SetBufferSizes(inSize_, outSize_);
}

void TCustomComPort::SetOutSize(uint16_t value) {
  if (value == outSize_) return;
  outSize_ = value;
  if (TBaseDispatcher* d = OpenDispatcher()) d->SetBufferSizes(inSize_, outSize_);
}

void TCustomComPort::SetDTR(bool value) {
  if (value == dtr_ && !forceApply_) return;
  if (TBaseDispatcher* d = OpenDispatcher()) {
    // A line under hardware flow control keeps its level (result 1): the value is not taken.
    if (Check(d->SetDTR(value)) == ecOK) dtr_ = value;
    return;
  }
  dtr_ = value;
}

void TCustomComPort::SetRTS(bool value) {
  if (value == rts_ && !forceApply_) return;
  if (TBaseDispatcher* d = OpenDispatcher()) {
    if (Check(d->SetRTS(value)) == ecOK) rts_ = value;
    return;
  }
  rts_ = value;
}

void TCustomComPort::SetHWFlowOptions(THWFlowOptionSet value) {
  if (value == hwFlowOptions_ && !forceApply_) return;
  const uint32_t word = value.Word();
  if (word != 0) {
    if (bufferFull_ == 0 || bufferFull_ > inSize_) bufferFull_ = Percent(inSize_, 90);
    if (bufferResume_ == 0 || bufferResume_ > bufferFull_) {
      bufferResume_ = DefaultResume(inSize_, bufferFull_, 10);
    }
  }
  if (TBaseDispatcher* d = OpenDispatcher()) Check(d->SetHWFlow(bufferFull_, bufferResume_, word));
  hwFlowOptions_ = value;
  // RTS cannot turn the line around for RS-485 while it does hardware flow control.
  if (value.Contains(THWFlowOptions::hwfUseRTS) || value.Contains(THWFlowOptions::hwfRequireCTS)) {
    SetRS485Mode(false);
  }
}

void TCustomComPort::SetSWFlowOptions(TSWFlowOptions value) {
  if (value == swFlowOptions_ && !forceApply_) return;
  const uint32_t mode = SWFlowMode(value);
  if (mode != 0) {
    if (bufferFull_ == 0 || bufferFull_ > inSize_) bufferFull_ = Percent(inSize_, 75);
    if (bufferResume_ == 0 || bufferResume_ > bufferFull_) {
      bufferResume_ = DefaultResume(inSize_, bufferFull_, 25);
    }
  }
  if (TBaseDispatcher* d = OpenDispatcher()) {
    Check(mode != 0 ? d->SetSWFlow(bufferFull_, bufferResume_, mode) : d->DisableSWFlow());
  }
  swFlowOptions_ = value;
}

void TCustomComPort::SetXOnChar(uint8_t value) {
  if (value == xOnChar_ && !forceApply_) return;
  xOnChar_ = value;
  if (TBaseDispatcher* d = OpenDispatcher()) Check(d->SetFlowChars(xOnChar_, xOffChar_));
}

void TCustomComPort::SetXOffChar(uint8_t value) {
  if (value == xOffChar_ && !forceApply_) return;
  xOffChar_ = value;
  if (TBaseDispatcher* d = OpenDispatcher()) Check(d->SetFlowChars(xOnChar_, xOffChar_));
}

void TCustomComPort::SetBufferFull(uint16_t value) {
  if (value == bufferFull_ && !forceApply_) return;
  bufferFull_ = value > inSize_ ? Percent(inSize_, 90) : value;
  // Both flow controls take the new marks (and fill in defaults for marks still 0 or too big).
  ForceApplyScope force(*this);
  SetHWFlowOptions(hwFlowOptions_);
  SetSWFlowOptions(swFlowOptions_);
}

void TCustomComPort::SetBufferResume(uint16_t value) {
  if (value == bufferResume_ && !forceApply_) return;
  bufferResume_ = value > bufferFull_ ? Percent(bufferFull_, 10) : value;
  ForceApplyScope force(*this);
  SetHWFlowOptions(hwFlowOptions_);
  SetSWFlowOptions(swFlowOptions_);
}

void TCustomComPort::SetUseMSRShadow(bool /*value*/) {}

void TCustomComPort::SetUseEventWord(bool value) {
  if (value == useEventWord_ && !forceApply_) return;
  useEventWord_ = value;
  if (TBaseDispatcher* d = OpenDispatcher()) {
    if (value) {
      d->SetOption(EventWordOption);
    } else {
      d->ClearOption(EventWordOption);
    }
  }
}

void TCustomComPort::SetCommNotificationLevel(uint16_t value) { commNotificationLevel_ = value; }

void TCustomComPort::SetRS485Mode(bool value) {
  if (value == rs485Mode_ && !forceApply_) return;
  rs485Mode_ = value;
  if (TBaseDispatcher* d = OpenDispatcher()) d->SetRS485Mode(value);
  if (value) {
    // The driver turns the line around with RTS: RTS leaves flow control and rests low. On an
    // open port the dispatcher then reports RTS as under automatic control (SetRTS gives 1),
    // yet the level it rests at is low, and that is what the attribute keeps.
    SetHWFlowOptions(
        hwFlowOptions_.Without(THWFlowOptions::hwfUseRTS).Without(THWFlowOptions::hwfRequireCTS));
    SetRTS(false);
    rts_ = false;
  }
}

void TCustomComPort::SetAvailTriggerLength(uint16_t value) {
  if (value == availTriggerLength_ && !forceApply_) return;
  availTriggerLength_ = value;
  if (TBaseDispatcher* d = OpenDispatcher()) d->SetAvailTriggerLength(value);
}

void TCustomComPort::SetPriorityBoost(uint8_t value) {
  if (value == priorityBoost_ && !forceApply_) return;
  priorityBoost_ = value;
  if (TBaseDispatcher* d = OpenDispatcher()) d->SetThreadBoost(value);
}

// ---- Assign ------------------------------------------------------------------------------------

void TCustomComPort::Assign(const TBaseComponent& source) {
  const auto* other = dynamic_cast<const TCustomComPort*>(&source);
  if (other == nullptr || other == this) return;
  // The copied settings are for the next open; an open port is closed first, so that Open and
  // OpenState stay in step.
  if (openState_ == TOpenState::osOpen) DoClose();

  portUsers_ = other->portUsers_;
  if (other->openState_ == TOpenState::osOpen) {
    other->dispatcher_->SaveTriggers(triggerSave_);
    triggersSaved_ = true;
  }
  deviceLayer_ = other->deviceLayer_;
  comNumber_ = other->comNumber_;
  baud_ = other->baud_;
  parity_ = other->parity_;
  dataBits_ = other->dataBits_;
  stopBits_ = other->stopBits_;
  inSize_ = other->inSize_;
  outSize_ = other->outSize_;
  autoOpen_ = other->autoOpen_;
  promptForPort_ = other->promptForPort_;
  rs485Mode_ = other->rs485Mode_;
  priorityBoost_ = other->priorityBoost_;
  dtr_ = other->dtr_;
  rts_ = other->rts_;
  bufferFull_ = other->bufferFull_;
  bufferResume_ = other->bufferResume_;
  hwFlowOptions_ = other->hwFlowOptions_;
  swFlowOptions_ = other->swFlowOptions_;
  xOnChar_ = other->xOnChar_;
  xOffChar_ = other->xOffChar_;
  // While closed a trace or log is only wished for or not.
  tracing_ = other->tracing_ == TTraceLogState::tlOn ? TTraceLogState::tlOn : TTraceLogState::tlOff;
  traceSize_ = other->traceSize_;
  traceName_ = other->traceName_;
  traceHex_ = other->traceHex_;
  traceAllHex_ = other->traceAllHex_;
  logging_ = other->logging_ == TTraceLogState::tlOn ? TTraceLogState::tlOn : TTraceLogState::tlOff;
  logSize_ = other->logSize_;
  logName_ = other->logName_;
  logHex_ = other->logHex_;
  logAllHex_ = other->logAllHex_;
  availTriggerLength_ = other->availTriggerLength_;
  SetOnTrigger(other->onTrigger_);
  SetOnTriggerAvail(other->onTriggerAvail_);
  SetOnTriggerData(other->onTriggerData_);
  SetOnTriggerStatus(other->onTriggerStatus_);
  SetOnTriggerTimer(other->onTriggerTimer_);
  onPortOpened_ = other->onPortOpened_;
  onPortClosed_ = other->onPortClosed_;
  tapiMode_ = other->tapiMode_;
  open_ = false;
}

}  // namespace talyx
