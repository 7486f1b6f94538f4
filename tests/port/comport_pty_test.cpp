// The port component end to end over pseudo-terminal pairs mapped to COM3 and COM4: opening and
// closing, data and events, the close asked for from inside an event, moving to another port.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "errors/commerror.h"
#include "platform/messagequeue.h"
#include "port/comport.h"
#include "porttesting.h"
#include "support/ptypair.h"
#include "support/scopedproviders.h"

namespace talyx::testing {
namespace {

// Waits without running the main thread's queue.
bool WaitFor(const std::function<bool()>& done, int64_t timeoutMs = 5000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

class ComPortPtyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty3.Valid());
    ASSERT_TRUE(pty4.Valid());
    port.SetComNumber(3);
    port.SetOnPortOpened([this](TCustomComPort&) { journal.push_back("opened"); });
    port.SetOnPortClosed([this](TCustomComPort&) { journal.push_back("closed"); });
  }
  void TearDown() override { ForgetTriggerEvents(port); }

  // Takes the offered bytes of every available-data message into received.
  void TakeOfferedBytes() {
    port.SetOnTrigger([this](TCustomComPort& CP, uint16_t Msg, uint16_t, uint16_t Data) {
      if (Msg != TriggerAvailMsg) return;
      for (uint16_t i = 0; i < Data; ++i) received += static_cast<char>(CP.GetChar());
    });
  }

  bool Receive(const std::string& expected) {
    return loop.Until([&] { return received.size() >= expected.size(); }) && received == expected;
  }

  ScopedDeviceProviders providers{TermiosProviderOnly()};
  MainThreadLoop loop;
  TempFolder folder;
  PtyPair pty3;
  PtyPair pty4;
  ScopedPortMap map{{{3, pty3.SlavePath()}, {4, pty4.SlavePath()}}};
  AppHookRecorder hooks;
  std::vector<std::string> journal;
  std::string received;
  TComPort port;
};

// ---- Opening and closing ---------------------------------------------------------------------

TEST_F(ComPortPtyTest, OpeningTwiceOpensOnceAndClosingTwiceClosesOnce) {
  port.SetOpen(true);
  TBaseDispatcher* first = port.Dispatcher();
  port.SetOpen(true);
  EXPECT_EQ(port.Dispatcher(), first);
  EXPECT_EQ(first->GetDeviceName(), "COM3");
  EXPECT_NE(port.ComWindow(), 0);

  port.SetOpen(false);
  port.SetOpen(false);
  EXPECT_EQ(journal, (std::vector<std::string>{"opened", "closed"}));
  EXPECT_EQ(port.OpenState(), TOpenState::osClosed);
  EXPECT_EQ(port.ComWindow(), 0);
}

TEST_F(ComPortPtyTest, PortHeldByAnotherComponentGivesAlreadyOpen) {
  port.SetOpen(true);
  TComPort second;
  second.SetComNumber(3);
  try {
    second.SetOpen(true);
    FAIL() << "opened a port that is held";
  } catch (const EAlreadyOpen& error) {
    EXPECT_EQ(error.ErrorCode, ecAlreadyOpen);
  }
  EXPECT_FALSE(second.Open());
  EXPECT_EQ(second.OpenState(), TOpenState::osClosed);

  port.PutString("still mine");
  EXPECT_EQ(pty3.Receive(10),
            std::vector<uint8_t>({'s', 't', 'i', 'l', 'l', ' ', 'm', 'i', 'n', 'e'}));
}

TEST_F(ComPortPtyTest, FirstUseOpensTheClosedPortWhenAutoOpen) {
  EXPECT_EQ(port.OutBuffUsed(), 0u);
  EXPECT_EQ(port.OpenState(), TOpenState::osClosed);  // status readings never open

  EXPECT_THROW(port.GetChar(), EBufferIsEmpty);  // opened, but nothing came yet
  EXPECT_EQ(port.OpenState(), TOpenState::osOpen);
  EXPECT_TRUE(port.Open());
}

