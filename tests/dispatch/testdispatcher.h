// TTestDispatcher: a dispatcher over FakeSerialDevice for the dispatcher's own tests.
//
// It implements the eighteen device operations over the fake as the device layer does, with no
// worker threads: DeviceWrite copies into the output ring, DeviceErrors counts the bytes in the
// output ring, and DrainOutput stands for the output thread, moving queued bytes into the fake.
// A test plays the dispatch thread by calling ExtractData, HandleDeviceEvent, PollTriggers or
// the checks itself, on its own thread or on one it starts. The dispatcher's protected state is
// made readable for assertions; read it only while no other thread uses the dispatcher.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <string>

#include "dispatch/dispatcher.h"
#include "support/fakeserialdevice.h"

namespace talyx::testing {

class TTestDispatcher : public TBaseDispatcher {
 public:
  TTestDispatcher();
  ~TTestDispatcher() override;

  FakeSerialDevice& Fake() { return *fake_; }

  // Opens the fake at its own settings (9600 8N1), DTR and RTS on, driver queues of 4096.
  ErrorCode OpenDefault(uint32_t outSize = 4096);
  // Feeds bytes to the fake and reads them into the input ring.
  void Receive(const std::string& bytes);
  // Stands for the output thread: writes up to maxBytes of the output ring into the fake and
  // advances the ring by what the fake accepted; the bytes written.
  uint32_t DrainOutput(uint32_t maxBytes = std::numeric_limits<uint32_t>::max());

  // DeviceWrite accepts at most this many bytes of a block (a negative value: returns it and
  // queues nothing).
  void LimitDeviceWrite(int32_t accepted) { writeLimit_ = accepted; }
  // DeviceOpen returns this instead of opening (-8: no signalling objects).
  void FailDeviceOpen(int32_t result) { openResult_ = result; }
  // DeviceSetup fails, recording this platform error number.
  void FailDeviceSetup(int error) { setupError_ = error; }
  int ReadFailedCalls() const { return readFailedCalls_; }
  int StartThreadsCalls() const { return startThreadsCalls_; }
  void SetCurrentEvent(uint32_t events) { CurrentEvent = events; }
  void SetRingSeen() { RingSeen = true; }
  // The clock that stamps each read, in microseconds; set before another thread uses the
  // dispatcher.
  void SetReadClock(std::function<uint64_t()> clock) { ReadClock = std::move(clock); }
  // Pretends the worker threads exist, for the priority operations.
  void PretendThreads(bool present);

  // ---- Device operations ----
  ErrorCode DeviceEscape(int32_t function) override;
  ErrorCode DevicePurge(int32_t queue) override;
  uint32_t DeviceErrors(TComStatus& status) override;
  ErrorCode DeviceReadFailed(uint32_t mask) override;
  ErrorCode DeviceGetState(platform::LineSettings& settings) override;
  int32_t DeviceRead(uint8_t* buffer, uint32_t count) override;
  ErrorCode DeviceSetState(const platform::LineSettings& settings) override;
  int32_t DeviceWrite(const uint8_t* buffer, uint32_t count) override;
  bool DeviceWaitEvent(uint32_t& mask) override;
  bool DeviceSetup(uint32_t inSize, uint32_t outSize) override;
  void StartThreads() override;
  void StopThreads() override;
  int32_t DeviceOpen(const std::string& deviceName, uint32_t inSize, uint32_t outSize) override;
  ErrorCode DeviceClose() override;
  ErrorCode DeviceIdle() override;

  // ---- State for assertions ----
  using TBaseDispatcher::AvailTriggerLength;
  using TBaseDispatcher::ComHandle;
  using TBaseDispatcher::ComThreadPriority;
  using TBaseDispatcher::DeliveryGetCount;
  using TBaseDispatcher::DispThreadPriority;
  using TBaseDispatcher::DTRAuto;
  using TBaseDispatcher::DTRState;
  using TBaseDispatcher::EventDoneSignal;
  using TBaseDispatcher::HandlerServiceNeeded;
  using TBaseDispatcher::InBuffer;
  using TBaseDispatcher::InBufferFull;
  using TBaseDispatcher::InHandler;
  using TBaseDispatcher::InHead;
  using TBaseDispatcher::InTail;
  using TBaseDispatcher::LastAvailPos;
  using TBaseDispatcher::LastBaud;
  using TBaseDispatcher::LastError;
  using TBaseDispatcher::LineSettings;
  using TBaseDispatcher::ModemStatus;
  using TBaseDispatcher::OutBuffer;
  using TBaseDispatcher::OutBufferFull;
  using TBaseDispatcher::OutHead;
  using TBaseDispatcher::OutTail;
  using TBaseDispatcher::OutThreadPriority;
  using TBaseDispatcher::PortHandlerInstalled;
  using TBaseDispatcher::ReadTimes;
  using TBaseDispatcher::RS485Mode;
  using TBaseDispatcher::RTSAuto;
  using TBaseDispatcher::RTSState;
  using TBaseDispatcher::ScanPos;
  using TBaseDispatcher::WndTriggerHandlers;

 private:
  FakeSerialDevice* fake_;  // owned by the base class
  int32_t writeLimit_ = std::numeric_limits<int32_t>::max();
  int32_t openResult_ = 0;
  int setupError_ = 0;
  int readFailedCalls_ = 0;
  int startThreadsCalls_ = 0;
};

}  // namespace talyx::testing
