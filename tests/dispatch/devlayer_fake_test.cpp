// The device layer over the fake serial device: modem-line and line-error events, line settings,
// partial, refused and stalled writes, the output ring's runs, purges, and threads that fail.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "devlayer_harness.h"
#include "dispatch/handlerfailure.h"
#include "platform/clock.h"
#include "support/ptypair.h"
#include "support/scopedproviders.h"

namespace talyx::testing {
namespace {

template <typename Device>
class DevLayerFakeTestBase : public ::testing::Test {
 protected:
  DevLayerFakeTestBase() {
    auto owned = std::make_unique<Device>();
    fake = owned.get();
    dispatcher = std::make_unique<TProbeDispatcher>(std::move(owned));
  }

  ErrorCode Open(uint32_t outSize = 4096, int32_t baud = 9600, uint8_t parity = 0,
                 uint8_t dataBits = 8, uint8_t stopBits = 1) {
    return dispatcher->OpenPort("fake", baud, parity, dataBits, stopBits, 4096, outSize,
                                loDtrOn | loRtsOn);
  }

  ErrorCode Put(const std::vector<uint8_t>& bytes) {
    return dispatcher->PutBlock(bytes.data(), static_cast<uint32_t>(bytes.size()));
  }

  bool Seen(const WindowRecorder& window, uint32_t msg, int32_t handle) {
    for (const auto& m : window.Messages) {
      if (m.Msg == msg && m.First == static_cast<uint32_t>(handle)) return true;
    }
    return false;
  }