// ---- Data and events -------------------------------------------------------------------------

TEST_F(ComPortPtyTest, ReceivedBytesRaiseOnTriggerThenOnTriggerAvail) {
  std::vector<std::string> events;
  port.SetOnTrigger([&](TCustomComPort& CP, uint16_t Msg, uint16_t TriggerHandle, uint16_t Data) {
    events.push_back("trigger " + std::to_string(Msg) + " " + std::to_string(TriggerHandle) + " " +
                     std::to_string(Data));
    for (uint16_t i = 0; i < Data; ++i) received += static_cast<char>(CP.GetChar());
  });
  port.SetOnTriggerAvail(
      [&](TCustomComPort&, uint16_t Count) { events.push_back("avail " + std::to_string(Count)); });
  port.SetOpen(true);

  ASSERT_TRUE(pty3.Send("hello"));
  ASSERT_TRUE(Receive("hello"));
  ASSERT_GE(events.size(), 2u);
  for (size_t i = 0; i + 1 < events.size(); i += 2) {
    const std::string count = events[i].substr(events[i].rfind(' ') + 1);
    EXPECT_EQ(events[i], "trigger 32257 " + count + " " + count);
    EXPECT_EQ(events[i + 1], "avail " + count);
  }
}

TEST_F(ComPortPtyTest, QueuedBytesReachTheFarEndAndLeaveTheOutputBuffer) {
  port.SetOpen(true);
  port.PutString("AT\r");
  const uint8_t block[] = {0x01, 0x03, 0xC4, 0x0B};
  EXPECT_EQ(port.PutBlock(block, sizeof block), 0);
  EXPECT_EQ(pty3.Receive(7), (std::vector<uint8_t>{'A', 'T', '\r', 0x01, 0x03, 0xC4, 0x0B}));
  EXPECT_TRUE(loop.Until([&] { return port.OutBuffUsed() == 0; }));
}

TEST_F(ComPortPtyTest, BlockLargerThanTheFreeRoomIsRefusedWholeWhateverItsLength) {
  port.SetOutSize(16);
  port.SetOpen(true);
  const std::string big(17, 'x');
  EXPECT_THROW(port.PutString(big), EOutputBufferTooSmall);
  EXPECT_EQ(port.OutBuffUsed(), 0u);
  // A length beyond 16 bits is refused as it is, not cut down to its low bits (10 here).
  const std::vector<uint8_t> huge(65546, 'y');
  EXPECT_THROW(port.PutBlock(huge.data(), huge.size()), EOutputBufferTooSmall);
  EXPECT_EQ(port.OutBuffUsed(), 0u);
}

// ---- Close from inside an event ------------------------------------------------------------

TEST_F(ComPortPtyTest, CloseInsideAnEventEndsAfterTheThreadsAndAReopenWaitsForIt) {
  port.SetDispatcherFactory([this](TCustomComPort& owner) {
    return std::make_unique<TJournalDispatcher>(&owner, nullptr, journal);
  });
  bool closedOnce = false;
  TOpenState stateAfterClose{}, stateAfterReopen{};
  bool openAfterReopen = true;
  port.SetOnTrigger([&](TCustomComPort& CP, uint16_t Msg, uint16_t, uint16_t Data) {
    if (Msg != TriggerAvailMsg) return;
    for (uint16_t i = 0; i < Data; ++i) received += static_cast<char>(CP.GetChar());
    if (closedOnce) return;
    closedOnce = true;
    port.SetOpen(false);
    stateAfterClose = port.OpenState();
    port.SetOpen(true);
    stateAfterReopen = port.OpenState();
    openAfterReopen = port.Open();
    // While the close is under way the data operations refuse quietly.
    EXPECT_EQ(port.GetChar(), 0);
    port.PutString("ignored");
  });
  port.SetOpen(true);
  journal.clear();

  ASSERT_TRUE(pty3.Send("A"));
  ASSERT_TRUE(loop.Until([&] { return closedOnce; }));
  EXPECT_EQ(stateAfterClose, TOpenState::osClosing);
  EXPECT_EQ(stateAfterReopen, TOpenState::osClosing);
  EXPECT_FALSE(openAfterReopen);

  ASSERT_TRUE(loop.Until([&] { return port.OpenState() == TOpenState::osOpen; }));
  EXPECT_TRUE(port.Open());
  EXPECT_EQ(journal, (std::vector<std::string>{"closed", "destroyed", "flags 1", "opened"}));

  ASSERT_TRUE(pty3.Send("B"));
  EXPECT_TRUE(Receive("AB"));
  EXPECT_TRUE(hooks.Shown.empty());
}

