// Tests of opening and closing, line settings, the drain wait, DTR/RTS, modem status, line
// errors, flow control and the worker threads' priorities, over the fake device.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "testdispatcher.h"

namespace talyx::testing {
namespace {

using platform::LineSettings;

class LineTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(d.OpenDefault(), ecOK); }
  LineSettings Stored() { return d.Fake().StoredSettings(); }
  TTestDispatcher d;
};

TEST_F(LineTest, KeepValuesAndCurrentValuesLeaveTheDeviceAloneWithoutWaitingForOutput) {
  const uint8_t queued[] = {1, 2, 3};
  ASSERT_EQ(d.PutBlock(queued, 3), ecOK);
  const auto before = d.Fake().Counts();
  EXPECT_EQ(d.SetLine(0, 5, 9, 3), ecOK);
  EXPECT_EQ(d.SetLine(9600, platform::NoParity, 8, 1), ecOK);
  const auto after = d.Fake().Counts();
  EXPECT_EQ(after.SetState, before.SetState);
  // One read of the settings each, and no polling of the output ring.
  EXPECT_EQ(after.GetState, before.GetState + 2);
  EXPECT_EQ(after.ClearErrors, before.ClearErrors);
  EXPECT_EQ(d.OutBuffUsed(), 3u);
}

struct NormalisationCase {
  LineSettings Start;
  int32_t Baud;
  uint8_t Parity, DataBits, StopBits;
  uint32_t WantBaud;
  uint8_t WantParity, WantByteSize, WantStopBits;
};

LineSettings Line(uint32_t baud, uint8_t parity, uint8_t byteSize, uint8_t stopBits) {
  LineSettings settings;
  settings.BaudRate = baud;
  settings.Parity = parity;
  settings.ByteSize = byteSize;
  settings.StopBits = stopBits;
  return settings;
}

TEST(SetLineNormalisation, KeepValuesStopBitBoundsAndFiveDataBits) {
  using namespace platform;
  const NormalisationCase cases[] = {
      {Line(9600, NoParity, 8, OneStopBit), 19200, EvenParity, 7, 2, 19200, EvenParity, 7,
       TwoStopBits},
      {Line(9600, OddParity, 7, TwoStopBits), 0, 5, 9, 3, 9600, OddParity, 7, TwoStopBits},
      {Line(9600, NoParity, 7, TwoStopBits), 0, 5, 8, 3, 9600, NoParity, 8, TwoStopBits},
      {Line(9600, NoParity, 8, TwoStopBits), 4800, 5, 9, 0, 4800, NoParity, 8, OneStopBit},
      {Line(9600, NoParity, 8, OneStopBit), 0, MarkParity, 9, 7, 9600, MarkParity, 8, TwoStopBits},
      {Line(9600, NoParity, 8, OneStopBit), 0, 5, 5, 1, 9600, NoParity, 5, One5StopBits},
      {Line(9600, NoParity, 8, OneStopBit), 0, 5, 5, 2, 9600, NoParity, 5, One5StopBits},
      {Line(9600, NoParity, 8, TwoStopBits), 0, 5, 5, 3, 9600, NoParity, 5, One5StopBits},
      {Line(9600, NoParity, 5, One5StopBits), 0, SpaceParity, 9, 2, 9600, SpaceParity, 5,
       One5StopBits},
  };
  for (const NormalisationCase& c : cases) {
    TTestDispatcher d;
    ASSERT_EQ(d.Fake().Open("/fake"), 0);
    ASSERT_EQ(d.Fake().SetState(c.Start), 0);
    d.Fake().Close();
    ASSERT_EQ(d.OpenPort("/fake", 0, 5, 9, 3, 4096, 4096, 0), ecOK);
    ASSERT_EQ(d.SetLine(c.Baud, c.Parity, c.DataBits, c.StopBits), ecOK);
    const LineSettings stored = d.Fake().StoredSettings();
    EXPECT_EQ(stored.BaudRate, c.WantBaud);
    EXPECT_EQ(stored.Parity, c.WantParity);
    EXPECT_EQ(stored.ByteSize, c.WantByteSize);
    EXPECT_EQ(stored.StopBits, c.WantStopBits)
        << "from " << int{c.Start.ByteSize} << " data bits with SetLine(" << c.Baud << ", "
        << int{c.Parity} << ", " << int{c.DataBits} << ", " << int{c.StopBits} << ")";
  }
}

