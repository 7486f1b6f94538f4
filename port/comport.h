// TCustomComPort and TComPort: the object through which the application reaches one serial port.
//
// Principles of operation:
// - The component holds every setting of a port as an attribute with a setter. A setter does
//   nothing when the value is unchanged (unless ForceApply is set), stores the value and, while
//   the port is open, applies it at once through the dispatcher; a failing dispatcher result is
//   raised through RaiseIfError. Opening creates a dispatcher (TWin32Dispatcher, or whatever the
//   dispatcher factory hook returns), opens the device the port map gives for ComNumber, and
//   runs every setter once more with ForceApply set so that the stored values reach the new
//   dispatcher. A device that goes away while open is closed by the component itself
//   (DeviceLostMsg), which then raises OnDeviceLost. Closing dumps a running trace and log, saves
//   the triggers for the next open and destroys the dispatcher.
// - OpenState moves osClosed -> osOpen -> osClosing -> osClosed. A close asked for while the
//   dispatcher delivers a trigger message (from inside an event) cannot destroy the dispatcher
//   that is waiting for the event to return: it posts ClosePendingMsg to the component's hidden
//   window and finishes when the worker threads have ended (deferred close); an Open := True
//   meanwhile is remembered (ReopenPending) and carried out then. Any other close (from code
//   that is not inside one of this component's events) first fails the trigger message the
//   dispatch thread may be waiting to hand over, and completes before it returns.
// - Once a close has begun, the hidden window raises no trigger events; ClosePendingMsg still
//   raises OnTrigger. An event handler may reassign events, Assign, close or even destroy the
//   component: the callable that runs is kept alive for its call, and the window procedure
//   raises no further event of a component that is gone. A component destroyed while its
//   close is deferred hands its dispatcher over (deferredrelease.h) to be freed on the main
//   thread once the worker threads have ended.
// - Threads: every operation runs on the main thread. The dispatcher's worker threads reach the
//   component only through messages to its hidden window ("ComPortWindow"), whose procedure the
//   main thread runs; it holds DispatcherListLock while the events of one message run, so no
//   dispatcher can leave DispatcherList meanwhile. No lock of the component's own exists.
// - Ownership: the component owns its dispatcher from open to close and its hidden window while
//   open; the dispatcher's Owner points back at the component for the window procedure.
// - Exceptions: only where a failing result is raised (RaiseIfError) or a port cannot be opened;
//   exceptions escaping an event, the open in Loaded, or the close's own clean-up go to the
//   application's exception display (apphooks.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "dispatch/dispatcher.h"
#include "dispatch/triggers.h"
#include "platform/messagequeue.h"
#include "port/commisc.h"

namespace talyx {

// The component's own window messages (beside the trigger messages of triggers.h).
inline constexpr uint32_t PortOpenedMsg = 0x7E08;
inline constexpr uint32_t PortClosedMsg = 0x7E09;
inline constexpr uint32_t ClosePendingMsg = 0x7E0A;

// The class name of the component's hidden window.
inline constexpr const char* ComPortWindowClass = "ComPortWindow";

enum class TDeviceLayer : uint8_t { dlWin16, dlFossil, dlWin32, dlWinsock };
enum class TParity : uint8_t { pNone, pOdd, pEven, pMark, pSpace };
enum class THWFlowOptions : uint8_t { hwfUseDTR, hwfUseRTS, hwfRequireDSR, hwfRequireCTS };
enum class TSWFlowOptions : uint8_t { swfNone, swfReceive, swfTransmit, swfBoth };
enum class TTraceLogState : uint8_t { tlOff, tlOn, tlDump, tlAppend, tlClear, tlPause };
enum class TTapiMode : uint8_t { tmNone, tmAuto, tmOn, tmOff };
enum class TOpenState : uint8_t { osClosed, osClosing, osOpen };

// A set of THWFlowOptions, one bit each (bit 0 = hwfUseDTR). Its bits are the dispatcher's
// hardware flow option word: 1 hwfUseDTR, 2 hwfUseRTS, 4 hwfRequireDSR, 8 hwfRequireCTS.
class THWFlowOptionSet {
 public:
  constexpr THWFlowOptionSet() = default;
  constexpr THWFlowOptionSet(std::initializer_list<THWFlowOptions> options) {
    for (THWFlowOptions option : options) bits_ |= Bit(option);
  }
  static constexpr THWFlowOptionSet FromWord(uint32_t word) {
    THWFlowOptionSet set;
    set.bits_ = static_cast<uint8_t>(word & 0x0F);
    return set;
  }

