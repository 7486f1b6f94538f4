// Tests of trigger records and their checks: status and timer triggers, adding, removing,
// saving and restoring triggers, trigger handles, and the handler flags.
#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <thread>

#include "recordinghandler.h"
#include "testdispatcher.h"

namespace talyx::testing {
namespace {

class TriggerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(d.OpenDefault(), ecOK);
    ASSERT_EQ(d.RegisterEventTriggerHandler(handler.Method(), false), ecOK);
  }
  int32_t ArmedStatus(int32_t kind, uint16_t value) {
    const int32_t handle = d.AddStatusTrigger(kind);
    EXPECT_GT(handle, 0);
    EXPECT_EQ(d.SetStatusTrigger(handle, value, true), ecOK);
    return handle;
  }
  TStatusTrigger SavedStatus(int32_t handle) {
    TTriggerSave save;
    d.SaveTriggers(save);
    for (const TStatusTrigger& t : *save.StatusTriggers) {
      if (t.Handle == handle) return t;
    }
    ADD_FAILURE() << "no status trigger " << handle;
    return {};
  }
  platform::LParam Second(uint16_t data) {
    return static_cast<platform::LParam>((static_cast<uint32_t>(d.Handle) << 16) | data);
  }

  TTestDispatcher d;
  RecordingHandler handler{d};
};

TEST_F(TriggerTest, OutputFreeTriggerWithValueZeroFiresOnceWithTheFreeCount) {
  const uint8_t bytes[] = {1, 2, 3};
  d.PutBlock(bytes, 3);
  const int32_t handle = ArmedStatus(stOutBuffFree, 0);
  EXPECT_EQ(TBaseDispatcher::StatusTriggerKind(handle), stOutBuffFree);

  EXPECT_TRUE(d.CheckStatusTriggers());
  ASSERT_EQ(handler.Messages.size(), 1u);
  EXPECT_EQ(handler.Messages[0].Msg, TriggerStatusMsg);
  EXPECT_EQ(handler.Messages[0].First, static_cast<uint32_t>(handle));
  EXPECT_EQ(handler.Messages[0].Second, Second(4096 - 3));

  EXPECT_FALSE(d.CheckStatusTriggers());
  d.ResetStatusHits();
  EXPECT_FALSE(d.CheckStatusTriggers());
  EXPECT_EQ(handler.Messages.size(), 1u);

  d.SetStatusTrigger(handle, 0, true);
  EXPECT_TRUE(d.CheckStatusTriggers());
  EXPECT_EQ(handler.Messages.size(), 2u);
}

TEST_F(TriggerTest, RearmedTriggerStaysSilentUntilThePassEnds) {
  const int32_t handle = ArmedStatus(stOutBuffUsed, 10);
  EXPECT_TRUE(d.CheckStatusTriggers());
  EXPECT_EQ(handler.Messages[0].Second, Second(0));
  d.SetStatusTrigger(handle, 10, true);
  EXPECT_FALSE(d.CheckStatusTriggers());
  d.ResetStatusHits();
  EXPECT_TRUE(d.CheckStatusTriggers());
}

TEST_F(TriggerTest, LineErrorTriggerFiresOnABreakAndKeepsTheErrorBits) {
  const int32_t handle = ArmedStatus(stLine, leBreak);
  d.Fake().InjectLineErrors(platform::CeRxParity);
  d.RefreshLineErrors();
  EXPECT_FALSE(d.CheckStatusTriggers());

  d.Fake().InjectLineErrors(platform::CeBreak | platform::CeFrame);
  d.RefreshLineErrors();
  EXPECT_TRUE(d.CheckStatusTriggers());
  EXPECT_EQ(handler.Messages.back().First, static_cast<uint32_t>(handle));
  EXPECT_EQ(SavedStatus(handle).Value, leParity | leFraming | leBreak);
  EXPECT_FALSE(SavedStatus(handle).Armed);
}

