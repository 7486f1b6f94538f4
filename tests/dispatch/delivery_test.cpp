// Tests of the dispatch turn and delivery: the scan for data triggers and available data,
// HandleDeviceEvent, and NotifyHandlers with procedure, event and window handlers.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "dispatch/dispatcherlist.h"
#include "dispatch/handlerfailure.h"
#include "platform/messagequeue.h"
#include "recordinghandler.h"
#include "testdispatcher.h"

namespace talyx::testing {
namespace {

using Message = RecordingHandler::Message;

int32_t AddSequence(TBaseDispatcher& d, const std::string& sequence, bool ignoreCase = false) {
  return d.AddDataTrigger(reinterpret_cast<const uint8_t*>(sequence.data()),
                          static_cast<uint32_t>(sequence.size()), ignoreCase);
}

class DeliveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(d.OpenDefault(), ecOK);
    ASSERT_EQ(d.RegisterEventTriggerHandler(handler.Method(), false), ecOK);
  }
  platform::LParam Second(uint16_t data) {
    return static_cast<platform::LParam>((static_cast<uint32_t>(d.Handle) << 16) | data);
  }
  void ExpectMessage(size_t index, uint32_t msg, uint32_t first, uint16_t data,
                     const std::string& bytes) {
    ASSERT_LT(index, handler.Messages.size());
    const Message& m = handler.Messages[index];
    EXPECT_EQ(m.Msg, msg) << "message " << index;
    EXPECT_EQ(m.First, first) << "message " << index;
    EXPECT_EQ(m.Second, Second(data)) << "message " << index;
    EXPECT_EQ(m.Bytes, bytes) << "message " << index;
  }

  TTestDispatcher d;
  RecordingHandler handler{d};
};

TEST_F(DeliveryTest, BytesBeforeASequenceAreOfferedFirstAndTheRestAfterIt) {
  d.SetAvailTriggerLength(1);
  const int32_t ok = AddSequence(d, "OK");
  d.Receive("xyOK");
  EXPECT_TRUE(d.CheckDataTriggers());
  ASSERT_EQ(handler.Messages.size(), 2u);
  ExpectMessage(0, TriggerAvailMsg, 2, 0, "xy");
  ExpectMessage(1, TriggerDataMsg, static_cast<uint32_t>(ok), 2, "");

  EXPECT_TRUE(d.CheckDataTriggers());
  ASSERT_EQ(handler.Messages.size(), 3u);
  ExpectMessage(2, TriggerAvailMsg, 2, 0, "OK");
  EXPECT_FALSE(d.CheckDataTriggers());
  EXPECT_EQ(handler.Messages.size(), 3u);
}

TEST_F(DeliveryTest, AMatchAtTheFirstUnreadByteSendsNoAvailableDataFirst) {
  d.SetAvailTriggerLength(1);
  const int32_t ok = AddSequence(d, "OK");
  d.Receive("OK");
  d.CheckDataTriggers();
  ASSERT_EQ(handler.Messages.size(), 1u);
  ExpectMessage(0, TriggerDataMsg, static_cast<uint32_t>(ok), 2, "");
}

TEST_F(DeliveryTest, TriggersCompletingOnTheSameByteGoLastRegisteredFirst) {
  const int32_t k = AddSequence(d, "K");
  const int32_t ok = AddSequence(d, "OK");
  d.Receive("OK");
  d.CheckDataTriggers();
  ASSERT_EQ(handler.Messages.size(), 2u);
  ExpectMessage(0, TriggerDataMsg, static_cast<uint32_t>(ok), 2, "");
  ExpectMessage(1, TriggerDataMsg, static_cast<uint32_t>(k), 1, "");
}

TEST_F(DeliveryTest, WithoutAnAvailThresholdOnlyDataTriggersAreDelivered) {
  const int32_t ok = AddSequence(d, "ok", true);
  d.Receive("abOKcd");
  while (d.CheckDataTriggers()) {
  }
  ASSERT_EQ(handler.Messages.size(), 1u);
  ExpectMessage(0, TriggerDataMsg, static_cast<uint32_t>(ok), 2, "");
  EXPECT_EQ(d.InBuffUsed(), 6u);
}

