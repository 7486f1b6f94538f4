// The port component end to end over pseudo-terminal pairs mapped to COM3 and COM4: opening and
// closing, data and events, the close asked for from inside an event, moving to another port.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "errors/commerror.h"
#include "port/comport.h"
#include "porttesting.h"
#include "support/ptypair.h"

namespace talyx::testing {
namespace {

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
  EXPECT_EQ(pty3.Receive(10), std::vector<uint8_t>({'s', 't', 'i', 'l', 'l', ' ', 'm', 'i', 'n', 'e'}));
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
    events.push_back("trigger " + std::to_string(Msg) + " " + std::to_string(TriggerHandle) +
                     " " + std::to_string(Data));
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

// ---- Moving to another port ----------------------------------------------------------------

TEST_F(ComPortPtyTest, NewComNumberCarriesTriggersFlowControlAndARunningTrace) {
  port.SetTraceName(folder.File("serial.trc"));
  port.SetSWFlowOptions(TSWFlowOptions::swfBoth);
  port.SetTracing(TTraceLogState::tlOn);
  TakeOfferedBytes();
  std::vector<uint16_t> dataTriggers;
  port.SetOnTriggerData([&](TCustomComPort&, uint16_t TriggerHandle) {
    dataTriggers.push_back(TriggerHandle);
  });
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
  EXPECT_EQ(sw, swfTransmit | swfReceive);

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

}  // namespace
}  // namespace talyx::testing
