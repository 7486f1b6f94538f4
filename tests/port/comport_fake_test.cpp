// The port component over the fake serial device (through the dispatcher factory hook), where a
// pseudo-terminal cannot show something: modem lines, line errors, DTR/RTS levels, hardware flow
// control; and the hidden window's handling of messages and of failing events.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "errors/commerror.h"
#include "platform/messagequeue.h"
#include "port/comport.h"
#include "porttesting.h"
#include "support/fakeserialdevice.h"
#include "support/ptypair.h"

namespace talyx::testing {
namespace {

using HW = THWFlowOptions;

class ComPortFakeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UseFakes(port);
    port.SetComNumber(7);
  }
  void TearDown() override { ForgetTriggerEvents(port); }

  // Every port the component opens is a new fake device under a journalling dispatcher.
  void UseFakes(TCustomComPort& component) {
    component.SetDispatcherFactory([this](TCustomComPort& owner) {
      auto device = std::make_unique<FakeSerialDevice>();
      fakes.push_back(device.get());
      return std::make_unique<TJournalDispatcher>(&owner, std::move(device), journal);
    });
  }

  // The device of the open port (the dispatcher owns it).
  FakeSerialDevice& Fake() { return *fakes.back(); }

  void RecordEvents() {
    port.SetOnTrigger([this](TCustomComPort&, uint16_t Msg, uint16_t TriggerHandle, uint16_t Data) {
      events.push_back("trigger " + std::to_string(Msg) + " " + std::to_string(TriggerHandle) +
                       " " + std::to_string(Data));
    });
    port.SetOnTriggerAvail([this](TCustomComPort&, uint16_t Count) {
      events.push_back("avail " + std::to_string(Count));
    });
    port.SetOnTriggerStatus([this](TCustomComPort&, uint16_t TriggerHandle) {
      events.push_back("status " + std::to_string(TriggerHandle));
    });
    port.SetOnTriggerLineError([this](TCustomComPort&, uint16_t Error, bool LineBreak) {
      events.push_back("line error " + std::to_string(Error) + (LineBreak ? " break" : ""));
    });
    port.SetOnTriggerModemStatus([this](TCustomComPort&) { events.push_back("modem"); });
  }

  void RunQueuedMessages() {
    while (platform::PumpOneMessage()) {
    }
  }

  MainThreadLoop loop;
  ScopedPortMap map{{{7, "/fake/com7"}, {8, "/fake/com8"}}};
  AppHookRecorder hooks;
  std::vector<std::string> journal;
  std::vector<FakeSerialDevice*> fakes;
  std::vector<std::string> events;
  TComPort port;
};

// ---- Status triggers ---------------------------------------------------------------------------

TEST_F(ComPortFakeTest, LineErrorTriggerRaisesThreeEventsBreakReadFirst) {
  RecordEvents();
  port.SetOpen(true);
  TBaseDispatcher* dispatcher = port.Dispatcher();
  const int32_t handle = dispatcher->AddStatusTrigger(stLine);
  ASSERT_GT(handle, 0);
  const std::string h = std::to_string(handle);

  // A break alone: read first, it is cleared before the error code is read, which then has
  // nothing left to report.
  ASSERT_EQ(dispatcher->SetStatusTrigger(handle, leBreak | leParity, true), ecOK);
  Fake().InjectLineErrors(platform::CeBreak);
  ASSERT_TRUE(loop.Until([&] { return events.size() >= 3; }));
  EXPECT_EQ(events, (std::vector<std::string>{"trigger 32260 " + h + " 0", "status " + h,
                                              "line error 0 break"}));

  events.clear();
  ASSERT_EQ(dispatcher->SetStatusTrigger(handle, leBreak | leParity, true), ecOK);
  Fake().InjectLineErrors(platform::CeRxParity);
  ASSERT_TRUE(loop.Until([&] { return events.size() >= 3; }));
  EXPECT_EQ(events[2], "line error 3");
  EXPECT_EQ(port.LineErrorCode(), 0);  // the event's reading cleared it
  EXPECT_FALSE(port.BreakReceived());
}