TEST_F(ComPortPtyTest, OnceACloseHasBegunTriggerMessagesRaiseNothingAndItEndsWithoutSpinning) {
  std::vector<uint16_t> seen;
  int availEvents = 0;
  bool closed = false;
  port.SetOnTrigger([&](TCustomComPort& CP, uint16_t Msg, uint16_t, uint16_t Data) {
    seen.push_back(Msg);
    if (Msg != TriggerAvailMsg || closed) return;
    for (uint16_t i = 0; i < Data; ++i) received += static_cast<char>(CP.GetChar());
    closed = true;
    const platform::LParam sender = port.Dispatcher()->Handle << 16;
    port.SetOpen(false);
    // Trigger messages that reach the window while the close is under way.
    platform::PostMessage(port.ComWindow(), TriggerAvailMsg, 5, sender);
    platform::PostMessage(port.ComWindow(), TriggerDataMsg, 9, sender | 2);
  });
  port.SetOnTriggerAvail([&](TCustomComPort&, uint16_t) { ++availEvents; });
  port.SetOpen(true);

  ASSERT_TRUE(pty3.Send("A"));
  ASSERT_TRUE(loop.Until([&] { return port.OpenState() == TOpenState::osClosed; }));
  EXPECT_EQ(received, "A");
  // Not even the message whose OnTrigger closed the port raises its OnTriggerAvail.
  EXPECT_EQ(availEvents, 0);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen[0], TriggerAvailMsg);
  // After the first: only the deferred close's own message, a few times while the threads end.
  const auto closePending = std::count(seen.begin(), seen.end(), ClosePendingMsg);
  EXPECT_EQ(static_cast<size_t>(closePending), seen.size() - 1);
  EXPECT_GE(closePending, 1);
  EXPECT_LE(closePending, 100);
}

TEST_F(ComPortPtyTest, CloseFromOrdinaryCodeWhileADeliveryWaitsCompletesAndReopensAtOnce) {
  int events = 0;
  port.SetOnTrigger([&](TCustomComPort&, uint16_t, uint16_t, uint16_t) { ++events; });
  port.SetOpen(true);
  TBaseDispatcher* dispatcher = port.Dispatcher();
  ASSERT_TRUE(pty3.Send("old"));
  // Nobody runs the main thread's queue: the dispatch thread waits to hand the bytes over.
  ASSERT_TRUE(WaitFor([&] { return dispatcher->GetInHandler(); }));

  const auto start = std::chrono::steady_clock::now();
  port.SetOpen(false);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2000));
  EXPECT_EQ(port.OpenState(), TOpenState::osClosed);
  EXPECT_EQ(events, 0);

  port.SetOpen(true);
  EXPECT_EQ(port.OpenState(), TOpenState::osOpen);
  port.PutString("new");
  EXPECT_EQ(pty3.Receive(3), (std::vector<uint8_t>{'n', 'e', 'w'}));
}

// A synchronised handler registered on the component's dispatcher that closes the port.
struct ClosingHandler {
  TComPort* Port = nullptr;
  bool Closed = false;
  void OnTrigger(uint32_t, platform::WParam, platform::LParam) {
    if (Closed) return;
    Closed = true;
    Port->SetOpen(false);
  }
};