  constexpr bool Contains(THWFlowOptions option) const { return (bits_ & Bit(option)) != 0; }
  constexpr THWFlowOptionSet Without(THWFlowOptions option) const {
    return FromWord(bits_ & ~Bit(option));
  }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr uint32_t Word() const { return bits_; }

  constexpr bool operator==(const THWFlowOptionSet&) const = default;

 private:
  static constexpr uint8_t Bit(THWFlowOptions option) {
    return static_cast<uint8_t>(1u << static_cast<unsigned>(option));
  }

  uint8_t bits_ = 0;
};

class TCustomComPort;

// Events. The parameter names are those the handlers are written against.
using TTriggerEvent =
    std::function<void(TCustomComPort& CP, uint16_t Msg, uint16_t TriggerHandle, uint16_t Data)>;
using TTriggerAvailEvent = std::function<void(TCustomComPort& CP, uint16_t Count)>;
using TTriggerDataEvent = std::function<void(TCustomComPort& CP, uint16_t TriggerHandle)>;
using TTriggerStatusEvent = std::function<void(TCustomComPort& CP, uint16_t TriggerHandle)>;
using TTriggerTimerEvent = std::function<void(TCustomComPort& CP, uint16_t TriggerHandle)>;
using TTriggerLineErrorEvent =
    std::function<void(TCustomComPort& CP, uint16_t Error, bool LineBreak)>;
using TWaitCharEvent = std::function<void(TCustomComPort& CP, uint8_t C)>;
// A plain notification: the sender only.
using TPortNotifyEvent = std::function<void(TCustomComPort& CP)>;

// A user of the port, told when it opens and before it closes: a window is sent PortOpenedMsg
// or PortClosedMsg; a user without a window (Window 0) has its callback called, Opening true
// when the port has opened.
struct TPortUser {
  platform::WindowHandle Window = 0;
  std::function<void(TCustomComPort& CP, bool Opening)> Callback;
};

// Creates the dispatcher for a port that opens, in place of the device layer's own choice.
using TDispatcherFactory = std::function<std::unique_ptr<TBaseDispatcher>(TCustomComPort& owner)>;

class TCustomComPort : public TBaseComponent {
 public:
  // Largest trace (entries) and dispatch log (bytes) the component asks for.
  static constexpr uint32_t MaxTraceSize = 4000000;
  static constexpr uint32_t MaxLogSize = 16000000;
  // The longest trace or log file name kept.
  static constexpr size_t MaxFileNameLength = 255;

  TCustomComPort();
  // Closes the port first when it is open (or finishes a close under way).
  ~TCustomComPort() override;

  // ---- Attributes that are not published -------------------------------------------------
  uint16_t AvailTriggerLength() const { return availTriggerLength_; }
  void SetAvailTriggerLength(uint16_t value);
  uint8_t PriorityBoost() const { return priorityBoost_; }
  void SetPriorityBoost(uint8_t value);
  uint16_t TapiCid() const { return tapiCid_; }
  void SetTapiCid(uint16_t value) { tapiCid_ = value; }
  const TPortNotifyEvent& OnPortOpened() const { return onPortOpened_; }
  void SetOnPortOpened(TPortNotifyEvent handler) { onPortOpened_ = std::move(handler); }
  const TPortNotifyEvent& OnPortClosed() const { return onPortClosed_; }
  void SetOnPortClosed(TPortNotifyEvent handler) { onPortClosed_ = std::move(handler); }

  TOpenState OpenState() const { return openState_; }
  // The hidden window that receives the dispatcher's trigger messages; 0 while closed.
  platform::WindowHandle ComWindow() const { return window_; }