TEST_F(LineTest, AppliedSettingsCarryTheRequestedDtrAndRtsLevels) {
  ASSERT_EQ(d.SetRTS(false), ecOK);
  ASSERT_EQ(d.SetLine(19200, platform::NoParity, 8, 1), ecOK);
  EXPECT_EQ(d.LastBaud, 19200);
  EXPECT_EQ(Stored().DtrControl, platform::DtrControl::Enabled);
  EXPECT_EQ(Stored().RtsControl, platform::RtsControl::Disabled);
  EXPECT_TRUE(d.Fake().Dtr());
  EXPECT_FALSE(d.Fake().Rts());
}

TEST_F(LineTest, GetLineReportsWhatTheDeviceReallyUses) {
  // A pseudo-terminal keeps 8 data bits and no parity whatever it is asked.
  d.Fake().ForceSettings([](LineSettings& s) {
    s.ByteSize = 8;
    s.Parity = platform::NoParity;
  });
  ASSERT_EQ(d.SetLine(250000, platform::EvenParity, 7, 2), ecOK);
  int32_t baud;
  uint8_t parity, dataBits, stopBits;
  ASSERT_EQ(d.GetLine(baud, parity, dataBits, stopBits), ecOK);
  EXPECT_EQ(baud, 250000);
  EXPECT_EQ(parity, platform::NoParity);
  EXPECT_EQ(dataBits, 8);
  EXPECT_EQ(stopBits, 2);
}

TEST_F(LineTest, RefusedSettingsAreReportedAndFailAnOpen) {
  EXPECT_EQ(d.SetLine(9600, platform::NoParity, 4, 1), -FakeSerialDevice::InvalidArgument);
  d.Fake().FailSetState(5);
  EXPECT_EQ(d.SetLine(4800, platform::NoParity, 8, 1), -5);

  TTestDispatcher other;
  EXPECT_EQ(other.OpenPort("/fake", 9600, 9, 8, 1, 4096, 4096, 0),
            -FakeSerialDevice::InvalidArgument);
  EXPECT_FALSE(other.Fake().IsOpen());
  EXPECT_LT(other.ComHandle, 0);
  EXPECT_EQ(other.StartThreadsCalls(), 0);
}

// SetLine with new values waits until the output ring is empty before it applies them.
TEST_F(LineTest, ChangedSettingsWaitForTheOutputToDrain) {
  const uint8_t queued[] = {1, 2, 3, 4};
  ASSERT_EQ(d.PutBlock(queued, 4), ecOK);
  const int setStatesBefore = d.Fake().Counts().SetState;
  const int pollsBefore = d.Fake().Counts().ClearErrors;
  std::atomic<ErrorCode> result{1};
  std::thread setter([&] { result = d.SetLine(19200, platform::NoParity, 8, 1); });

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (d.Fake().Counts().ClearErrors < pollsBefore + 3 &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::yield();
  }
  // The drain wait is polling the ring; nothing has been applied yet.
  EXPECT_GE(d.Fake().Counts().ClearErrors, pollsBefore + 3);
  EXPECT_EQ(d.Fake().Counts().SetState, setStatesBefore);
  EXPECT_EQ(d.DrainOutput(), 4u);
  setter.join();
  EXPECT_EQ(result, ecOK);
  EXPECT_EQ(d.Fake().Counts().SetState, setStatesBefore + 1);
  EXPECT_EQ(Stored().BaudRate, 19200u);
}

// Bytes the driver still holds would go out at the new settings: SetLine waits for them too.
TEST_F(LineTest, ChangedSettingsWaitForTheDriversOutputQueueToEmpty) {
  d.Fake().SetDriverOutQueue(40);
  const int setStatesBefore = d.Fake().Counts().SetState;
  const int queriesBefore = d.Fake().Counts().OutputQueue;
  std::atomic<ErrorCode> result{1};
  std::thread setter([&] { result = d.SetLine(19200, platform::NoParity, 8, 1); });

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (d.Fake().Counts().OutputQueue < queriesBefore + 3 &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::yield();
  }
  EXPECT_GE(d.Fake().Counts().OutputQueue, queriesBefore + 3);
  EXPECT_EQ(d.Fake().Counts().SetState, setStatesBefore);
  d.Fake().SetDriverOutQueue(0);
  setter.join();
  EXPECT_EQ(result, ecOK);
  EXPECT_EQ(Stored().BaudRate, 19200u);
}