TEST_F(ComPortPtyTest, CloseFromASynchronisedHandlerOfTheDeliveryIsDeferred) {
  ClosingHandler handler{&port};
  port.SetOpen(true);
  ASSERT_EQ(port.Dispatcher()->RegisterEventTriggerHandler(
                MakeTriggerMethod<&ClosingHandler::OnTrigger>(&handler), true),
            ecOK);
  ASSERT_TRUE(pty3.Send("x"));
  ASSERT_TRUE(loop.Until([&] { return handler.Closed; }));
  EXPECT_TRUE(loop.Until([&] { return port.OpenState() == TOpenState::osClosed; }));
}

TEST_F(ComPortPtyTest, ComponentDestroyedInsideItsOwnEventNeitherHangsNorRaisesMore) {
  auto doomed = std::make_unique<TComPort>();
  doomed->SetComNumber(4);
  doomed->SetDispatcherFactory([this](TCustomComPort& owner) {
    return std::make_unique<TJournalDispatcher>(&owner, nullptr, journal);
  });
  int availEvents = 0;
  doomed->SetOnTrigger([&](TCustomComPort&, uint16_t Msg, uint16_t, uint16_t) {
    if (Msg == TriggerAvailMsg) doomed.reset();
  });
  doomed->SetOnTriggerAvail([&](TCustomComPort&, uint16_t) { ++availEvents; });
  doomed->SetOpen(true);
  journal.clear();

  ASSERT_TRUE(pty4.Send("x"));
  ASSERT_TRUE(loop.Until([&] { return doomed == nullptr; }));
  EXPECT_EQ(availEvents, 0);
  // The dispatcher outlives the component and goes once its threads have ended.
  EXPECT_TRUE(
      loop.Until([&] { return std::count(journal.begin(), journal.end(), "destroyed") == 1; }));
  port.SetComNumber(4);
  port.SetOpen(true);
  EXPECT_EQ(port.OpenState(), TOpenState::osOpen);
}

// ---- Moving to another port ----------------------------------------------------------------

TEST_F(ComPortPtyTest, NewComNumberCarriesTriggersFlowControlAndARunningTrace) {
  port.SetTraceName(folder.File("serial.trc"));
  port.SetSWFlowOptions(TSWFlowOptions::swfBoth);
  port.SetTracing(TTraceLogState::tlOn);
  TakeOfferedBytes();
  std::vector<uint16_t> dataTriggers;
  port.SetOnTriggerData(
      [&](TCustomComPort&, uint16_t TriggerHandle) { dataTriggers.push_back(TriggerHandle); });
  port.SetOpen(true);
  const uint8_t ok[] = {'O', 'K'};
  const int32_t handle = port.Dispatcher()->AddDataTrigger(ok, 2, false);
  ASSERT_GT(handle, 0);
  port.PutString("AB");
  ASSERT_EQ(pty3.Receive(2).size(), 2u);

  port.SetComNumber(4);
  EXPECT_EQ(port.OpenState(), TOpenState::osOpen);
  EXPECT_EQ(port.Dispatcher()->GetDeviceName(), "COM4");
  EXPECT_EQ(journal, (std::vector<std::string>{"opened", "closed", "opened"}));
  // The old port's trace went to its file at the close; the new port traces afresh.
  EXPECT_NE(ReadWholeFile(folder.File("serial.trc")).find("AB"), std::string::npos);
  EXPECT_EQ(port.Tracing(), TTraceLogState::tlOn);
  EXPECT_TRUE(port.Dispatcher()->TraceActive());
  uint32_t hw = 0, sw = 0;
  uint8_t xOn = 0, xOff = 0;
  port.Dispatcher()->GetFlowOptions(hw, sw, xOn, xOff);
  EXPECT_EQ(sw, swoTransmit | swoReceive);

  ASSERT_TRUE(pty4.Send("xOK"));
  ASSERT_TRUE(loop.Until([&] { return !dataTriggers.empty(); }));
  EXPECT_EQ(dataTriggers[0], handle);
  EXPECT_TRUE(Receive("xOK"));
}