  MainThreadPump pump;
  Device* fake = nullptr;
  std::unique_ptr<TProbeDispatcher> dispatcher;
};

using DevLayerFakeTest = DevLayerFakeTestBase<FakeSerialDevice>;
using DevLayerMeteredTest = DevLayerFakeTestBase<MeteredDevice>;

// ---- Device events ---------------------------------------------------------------------------

TEST_F(DevLayerFakeTest, ModemLineChangeFiresAModemStatusTrigger) {
  ASSERT_EQ(Open(), ecOK);
  EXPECT_EQ(fake->EventMask(), platform::EventMaskNT);
  WindowRecorder window(*dispatcher);
  window.Register();
  const int32_t trigger = dispatcher->AddStatusTrigger(stModem);
  // Watch CTS (high byte) against a reference of "off" (low byte).
  ASSERT_EQ(dispatcher->SetStatusTrigger(trigger, 0x1000, true), ecOK);

  fake->SetModemLines(platform::ModemCts);
  ASSERT_TRUE(pump.Until([&] { return Seen(window, TriggerStatusMsg, trigger); }));
  // CTS is on and marked as changed.
  EXPECT_EQ(dispatcher->GetModemStatus(0xF0) & 0x11, 0x11);
}

TEST_F(DevLayerFakeTest, RingIndicatorTrailingEdgeIsReportedInTheModemStatus) {
  ASSERT_EQ(Open(), ecOK);
  fake->SetModemLines(platform::ModemRi);
  fake->SetModemLines(0);
  EXPECT_TRUE(pump.Until([&] { return (dispatcher->GetModemStatus(0xFF) & 0x04) != 0; }));
}

TEST_F(DevLayerFakeTest, LineErrorsReachTheLineErrorTriggerAndTheErrorCodes) {
  ASSERT_EQ(Open(), ecOK);
  WindowRecorder window(*dispatcher);
  window.Register();
  const int32_t trigger = dispatcher->AddStatusTrigger(stLine);
  ASSERT_EQ(dispatcher->SetStatusTrigger(trigger, leParity, true), ecOK);

  fake->InjectLineErrors(platform::CeRxParity);
  ASSERT_TRUE(pump.Until([&] { return Seen(window, TriggerStatusMsg, trigger); }));
  EXPECT_EQ(dispatcher->LineErrorCode(), 3);

  fake->InjectLineErrors(platform::CeBreak);
  EXPECT_TRUE(pump.Until([&] { return dispatcher->BreakReceived(); }));
}

TEST_F(DevLayerFakeTest, FedBytesArriveThroughTheDeviceEventPath) {
  ASSERT_EQ(Open(), ecOK);
  WindowRecorder window(*dispatcher);
  window.Register();
  dispatcher->SetAvailTriggerLength(1);
  fake->FeedInput("hello");
  EXPECT_TRUE(pump.Until([&] { return window.Received == "hello"; }));
}

TEST_F(DevLayerFakeTest, WhatArrivedBeforeReadUpToIsReadWhileTheThreadGathersAFastStream) {
  ASSERT_EQ(Open(), ecOK);
  WindowRecorder window(*dispatcher);
  window.Register();
  dispatcher->SetAvailTriggerLength(1);

  // 64-byte chunks as a 921600 baud line brings them: the dispatch thread pauses the longest it
  // may between reads, and what arrives meanwhile waits in the driver.
  constexpr size_t kChunk = 64;
  constexpr size_t kChunks = 300;
  std::vector<std::atomic<uint64_t>> fedBy(kChunks);  // the clock once each chunk was in
  std::thread farEnd([&] {
    for (size_t chunk = 0; chunk < kChunks; ++chunk) {
      fake->FeedInput(std::vector<uint8_t>(kChunk, static_cast<uint8_t>(chunk)));
      fedBy[chunk] = platform::MicrosecondClock();
      std::this_thread::sleep_for(std::chrono::microseconds(694));
    }
  });
  size_t lookedPast = 0;  // moments when bytes in the driver before ReadUpTo were not yet read
  const bool complete = pump.Until(
      [&] {
        const uint64_t readUpTo = dispatcher->ReadUpTo();
        const size_t read = window.Received.size() + dispatcher->InBuffUsed();
        size_t chunks = 0;
        while (chunks < kChunks && fedBy[chunks] != 0 && fedBy[chunks] < readUpTo) ++chunks;
        if (chunks * kChunk > read) ++lookedPast;
        return window.Received.size() >= kChunk * kChunks;
      },
      20000);
  farEnd.join();

  ASSERT_TRUE(complete) << "received " << window.Received.size();
  EXPECT_EQ(lookedPast, 0u);
  EXPECT_TRUE(pump.Until([&] { return dispatcher->ReadUpTo() > fedBy[kChunks - 1]; }));
}

// ---- Line settings ---------------------------------------------------------------------------

TEST_F(DevLayerFakeTest, ParityDataBitsAndStopBitsReachTheDevice) {
  ASSERT_EQ(Open(4096, 19200, 2, 7, 2), ecOK);
  platform::LineSettings stored = fake->StoredSettings();
  EXPECT_EQ(stored.BaudRate, 19200u);
  EXPECT_EQ(stored.Parity, 2);
  EXPECT_EQ(stored.ByteSize, 7);
  EXPECT_EQ(stored.StopBits, platform::TwoStopBits);

  // Five data bits go with one and a half stop bits.
  ASSERT_EQ(dispatcher->SetLine(0, 1, 5, 3), ecOK);
  stored = fake->StoredSettings();
  EXPECT_EQ(stored.Parity, 1);
  EXPECT_EQ(stored.ByteSize, 5);
  EXPECT_EQ(stored.StopBits, platform::One5StopBits);

  // What the driver reports back is what GetLine tells.
  fake->ForceSettings([](platform::LineSettings& s) { s.Parity = 0; });
  int32_t baud = 0;
  uint8_t parity = 9, dataBits = 0, stopBits = 0;
  dispatcher->GetLine(baud, parity, dataBits, stopBits);
  EXPECT_EQ(parity, 0);
  EXPECT_EQ(dataBits, 5);
}

TEST_F(DevLayerFakeTest, RefusedLineSettingsReturnTheNegatedPlatformError) {
  ASSERT_EQ(Open(), ecOK);
  fake->FailSetState(FakeSerialDevice::InvalidArgument);
  EXPECT_EQ(dispatcher->SetLine(38400, 0, 8, 1), -FakeSerialDevice::InvalidArgument);
}

TEST_F(DevLayerFakeTest, DtrAndRtsFollowTheDispatcher) {
  ASSERT_EQ(Open(), ecOK);
  EXPECT_TRUE(fake->Dtr());
  EXPECT_TRUE(fake->Rts());
  EXPECT_EQ(dispatcher->SetDTR(false), ecOK);
  EXPECT_FALSE(fake->Dtr());
  // A failing escape is not the dispatcher's failure: the device may lack the line.
  fake->FailEscapes(FakeSerialDevice::InvalidArgument);
  EXPECT_EQ(dispatcher->SetRTS(false), ecOK);
}

// ---- Output ----------------------------------------------------------------------------------

TEST_F(DevLayerFakeTest, PartialWritesDeliverEveryByteInOrder) {
  ASSERT_EQ(Open(), ecOK);
  fake->SetWriteLimit(7);
  const std::vector<uint8_t> data = PseudoRandomBytes(1000, 21);
  ASSERT_EQ(Put(data), ecOK);
  ASSERT_TRUE(pump.Until([&] { return dispatcher->OutBuffUsed() == 0; }));
  EXPECT_TRUE(fake->Output() == data);
  EXPECT_GE(fake->Counts().Write, 143);
}

TEST_F(DevLayerFakeTest, AFailingWriteDropsItsRun) {
  ASSERT_EQ(Open(), ecOK);
  fake->FailWrites(5);
  ASSERT_EQ(Put({1, 2, 3, 4}), ecOK);
  ASSERT_TRUE(pump.Until([&] { return dispatcher->OutBuffUsed() == 0; }));
  EXPECT_TRUE(fake->Output().empty());

  fake->FailWrites(0);
  ASSERT_EQ(Put({5, 6}), ecOK);
  ASSERT_TRUE(pump.Until([&] { return dispatcher->OutBuffUsed() == 0; }));
  EXPECT_EQ(fake->Output(), (std::vector<uint8_t>{5, 6}));
}

// The sent-bytes hook is told what each write handed to the device, in order, on the output
// thread and with non-decreasing times; a failing write's dropped bytes are not told.
TEST_F(DevLayerFakeTest, SentBytesHookSeesEveryWrittenRunInOrder) {
  std::mutex lock;
  std::vector<uint8_t> told;
  std::vector<uint64_t> times;
  bool onOutputThreadOnly = true;
  const std::thread::id main = std::this_thread::get_id();
  dispatcher->SetSentBytesHook([&](const uint8_t* bytes, size_t count, uint64_t writeUs) {
    const std::lock_guard<std::mutex> guard(lock);
    told.insert(told.end(), bytes, bytes + count);
    times.push_back(writeUs);
    if (std::this_thread::get_id() == main || count > 7) onOutputThreadOnly = false;
  });
  ASSERT_EQ(Open(), ecOK);
  fake->FailWrites(5);
  ASSERT_EQ(Put({1, 2, 3, 4}), ecOK);
  ASSERT_TRUE(pump.Until([&] { return dispatcher->OutBuffUsed() == 0; }));
  fake->FailWrites(0);
  fake->SetWriteLimit(7);
  const std::vector<uint8_t> data = PseudoRandomBytes(300, 5);
  ASSERT_EQ(Put(data), ecOK);
  ASSERT_TRUE(pump.Until([&] { return dispatcher->OutBuffUsed() == 0; }));
  dispatcher->SetSentBytesHook(nullptr);

  const std::lock_guard<std::mutex> guard(lock);
  EXPECT_EQ(told, data);
  EXPECT_GE(times.size(), 43u);
  EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));
  EXPECT_TRUE(onOutputThreadOnly);
}

