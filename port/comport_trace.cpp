// TCustomComPort's trace and dispatch log controls: the two state machines, sizes and file names.
#include <algorithm>
#include <functional>

#include "errors/commerror.h"
#include "port/comport.h"

namespace talyx {

namespace {

// The dispatcher steps behind one record's states; the trace and the log differ only in these.
struct TraceLogSteps {
  std::function<ErrorCode()> Start;
  std::function<void()> Discard;
  std::function<void()> Resume;
  std::function<void()> Pause;
  std::function<ErrorCode()> Clear;
  std::function<ErrorCode(bool append)> Write;
};

// Moves an open port's record from state to value. Only tlOff, tlOn and tlPause are ever
// stored; tlDump, tlAppend and tlClear are commands that end in one of them. A step that raises
// leaves the state as the steps before it made it.
void ApplyTraceLogState(TTraceLogState& state, TTraceLogState value, const TraceLogSteps& steps,
                        const LoadingState* port) {
  const TTraceLogState current = state;
  switch (value) {
    case TTraceLogState::tlOff:
      if (current == TTraceLogState::tlOff) return;
      steps.Discard();
      state = TTraceLogState::tlOff;
      return;
    case TTraceLogState::tlOn:
      if (current == TTraceLogState::tlPause) {
        steps.Resume();
      } else {
        RaiseIfError(port, steps.Start());
      }
      state = TTraceLogState::tlOn;
      return;
    case TTraceLogState::tlDump:
    case TTraceLogState::tlAppend:
      if (current == TTraceLogState::tlOff) return;
      steps.Resume();
      state = TTraceLogState::tlOn;
      RaiseIfError(port, steps.Write(value == TTraceLogState::tlAppend));
      state = TTraceLogState::tlOff;
      return;
    case TTraceLogState::tlClear:
      if (current == TTraceLogState::tlOff) return;
      RaiseIfError(port, steps.Clear());
      return;
    case TTraceLogState::tlPause:
      if (current != TTraceLogState::tlOn) return;
      steps.Pause();
      state = TTraceLogState::tlPause;
      return;
  }
}

// While the port is not open a state is only a wish: to record from the next open, or not.
TTraceLogState ClosedState(TTraceLogState value) {
  return value == TTraceLogState::tlOn ? TTraceLogState::tlOn : TTraceLogState::tlOff;
}

}  // namespace

void TCustomComPort::SetTracing(TTraceLogState value) {
  if (value == tracing_ && !forceApply_) return;
  TBaseDispatcher* d = OpenDispatcher();
  if (d == nullptr) {
    tracing_ = ClosedState(value);
    return;
  }
  const TraceLogSteps steps{
      [this, d] { return d->TraceOpen(traceSize_); },
      [d] { d->TraceDiscard(); },
      [d] { d->TraceResume(); },
      [d] { d->TracePause(); },
      [d] { return d->TraceClear(); },
      [this, d](bool append) { return d->TraceWrite(traceName_, append, traceHex_, traceAllHex_); },
  };
  ApplyTraceLogState(tracing_, value, steps, this);
}

void TCustomComPort::SetLogging(TTraceLogState value) {
  if (value == logging_ && !forceApply_) return;
  TBaseDispatcher* d = OpenDispatcher();
  if (d == nullptr) {
    logging_ = ClosedState(value);
    return;
  }
  const TraceLogSteps steps{
      [this, d] {
        d->LogOpen(logSize_);
        return ecOK;
      },
      [d] { d->LogDiscard(); },
      [d] { d->LogResume(); },
      [d] { d->LogPause(); },
      [d] {
        d->LogClear();
        return ecOK;
      },
      [this, d](bool append) { return d->LogWrite(logName_, append, logHex_, logAllHex_); },
  };
  ApplyTraceLogState(logging_, value, steps, this);
}

void TCustomComPort::SetTraceSize(uint32_t value) {
  if (value == traceSize_) return;
  traceSize_ = std::min(value, MaxTraceSize);
  // A running trace restarts empty at the new size; a paused one ends (it cannot be resumed
  // into a buffer of another size).
  if (OpenDispatcher() != nullptr &&
      (tracing_ == TTraceLogState::tlOn || tracing_ == TTraceLogState::tlPause)) {
    const TTraceLogState previous = tracing_;
    SetTracing(TTraceLogState::tlOff);
    SetTracing(previous);
  }
}

void TCustomComPort::SetLogSize(uint32_t value) {
  if (value == logSize_) return;
  logSize_ = std::min(value, MaxLogSize);
  if (OpenDispatcher() != nullptr &&
      (logging_ == TTraceLogState::tlOn || logging_ == TTraceLogState::tlPause)) {
    const TTraceLogState previous = logging_;
    SetLogging(TTraceLogState::tlOff);
    SetLogging(previous);
  }
}

void TCustomComPort::SetTraceName(const std::string& value) {
  traceName_ = value.substr(0, MaxFileNameLength);
}

void TCustomComPort::SetLogName(const std::string& value) {
  logName_ = value.substr(0, MaxFileNameLength);
}

}  // namespace talyx