TEST_F(ComPortFakeTest, ModemTriggerRaisesOnTriggerModemStatus) {
  RecordEvents();
  port.SetOpen(true);
  TBaseDispatcher* dispatcher = port.Dispatcher();
  const int32_t handle = dispatcher->AddStatusTrigger(stModem);
  ASSERT_GT(handle, 0);
  // Watch CTS, expected low.
  ASSERT_EQ(dispatcher->SetStatusTrigger(handle, platform::ModemCts << 8, true), ecOK);
  Fake().SetModemLines(platform::ModemCts);
  ASSERT_TRUE(loop.Until([&] { return events.size() >= 3; }));
  EXPECT_EQ(events[1], "status " + std::to_string(handle));
  EXPECT_EQ(events[2], "modem");
}

// ---- Line levels and flow control ------------------------------------------------------------

TEST_F(ComPortFakeTest, LineLevelsAndHardwareFlowFollowTheComponentToANewPort) {
  port.SetDTR(false);
  port.SetHWFlowOptions({HW::hwfRequireCTS});
  port.SetOpen(true);
  EXPECT_FALSE(Fake().Dtr());
  EXPECT_TRUE(Fake().Rts());

  port.SetComNumber(8);
  ASSERT_EQ(fakes.size(), 2u);
  EXPECT_EQ(Fake().OpenedPath(), "/fake/com8");
  EXPECT_FALSE(Fake().Dtr());
  EXPECT_TRUE(Fake().Rts());
  uint32_t hw = 0, sw = 0;
  uint8_t xOn = 0, xOff = 0;
  port.Dispatcher()->GetFlowOptions(hw, sw, xOn, xOff);
  EXPECT_EQ(hw, hwoRequireCTS);
  EXPECT_EQ(xOn, 17);
  EXPECT_EQ(xOff, 19);
}

TEST_F(ComPortFakeTest, RS485OnAnOpenPortTakesRtsOutOfFlowControlAndLowersIt) {
  port.SetHWFlowOptions({HW::hwfUseRTS});
  port.SetOpen(true);
  port.SetRS485Mode(true);
  EXPECT_FALSE(Fake().Rts());
  EXPECT_FALSE(port.RTS());
  uint32_t hw = 0, sw = 0;
  uint8_t xOn = 0, xOff = 0;
  port.Dispatcher()->GetFlowOptions(hw, sw, xOn, xOff);
  EXPECT_EQ(hw, 0u);
}

TEST_F(ComPortFakeTest, LineSettingsChangedWhileOpenReachTheDevice) {
  port.SetOpen(true);
  port.SetBaud(57600);
  port.SetParity(TParity::pEven);
  port.SetDataBits(7);
  port.SetStopBits(2);
  const platform::LineSettings settings = Fake().StoredSettings();
  EXPECT_EQ(settings.BaudRate, 57600u);
  EXPECT_EQ(settings.Parity, platform::EvenParity);
  EXPECT_EQ(settings.ByteSize, 7);
  EXPECT_EQ(settings.StopBits, platform::TwoStopBits);
}

TEST_F(ComPortFakeTest, RefusedLineSettingIsRaised) {
  port.SetOpen(true);
  Fake().FailSetState(FakeSerialDevice::InvalidArgument);
  EXPECT_THROW(port.SetBaud(1200), Exception);
}

// ---- The hidden window -----------------------------------------------------------------------

TEST_F(ComPortFakeTest, WindowTakesOnlyMessagesOfALiveDispatcher) {
  RecordEvents();
  port.SetOpen(true);
  const platform::LParam live = port.Dispatcher()->Handle << 16;

  ASSERT_TRUE(platform::PostMessage(port.ComWindow(), TriggerAvailMsg, 5, 0x7000 << 16));
  ASSERT_TRUE(platform::PostMessage(port.ComWindow(), 0x7E05, 5, live));
  RunQueuedMessages();
  EXPECT_TRUE(events.empty());

  ASSERT_TRUE(platform::PostMessage(port.ComWindow(), TriggerAvailMsg, 5, live));
  RunQueuedMessages();
  EXPECT_EQ(events, (std::vector<std::string>{"trigger 32257 5 5", "avail 5"}));
}