TEST_F(DevLayerFakeTest, StalledDrainGivesWayToPurgeAndClose) {
  ASSERT_EQ(Open(), ecOK);
  fake->StallDrain();
  ASSERT_EQ(Put(PseudoRandomBytes(300, 8)), ecOK);
  EXPECT_EQ(dispatcher->OutBuffUsed(), 300u);

  EXPECT_EQ(dispatcher->FlushOutBuffer(), ecOK);
  EXPECT_EQ(dispatcher->OutBuffUsed(), 0u);
  EXPECT_EQ(fake->Counts().PurgeOutput, 1);

  ASSERT_EQ(Put(PseudoRandomBytes(50, 9)), ecOK);
  const auto start = std::chrono::steady_clock::now();
  dispatcher->ClosePort();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_FALSE(dispatcher->ThreadsRunning());
  EXPECT_TRUE(fake->Output().empty());
}

// A wrapped ring, and a full one whose data starts in the middle, are each written in one run.
TEST_F(DevLayerMeteredTest, WrappedRingsAreWrittenAsOneRun) {
  ASSERT_EQ(Open(100), ecOK);
  const std::vector<uint8_t> a = PseudoRandomBytes(100, 31);
  const std::vector<uint8_t> b = PseudoRandomBytes(50, 32);

  // Full ring, then half of it written: 50 bytes wait at positions 50..99.
  ASSERT_EQ(Put(a), ecOK);
  fake->Allow(50);
  ASSERT_TRUE(pump.Until([&] { return dispatcher->OutBuffUsed() == 50; }));
  // Bytes handed to the device no longer count as waiting; the ring's free room is refilled.
  ASSERT_EQ(Put(b), ecOK);
  TProbeDispatcher::OutRingState ring = dispatcher->OutRing();
  EXPECT_EQ(ring.Head, 50u);
  EXPECT_EQ(ring.Tail, 50u);
  EXPECT_TRUE(ring.Full);

  // Exactly what waits: the device takes nothing more afterwards.
  fake->Allow(100);
  ASSERT_TRUE(pump.Until([&] { return dispatcher->OutBuffUsed() == 0; }));
  EXPECT_EQ(fake->WriteSizes(), (std::vector<size_t>{50, 100}));
  std::vector<uint8_t> expected = a;
  expected.insert(expected.end(), b.begin(), b.end());
  EXPECT_TRUE(fake->Output() == expected);
  ring = dispatcher->OutRing();
  EXPECT_EQ(ring.Head, 0u);
  EXPECT_EQ(ring.Tail, 0u);
  EXPECT_FALSE(ring.Full);

  // A block that crosses the end of the ring is split, and the wrapped run is one write again.
  const std::vector<uint8_t> c = PseudoRandomBytes(80, 33);
  const std::vector<uint8_t> d = PseudoRandomBytes(40, 34);
  ASSERT_EQ(Put(c), ecOK);
  fake->Allow(30);
  ASSERT_TRUE(pump.Until([&] { return dispatcher->OutBuffUsed() == 50; }));
  ASSERT_EQ(Put(d), ecOK);
  ring = dispatcher->OutRing();
  EXPECT_EQ(ring.Head, 20u);
  EXPECT_EQ(ring.Tail, 30u);
  fake->Allow(90);
  ASSERT_TRUE(pump.Until([&] { return dispatcher->OutBuffUsed() == 0; }));
  EXPECT_EQ(fake->WriteSizes(), (std::vector<size_t>{50, 100, 30, 90}));
  expected.insert(expected.end(), c.begin(), c.end());
  expected.insert(expected.end(), d.begin(), d.end());
  EXPECT_TRUE(fake->Output() == expected);
}