TEST_F(LineTest, NegativeRatesAreRefusedAndRateZeroKeepsTheCurrentRate) {
  const int setStatesBefore = d.Fake().Counts().SetState;
  EXPECT_EQ(d.SetLine(-5, platform::NoParity, 8, 1), ecBadArgument);
  EXPECT_EQ(d.Fake().Counts().SetState, setStatesBefore);
  EXPECT_EQ(d.SetLine(0, platform::EvenParity, 7, 1), ecOK);
  EXPECT_EQ(Stored().BaudRate, 9600u);
  int32_t baud = 0;
  uint8_t parity = 0, dataBits = 0, stopBits = 0;
  EXPECT_EQ(d.GetLine(baud, parity, dataBits, stopBits), ecOK);
  EXPECT_EQ(baud, 9600);
  EXPECT_EQ(dataBits, 7);

  TTestDispatcher other;
  EXPECT_EQ(other.OpenPort("/fake", -9600, platform::NoParity, 8, 1, 4096, 4096, 0), ecBadArgument);
  EXPECT_FALSE(other.Fake().IsOpen());
}

TEST(DrainSleep, EighteenCharactersOnTheWire) {
  using namespace platform;
  // 9600 8N1: 1041 * 10 bits * 18 = 187380 units of 100 ns -> 19 ms.
  EXPECT_EQ(TBaseDispatcher::DrainSleepMs(9600, 8, NoParity, OneStopBit), 19u);
  // 110 7E2: 90909 * 11 * 18 = 17999982 -> 1800 ms.
  EXPECT_EQ(TBaseDispatcher::DrainSleepMs(110, 7, EvenParity, TwoStopBits), 1800u);
  EXPECT_EQ(TBaseDispatcher::DrainSleepMs(115200, 8, NoParity, OneStopBit), 2u);
  // Below 10000 units the time is doubled: 200000 baud gives 50 * 10 * 18 = 9000 -> 18000.
  EXPECT_EQ(TBaseDispatcher::DrainSleepMs(200000, 8, NoParity, OneStopBit), 2u);
  EXPECT_EQ(TBaseDispatcher::DrainSleepMs(921600, 8, NoParity, OneStopBit), 1u);
  // Legacy rate codes: 0xFF16 is 9600, 0xFEFF is 115200, 0xFF19 has no rate of its own.
  EXPECT_EQ(TBaseDispatcher::DrainSleepMs(0xFF16, 8, NoParity, OneStopBit), 19u);
  EXPECT_EQ(TBaseDispatcher::DrainSleepMs(0xFEFF, 8, NoParity, OneStopBit), 2u);
  EXPECT_EQ(TBaseDispatcher::DrainSleepMs(0xFF19, 8, NoParity, OneStopBit), 3u);
  EXPECT_EQ(TBaseDispatcher::DrainSleepMs(0, 8, NoParity, OneStopBit), 0u);
}

TEST(DrainSleep, LegacyRateCodes) {
  EXPECT_EQ(TBaseDispatcher::TranslateBaud(0xFF10), 110);
  EXPECT_EQ(TBaseDispatcher::TranslateBaud(0xFF1B), 38400);
  EXPECT_EQ(TBaseDispatcher::TranslateBaud(0xFF1F), 56000);
  EXPECT_EQ(TBaseDispatcher::TranslateBaud(0xFF23), 128000);
  EXPECT_EQ(TBaseDispatcher::TranslateBaud(0xFF27), 256000);
  EXPECT_EQ(TBaseDispatcher::TranslateBaud(0xFF1A), 0xFF1A);
  EXPECT_EQ(TBaseDispatcher::TranslateBaud(0xFF28), 0xFF28);
  EXPECT_EQ(TBaseDispatcher::TranslateBaud(57600), 57600);
}