TEST_F(DeliveryTest, ADeviceEventDeliversOnceWhenTheHandlerTakesEverything) {
  d.SetAvailTriggerLength(1);
  d.Fake().FeedInput("hello");
  d.SetCurrentEvent(platform::EvRxChar);
  d.HandleDeviceEvent();
  ASSERT_EQ(handler.Messages.size(), 1u);
  ExpectMessage(0, TriggerAvailMsg, 5, 0, "hello");
  EXPECT_EQ(d.InBuffUsed(), 0u);
  EXPECT_EQ(platform::WaitForEvent(*d.EventDoneSignal, 0), 0);
}

TEST_F(DeliveryTest, UnreadOfferedBytesAreNotOfferedAgainUntilMoreArrive) {
  d.SetAvailTriggerLength(1);
  handler.TakeOnAvail = 1;
  d.Receive("abc");
  EXPECT_FALSE(d.CheckDataTriggers());
  EXPECT_FALSE(d.CheckDataTriggers());
  ASSERT_EQ(handler.Messages.size(), 1u);
  d.Receive("d");
  EXPECT_FALSE(d.CheckDataTriggers());
  ASSERT_EQ(handler.Messages.size(), 2u);
  ExpectMessage(1, TriggerAvailMsg, 3, 0, "b");
}

TEST_F(DeliveryTest, TwoHandlersReadTheSameBytesAndTheRingGivesUpTheLargerCount) {
  RecordingHandler other(d);
  handler.TakeOnAvail = 3;
  other.TakeOnAvail = 3;
  d.RegisterEventTriggerHandler(other.Method(), false);
  d.SetAvailTriggerLength(1);
  d.Receive("abcde");
  EXPECT_FALSE(d.CheckDataTriggers());
  EXPECT_EQ(handler.Messages.at(0).Bytes, "abc");
  EXPECT_EQ(other.Messages.at(0).Bytes, "abc");
  EXPECT_EQ(d.InBuffUsed(), 2u);
}

TEST_F(DeliveryTest, AFullRingThatArrivedAtOnceIsScannedAndOffered) {
  d.SetAvailTriggerLength(1);
  const int32_t z = AddSequence(d, "Z");
  std::string bytes(InBufferSize - 1, 'a');
  bytes.push_back('Z');
  d.Fake().FeedInput(bytes);
  ASSERT_TRUE(d.ExtractData());
  ASSERT_TRUE(d.InBufferFull);
  while (d.CheckDataTriggers()) {
  }
  ASSERT_EQ(handler.Messages.size(), 3u);
  ExpectMessage(0, TriggerAvailMsg, InBufferSize - 1, 0, bytes.substr(0, InBufferSize - 1));
  ExpectMessage(1, TriggerDataMsg, static_cast<uint32_t>(z), 1, "");
  ExpectMessage(2, TriggerAvailMsg, 1, 0, "Z");
  EXPECT_EQ(d.InBuffUsed(), 0u);
}

TEST_F(DeliveryTest, BytesTakenBeforeTheScanAreNotScannedOrOffered) {
  d.SetAvailTriggerLength(1);
  AddSequence(d, "cd");
  d.Receive("abcdef");
  uint8_t c;
  for (int i = 0; i < 3; ++i) ASSERT_EQ(d.GetChar(c), ecOK);
  EXPECT_TRUE(d.CheckDataTriggers());
  ASSERT_EQ(handler.Messages.size(), 1u);
  ExpectMessage(0, TriggerAvailMsg, 3, 0, "def");
}

TEST_F(DeliveryTest, ClosingFromAHandlerEndsTheDeliveryAndDefersTheRelease) {
  RecordingHandler later(d);
  d.RegisterEventTriggerHandler(later.Method(), false);
  handler.Then = [this](const Message&) { d.ClosePort(); };
  d.SetAvailTriggerLength(1);
  d.Receive("abc");
  EXPECT_FALSE(d.CheckDataTriggers());
  EXPECT_TRUE(later.Messages.empty());
  EXPECT_FALSE(d.InHandler);
  EXPECT_FALSE(d.Fake().IsOpen());
  // The rings stay until the dispatch thread would end; the tail has not moved.
  ASSERT_NE(d.InBuffer, nullptr);
  EXPECT_EQ(d.InBuffUsed(), 3u);
  d.Destroy();
  EXPECT_EQ(d.InBuffer, nullptr);
}

TEST_F(DeliveryTest, ADeviceEventReturnsWithoutSignallingWhenAHandlerCloses) {
  const int32_t status = d.AddStatusTrigger(stModem);
  d.SetStatusTrigger(status, platform::ModemCts << 8, true);
  handler.Then = [this](const Message&) { d.ClosePort(); };
  d.Fake().SetModemLines(platform::ModemCts);
  d.SetCurrentEvent(platform::EvCts);
  d.HandleDeviceEvent();
  ASSERT_EQ(handler.Messages.size(), 1u);
  EXPECT_EQ(handler.Messages[0].Msg, TriggerStatusMsg);
  EXPECT_EQ(platform::WaitForEvent(*d.EventDoneSignal, 0), platform::WaitTimeout);
}