  // ---- Dispatcher ------------------------------------------------------------------------
  // The dispatcher; with none (and neither designing nor loading, the port not open and AutoOpen
  // set) the port is opened first. Null when there is none after that.
  TBaseDispatcher* Dispatcher();
  // Dispatcher, raising ECommNotOpen (-2007) when there is none. Null only while loading,
  // where codes are not raised.
  TBaseDispatcher* RequireDispatcher();
  // Replaces the device layer's choice at the next open; an empty factory restores it.
  void SetDispatcherFactory(TDispatcherFactory factory) { dispatcherFactory_ = std::move(factory); }

  // The dispatcher's sent-bytes hook (dispatcher.h), kept for every dispatcher this component
  // opens and given to the open one at once.
  void SetSentBytesHook(TBaseDispatcher::TSentBytesHook hook);

  // ---- Port users --------------------------------------------------------------------------
  void AddPortUser(TPortUser user) { portUsers_.push_back(std::move(user)); }
  const std::vector<TPortUser>& PortUsers() const { return portUsers_; }

  // Copies the settings, events and port users of another port component (any other source:
  // nothing happens) as plain stores, and the source's triggers when it is open. This
  // component ends closed.
  void Assign(const TBaseComponent& source);

  // ---- Data, line and status operations (comport_data.cpp) ---------------------------------
  // The next received byte; 0 while the port is closing or when nothing could be taken.
  uint8_t GetChar();
  // GetChar, and the millisecond-clock time (platform::MillisecondClock) at which the engine read
  // the byte from the device; when no byte is taken, the time of the call.
  uint8_t GetChar(uint32_t& readTime);
  // GetChar, and the time at which the engine read the byte on both clocks (the microsecond one
  // tells silences shorter than a millisecond); when no byte is taken, the time of the call.
  uint8_t GetChar(TReadTime& readTime);
  // Queues the text's bytes for output.
  void PutString(const std::string& text);
  // Queues len bytes for output; 0. A block larger than the output buffer's free room raises
  // -3006 and queues nothing, whatever its length.
  int32_t PutBlock(const void* buffer, size_t len);
  // Bytes queued and not yet written; 0 unless the port is open (it is never opened for this).
  uint32_t OutBuffUsed();
  // Received bytes not yet taken; 0 unless the port is open (it is never opened for this).
  uint32_t InBuffUsed();
  // The dispatcher's ReadUpTo (microseconds): bytes that arrived later may still wait in the
  // driver. A closed port has nothing waiting: the maximum.
  uint64_t ReadUpTo();
  // The pending line error code, cleared by reading; 0 unless open.
  uint16_t LineErrorCode();
  // Whether a break came since the last reading; false unless open.
  bool BreakReceived();
  // Gives the dispatcher's device layer a moment (the rest of a time slice).
  virtual void ServicePort();
  // Tells an open dispatcher whether the component's window wants trigger messages.
  virtual void RefreshHandlerFlags();

 protected:
  // ---- Published attributes (TComPort makes them public) -------------------------------------
  TDeviceLayer DeviceLayer() const { return deviceLayer_; }
  void SetDeviceLayer(TDeviceLayer value);
  uint16_t ComNumber() const { return comNumber_; }
  void SetComNumber(uint16_t value);
  int32_t Baud() const { return baud_; }
  void SetBaud(int32_t value);
  bool PromptForPort() const { return promptForPort_; }
  void SetPromptForPort(bool value) { promptForPort_ = value; }
  TParity Parity() const { return parity_; }
  void SetParity(TParity value);
  uint16_t DataBits() const { return dataBits_; }
  void SetDataBits(uint16_t value);
  uint16_t StopBits() const { return stopBits_; }
  void SetStopBits(uint16_t value);
  uint16_t InSize() const { return inSize_; }
  void SetInSize(uint16_t value);
  uint16_t OutSize() const { return outSize_; }
  void SetOutSize(uint16_t value);
  bool AutoOpen() const { return autoOpen_; }
  void SetAutoOpen(bool value) { autoOpen_ = value; }
  bool Open() const { return open_; }
  void SetOpen(bool value);
  bool DTR() const { return dtr_; }
  void SetDTR(bool value);
  bool RTS() const { return rts_; }
  void SetRTS(bool value);
  THWFlowOptionSet HWFlowOptions() const { return hwFlowOptions_; }
  void SetHWFlowOptions(THWFlowOptionSet value);
  TSWFlowOptions SWFlowOptions() const { return swFlowOptions_; }
  void SetSWFlowOptions(TSWFlowOptions value);
  uint8_t XOnChar() const { return xOnChar_; }
  void SetXOnChar(uint8_t value);
  uint8_t XOffChar() const { return xOffChar_; }
  void SetXOffChar(uint8_t value);
  uint16_t BufferFull() const { return bufferFull_; }
  void SetBufferFull(uint16_t value);
  uint16_t BufferResume() const { return bufferResume_; }
  void SetBufferResume(uint16_t value);