TEST_F(ComPortPtyTest, PausedTraceDoesNotSurviveAMove) {
  port.SetTraceName(folder.File("serial.trc"));
  port.SetOpen(true);
  port.SetTracing(TTraceLogState::tlOn);
  port.PutString("Z");
  port.SetTracing(TTraceLogState::tlPause);

  port.SetComNumber(4);
  EXPECT_EQ(port.Tracing(), TTraceLogState::tlOff);
  EXPECT_FALSE(port.Dispatcher()->TraceActive());
  EXPECT_NE(ReadWholeFile(folder.File("serial.trc")).find('Z'), std::string::npos);
}

TEST_F(ComPortPtyTest, SameComNumberOnAnOpenPortChangesNothing) {
  port.SetOpen(true);
  TBaseDispatcher* dispatcher = port.Dispatcher();
  port.SetComNumber(3);
  EXPECT_EQ(port.Dispatcher(), dispatcher);
  EXPECT_EQ(journal, std::vector<std::string>{"opened"});
}

// ---- Telephony mode ------------------------------------------------------------------------

TEST_F(ComPortPtyTest, TelephonyModeAdoptsTheLineItIsHanded) {
  port.SetComNumber(0);  // no port number is needed: the line is open already
  port.SetTapiMode(TTapiMode::tmOn);
  port.SetTapiCid(static_cast<uint16_t>(pty4.TakeSlave()));
  TakeOfferedBytes();
  port.SetOpen(true);
  EXPECT_EQ(port.OpenState(), TOpenState::osOpen);
  EXPECT_EQ(hooks.ChooserCalls, 0);

  ASSERT_TRUE(pty4.Send("ring"));
  EXPECT_TRUE(Receive("ring"));
}

TEST_F(ComPortPtyTest, HandedOverLineIsUsedOnceAndNotNamedAfterItsClose) {
  port.SetComNumber(0);
  port.SetTapiMode(TTapiMode::tmOn);
  const int line = pty4.TakeSlave();
  port.SetTapiCid(static_cast<uint16_t>(line));
  port.SetOpen(true);
  EXPECT_EQ(port.TapiCid(), line);
  port.SetOpen(false);
  EXPECT_EQ(port.TapiCid(), 0);

  // The closed descriptor's number goes to an unrelated file, which a reopen must not touch.
  const int unrelated = open("/dev/null", O_RDWR | O_CLOEXEC);
  ASSERT_GE(unrelated, 0);
  EXPECT_THROW(port.SetOpen(true), ENotOpenedByTapi);
  EXPECT_EQ(port.OpenState(), TOpenState::osClosed);
  EXPECT_NE(fcntl(unrelated, F_GETFD), -1);
  close(unrelated);
}

TEST_F(ComPortPtyTest, HandedOverLineKeepsItsSettingsAndTheComponentTakesThemOver) {
  termios settings{};
  ASSERT_EQ(tcgetattr(pty4.Slave(), &settings), 0);
  cfsetispeed(&settings, B57600);
  cfsetospeed(&settings, B57600);
  ASSERT_EQ(tcsetattr(pty4.Slave(), TCSANOW, &settings), 0);
  port.SetComNumber(0);
  port.SetTapiMode(TTapiMode::tmOn);
  port.SetTapiCid(static_cast<uint16_t>(pty4.TakeSlave()));
  ASSERT_EQ(port.Baud(), 19200);

  port.SetOpen(true);
  EXPECT_EQ(port.Baud(), 57600);
  int32_t baud = 0;
  uint8_t parity = 0, dataBits = 0, stopBits = 0;
  ASSERT_EQ(port.Dispatcher()->GetLine(baud, parity, dataBits, stopBits), ecOK);
  EXPECT_EQ(baud, 57600);
}

}  // namespace
}  // namespace talyx::testing