TEST_F(DeliveryTest, ALineEventFiresTheLineErrorTrigger) {
  const int32_t status = d.AddStatusTrigger(stLine);
  d.SetStatusTrigger(status, leBreak, true);
  d.Fake().InjectLineErrors(platform::CeBreak);
  d.SetCurrentEvent(platform::EvBreak);
  d.HandleDeviceEvent();
  ASSERT_EQ(handler.Messages.size(), 1u);
  EXPECT_EQ(handler.Messages[0].First, static_cast<uint32_t>(status));
  EXPECT_TRUE(d.BreakReceived());
}

TEST_F(DeliveryTest, AHandlerThatThrowsIsReportedAndTheNextHandlerIsServed) {
  std::vector<std::string> failures;
  const HandlerFailureHook previous = SetHandlerFailureHook(
      [&](std::exception_ptr failure) { failures.push_back(FailureText(failure)); });
  RecordingHandler later(d);
  later.TakeOnAvail = 0;
  ASSERT_EQ(d.RegisterEventTriggerHandler(later.Method(), false), ecOK);
  handler.TakeOnAvail = 1;
  handler.Then = [](const Message&) { throw 7; };
  d.SetAvailTriggerLength(1);
  d.Receive("abc");

  EXPECT_NO_THROW(d.CheckDataTriggers());
  SetHandlerFailureHook(previous);
  EXPECT_FALSE(d.InHandler);
  ASSERT_EQ(later.Messages.size(), 1u);
  EXPECT_EQ(later.Messages[0].First, 3u);
  EXPECT_EQ(failures,
            std::vector<std::string>{"A handler failed with an exception of unknown type"});
  // What the failing handler took before it threw counts as taken.
  EXPECT_EQ(d.InBuffUsed(), 2u);
}

TEST_F(DeliveryTest, AnEventHandlerRemovedDuringADeliveryIsGoneAfterIt) {
  RecordingHandler later(d);
  d.RegisterEventTriggerHandler(later.Method(), false);
  handler.Then = [&](const Message&) { d.DeregisterEventTriggerHandler(later.Method()); };
  d.NotifyHandlers(TriggerTimerMsg, 8, 0);
  EXPECT_TRUE(later.Messages.empty());
  d.NotifyHandlers(TriggerTimerMsg, 8, 0);
  EXPECT_TRUE(later.Messages.empty());
  EXPECT_EQ(handler.Messages.size(), 2u);
}

// A procedure handler finds its dispatcher through the handle in the message.
std::string procedureTook;

void TakeOffered(uint32_t msg, platform::WParam first, platform::LParam second) {
  platform::SectionGuard guard(DispatcherListLock());
  TBaseDispatcher* dispatcher = LookUpDispatcher(second >> 16);
  if (dispatcher == nullptr || msg != TriggerAvailMsg) return;
  for (uint32_t i = 0; i < first; ++i) {
    uint8_t c;
    if (dispatcher->GetChar(c) == ecOK) procedureTook.push_back(static_cast<char>(c));
  }
}

TEST(ProcedureHandler, ReachesItsDispatcherThroughTheMessage) {
  TTestDispatcher d;
  ASSERT_EQ(d.OpenDefault(), ecOK);
  procedureTook.clear();
  ASSERT_EQ(d.RegisterProcTriggerHandler(&TakeOffered), ecOK);
  EXPECT_EQ(d.RegisterProcTriggerHandler(nullptr), ecBadArgument);
  d.SetAvailTriggerLength(2);
  d.Receive("q");
  EXPECT_FALSE(d.CheckDataTriggers());
  d.Receive("rs");
  EXPECT_TRUE(d.CheckDataTriggers());
  EXPECT_EQ(procedureTook, "qrs");
  d.DeregisterProcTriggerHandler(&TakeOffered);
  EXPECT_FALSE(d.HandlerServiceNeeded);
}

// ---- Available data on a full ring and without handlers ------------------------------------