TEST_F(LineTest, DtrAndRtsFollowEscapesUnlessUnderFlowControl) {
  EXPECT_TRUE(d.Fake().Dtr());
  EXPECT_EQ(d.SetDTR(false), ecOK);
  EXPECT_FALSE(d.Fake().Dtr());
  EXPECT_FALSE(d.DTRState);

  d.Fake().FailEscapes(5);
  EXPECT_EQ(d.SetRTS(false), ecBadArgument);

  TTestDispatcher flow;
  ASSERT_EQ(flow.OpenPort("/fake", 9600, 0, 8, 1, 4096, 4096, loDtrFlow | loRtsOn), ecOK);
  const size_t escapes = flow.Fake().Escapes().size();
  const bool dtrBefore = flow.DTRState;
  EXPECT_EQ(flow.SetDTR(!dtrBefore), 1);
  EXPECT_EQ(flow.DTRState, dtrBefore);
  EXPECT_EQ(flow.Fake().Escapes().size(), escapes);
  EXPECT_TRUE(flow.Fake().Rts());
}

TEST_F(LineTest, ModemStatusKeepsChangeBitsUntilTheKeepMaskDropsThem) {
  d.Fake().SetModemLines(platform::ModemCts | platform::ModemDcd);
  EXPECT_EQ(d.GetModemStatus(0xFF), 0x90);
  d.Fake().SetModemLines(platform::ModemCts | platform::ModemDsr);
  d.RefreshModemStatus();
  // DSR and DCD changed: bits 0x02 and 0x08.
  EXPECT_EQ(d.GetModemStatus(0xF0), 0x3A);
  EXPECT_EQ(d.GetModemStatus(0xFF), 0x30);
  d.SetRingSeen();
  EXPECT_EQ(d.GetModemStatus(0xFF), 0x34);
  EXPECT_EQ(d.GetModemStatus(0xF0), 0x34);
  EXPECT_EQ(d.GetModemStatus(0xFF), 0x30);
}

TEST_F(LineTest, LineErrorCodesComeInOrderAndTheBreakIsReportedOnce) {
  struct Case {
    uint32_t Errors;
    ErrorCode Code;
  };
  const Case cases[] = {{0x1F, 1}, {0x1E, 2}, {0x1C, 3}, {0x18, 4}, {0x10, 9}, {0x00, 0}};
  for (const Case& c : cases) {
    d.Fake().InjectLineErrors(c.Errors);
    d.RefreshLineErrors();
    EXPECT_EQ(d.LineErrorCode(), c.Code) << "errors " << c.Errors;
    d.BreakReceived();
    EXPECT_EQ(d.LineErrorCode(), 0);
  }

  d.Fake().InjectLineErrors(platform::CeOverrun | platform::CeBreak);
  d.RefreshLineErrors();
  EXPECT_EQ(d.LineErrorCode(), 2);
  EXPECT_EQ(d.LastError, leBreak);
  EXPECT_TRUE(d.BreakReceived());
  EXPECT_FALSE(d.BreakReceived());
}

TEST_F(LineTest, FlowControlMarksAreBoundedByTheDriversQueue) {
  EXPECT_EQ(d.SetHWFlow(100, 200, hwoUseRTS), ecBadArgument);
  EXPECT_EQ(d.SetHWFlow(4097, 10, hwoUseRTS), ecBadArgument);
  EXPECT_EQ(d.SetSWFlow(100, 200, swoReceive | swoTransmit), ecBadArgument);
  EXPECT_EQ(d.SetSWFlow(4097, 10, swoReceive), ecBadArgument);
  EXPECT_EQ(Stored().RtsControl, platform::RtsControl::Enabled);

  ASSERT_EQ(d.SetHWFlow(4096, 10, hwoUseRTS | hwoRequireCTS), ecOK);
  EXPECT_EQ(Stored().RtsControl, platform::RtsControl::Handshake);
  EXPECT_EQ(Stored().DtrControl, platform::DtrControl::Enabled);
  EXPECT_TRUE(Stored().OutxCtsFlow);
  EXPECT_FALSE(Stored().OutxDsrFlow);
  EXPECT_EQ(Stored().XoffLim, 0);
  EXPECT_EQ(Stored().XonLim, 10);
  EXPECT_EQ(d.SetRTS(false), 1);

  ASSERT_EQ(d.SetSWFlow(3000, 100, swoReceive | swoTransmit), ecOK);
  uint32_t hw, sw;
  uint8_t xOn, xOff;
  ASSERT_EQ(d.GetFlowOptions(hw, sw, xOn, xOff), ecOK);
  EXPECT_EQ(hw, hwoUseRTS | hwoRequireCTS);
  EXPECT_EQ(sw, swoReceive | swoTransmit);
  EXPECT_EQ(Stored().XoffLim, 1096);
  EXPECT_EQ(xOn, 17);
  EXPECT_EQ(xOff, 19);

  ASSERT_EQ(d.SetFlowChars(1, 2), ecOK);
  ASSERT_EQ(d.DisableSWFlow(), ecOK);
  ASSERT_EQ(d.GetFlowOptions(hw, sw, xOn, xOff), ecOK);
  EXPECT_EQ(sw, 0u);
  EXPECT_EQ(xOn, 1);
  EXPECT_EQ(xOff, 2);
}