// A device whose write blocks until the test lets it finish: the output thread is inside a
// write for as long as the test wants.
class GatedDevice : public FakeSerialDevice {
 public:
  platform::WriteOutcome Write(const uint8_t* data, size_t count) override {
    {
      std::unique_lock lock(gateMutex_);
      inside_ = true;
      gateChanged_.notify_all();
      gateChanged_.wait(lock, [this] { return gateOpen_; });
    }
    const platform::WriteOutcome outcome = FakeSerialDevice::Write(data, count);
    writeEnded_ = true;
    return outcome;
  }
  bool Inside() {
    std::lock_guard lock(gateMutex_);
    return inside_;
  }
  void OpenGate() {
    std::lock_guard lock(gateMutex_);
    gateOpen_ = true;
    gateChanged_.notify_all();
  }
  std::atomic<bool> writeEnded_{false};

 private:
  std::mutex gateMutex_;
  std::condition_variable gateChanged_;
  bool inside_ = false;
  bool gateOpen_ = false;
};

using DevLayerGatedTest = DevLayerFakeTestBase<GatedDevice>;

TEST_F(DevLayerGatedTest, PurgeReturnsOnlyAfterTheOutputThreadLeftItsWrite) {
  ASSERT_EQ(Open(), ecOK);
  ASSERT_EQ(Put(PseudoRandomBytes(64, 41)), ecOK);
  ASSERT_TRUE(pump.Until([&] { return fake->Inside(); }));

  std::atomic<bool> purged{false};
  std::atomic<bool> writeEndedAtPurge{false};
  std::thread purger([&] {
    dispatcher->FlushOutBuffer();
    writeEndedAtPurge = fake->writeEnded_.load();
    purged = true;
  });
  // A purge that did not wait for the write would return meanwhile.
  pump.Until([&] { return purged.load(); }, 300);
  fake->OpenGate();
  ASSERT_TRUE(pump.Until([&] { return purged.load(); }));
  purger.join();

  EXPECT_TRUE(writeEndedAtPurge);
  EXPECT_EQ(dispatcher->OutBuffUsed(), 0u);
  // The write that ended after the purge decided nothing about the purged ring's indices.
  const TProbeDispatcher::OutRingState ring = dispatcher->OutRing();
  EXPECT_EQ(ring.Head, 0u);
  EXPECT_EQ(ring.Tail, 0u);

  fake->TakeOutput();
  ASSERT_EQ(Put({7, 8, 9}), ecOK);
  ASSERT_TRUE(pump.Until([&] { return dispatcher->OutBuffUsed() == 0; }));
  EXPECT_EQ(fake->Output(), (std::vector<uint8_t>{7, 8, 9}));
}