  // Trace and dispatch log controls (comport_trace.cpp).
  TTraceLogState Tracing() const { return tracing_; }
  void SetTracing(TTraceLogState value);
  uint32_t TraceSize() const { return traceSize_; }
  void SetTraceSize(uint32_t value);
  const std::string& TraceName() const { return traceName_; }
  void SetTraceName(const std::string& value);
  bool TraceHex() const { return traceHex_; }
  void SetTraceHex(bool value) { traceHex_ = value; }
  bool TraceAllHex() const { return traceAllHex_; }
  void SetTraceAllHex(bool value) { traceAllHex_ = value; }
  TTraceLogState Logging() const { return logging_; }
  void SetLogging(TTraceLogState value);
  uint32_t LogSize() const { return logSize_; }
  void SetLogSize(uint32_t value);
  const std::string& LogName() const { return logName_; }
  void SetLogName(const std::string& value);
  bool LogHex() const { return logHex_; }
  void SetLogHex(bool value) { logHex_ = value; }
  bool LogAllHex() const { return logAllHex_; }
  void SetLogAllHex(bool value) { logAllHex_ = value; }

  bool UseMSRShadow() const { return true; }
  virtual void SetUseMSRShadow(bool value);
  bool UseEventWord() const { return useEventWord_; }
  void SetUseEventWord(bool value);
  uint16_t CommNotificationLevel() const { return commNotificationLevel_; }
  void SetCommNotificationLevel(uint16_t value);
  TTapiMode TapiMode() const { return tapiMode_; }
  void SetTapiMode(TTapiMode value) { tapiMode_ = value; }
  bool RS485Mode() const { return rs485Mode_; }
  void SetRS485Mode(bool value);

  // Events (comport_data.cpp). Assigning a trigger event tells an open dispatcher whether the
  // component still wants trigger messages.
  const TTriggerEvent& OnTrigger() const { return onTrigger_; }
  void SetOnTrigger(TTriggerEvent handler);
  const TTriggerAvailEvent& OnTriggerAvail() const { return onTriggerAvail_; }
  void SetOnTriggerAvail(TTriggerAvailEvent handler);
  const TTriggerDataEvent& OnTriggerData() const { return onTriggerData_; }
  void SetOnTriggerData(TTriggerDataEvent handler);
  const TTriggerStatusEvent& OnTriggerStatus() const { return onTriggerStatus_; }
  void SetOnTriggerStatus(TTriggerStatusEvent handler);
  const TTriggerTimerEvent& OnTriggerTimer() const { return onTriggerTimer_; }
  void SetOnTriggerTimer(TTriggerTimerEvent handler);
  const TTriggerLineErrorEvent& OnTriggerLineError() const { return onTriggerLineError_; }
  void SetOnTriggerLineError(TTriggerLineErrorEvent handler);
  const TPortNotifyEvent& OnTriggerModemStatus() const { return onTriggerModemStatus_; }
  void SetOnTriggerModemStatus(TPortNotifyEvent handler);
  const TPortNotifyEvent& OnTriggerOutbuffFree() const { return onTriggerOutbuffFree_; }
  void SetOnTriggerOutbuffFree(TPortNotifyEvent handler);
  const TPortNotifyEvent& OnTriggerOutbuffUsed() const { return onTriggerOutbuffUsed_; }
  void SetOnTriggerOutbuffUsed(TPortNotifyEvent handler);
  const TPortNotifyEvent& OnTriggerOutSent() const { return onTriggerOutSent_; }
  void SetOnTriggerOutSent(TPortNotifyEvent handler);
  const TWaitCharEvent& OnWaitChar() const { return onWaitChar_; }
  // The open port's device went away (hang-up, adapter pulled). Raised once per loss, after the
  // bytes read before it were offered to the trigger events, and after the component has closed
  // the port: the handler finds it osClosed (or osClosing when the close had to be deferred).
  const TPortNotifyEvent& OnDeviceLost() const { return onDeviceLost_; }
  void SetOnDeviceLost(TPortNotifyEvent handler) { onDeviceLost_ = std::move(handler); }
  void SetOnWaitChar(TWaitCharEvent handler) { onWaitChar_ = std::move(handler); }