TEST_F(DeliveryTest, AFullRingIsOfferedWhateverTheThresholdUntilItsReaderMakesRoom) {
  for (uint32_t threshold : {5000u, 9000u}) {
    TTestDispatcher full;
    ASSERT_EQ(full.OpenDefault(), ecOK);
    RecordingHandler reader{full};
    reader.TakeOnAvail = 0;
    ASSERT_EQ(full.RegisterEventTriggerHandler(reader.Method(), false), ecOK);
    full.SetAvailTriggerLength(threshold);
    full.Receive(std::string(4096, 'a'));
    EXPECT_FALSE(full.CheckDataTriggers());
    EXPECT_TRUE(reader.Messages.empty());
    full.Receive(std::string(4096, 'b'));

    // Every check offers the full ring again, until the reader takes bytes.
    EXPECT_FALSE(full.CheckDataTriggers());
    EXPECT_FALSE(full.CheckDataTriggers());
    reader.TakeOnAvail.reset();
    EXPECT_TRUE(full.CheckDataTriggers());
    EXPECT_FALSE(full.CheckDataTriggers());
    ASSERT_EQ(reader.Messages.size(), 3u) << "threshold " << threshold;
    for (const auto& m : reader.Messages) {
      EXPECT_EQ(m.Msg, TriggerAvailMsg);
      EXPECT_EQ(m.First, InBufferSize);
    }
    EXPECT_EQ(reader.Messages[2].Bytes, std::string(4096, 'a') + std::string(4096, 'b'));
  }
}

TEST_F(DeliveryTest, BytesThatCameWhileNoHandlerWasThereAreOfferedOnceOneRegisters) {
  d.DeregisterEventTriggerHandler(handler.Method());
  d.SetAvailTriggerLength(1);
  d.Receive("early");
  int checks = 0;
  while (d.CheckDataTriggers() && ++checks < 3) {
  }
  EXPECT_LT(checks, 3);
  EXPECT_EQ(d.InBuffUsed(), 5u);

  ASSERT_EQ(d.RegisterEventTriggerHandler(handler.Method(), false), ecOK);
  EXPECT_TRUE(d.CheckDataTriggers());
  ASSERT_EQ(handler.Messages.size(), 1u);
  ExpectMessage(0, TriggerAvailMsg, 5, 0, "early");
}

// A read fills the ring all the way round to the scan position; bytes taken or flushed before
// the scan runs are neither scanned nor offered.
TEST_F(DeliveryTest, BytesTakenOrFlushedAfterAFullRingReadAreNeitherScannedNorOffered) {
  d.SetAvailTriggerLength(1);
  ASSERT_GT(AddSequence(d, "Z"), 0);
  std::string bytes(InBufferSize, 'a');
  bytes[50] = 'Z';
  d.Receive(bytes);
  for (int i = 0; i < 100; ++i) {
    uint8_t c;
    ASSERT_EQ(d.GetChar(c), ecOK);
  }
  d.CheckDataTriggers();
  ASSERT_EQ(handler.Messages.size(), 1u);
  ExpectMessage(0, TriggerAvailMsg, InBufferSize - 100, 0, std::string(InBufferSize - 100, 'a'));

  d.Receive(bytes);
  ASSERT_EQ(d.InBuffUsed(), InBufferSize);
  EXPECT_EQ(d.FlushInBuffer(), ecOK);
  EXPECT_FALSE(d.CheckDataTriggers());
  EXPECT_EQ(handler.Messages.size(), 1u);
}

// ---- Handlers in the main thread ---------------------------------------------------------

// Runs work on a thread of its own, as the dispatch thread does, while this thread (the main
// thread) pumps its queue; the work's result.
bool RunOnDispatchThread(const std::function<bool()>& work) {
  std::atomic<bool> done{false};
  bool result = false;
  std::thread dispatch([&] {
    result = work();
    done = true;
  });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!done && std::chrono::steady_clock::now() < deadline) {
    if (!platform::PumpOneMessage()) std::this_thread::yield();
  }
  dispatch.join();
  EXPECT_TRUE(done);
  return result;
}

class MainThreadHandlerTest : public ::testing::Test {
 protected:
  struct Window {
    platform::WindowHandle Handle = 0;
    uint32_t Take = 0;
    std::vector<std::string> Took;
    std::function<void()> Then;
  };