// A device that takes a few bytes from every write and never refuses one, at about 4 bytes a
// millisecond.
class TricklingDevice : public FakeSerialDevice {
 public:
  platform::WriteOutcome Write(const uint8_t* data, size_t count) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return FakeSerialDevice::Write(data, std::min<size_t>(count, 4));
  }
};

using DevLayerTricklingTest = DevLayerFakeTestBase<TricklingDevice>;

TEST_F(DevLayerTricklingTest, PurgeOfADeviceThatNeverRefusesEndsWithoutDrainingTheRing) {
  ASSERT_EQ(Open(), ecOK);
  const std::vector<uint8_t> queued = PseudoRandomBytes(4000, 43);
  ASSERT_EQ(Put(queued), ecOK);
  ASSERT_TRUE(pump.Until([&] { return !fake->Output().empty(); }));
  EXPECT_EQ(dispatcher->FlushOutBuffer(), ecOK);
  std::vector<uint8_t> expected = fake->Output();
  EXPECT_LT(expected.size(), queued.size());

  // Nothing queued before the purge is written after it: a block queued now comes right behind.
  ASSERT_EQ(Put({7, 8, 9}), ecOK);
  expected.insert(expected.end(), {7, 8, 9});
  ASSERT_TRUE(pump.Until([&] { return fake->Output().size() >= expected.size(); }));
  EXPECT_EQ(fake->Output(), expected);
}

// ---- Threads ---------------------------------------------------------------------------------

std::atomic<int> mainCallsSeen{0};
std::thread::id mainCallThread;
uint32_t mainCallValues[3];

struct MainCallTarget {
  void Handle(uint32_t msg, platform::WParam trigger, platform::LParam data) {
    mainCallThread = std::this_thread::get_id();
    mainCallValues[0] = msg;
    mainCallValues[1] = trigger;
    mainCallValues[2] = static_cast<uint32_t>(data);
    ++mainCallsSeen;
  }
};
MainCallTarget mainCallTarget;