  // ---- Overridable operations ---------------------------------------------------------------
  void Loaded() override;
  virtual std::unique_ptr<TBaseDispatcher> CreateDispatcher();
  // Runs after DeviceLayer changed.
  virtual void DeviceLayerHook() {}
  // Opens the device of ComNumber through the dispatcher; 0 or a negated platform error.
  virtual ErrorCode OpenDevicePort();
  // Creates the hidden window and registers it with the dispatcher (true), or the reverse.
  virtual void RegisterComWindow(bool enabling);
  // Makes sure a port number is set, asking the user through the port chooser when allowed.
  virtual void ValidateComNumber();
  virtual void FireTrigger(uint16_t msg, uint16_t triggerHandle, uint16_t data);
  virtual void FireTriggerAvail(uint16_t count);
  virtual void FireTriggerData(uint16_t triggerHandle);
  virtual void FireTriggerStatus(uint16_t triggerHandle);
  virtual void FireTriggerTimer(uint16_t triggerHandle);
  virtual void FireTriggerLineError(uint16_t error, bool lineBreak);
  virtual void FireTriggerModemStatus();
  virtual void FireTriggerOutbuffFree();
  virtual void FireTriggerOutbuffUsed();
  virtual void FireTriggerOutSent();
  virtual void FireWaitChar(uint8_t c);
  virtual void DoClose();
  virtual void PortOpened();
  virtual void PortClosing();
  virtual void DoOpen();

 private:
  // Sets ForceApply for its lifetime and puts the previous value back.
  class ForceApplyScope;

  // The dispatcher while the port is open, else null: setters apply their values through it.
  TBaseDispatcher* OpenDispatcher() const;
  // RaiseIfError with this component's loading state.
  ErrorCode Check(ErrorCode code) const;
  // GetChar's work; the byte's read time too when readTime is given.
  uint8_t TakeChar(TReadTime* readTime);
  // Pushes every stored setting into a dispatcher that has just opened.
  void ApplyAllSettings();
  // Tells the port users, last to first, that the port opened (true) or is closing (false).
  void NotifyPortUsers(bool opening);
  // The window handle, destruction of the dispatcher and OpenState osClosed: the end of a
  // close, at once or deferred.
  void ReleaseDispatcher();
  // ClosePendingMsg reached the hidden window: finishes the deferred close once the worker
  // threads of the dispatcher have ended, else asks again.
  void FinishDeferredClose(platform::WindowHandle window, platform::LParam lParam,
                           TBaseDispatcher* sender);
  // DeviceLostMsg from the current dispatcher: closes the port and raises OnDeviceLost.
  void HandleDeviceLost(TBaseDispatcher* sender);
  // Dumps a running trace and log at close; a failure is shown, and the state ends tlOff.
  void DumpTraceAndLogAtClose();
  bool AnyTriggerEventAssigned() const;

  // The hidden window's procedure: turns trigger messages into events.
  static platform::LResult ComWindowProc(platform::WindowHandle window, uint32_t msg,
                                         platform::WParam wParam, platform::LParam lParam);
  // Raises the events of one accepted message (DispatcherListLock held).
  void DispatchWindowMessage(platform::WindowHandle window, uint32_t msg, platform::WParam wParam,
                             platform::LParam lParam, TBaseDispatcher* sender);