TEST_F(LineTest, RS485LeavesTheLineTurnaroundToTheDriver) {
  d.SetRS485Mode(true);
  ASSERT_EQ(d.SetHWFlow(2000, 1000, 0), ecOK);
  EXPECT_EQ(Stored().RtsControl, platform::RtsControl::Toggle);
  EXPECT_TRUE(d.RTSAuto);
  const uint8_t byte = 0x55;
  EXPECT_EQ(d.PutBlock(&byte, 1), ecOK);
}

TEST_F(LineTest, ThreadPrioritiesFollowTheBoostOfThreadsThatExist) {
  d.SetThreadBoost(1);
  EXPECT_EQ(d.DispThreadPriority, NormalThreadPriority);
  d.PretendThreads(true);
  d.SetThreadBoost(2);
  EXPECT_EQ(d.ComThreadPriority, 5);
  EXPECT_EQ(d.DispThreadPriority, 5);
  EXPECT_EQ(d.OutThreadPriority, 5);
  d.SetRS485Mode(true);
  EXPECT_EQ(d.OutThreadPriority, 6);
  d.SetThreadBoost(9);
  EXPECT_EQ(d.ComThreadPriority, 6);
  d.SetRS485Mode(false);
  EXPECT_EQ(d.OutThreadPriority, 6);
  d.PretendThreads(false);
}

TEST_F(LineTest, OptionsAndBufferSizes) {
  d.SetOption(0x05);
  d.SetOption(0x10);
  d.ClearOption(0x04);
  EXPECT_EQ(d.GetOptions(), 0x11u);
  EXPECT_EQ(d.SetBufferSizes(8192, 8192), ecOK);
  d.FailDeviceSetup(87);
  EXPECT_EQ(d.SetBufferSizes(8192, 8192), -87);
}

TEST(OpenPortTest, OpensWithLineOptionsAndStartsTheThreadsOnce) {
  TTestDispatcher d;
  ASSERT_EQ(d.OpenPort("/dev/fake7", 9600, 0, 8, 1, 4096, 512, loRtsOn), ecOK);
  EXPECT_EQ(d.Fake().OpenedPath(), "/dev/fake7");
  EXPECT_FALSE(d.Fake().Dtr());
  EXPECT_TRUE(d.Fake().Rts());
  EXPECT_EQ(d.StartThreadsCalls(), 1);
  EXPECT_EQ(d.OutBuffFree(), 512u);
  EXPECT_EQ(d.LastBaud, 115200);
  EXPECT_EQ(d.OpenPort("/dev/fake7", 9600, 0, 8, 1, 4096, 512, 0), ecAlreadyOpen);

  d.ClosePort();
  EXPECT_FALSE(d.Fake().IsOpen());
  EXPECT_EQ(d.InBuffer, nullptr);
  EXPECT_EQ(d.OutBuffer, nullptr);
  d.ClosePort();
}

TEST(OpenPortTest, FailuresReportThePlatformErrorAndLeaveThePortClosed) {
  TTestDispatcher missing;
  missing.Fake().FailOpen(2);
  EXPECT_EQ(missing.OpenDefault(), ecFileNotFound);
  EXPECT_LT(missing.ComHandle, 0);

  TTestDispatcher noSignals;
  noSignals.FailDeviceOpen(ecOutOfMemory);
  EXPECT_EQ(noSignals.OpenDefault(), ecOutOfMemory);

  TTestDispatcher queues;
  queues.FailDeviceSetup(87);
  EXPECT_EQ(queues.OpenDefault(), -87);
  EXPECT_FALSE(queues.Fake().IsOpen());
  EXPECT_EQ(queues.InBuffer, nullptr);
  EXPECT_EQ(queues.StartThreadsCalls(), 0);
}

}  // namespace
}  // namespace talyx::testing