TEST_F(ComPortFakeTest, ExceptionFromAnEventIsShownAndTheWindowGoesOn) {
  int calls = 0;
  port.SetOnTrigger([&](TCustomComPort&, uint16_t, uint16_t, uint16_t) {
    ++calls;
    throw std::runtime_error("handler failed");
  });
  port.SetOpen(true);
  const platform::LParam live = port.Dispatcher()->Handle << 16;
  ASSERT_TRUE(platform::PostMessage(port.ComWindow(), TriggerTimerMsg, 8, live));
  ASSERT_TRUE(platform::PostMessage(port.ComWindow(), TriggerTimerMsg, 16, live));
  RunQueuedMessages();
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(hooks.Shown, (std::vector<std::string>{"handler failed", "handler failed"}));
}

TEST_F(ComPortFakeTest, AnythingAnEventOrACloseThrowsIsShownAndNeverEscapes) {
  std::vector<uint16_t> avail;
  port.SetOnTrigger([](TCustomComPort&, uint16_t, uint16_t, uint16_t) { throw 42; });
  port.SetOnTriggerAvail([&](TCustomComPort&, uint16_t Count) { avail.push_back(Count); });
  port.SetOpen(true);
  const platform::LParam live = port.Dispatcher()->Handle << 16;
  ASSERT_TRUE(platform::PostMessage(port.ComWindow(), TriggerAvailMsg, 3, live));
  RunQueuedMessages();
  EXPECT_TRUE(avail.empty());  // the failing event ends the message's events
  EXPECT_EQ(hooks.Shown,
            std::vector<std::string>{"A handler failed with an exception of unknown type"});

  // Anything a closing notification throws reaches the display, and the close completes.
  port.SetOnPortClosed([](TCustomComPort&) { throw 7; });
  EXPECT_NO_THROW(port.SetOpen(false));
  EXPECT_EQ(port.OpenState(), TOpenState::osClosed);
  EXPECT_EQ(hooks.Shown.size(), 2u);
  // The same on destruction, where it would otherwise end the program.
  {
    TComPort doomed;
    UseFakes(doomed);
    doomed.SetComNumber(8);
    doomed.SetOnPortClosed([](TCustomComPort&) { throw 'x'; });
    doomed.SetOpen(true);
  }
  EXPECT_EQ(hooks.Shown.size(), 3u);
}

TEST_F(ComPortFakeTest, EventThatReassignsItselfOrAssignsItsComponentRunsToItsEnd) {
  std::vector<std::string> ran;
  TComPort source;
  UseFakes(source);
  // Captures large enough to live on the heap with the callable that holds them.
  const std::string first(64, 'a'), second(64, 'b');
  port.SetOnTriggerAvail([&, first](TCustomComPort&, uint16_t) {
    port.SetOnTriggerAvail(nullptr);
    ran.push_back(first);
  });
  port.SetOnTriggerTimer([&, second](TCustomComPort& CP, uint16_t) {
    CP.Assign(source);  // replaces every event with the source's (none)
    ran.push_back(second);
  });
  port.SetOpen(true);
  const platform::LParam live = port.Dispatcher()->Handle << 16;
  ASSERT_TRUE(platform::PostMessage(port.ComWindow(), TriggerAvailMsg, 1, live));
  ASSERT_TRUE(platform::PostMessage(port.ComWindow(), TriggerTimerMsg, 8, live));
  RunQueuedMessages();
  EXPECT_EQ(ran, (std::vector<std::string>{first, second}));
  EXPECT_FALSE(port.OnTriggerAvail());
  EXPECT_FALSE(port.OnTriggerTimer());
}

TEST_F(ComPortFakeTest, DispatcherLearnsWhetherTheWindowWantsMessages) {
  port.SetOpen(true);
  EXPECT_EQ(journal, std::vector<std::string>{"flags 2"});
  port.SetOnTriggerTimer([](TCustomComPort&, uint16_t) {});
  port.SetOnTriggerOutSent([](TCustomComPort&) {});
  port.SetOnTriggerTimer(nullptr);
  port.SetOnTriggerOutSent(nullptr);
  EXPECT_EQ(journal,
            (std::vector<std::string>{"flags 2", "flags 1", "flags 1", "flags 1", "flags 2"}));
}

