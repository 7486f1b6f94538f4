// TBaseDispatcher's trace and dispatch-log operations (each takes MainLock and forwards to the
// dispatcher's recorder) and the sent-bytes hook beside them.
#include "dispatch/dispatcher.h"

namespace talyx {

void TBaseDispatcher::SetSentBytesHook(TSentBytesHook hook) {
  auto held = hook ? std::make_shared<const TSentBytesHook>(std::move(hook)) : nullptr;
  const std::lock_guard<std::mutex> guard(sentHookLock_);
  sentHook_ = std::move(held);
}

void TBaseDispatcher::ReportSent(const uint8_t* bytes, size_t count, uint64_t writeUs) {
  std::shared_ptr<const TSentBytesHook> hook;
  {
    const std::lock_guard<std::mutex> guard(sentHookLock_);
    hook = sentHook_;
  }
  if (hook != nullptr) (*hook)(bytes, count, writeUs);
}

ErrorCode TBaseDispatcher::TraceOpen(uint32_t capacity) {
  platform::SectionGuard guard(MainLock);
  const ErrorCode result = Trace.Open(capacity);
  TraceRecording = Trace.Active();
  return result;
}

ErrorCode TBaseDispatcher::TraceClear() {
  platform::SectionGuard guard(MainLock);
  return Trace.Clear();
}

void TBaseDispatcher::TraceDiscard() {
  platform::SectionGuard guard(MainLock);
  Trace.Discard();
  TraceRecording = Trace.Active();
}

void TBaseDispatcher::TraceResume() {
  platform::SectionGuard guard(MainLock);
  Trace.Resume();
  TraceRecording = Trace.Active();
}

void TBaseDispatcher::TracePause() {
  platform::SectionGuard guard(MainLock);
  Trace.Pause();
  TraceRecording = Trace.Active();
}

bool TBaseDispatcher::TraceActive() {
  platform::SectionGuard guard(MainLock);
  return Trace.Active();
}

void TBaseDispatcher::TraceAdd(char kind, uint8_t byte) {
  platform::SectionGuard guard(MainLock);
  Trace.Add(kind, byte);
}

ErrorCode TBaseDispatcher::TraceWrite(const std::string& fileName, bool append, bool inHex,
                                      bool allHex) {
  platform::SectionGuard guard(MainLock);
  const ErrorCode result = Trace.Write(fileName, append, inHex, allHex);
  TraceRecording = Trace.Active();
  return result;
}

void TBaseDispatcher::LogOpen(uint32_t capacity) {
  platform::SectionGuard guard(MainLock);
  Log.Open(capacity);
}

void TBaseDispatcher::LogClear() {
  platform::SectionGuard guard(MainLock);
  Log.Clear();
}

void TBaseDispatcher::LogDiscard() {
  platform::SectionGuard guard(MainLock);
  Log.Discard();
}

void TBaseDispatcher::LogResume() {
  platform::SectionGuard guard(MainLock);
  Log.Resume();
}

void TBaseDispatcher::LogPause() {
  platform::SectionGuard guard(MainLock);
  Log.Pause();
}

bool TBaseDispatcher::LogActive() {
  platform::SectionGuard guard(MainLock);
  return Log.Active();
}

void TBaseDispatcher::LogAdd(uint8_t type, uint8_t subType, uint32_t data, const uint8_t* bytes,
                             uint32_t len) {
  platform::SectionGuard guard(MainLock);
  Log.Add(type, subType, data, bytes, len);
}

ErrorCode TBaseDispatcher::LogWrite(const std::string& fileName, bool append, bool inHex,
                                    bool allHex) {
  platform::SectionGuard guard(MainLock);
  return Log.Write(fileName, append, inHex, allHex, DeviceName);
}

void TBaseDispatcher::AddLogRecord(uint8_t type, uint8_t subType, uint32_t data,
                                   const uint8_t* bytes, uint32_t len) {
  platform::SectionGuard guard(MainLock);
  if (Log.Active()) Log.Add(type, subType, data, bytes, len);
}

void TBaseDispatcher::SetDeviceName(const std::string& name) {
  platform::SectionGuard guard(MainLock);
  DeviceName = name;
}

std::string TBaseDispatcher::GetDeviceName() {
  platform::SectionGuard guard(MainLock);
  return DeviceName;
}

}  // namespace talyx
