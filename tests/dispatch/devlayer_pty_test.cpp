// The device layer end to end over pseudo-terminal pairs: the test plays the far end on the
// master and the main thread by pumping its queue.
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "devlayer_harness.h"
#include "dispatch/dispatcherthreads.h"
#include "errors/exception.h"
#include "platform/clock.h"
#include "platform/termiosserialdevice.h"
#include "support/ptypair.h"
#include "support/scopedproviders.h"

namespace talyx::testing {
namespace {

std::string Text(const std::vector<uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

std::string ReadWholeFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

class DevLayerPtyTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(pty.Valid()); }

  ErrorCode Open(uint32_t outSize = 4096) {
    return dispatcher->OpenPort(pty.SlavePath(), 115200, 0, 8, 1, 4096, outSize, loDtrOn | loRtsOn);
  }

  ErrorCode Put(const std::vector<uint8_t>& bytes) {
    return dispatcher->PutBlock(bytes.data(), static_cast<uint32_t>(bytes.size()));
  }

  ScopedDeviceProviders providers{TermiosProviderOnly()};
  MainThreadPump pump;
  PtyPair pty;
  std::unique_ptr<TProbeDispatcher> dispatcher = std::make_unique<TProbeDispatcher>();
};

// ---- Receiving ------------------------------------------------------------------------------

TEST_F(DevLayerPtyTest, ReceivedBytesReachTheWindowHandlerInOrder) {
  ASSERT_EQ(Open(), ecOK);
  WindowRecorder window(*dispatcher);
  window.Register();
  dispatcher->SetAvailTriggerLength(1);

  const std::vector<uint8_t> sent = PseudoRandomBytes(200000, 7);
  std::atomic<bool> sendOk{false};
  std::thread farEnd([&] { sendOk = pty.Send(sent); });
  const bool complete = pump.Until([&] { return window.Received.size() >= sent.size(); }, 20000);
  farEnd.join();

  ASSERT_TRUE(complete) << "received " << window.Received.size() << " of " << sent.size();
  EXPECT_TRUE(sendOk);
  EXPECT_EQ(window.Received, Text(sent));
  for (const auto& message : window.Messages) {
    ASSERT_EQ(message.Msg, TriggerAvailMsg);
    EXPECT_EQ(message.Bytes.size(), message.First);
    EXPECT_EQ(static_cast<uint32_t>(message.Second) >> 16,
              static_cast<uint32_t>(dispatcher->Handle));
  }
}

TEST_F(DevLayerPtyTest, AStreamOfSmallChunksIsOfferedSeveralChunksAtATime) {
  ASSERT_EQ(Open(), ecOK);
  WindowRecorder window(*dispatcher);
  window.Register();
  dispatcher->SetAvailTriggerLength(1);

  // 64-byte chunks about 0.1 ms apart, as a fast line brings them: offered one by one, each
  // would cost a hand-off to the main thread and back.
  constexpr size_t kChunk = 64;
  constexpr size_t kChunks = 2000;
  const std::vector<uint8_t> sent = PseudoRandomBytes(kChunk * kChunks, 11);
  std::atomic<bool> sendOk{true};
  std::thread farEnd([&] {
    for (auto at = sent.begin(); at != sent.end(); at += kChunk) {
      if (!pty.Send(std::vector<uint8_t>(at, at + kChunk))) sendOk = false;
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
  });
  const bool complete = pump.Until([&] { return window.Received.size() >= sent.size(); }, 20000);
  farEnd.join();

  ASSERT_TRUE(complete) << "received " << window.Received.size() << " of " << sent.size();
  EXPECT_TRUE(sendOk);
  EXPECT_EQ(window.Received, Text(sent));
  EXPECT_LE(window.Messages.size(), kChunks / 3);
}

TEST(DispatchGatherTest, OnlyAFastStreamOfSmallReadsWaitsAndNeverLongerThanTheBound) {
  using std::chrono::microseconds;
  auto pause = [](uint64_t bytes, uint64_t runBytes, int64_t sinceRunStartUs) {
    return TDispThread::GatherPause(bytes, runBytes, microseconds(sinceRunStartUs)).count();
  };
  // 300 KB/s in 64-byte chunks: the time the target takes at the run's rate.
  EXPECT_EQ(pause(64, 600, 2000), 10240);
  EXPECT_EQ(pause(512, 5120, 1000), 600);
  // 921600 baud: that time is longer than the bound, two display frames.
  EXPECT_EQ(pause(64, 92, 1000), 32000);
  // A 115200 baud reply read byte by byte as it trickles in, a few bytes handed over at once
  // early in a run, a run too young to tell its rate, a read that brought the target already,
  // and no read at all go on at once.
  EXPECT_EQ(pause(1, 12, 1040), 0);
  EXPECT_EQ(pause(7, 9, 139), 0);
  EXPECT_EQ(pause(64, 640, 999), 0);
  EXPECT_EQ(pause(3072, 6144, 2000), 0);
  EXPECT_EQ(pause(0, 600, 2000), 0);
  // Exactly the gathering rate gathers; a clock that went back counts as no time.
  EXPECT_EQ(pause(64, 64, 2000), 32000);
  EXPECT_EQ(pause(31, 31, 1000), 0);
  EXPECT_EQ(pause(64, 64, -5), 0);
}

TEST_F(DevLayerPtyTest, DispatchLoopExampleOffersBytesAroundADataTrigger) {
  ASSERT_EQ(Open(), ecOK);
  WindowRecorder window(*dispatcher);
  window.Register();
  dispatcher->SetAvailTriggerLength(1);
  const uint8_t ok[] = {'O', 'K'};
  const int32_t trigger = dispatcher->AddDataTrigger(ok, 2, false);
  ASSERT_GT(trigger, 0);

  ASSERT_TRUE(pty.Send("xyOK"));
  ASSERT_TRUE(pump.Until([&] { return window.Received.size() == 4; }));

  ASSERT_EQ(window.Messages.size(), 3u);
  EXPECT_EQ(window.Messages[0].Msg, TriggerAvailMsg);
  EXPECT_EQ(window.Messages[0].First, 2u);
  EXPECT_EQ(window.Messages[0].Bytes, "xy");
  EXPECT_EQ(window.Messages[1].Msg, TriggerDataMsg);
  EXPECT_EQ(window.Messages[1].First, static_cast<uint32_t>(trigger));
  EXPECT_EQ(window.Messages[1].Second & 0xFFFF, 2);
  EXPECT_EQ(window.Messages[2].Msg, TriggerAvailMsg);
  EXPECT_EQ(window.Messages[2].Bytes, "OK");
}

TEST_F(DevLayerPtyTest, TimerAndStatusTriggersFireWithoutDeviceEvents) {
  ASSERT_EQ(Open(), ecOK);
  WindowRecorder window(*dispatcher);
  window.Register();
  const int32_t timer = dispatcher->AddTimerTrigger();
  const int32_t status = dispatcher->AddStatusTrigger(stOutBuffFree);
  ASSERT_GT(timer, 0);
  ASSERT_GT(status, 0);

  constexpr int32_t ticks = 3;
  const uint32_t start = platform::MillisecondClock();
  ASSERT_EQ(dispatcher->SetTimerTrigger(timer, ticks, true), ecOK);
  ASSERT_EQ(dispatcher->SetStatusTrigger(status, 100, true), ecOK);
  uint32_t timerFiredAfter = 0;
  window.Then = [&](const WindowRecorder::Message& message) {
    if (message.Msg == TriggerTimerMsg) timerFiredAfter = platform::MillisecondClock() - start;
  };

  const auto seen = [&](uint32_t msg, int32_t handle) {
    return std::any_of(window.Messages.begin(), window.Messages.end(), [&](const auto& m) {
      return m.Msg == msg && m.First == static_cast<uint32_t>(handle);
    });
  };
  ASSERT_TRUE(
      pump.Until([&] { return seen(TriggerTimerMsg, timer) && seen(TriggerStatusMsg, status); }));
  // The timer runs out once the tick count passes ExpireTick: after at least three whole ticks.
  EXPECT_GE(timerFiredAfter, static_cast<uint32_t>(ticks * TickMs - 1));
  const auto statusMessage = std::find_if(window.Messages.begin(), window.Messages.end(),
                                          [](const auto& m) { return m.Msg == TriggerStatusMsg; });
  EXPECT_EQ(statusMessage->Second & 0xFFFF, 4096);  // the free room of the empty output ring
}

// The recorders are filled from the dispatch thread (reads, triggers) and from the main thread
// (GetChar in the handler, PutBlock) while the output thread writes: both files show all of it.
TEST_F(DevLayerPtyTest, TraceAndLogRecordWhatTheWorkerThreadsMoved) {
  ASSERT_EQ(Open(), ecOK);
  WindowRecorder window(*dispatcher);
  window.Register();
  dispatcher->LogOpen(1 << 16);
  ASSERT_EQ(dispatcher->TraceOpen(10000), ecOK);
  dispatcher->SetAvailTriggerLength(1);

  const std::vector<uint8_t> sent = PseudoRandomBytes(3000, 9);
  std::thread farEnd([&] { EXPECT_TRUE(pty.Send(sent)); });
  ASSERT_EQ(Put({'A', 'T', '\r'}), ecOK);
  EXPECT_EQ(Text(pty.Receive(3)), "AT\r");
  ASSERT_TRUE(pump.Until([&] { return window.Received.size() >= sent.size(); }));
  farEnd.join();

  const std::string tracePath = ::testing::TempDir() + "/devlayer_recorders.trc";
  const std::string logPath = ::testing::TempDir() + "/devlayer_recorders.log";
  ASSERT_EQ(dispatcher->TraceWrite(tracePath, false, true, true), ecOK);
  ASSERT_EQ(dispatcher->LogWrite(logPath, false, true, true), ecOK);
  const std::string trace = ReadWholeFile(tracePath);
  const std::string log = ReadWholeFile(logPath);
  EXPECT_NE(trace.find("Transmit: \r\n[41][54][0D]"), std::string::npos) << trace;
  EXPECT_NE(trace.find("Receive: "), std::string::npos) << trace;
  EXPECT_NE(log.find("ReadCom"), std::string::npos) << log;
  EXPECT_NE(log.find("WriteCom"), std::string::npos) << log;
  EXPECT_NE(log.find("Avail"), std::string::npos) << log;
}

// ---- Offers that did not reach the window ---------------------------------------------------

TEST_F(DevLayerPtyTest, BytesWaitingAtOpenThatFillTheRingAllArriveOnceTheWindowRegisters) {
  const std::vector<uint8_t> sent = PseudoRandomBytes(20000, 51);
  size_t early = 0;  // what the pseudo-terminal takes before the port opens
  while (early < sent.size()) {
    const ssize_t n = write(pty.Master(), sent.data() + early, sent.size() - early);
    if (n <= 0) break;
    early += static_cast<size_t>(n);
  }
  ASSERT_GT(early, InBufferSize);
  ASSERT_EQ(Open(), ecOK);
  dispatcher->SetAvailTriggerLength(1);
  // As with the port component, the window registers after the open: the ring is full by then.
  ASSERT_TRUE(pump.Until([&] { return dispatcher->InBuffUsed() == InBufferSize; }));
  WindowRecorder window(*dispatcher);
  window.Register();

  std::atomic<bool> restSent{false};
  std::thread farEnd([&] {
    restSent = pty.Send(std::vector<uint8_t>(sent.begin() + static_cast<long>(early), sent.end()));
  });
  const bool complete = pump.Until([&] { return window.Received.size() >= sent.size(); });
  farEnd.join();
  ASSERT_TRUE(complete) << "received " << window.Received.size() << " of " << sent.size();
  EXPECT_TRUE(restSent);
  EXPECT_EQ(window.Received, Text(sent));
}

TEST_F(DevLayerPtyTest, MainThreadBusyForLongerThanTwoSendLimitsWhileBytesStreamLosesNothing) {
  dispatcher->LimitWindowSends(100);
  ASSERT_EQ(Open(), ecOK);
  WindowRecorder window(*dispatcher);
  window.Register();
  dispatcher->SetAvailTriggerLength(1);

  const std::vector<uint8_t> sent = PseudoRandomBytes(60000, 52);
  std::atomic<bool> sendOk{false};
  std::thread farEnd([&] { sendOk = pty.Send(sent); });
  ASSERT_TRUE(pump.Until([&] { return !window.Received.empty(); }));
  // The main thread is busy: the offers made meanwhile run out of time and are withdrawn, the
  // last of them with a full ring.
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  const bool complete = pump.Until([&] { return window.Received.size() >= sent.size(); });
  farEnd.join();
  ASSERT_TRUE(complete) << "received " << window.Received.size() << " of " << sent.size();
  EXPECT_TRUE(sendOk);
  EXPECT_EQ(window.Received, Text(sent));
}

TEST_F(DevLayerPtyTest, AReplyOfferedWhileTheMainThreadIsBusyArrivesWithoutFurtherInput) {
  dispatcher->LimitWindowSends(200);
  ASSERT_EQ(Open(), ecOK);
  WindowRecorder window(*dispatcher);
  window.Register();
  dispatcher->SetAvailTriggerLength(1);

  const std::vector<uint8_t> reply = {0x01, 0x03, 0x04, 0x00, 0x0A, 0x00, 0x14, 0xDA, 0x3E};
  ASSERT_TRUE(pty.Send(reply));
  // Busy for longer than one send limit and shorter than two: the first offer is withdrawn.
  std::this_thread::sleep_for(std::chrono::milliseconds(330));
  ASSERT_TRUE(pump.Until([&] { return window.Received.size() >= reply.size(); }, 5000));
  EXPECT_EQ(window.Received, Text(reply));
}

// ---- Sending --------------------------------------------------------------------------------

TEST_F(DevLayerPtyTest, PutBlockBytesReachTheFarEndThroughAWrappingRing) {
  constexpr uint32_t ringSize = 64;
  ASSERT_EQ(Open(ringSize), ecOK);
  const std::vector<uint8_t> data = PseudoRandomBytes(30000, 11);
  std::vector<uint8_t> received;
  std::thread farEnd([&] { received = pty.Receive(data.size(), 20000); });

  size_t sent = 0;
  uint32_t exactlyFull = 0;
  for (uint32_t block = 0; sent < data.size(); ++block) {
    // Every third block fills exactly the room that is free, the others have sizes that make
    // the ring wrap at ever other positions.
    uint32_t room = 0;
    ASSERT_TRUE(pump.Until([&] { return (room = dispatcher->OutBuffFree()) > 0; }));
    uint32_t len = block % 3 == 0 ? room : std::min<uint32_t>(room, 1 + block * 7 % ringSize);
    len = static_cast<uint32_t>(std::min<size_t>(len, data.size() - sent));
    ASSERT_EQ(dispatcher->PutBlock(data.data() + sent, len), ecOK);
    if (len == room) ++exactlyFull;
    sent += len;
  }
  farEnd.join();

  EXPECT_GT(exactlyFull, 0u);
  ASSERT_EQ(received.size(), data.size());
  EXPECT_TRUE(received == data);
}

TEST_F(DevLayerPtyTest, ExactlyFullRingHeldByStoppedOutputArrivesWhole) {
  ASSERT_EQ(Open(100), ecOK);
  // Output of the slave suspended: the device takes nothing and the ring fills.
  ASSERT_EQ(tcflow(pty.Slave(), TCOOFF), 0);
  const std::vector<uint8_t> first = PseudoRandomBytes(60, 3);
  const std::vector<uint8_t> second = PseudoRandomBytes(40, 4);
  ASSERT_EQ(Put(first), ecOK);
  ASSERT_EQ(Put(second), ecOK);
  EXPECT_EQ(dispatcher->OutBuffUsed(), 100u);
  EXPECT_EQ(Put({0x55}), ecOutputBufferTooSmall);

  ASSERT_EQ(tcflow(pty.Slave(), TCOON), 0);
  std::vector<uint8_t> expected = first;
  expected.insert(expected.end(), second.begin(), second.end());
  EXPECT_EQ(Text(pty.Receive(100)), Text(expected));
  EXPECT_TRUE(pump.Until([&] { return dispatcher->OutBuffUsed() == 0; }));
}

TEST_F(DevLayerPtyTest, PurgeDuringAStalledWriteEmptiesTheRingAndLaterOutputIsClean) {
  ASSERT_EQ(Open(256), ecOK);
  ASSERT_EQ(tcflow(pty.Slave(), TCOOFF), 0);
  ASSERT_EQ(Put(PseudoRandomBytes(200, 5)), ecOK);

  EXPECT_EQ(dispatcher->FlushOutBuffer(), ecOK);
  EXPECT_EQ(dispatcher->OutBuffUsed(), 0u);
  EXPECT_TRUE(dispatcher->OutThreadRunning());

  ASSERT_EQ(tcflow(pty.Slave(), TCOON), 0);
  const std::vector<uint8_t> after = PseudoRandomBytes(150, 6);
  ASSERT_EQ(Put(after), ecOK);
  // Exactly the bytes queued after the purge arrive: nothing of the purged block, no garbage.
  EXPECT_EQ(Text(pty.Receive(after.size() + 1, 1000)), Text(after));
}

// ---- Opening and closing --------------------------------------------------------------------

TEST_F(DevLayerPtyTest, OpenReportsMissingHeldAndBadPaths) {
  EXPECT_EQ(dispatcher->OpenPort("/dev/talyx-no-such-device", 9600, 0, 8, 1, 4096, 4096, 0), -2);
  EXPECT_EQ(dispatcher->OpenPort("/dev/null/tty", 9600, 0, 8, 1, 4096, 4096, 0), -3);
  EXPECT_FALSE(dispatcher->ThreadsRunning());

  ASSERT_EQ(Open(), ecOK);
  TProbeDispatcher second;
  EXPECT_EQ(second.OpenPort(pty.SlavePath(), 9600, 0, 8, 1, 4096, 4096, 0), -5);
  EXPECT_FALSE(second.ThreadsRunning());

  // Once the first closes, the device is free again.
  dispatcher->ClosePort();
  EXPECT_EQ(second.OpenPort(pty.SlavePath(), 9600, 0, 8, 1, 4096, 4096, 0), ecOK);
  EXPECT_TRUE(second.ThreadsRunning());
}

TEST_F(DevLayerPtyTest, StartingTheThreadsTwiceRaises) {
  ASSERT_EQ(Open(), ecOK);
  try {
    dispatcher->StartThreads();
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Dispatcher already started");
  }
  EXPECT_EQ(dispatcher->ThreadsCounted(), 3);
}

TEST_F(DevLayerPtyTest, CloseStopsEveryThreadAndReleasesTheRings) {
  ASSERT_EQ(Open(), ecOK);
  EXPECT_TRUE(dispatcher->ComThreadRunning());
  EXPECT_TRUE(dispatcher->DispThreadRunning());
  EXPECT_TRUE(dispatcher->OutThreadRunning());

  dispatcher->ClosePort();
  EXPECT_FALSE(dispatcher->ComThreadRunning());
  EXPECT_FALSE(dispatcher->DispThreadRunning());
  EXPECT_FALSE(dispatcher->OutThreadRunning());
  EXPECT_FALSE(dispatcher->InRingAllocated());
  EXPECT_FALSE(dispatcher->OutRingAllocated());
  EXPECT_TRUE(pump.Until([&] { return dispatcher->ThreadsCounted() == 0; }));

  // The same dispatcher opens the device again.
  ASSERT_EQ(Open(), ecOK);
  WindowRecorder window(*dispatcher);
  window.Register();
  dispatcher->SetAvailTriggerLength(1);
  ASSERT_TRUE(pty.Send("again"));
  EXPECT_TRUE(pump.Until([&] { return window.Received == "again"; }));
}

// A pty device whose next write first runs a hook, on the output thread, inside the write.
class HookedWriteDevice : public platform::TermiosSerialDevice {
 public:
  std::function<void()> BeforeNextWrite;  // set before the write is queued; runs once

  platform::WriteOutcome Write(const uint8_t* data, size_t count) override {
    if (auto hook = std::exchange(BeforeNextWrite, nullptr)) hook();
    return TermiosSerialDevice::Write(data, count);
  }
};

bool WaitFor(const std::function<bool()>& done, int64_t timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

TEST_F(DevLayerPtyTest, OutputRingOutlivesAWriteInProgressWhenTheDispatchThreadEndsFirst) {
  auto owned = std::make_unique<HookedWriteDevice>();
  HookedWriteDevice* device = owned.get();
  dispatcher = std::make_unique<TProbeDispatcher>(std::move(owned));
  ASSERT_EQ(Open(), ecOK);
  std::atomic<bool> writing{false}, dispatchThreadEnded{false}, ringKept{false};
  device->BeforeNextWrite = [&] {
    writing = true;
    // The stop below runs meanwhile and waits for this thread first; the dispatch thread sees
    // the stop, ends and counts itself out while this write is still under way.
    dispatchThreadEnded = WaitFor([&] { return dispatcher->ThreadsCounted() == 2; }, 5000);
    ringKept = dispatcher->OutRingAllocated();
  };
  ASSERT_EQ(Put({'a', 'b', 'c'}), ecOK);
  ASSERT_TRUE(WaitFor([&] { return writing.load(); }, 5000));

  dispatcher->ReleaseBuffers();
  EXPECT_TRUE(dispatchThreadEnded);
  EXPECT_TRUE(ringKept);
  // The write went out of the ring it was chosen from, and the ring went only afterwards.
  EXPECT_EQ(Text(pty.Receive(3)), "abc");
  EXPECT_FALSE(dispatcher->OutRingAllocated());
  EXPECT_EQ(dispatcher->ThreadsCounted(), 0);
}

TEST_F(DevLayerPtyTest, CloseFromInsideAHandlerReleasesTheRingsAfterTheHandlerReturned) {
  ASSERT_EQ(Open(), ecOK);
  WindowRecorder window(*dispatcher);
  window.TakeOffered = false;
  window.Register();
  dispatcher->SetAvailTriggerLength(1);

  bool closed = false;
  bool ringDuringHandler = false;
  bool dispatchThreadDuringHandler = false;
  ErrorCode peekDuringHandler = ecOK;
  window.Then = [&](const WindowRecorder::Message& message) {
    if (message.Msg != TriggerAvailMsg || closed) return;
    dispatcher->ClosePort();
    closed = true;
    ringDuringHandler = dispatcher->InRingAllocated();
    dispatchThreadDuringHandler = dispatcher->DispThreadRunning();
    uint8_t c = 0;
    peekDuringHandler = dispatcher->PeekChar(1, c);
  };

  ASSERT_TRUE(pty.Send("abc"));
  ASSERT_TRUE(pump.Until([&] { return closed; }));
  EXPECT_TRUE(dispatcher->ClosePendingSet());
  EXPECT_TRUE(ringDuringHandler);
  EXPECT_TRUE(dispatchThreadDuringHandler);
  EXPECT_EQ(peekDuringHandler, ecOK);

  // The dispatch thread finishes the close once the handler has returned.
  EXPECT_TRUE(pump.Until([&] { return !dispatcher->ThreadsRunning(); }));
  EXPECT_FALSE(dispatcher->InRingAllocated());
  EXPECT_FALSE(dispatcher->OutRingAllocated());
  EXPECT_EQ(window.Messages.size(), 1u);
  dispatcher.reset();
}

TEST_F(DevLayerPtyTest, VanishedFarEndEndsOnlyTheDeviceEventThread) {
  ASSERT_EQ(Open(), ecOK);
  pty.CloseMaster();
  ASSERT_TRUE(pump.Until([&] { return !dispatcher->ComThreadRunning(); }));
  EXPECT_TRUE(dispatcher->DispThreadRunning());
  EXPECT_TRUE(dispatcher->OutThreadRunning());

  // Output to the vanished device is dropped, not retried for ever.
  ASSERT_EQ(Put({1, 2, 3}), ecOK);
  EXPECT_TRUE(pump.Until([&] { return dispatcher->OutBuffUsed() == 0; }));

  // No thread spins on the hang-up: a second of it costs a small fraction of a core.
  const double cpuBefore = ProcessCpuMs();
  std::this_thread::sleep_for(std::chrono::seconds(1));
  EXPECT_LT(ProcessCpuMs() - cpuBefore, 100.0);

  dispatcher->ClosePort();
  EXPECT_FALSE(dispatcher->ThreadsRunning());
  EXPECT_FALSE(dispatcher->InRingAllocated());
}

// ---- The telephony variant --------------------------------------------------------------------

TEST_F(DevLayerPtyTest, TelephonyDispatcherAdoptsAnOpenDescriptor) {
  TTapi32Dispatcher adopted(nullptr, pty.TakeSlave());
  ASSERT_EQ(adopted.OpenPort("", 115200, 0, 8, 1, 4096, 4096, 0), ecOK);
  WindowRecorder window(adopted);
  window.Register();
  adopted.SetAvailTriggerLength(1);
  ASSERT_TRUE(pty.Send("tapi"));
  EXPECT_TRUE(pump.Until([&] { return window.Received == "tapi"; }));
  const std::vector<uint8_t> reply = {'o', 'k'};
  ASSERT_EQ(adopted.PutBlock(reply.data(), 2), ecOK);
  EXPECT_EQ(Text(pty.Receive(2)), "ok");
}

TEST_F(DevLayerPtyTest, TelephonyDispatcherWithoutADescriptorFails) {
  TTapi32Dispatcher none(nullptr, TTapi32Dispatcher::NoDescriptor);
  EXPECT_EQ(none.OpenPort("", 115200, 0, 8, 1, 4096, 4096, 0), ecCommNotOpen);
}

}  // namespace
}  // namespace talyx::testing