// ---- Port users and Assign -------------------------------------------------------------------

TEST_F(ComPortFakeTest, PortUsersAreToldLastToFirstBeforeTheEvent) {
  std::vector<std::string> told;
  const platform::WindowHandle userWindow = platform::CreateHiddenWindow(
      "PortUser", [&](platform::WindowHandle, uint32_t msg, platform::WParam, platform::LParam) {
        told.push_back(msg == PortOpenedMsg ? "window opened" : "window closed");
        return platform::LResult{0};
      });
  port.AddPortUser({0, [&](TCustomComPort&, bool Opening) {
                      told.push_back(Opening ? "first opened" : "first closed");
                    }});
  port.AddPortUser({userWindow, nullptr});
  port.SetOnPortOpened([&](TCustomComPort&) { told.push_back("OnPortOpened"); });
  port.SetOnPortClosed([&](TCustomComPort&) { told.push_back("OnPortClosed"); });

  port.SetOpen(true);
  port.SetOpen(false);
  platform::DestroyHiddenWindow(userWindow);
  EXPECT_EQ(told, (std::vector<std::string>{"window opened", "first opened", "OnPortOpened",
                                            "window closed", "first closed", "OnPortClosed"}));
}

TEST_F(ComPortFakeTest, AssignCopiesSettingsEventsAndTheOpenSourcesTriggers) {
  std::vector<const TCustomComPort*> dataSenders;
  port.SetBaud(57600);
  port.SetHWFlowOptions({HW::hwfUseDTR});
  port.SetOnTriggerData([&](TCustomComPort& CP, uint16_t) { dataSenders.push_back(&CP); });
  port.SetOpen(true);
  const uint8_t ok[] = {'O', 'K'};
  ASSERT_GT(port.Dispatcher()->AddDataTrigger(ok, 2, false), 0);

  TComPort copy;
  UseFakes(copy);
  copy.Assign(port);
  EXPECT_EQ(copy.Baud(), 57600);
  EXPECT_EQ(copy.ComNumber(), 7);
  EXPECT_EQ(copy.HWFlowOptions(), THWFlowOptionSet({HW::hwfUseDTR}));
  EXPECT_EQ(copy.BufferFull(), 3686);
  EXPECT_FALSE(copy.Open());
  EXPECT_EQ(copy.OpenState(), TOpenState::osClosed);

  copy.SetComNumber(8);
  copy.SetOpen(true);
  Fake().FeedInput("OK");
  ASSERT_TRUE(loop.Until([&] { return !dataSenders.empty(); }));
  EXPECT_EQ(dataSenders[0], &copy);
}

// ---- Data ----------------------------------------------------------------------------------

TEST_F(ComPortFakeTest, TimedGetCharGivesEachBytesReadTimeOnBothClocks) {
  std::string received;
  std::vector<TReadTime> times;
  port.SetOnTrigger([&](TCustomComPort& CP, uint16_t Msg, uint16_t, uint16_t Data) {
    if (Msg != TriggerAvailMsg) return;
    for (uint16_t i = 0; i < Data; ++i) {
      TReadTime time;
      received += static_cast<char>(CP.GetChar(time));
      times.push_back(time);
    }
  });
  port.SetOpen(true);
  const uint64_t before = platform::MicrosecondClock();
  Fake().FeedInput("abc");
  ASSERT_TRUE(loop.Until([&] { return received.size() >= 3; }));
  const uint64_t after = platform::MicrosecondClock();
  EXPECT_EQ(received, "abc");
  for (const TReadTime& time : times) {
    EXPECT_GE(time.Us, before);
    EXPECT_LE(time.Us, after);
    EXPECT_EQ(time.Ms, platform::MillisecondsOf(time.Us));
  }

  // Nothing waiting: the time of the call, on both clocks.
  port.SetOnTrigger(nullptr);
  TReadTime time;
  EXPECT_THROW(port.GetChar(time), EBufferIsEmpty);
  EXPECT_GE(time.Us, after);
  EXPECT_EQ(time.Ms, platform::MillisecondsOf(time.Us));
}

}  // namespace
}  // namespace talyx::testing