  void SetUp() override {
    platform::BindMainThread();
    ASSERT_EQ(d.OpenDefault(), ecOK);
    d.SetAvailTriggerLength(1);
  }
  void TearDown() override {
    for (auto& w : windows) platform::DestroyHiddenWindow(w->Handle);
  }
  Window& AddWindow(uint32_t take) {
    windows.push_back(std::make_unique<Window>());
    Window* w = windows.back().get();
    w->Take = take;
    w->Handle = platform::CreateHiddenWindow(
        "TestTriggerWindow",
        [this, w](platform::WindowHandle, uint32_t msg, platform::WParam,
                  platform::LParam) -> platform::LResult {
          EXPECT_TRUE(platform::IsMainThread());
          std::string took;
          for (uint32_t i = 0; msg == TriggerAvailMsg && i < w->Take; ++i) {
            uint8_t c;
            if (d.GetChar(c) == ecOK) took.push_back(static_cast<char>(c));
          }
          w->Took.push_back(took);
          if (w->Then) w->Then();
          return 0;
        });
    d.RegisterWndTriggerHandler(w->Handle);
    return *w;
  }

  TTestDispatcher d;
  std::vector<std::unique_ptr<Window>> windows;
};

TEST_F(MainThreadHandlerTest, TwoWindowsBesidesThePortsOwnReadTheSameBytes) {
  Window& port = AddWindow(0);
  Window& first = AddWindow(3);
  Window& second = AddWindow(3);
  d.Receive("abcde");
  EXPECT_FALSE(RunOnDispatchThread([this] { return d.CheckDataTriggers(); }));
  EXPECT_EQ(port.Took, std::vector<std::string>{""});
  EXPECT_EQ(first.Took, std::vector<std::string>{"abc"});
  EXPECT_EQ(second.Took, std::vector<std::string>{"abc"});
  EXPECT_EQ(d.InBuffUsed(), 2u);
}

TEST_F(MainThreadHandlerTest, ThePortsOwnWindowIsServedOnlyWhenInstalled) {
  Window& port = AddWindow(5);
  d.Receive("abc");
  EXPECT_FALSE(RunOnDispatchThread([this] { return d.CheckDataTriggers(); }));
  EXPECT_TRUE(port.Took.empty());
  d.UpdateHandlerFlags(1);
  d.Receive("d");
  EXPECT_TRUE(RunOnDispatchThread([this] { return d.CheckDataTriggers(); }));
  EXPECT_EQ(port.Took, std::vector<std::string>{"abcd"});
}

TEST_F(MainThreadHandlerTest, AWindowRemovedDuringADeliveryIsNotCalledAgainAndIsGoneAfter) {
  d.UpdateHandlerFlags(1);
  Window& first = AddWindow(1);
  Window& second = AddWindow(1);
  first.Then = [&] {
    d.DeregisterWndTriggerHandler(second.Handle);
    d.DeregisterWndTriggerHandler(first.Handle);
  };
  d.Receive("a");
  EXPECT_TRUE(RunOnDispatchThread([this] { return d.CheckDataTriggers(); }));
  EXPECT_EQ(first.Took.size(), 1u);
  EXPECT_TRUE(second.Took.empty());
  EXPECT_TRUE(d.WndTriggerHandlers.empty());
}

TEST_F(MainThreadHandlerTest, AVanishedWindowDoesNotStopTheDelivery) {
  d.UpdateHandlerFlags(1);
  Window& gone = AddWindow(1);
  Window& live = AddWindow(2);
  platform::DestroyHiddenWindow(gone.Handle);
  d.Receive("xy");
  EXPECT_TRUE(RunOnDispatchThread([this] { return d.CheckDataTriggers(); }));
  EXPECT_EQ(live.Took, std::vector<std::string>{"xy"});
}

TEST_F(MainThreadHandlerTest, SynchronisedEventHandlersRunInTheMainThread) {
  RecordingHandler synced(d);
  RecordingHandler direct(d);
  d.RegisterEventTriggerHandler(synced.Method(), true);
  d.RegisterEventTriggerHandler(direct.Method(), false);
  d.Receive("abc");
  std::thread::id dispatchThread;
  EXPECT_TRUE(RunOnDispatchThread([&] {
    dispatchThread = std::this_thread::get_id();
    return d.CheckDataTriggers();
  }));
  ASSERT_EQ(synced.Messages.size(), 1u);
  ASSERT_EQ(direct.Messages.size(), 1u);
  EXPECT_EQ(synced.Messages[0].Thread, std::this_thread::get_id());
  EXPECT_EQ(direct.Messages[0].Thread, dispatchThread);
  EXPECT_EQ(synced.Messages[0].Bytes, "abc");
  EXPECT_EQ(direct.Messages[0].Bytes, "abc");
}

}  // namespace
}  // namespace talyx::testing