void ForwardToMainThread(uint32_t msg, platform::WParam first, platform::LParam) {
  TDispatcherThread* thread = TDispatcherThread::Current();
  if (msg != TriggerAvailMsg || thread == nullptr) return;
  thread->CallInMainThread(msg, first, 77,
                           MakeTriggerMethod<&MainCallTarget::Handle>(&mainCallTarget));
}

TEST_F(DevLayerFakeTest, DispatchThreadRunsAStoredCallInTheMainThread) {
  ASSERT_EQ(Open(), ecOK);
  mainCallsSeen = 0;
  ASSERT_EQ(dispatcher->RegisterProcTriggerHandler(&ForwardToMainThread), ecOK);
  dispatcher->SetAvailTriggerLength(1);
  fake->FeedInput("ab");
  ASSERT_TRUE(pump.Until([] { return mainCallsSeen > 0; }));
  EXPECT_EQ(mainCallThread, std::this_thread::get_id());
  EXPECT_EQ(mainCallValues[0], TriggerAvailMsg);
  EXPECT_EQ(mainCallValues[1], 2u);
  EXPECT_EQ(mainCallValues[2], 77u);
}

void ThrowingHandler(uint32_t, platform::WParam, platform::LParam) {
  throw std::runtime_error("handler failed");
}

// Event handlers that throw something that is not a std::exception.
struct ThrowingMethods {
  std::atomic<int> Calls{0};
  void Throw(uint32_t, platform::WParam, platform::LParam) {
    ++Calls;
    throw 42;
  }
};

TEST_F(DevLayerFakeTest, HandlersThatThrowAreShownOnTheMainThreadAndDeliveryGoesOn) {
  struct Shown {
    std::string Text;
    bool OnMainThread;
  };
  std::vector<Shown> shown;  // main thread only
  struct HookScope {
    HandlerFailureHook previous;
    ~HookScope() { SetHandlerFailureHook(std::move(previous)); }
  } hook{SetHandlerFailureHook([&](std::exception_ptr failure) {
    shown.push_back({FailureText(failure), platform::IsMainThread()});
  })};
  ThrowingMethods inMain, inDispatch;
  ASSERT_EQ(Open(), ecOK);
  ASSERT_EQ(dispatcher->RegisterEventTriggerHandler(
                MakeTriggerMethod<&ThrowingMethods::Throw>(&inMain), true),
            ecOK);
  ASSERT_EQ(dispatcher->RegisterEventTriggerHandler(
                MakeTriggerMethod<&ThrowingMethods::Throw>(&inDispatch), false),
            ecOK);
  ASSERT_EQ(dispatcher->RegisterProcTriggerHandler(&ThrowingHandler), ecOK);
  WindowRecorder window(*dispatcher);
  window.Register();
  dispatcher->SetAvailTriggerLength(1);

  // Every handler keeps being served, the window after the three that throw, turn after turn.
  fake->FeedInput("x");
  ASSERT_TRUE(pump.Until([&] { return window.Received == "x" && shown.size() >= 3; }));
  fake->FeedInput("y");
  ASSERT_TRUE(pump.Until([&] { return window.Received == "xy" && shown.size() >= 6; }));
  EXPECT_GE(inMain.Calls, 2);
  EXPECT_GE(inDispatch.Calls, 2);
  EXPECT_TRUE(dispatcher->DispThreadRunning());
  for (const Shown& failure : shown) EXPECT_TRUE(failure.OnMainThread) << failure.Text;
  const auto count = [&](const std::string& text) {
    return std::count_if(shown.begin(), shown.end(),
                         [&](const Shown& s) { return s.Text == text; });
  };
  EXPECT_GE(count("handler failed"), 2);
  EXPECT_GE(count("A handler failed with an exception of unknown type"), 4);

  // A delivery may be under way on the dispatch thread: the close may end when it ends.
  dispatcher->ClosePort();
  EXPECT_TRUE(pump.Until([&] { return dispatcher->ThreadsCounted() == 0; }));
}