  TDeviceLayer deviceLayer_ = TDeviceLayer::dlWin32;
  uint16_t comNumber_ = 0;
  int32_t baud_ = 19200;
  bool promptForPort_ = true;
  TParity parity_ = TParity::pNone;
  uint16_t dataBits_ = 8;
  uint16_t stopBits_ = 1;
  uint16_t inSize_ = 4096;
  uint16_t outSize_ = 4096;
  bool autoOpen_ = true;
  bool open_ = false;
  bool dtr_ = true;
  bool rts_ = true;
  THWFlowOptionSet hwFlowOptions_;
  TSWFlowOptions swFlowOptions_ = TSWFlowOptions::swfNone;
  uint8_t xOnChar_ = 17;
  uint8_t xOffChar_ = 19;
  uint16_t bufferFull_ = 0;
  uint16_t bufferResume_ = 0;
  TTraceLogState tracing_ = TTraceLogState::tlOff;
  uint32_t traceSize_ = 10000;
  std::string traceName_ = "SERIAL.TRC";
  bool traceHex_ = true;
  bool traceAllHex_ = false;
  TTraceLogState logging_ = TTraceLogState::tlOff;
  uint32_t logSize_ = 10000;
  std::string logName_ = "SERIAL.LOG";
  bool logHex_ = true;
  bool logAllHex_ = false;
  bool useEventWord_ = true;
  uint16_t commNotificationLevel_ = 10;
  TTapiMode tapiMode_ = TTapiMode::tmAuto;
  bool rs485Mode_ = false;
  uint16_t availTriggerLength_ = 1;
  uint8_t priorityBoost_ = 0;
  uint16_t tapiCid_ = 0;

  TTriggerEvent onTrigger_;
  TTriggerAvailEvent onTriggerAvail_;
  TTriggerDataEvent onTriggerData_;
  TTriggerStatusEvent onTriggerStatus_;
  TTriggerTimerEvent onTriggerTimer_;
  TTriggerLineErrorEvent onTriggerLineError_;
  TPortNotifyEvent onTriggerModemStatus_;
  TPortNotifyEvent onTriggerOutbuffFree_;
  TPortNotifyEvent onTriggerOutbuffUsed_;
  TPortNotifyEvent onTriggerOutSent_;
  TPortNotifyEvent onDeviceLost_;
  TWaitCharEvent onWaitChar_;
  TPortNotifyEvent onPortOpened_;
  TPortNotifyEvent onPortClosed_;