TEST_F(TriggerTest, TwoQualifyingTriggersFireInTwoCallsEarlierFirst) {
  const int32_t first = ArmedStatus(stModem, platform::ModemCts << 8);
  const int32_t second = ArmedStatus(stModem, (platform::ModemCts | platform::ModemDsr) << 8);
  d.Fake().SetModemLines(platform::ModemCts);
  d.RefreshModemStatus();
  EXPECT_TRUE(d.CheckStatusTriggers());
  EXPECT_TRUE(d.CheckStatusTriggers());
  EXPECT_FALSE(d.CheckStatusTriggers());
  ASSERT_EQ(handler.Messages.size(), 2u);
  EXPECT_EQ(handler.Messages[0].First, static_cast<uint32_t>(first));
  EXPECT_EQ(handler.Messages[1].First, static_cast<uint32_t>(second));
  EXPECT_EQ(handler.Messages[1].Second, Second(0));
}

TEST_F(TriggerTest, ModemTriggerComparesWatchedLinesWithItsReference) {
  // Watch DCD, expecting it on: no change while it is on.
  ArmedStatus(stModem, static_cast<uint16_t>((platform::ModemDcd << 8) | platform::ModemDcd));
  d.Fake().SetModemLines(platform::ModemDcd | platform::ModemCts);
  d.RefreshModemStatus();
  EXPECT_FALSE(d.CheckStatusTriggers());
  d.Fake().SetModemLines(platform::ModemCts);
  d.RefreshModemStatus();
  EXPECT_TRUE(d.CheckStatusTriggers());
}

TEST_F(TriggerTest, OutputSentTriggerFiresAfterAPutBlock) {
  ArmedStatus(stOutSent, 0);
  d.PollTriggers();
  EXPECT_TRUE(handler.Messages.empty());
  const uint8_t byte = 7;
  d.PutBlock(&byte, 1);
  d.PollTriggers();
  ASSERT_EQ(handler.Messages.size(), 1u);
  EXPECT_EQ(handler.Messages[0].Msg, TriggerStatusMsg);
}