TEST_F(DevLayerFakeTest, ADeviceWaitThatFailsEndsOnlyTheDeviceEventThread) {
  ASSERT_EQ(Open(), ecOK);
  // Closing the device underneath the dispatcher makes the event wait fail.
  fake->Close();
  ASSERT_TRUE(pump.Until([&] { return !dispatcher->ComThreadRunning(); }));
  EXPECT_TRUE(dispatcher->DispThreadRunning());
  EXPECT_TRUE(dispatcher->OutThreadRunning());
  dispatcher->ClosePort();
  EXPECT_FALSE(dispatcher->ThreadsRunning());
}

// A device whose event wait fails from the start: the device-event thread ends at once, while
// the other two are still being started.
class GoneDevice : public FakeSerialDevice {
 public:
  bool WaitEvent(uint32_t& events) override {
    events = 0;
    return false;
  }
};

using DevLayerGoneTest = DevLayerFakeTestBase<GoneDevice>;

TEST_F(DevLayerGoneTest, AThreadEndingDuringStartLeavesTheSetRunningAndStoppable) {
  ASSERT_EQ(Open(), ecOK);
  ASSERT_TRUE(pump.Until([&] { return dispatcher->ThreadsCounted() == 2; }));
  EXPECT_TRUE(dispatcher->ThreadsRunning());
  EXPECT_FALSE(dispatcher->ComThreadRunning());
  EXPECT_TRUE(dispatcher->DispThreadRunning());
  EXPECT_TRUE(dispatcher->OutThreadRunning());
  dispatcher->ClosePort();
  EXPECT_FALSE(dispatcher->ThreadsRunning());
  EXPECT_EQ(dispatcher->ThreadsCounted(), 0);
}

TEST_F(DevLayerFakeTest, FailedOpenStartsNoThread) {
  fake->FailOpen(5);
  EXPECT_EQ(Open(), -5);
  EXPECT_FALSE(dispatcher->ThreadsRunning());
  EXPECT_EQ(dispatcher->ThreadsCounted(), 0);
}

// ---- Devices from the provider registry -----------------------------------------------------

// Claims the values "fake://..." and hands out its one fake device, opened on the value.
class OneFakeProvider : public platform::DeviceProvider {
 public:
  bool Claims(const std::string& value) const override { return value.rfind("fake://", 0) == 0; }
  int Open(const std::string& value, std::unique_ptr<platform::SerialDevice>& device) override {
    if (owned_ == nullptr) return 5;
    if (const int err = owned_->Open(value)) return err;
    device = std::move(owned_);
    return 0;
  }

  // The device it hands out; from then on the dispatcher that opened it owns it.
  FakeSerialDevice& Fake() const { return *fake_; }

 private:
  std::unique_ptr<FakeSerialDevice> owned_ = std::make_unique<FakeSerialDevice>();
  FakeSerialDevice* const fake_ = owned_.get();
};

TEST(DevLayerProviderTest, DispatcherRunsOnTheDeviceTheRegistryOpensForTheName) {
  PtyPair pty;
  ASSERT_TRUE(pty.Valid());
  auto provider = std::make_shared<OneFakeProvider>();
  ScopedDeviceProviders providers{{provider}};
  MainThreadPump pump;
  TProbeDispatcher dispatcher;
  // No provider here claims a path, so even an existing terminal is no device.
  EXPECT_EQ(dispatcher.OpenPort(pty.SlavePath(), 9600, 0, 8, 1, 4096, 4096, 0), -2);

  ASSERT_EQ(dispatcher.OpenPort("fake://line", 9600, 0, 8, 1, 4096, 4096, 0), ecOK);
  EXPECT_EQ(provider->Fake().OpenedPath(), "fake://line");
  const std::vector<uint8_t> bytes = {'o', 'u', 't'};
  ASSERT_EQ(dispatcher.PutBlock(bytes.data(), 3), ecOK);
  EXPECT_TRUE(pump.Until([&] { return provider->Fake().Output() == bytes; }));
  WindowRecorder window(dispatcher);
  window.Register();
  dispatcher.SetAvailTriggerLength(1);
  provider->Fake().FeedInput("in");
  EXPECT_TRUE(pump.Until([&] { return window.Received == "in"; }));
}

}  // namespace
}  // namespace talyx::testing