  TOpenState openState_ = TOpenState::osClosed;
  // False once destruction has begun; a window procedure running an event holds a copy and
  // looks at it after every event, since the event may have destroyed the component.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  // How many of this component's window procedures run on the main thread (events nest when a
  // handler pumps messages): a close asked for while one runs is asked for from inside an event.
  int eventDepth_ = 0;
  // The open handed TapiCid's descriptor to the dispatcher, which closes it at the close.
  bool tapiLineHandedOver_ = false;
  std::unique_ptr<TBaseDispatcher> dispatcher_;
  platform::WindowHandle window_ = 0;
  bool forceApply_ = false;
  bool openAfterLoad_ = false;
  bool reopenPending_ = false;
  bool triggersSaved_ = false;
  TTriggerSave triggerSave_;
  std::vector<TPortUser> portUsers_;
  TDispatcherFactory dispatcherFactory_;
  TBaseDispatcher::TSentBytesHook sentBytesHook_;
};

// The port component as the application uses it: every setting attribute is public.
class TComPort : public TCustomComPort {
 public:
  using TCustomComPort::AutoOpen;
  using TCustomComPort::Baud;
  using TCustomComPort::BufferFull;
  using TCustomComPort::BufferResume;
  using TCustomComPort::CommNotificationLevel;
  using TCustomComPort::ComNumber;
  using TCustomComPort::DataBits;
  using TCustomComPort::DeviceLayer;
  using TCustomComPort::DTR;
  using TCustomComPort::HWFlowOptions;
  using TCustomComPort::InSize;
  using TCustomComPort::LogAllHex;
  using TCustomComPort::Logging;
  using TCustomComPort::LogHex;
  using TCustomComPort::LogName;
  using TCustomComPort::LogSize;
  using TCustomComPort::OnDeviceLost;
  using TCustomComPort::OnTrigger;
  using TCustomComPort::OnTriggerAvail;
  using TCustomComPort::OnTriggerData;
  using TCustomComPort::OnTriggerLineError;
  using TCustomComPort::OnTriggerModemStatus;
  using TCustomComPort::OnTriggerOutbuffFree;
  using TCustomComPort::OnTriggerOutbuffUsed;
  using TCustomComPort::OnTriggerOutSent;
  using TCustomComPort::OnTriggerStatus;
  using TCustomComPort::OnTriggerTimer;
  using TCustomComPort::OnWaitChar;
  using TCustomComPort::Open;
  using TCustomComPort::OutSize;
  using TCustomComPort::Parity;
  using TCustomComPort::PromptForPort;
  using TCustomComPort::RS485Mode;
  using TCustomComPort::RTS;
  using TCustomComPort::SetAutoOpen;
  using TCustomComPort::SetBaud;
  using TCustomComPort::SetBufferFull;
  using TCustomComPort::SetBufferResume;
  using TCustomComPort::SetCommNotificationLevel;
  using TCustomComPort::SetComNumber;
  using TCustomComPort::SetDataBits;
  using TCustomComPort::SetDeviceLayer;
  using TCustomComPort::SetDTR;
  using TCustomComPort::SetHWFlowOptions;
  using TCustomComPort::SetInSize;
  using TCustomComPort::SetLogAllHex;
  using TCustomComPort::SetLogging;
  using TCustomComPort::SetLogHex;
  using TCustomComPort::SetLogName;
  using TCustomComPort::SetLogSize;
  using TCustomComPort::SetOnDeviceLost;
  using TCustomComPort::SetOnTrigger;
  using TCustomComPort::SetOnTriggerAvail;
  using TCustomComPort::SetOnTriggerData;
  using TCustomComPort::SetOnTriggerLineError;
  using TCustomComPort::SetOnTriggerModemStatus;
  using TCustomComPort::SetOnTriggerOutbuffFree;
  using TCustomComPort::SetOnTriggerOutbuffUsed;
  using TCustomComPort::SetOnTriggerOutSent;
  using TCustomComPort::SetOnTriggerStatus;
  using TCustomComPort::SetOnTriggerTimer;
  using TCustomComPort::SetOnWaitChar;
  using TCustomComPort::SetOpen;
  using TCustomComPort::SetOutSize;
  using TCustomComPort::SetParity;
  using TCustomComPort::SetPromptForPort;
  using TCustomComPort::SetRS485Mode;
  using TCustomComPort::SetRTS;
  using TCustomComPort::SetStopBits;
  using TCustomComPort::SetSWFlowOptions;
  using TCustomComPort::SetTapiMode;
  using TCustomComPort::SetTraceAllHex;
  using TCustomComPort::SetTraceHex;
  using TCustomComPort::SetTraceName;
  using TCustomComPort::SetTraceSize;
  using TCustomComPort::SetTracing;
  using TCustomComPort::SetUseEventWord;
  using TCustomComPort::SetUseMSRShadow;
  using TCustomComPort::SetXOffChar;
  using TCustomComPort::SetXOnChar;
  using TCustomComPort::StopBits;
  using TCustomComPort::SWFlowOptions;
  using TCustomComPort::TapiMode;
  using TCustomComPort::TraceAllHex;
  using TCustomComPort::TraceHex;
  using TCustomComPort::TraceName;
  using TCustomComPort::TraceSize;
  using TCustomComPort::Tracing;
  using TCustomComPort::UseEventWord;
  using TCustomComPort::UseMSRShadow;
  using TCustomComPort::XOffChar;
  using TCustomComPort::XOnChar;
};

}  // namespace talyx