TEST_F(TriggerTest, TimerFiresOncePerStart) {
  const int32_t handle = d.AddTimerTrigger();
  ASSERT_GT(handle, 0);
  EXPECT_EQ(d.SetTimerTrigger(handle, -1, true), ecBadArgument);
  EXPECT_EQ(d.SetTimerTrigger(handle + 8, 0, true), ecBadTriggerHandle);
  ASSERT_EQ(d.SetTimerTrigger(handle, 0, true), ecOK);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (handler.Messages.empty() && std::chrono::steady_clock::now() < deadline) {
    d.PollTriggers();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_EQ(handler.Messages.size(), 1u);
  EXPECT_EQ(handler.Messages[0].Msg, TriggerTimerMsg);
  EXPECT_EQ(handler.Messages[0].First, static_cast<uint32_t>(handle));
  EXPECT_FALSE(d.CheckTimerTriggers());
}

TEST_F(TriggerTest, WithoutHandlerServiceTheChecksStillMarkTriggers) {
  d.DeregisterEventTriggerHandler(handler.Method());
  ASSERT_FALSE(d.HandlerServiceNeeded);
  const int32_t status = ArmedStatus(stOutBuffFree, 0);
  const int32_t timer = d.AddTimerTrigger();
  d.SetTimerTrigger(timer, 0, true);
  d.Receive("abc");

  EXPECT_TRUE(d.CheckStatusTriggers());
  EXPECT_FALSE(SavedStatus(status).Armed);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  bool fired = false;
  while (!fired && std::chrono::steady_clock::now() < deadline) {
    fired = d.CheckTimerTriggers();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_TRUE(fired);
  TTriggerSave save;
  d.SaveTriggers(save);
  EXPECT_FALSE(save.TimerTriggers->at(0).Active);

  d.SetAvailTriggerLength(1);
  d.CheckDataTriggers();
  EXPECT_EQ(d.InBuffUsed(), 3u);
  EXPECT_TRUE(handler.Messages.empty());
}

TEST_F(TriggerTest, HandlesCarryTheKindAndAreUnique) {
  std::set<int32_t> handles;
  for (int32_t kind = stModem; kind <= stOutSent; ++kind) {
    const int32_t handle = d.AddStatusTrigger(kind);
    EXPECT_EQ(TBaseDispatcher::StatusTriggerKind(handle), kind);
    EXPECT_LE(handle, 0xFFFF);
    handles.insert(handle);
  }
  const uint8_t seq[] = {'O', 'K'};
  handles.insert(d.AddDataTrigger(seq, 2, false));
  handles.insert(d.AddTimerTrigger());
  EXPECT_EQ(handles.size(), 7u);

  EXPECT_EQ(d.AddStatusTrigger(0), ecBadArgument);
  EXPECT_EQ(d.AddStatusTrigger(6), ecBadArgument);
  const uint8_t long23[23] = {};
  EXPECT_EQ(d.AddDataTrigger(long23, 23, false), ecTriggerTooLong);
  EXPECT_GT(d.AddDataTrigger(long23, 22, false), 0);
  EXPECT_EQ(d.AddDataTrigger(seq, 0, false), ecBadArgument);
  EXPECT_EQ(d.RemoveTrigger(0x7FF8), ecBadTriggerHandle);
  EXPECT_EQ(d.ChangeDataTrigger(*handles.begin() | 0x7, seq, 2, false), ecBadTriggerHandle);
  for (int32_t handle : handles) EXPECT_EQ(d.RemoveTrigger(handle), ecOK);
  EXPECT_EQ(d.RemoveTrigger(*handles.begin()), ecBadTriggerHandle);
}

TEST_F(TriggerTest, TriggerNumbersRunOutAndComeBack) {
  int32_t last = 0;
  for (int32_t i = 0; i < MaxTriggerNumber; ++i) {
    last = d.AddTimerTrigger();
    ASSERT_GT(last, 0) << i;
  }
  EXPECT_EQ(d.AddTimerTrigger(), ecNoMoreTriggers);
  ASSERT_EQ(d.RemoveTrigger(last), ecOK);
  EXPECT_EQ(d.AddStatusTrigger(stOutSent), last | stOutSent);
}

TEST_F(TriggerTest, SavedTriggersComeBackInOrderWithoutHandleClashes) {
  const uint8_t seq[] = {'a', 'b'};
  const int32_t data = d.AddDataTrigger(seq, 2, true);
  const int32_t timer = d.AddTimerTrigger();
  const int32_t status = ArmedStatus(stLine, 0x1F);
  d.SetAvailTriggerLength(7);
  TTriggerSave save;
  d.SaveTriggers(save);
  ASSERT_TRUE(save.DataTriggers && save.TimerTriggers && save.StatusTriggers);
  EXPECT_EQ(save.DataTriggers->at(0).MatchData[0], 'A');

  TTestDispatcher next;
  ASSERT_EQ(next.OpenDefault(), ecOK);
  next.RestoreTriggers(save);
  EXPECT_EQ(next.AvailTriggerLength, 7u);
  TTriggerSave restored;
  next.SaveTriggers(restored);
  EXPECT_EQ(*restored.DataTriggers, *save.DataTriggers);
  EXPECT_EQ(*restored.TimerTriggers, *save.TimerTriggers);
  EXPECT_EQ(*restored.StatusTriggers, *save.StatusTriggers);

  // The new dispatcher's counter starts at 1 again, but never hands out a restored number.
  const int32_t added = next.AddTimerTrigger();
  for (int32_t handle : {data, timer, status}) EXPECT_NE(added >> 3, handle >> 3);

  TBaseDispatcher::FreeSavedTriggers(save);
  EXPECT_FALSE(save.DataTriggers || save.TimerTriggers || save.StatusTriggers);
  save.AvailLength = 0;
  next.RestoreTriggers(save);
  next.SaveTriggers(restored);
  EXPECT_TRUE(restored.DataTriggers->empty() && restored.StatusTriggers->empty());
}

// A set saved while a delivery runs holds triggers that completed on the same byte and wait for
// their own delivery, and partial matches; neither may reach the next dispatcher.
TEST_F(TriggerTest, ASavedSetStartsWithNoPartialOrCompletedMatches) {
  const uint8_t xb[] = {'x', 'b'}, b[] = {'b'}, bz[] = {'b', 'z'};
  ASSERT_GT(d.AddDataTrigger(xb, 2, false), 0);
  ASSERT_GT(d.AddDataTrigger(bz, 2, false), 0);
  const int32_t single = d.AddDataTrigger(b, 1, false);
  TTriggerSave save;
  handler.Then = [&](const RecordingHandler::Message& m) {
    if (m.Msg == TriggerDataMsg && m.First == static_cast<uint32_t>(single)) d.SaveTriggers(save);
  };
  d.Receive("xb");
  d.CheckDataTriggers();
  ASSERT_TRUE(save.DataTriggers.has_value());

  TTestDispatcher next;
  ASSERT_EQ(next.OpenDefault(), ecOK);
  RecordingHandler nextHandler{next};
  ASSERT_EQ(next.RegisterEventTriggerHandler(nextHandler.Method(), false), ecOK);
  next.RestoreTriggers(save);
  next.Receive("z");
  while (next.CheckDataTriggers()) {
  }
  EXPECT_TRUE(nextHandler.Messages.empty());
}

TEST_F(TriggerTest, ClearTriggersDropsEverythingAndTheAvailThreshold) {
  d.SetAvailTriggerLength(3);
  d.AddTimerTrigger();
  ArmedStatus(stOutSent, 0);
  d.ClearTriggers();
  TTriggerSave save;
  d.SaveTriggers(save);
  EXPECT_TRUE(save.TimerTriggers->empty() && save.StatusTriggers->empty());
  EXPECT_EQ(save.AvailLength, 0u);
  EXPECT_EQ(d.AddTimerTrigger(), 1 << 3);
}

TEST(HandlerFlags, UpdateHandlerFlagsCountsOnlyWindowsBeyondThePortsOwn) {
  TTestDispatcher d;
  EXPECT_FALSE(d.HandlerServiceNeeded);
  d.RegisterWndTriggerHandler(11);
  EXPECT_TRUE(d.HandlerServiceNeeded);
  d.UpdateHandlerFlags(0);
  EXPECT_FALSE(d.HandlerServiceNeeded);
  d.UpdateHandlerFlags(1);
  EXPECT_TRUE(d.PortHandlerInstalled);
  EXPECT_TRUE(d.HandlerServiceNeeded);
  d.UpdateHandlerFlags(2);
  EXPECT_FALSE(d.PortHandlerInstalled);
  EXPECT_FALSE(d.HandlerServiceNeeded);
  d.RegisterWndTriggerHandler(12);
  d.UpdateHandlerFlags(2);
  EXPECT_TRUE(d.HandlerServiceNeeded);
}

TEST(HandlerFlags, DeregisteringAnUnknownWindowOnlyRecomputesTheFlags) {
  TTestDispatcher d;
  d.RegisterWndTriggerHandler(11);
  ASSERT_TRUE(d.HandlerServiceNeeded);
  d.DeregisterWndTriggerHandler(99);
  EXPECT_FALSE(d.HandlerServiceNeeded);
  ASSERT_EQ(d.WndTriggerHandlers.size(), 1u);
  EXPECT_EQ(d.WndTriggerHandlers[0].Window, 11);

  d.UpdateHandlerFlags(1);
  d.DeregisterWndTriggerHandler(11);
  EXPECT_TRUE(d.WndTriggerHandlers.empty());
  // Removing a known window leaves the flags as they were.
  EXPECT_TRUE(d.HandlerServiceNeeded);
}

}  // namespace
}  // namespace talyx::testing
