// The port component's settings and the open refusals that need no working device: defaults,
// flow-control marks, RS-485 rules, trace wishes while closed, port selection, missing ports,
// loading.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <memory>
#include <string>

#include "errors/commerror.h"
#include "platform/termiosprovider.h"
#include "port/comport.h"
#include "porttesting.h"
#include "support/openwatch.h"
#include "support/ptypair.h"
#include "support/scopedproviders.h"

namespace talyx::testing {
namespace {

using HW = THWFlowOptions;

class ComPortSettingsTest : public ::testing::Test {
 protected:
  ScopedDeviceProviders providers{TermiosProviderOnly()};
  MainThreadLoop loop;
  ScopedPortMap noPorts;  // no number has a device
  AppHookRecorder hooks;
  TComPort port;
};

TEST_F(ComPortSettingsTest, StartsWithTheDocumentedDefaults) {
  EXPECT_EQ(port.Version(), "v3.06");
  port.SetVersion("v9.99");
  EXPECT_EQ(port.Version(), "v3.06");

  EXPECT_EQ(port.DeviceLayer(), TDeviceLayer::dlWin32);
  EXPECT_EQ(port.ComNumber(), 0);
  EXPECT_EQ(port.Baud(), 19200);
  EXPECT_TRUE(port.PromptForPort());
  EXPECT_EQ(port.Parity(), TParity::pNone);
  EXPECT_EQ(port.DataBits(), 8);
  EXPECT_EQ(port.StopBits(), 1);
  EXPECT_EQ(port.InSize(), 4096);
  EXPECT_EQ(port.OutSize(), 4096);
  EXPECT_TRUE(port.AutoOpen());
  EXPECT_FALSE(port.Open());
  EXPECT_TRUE(port.DTR());
  EXPECT_TRUE(port.RTS());
  EXPECT_TRUE(port.HWFlowOptions().Empty());
  EXPECT_EQ(port.SWFlowOptions(), TSWFlowOptions::swfNone);
  EXPECT_EQ(port.XOnChar(), 17);
  EXPECT_EQ(port.XOffChar(), 19);
  EXPECT_EQ(port.BufferFull(), 0);
  EXPECT_EQ(port.BufferResume(), 0);
  EXPECT_EQ(port.Tracing(), TTraceLogState::tlOff);
  EXPECT_EQ(port.TraceSize(), 10000u);
  EXPECT_EQ(port.TraceName(), "SERIAL.TRC");
  EXPECT_TRUE(port.TraceHex());
  EXPECT_FALSE(port.TraceAllHex());
  EXPECT_EQ(port.Logging(), TTraceLogState::tlOff);
  EXPECT_EQ(port.LogSize(), 10000u);
  EXPECT_EQ(port.LogName(), "SERIAL.LOG");
  EXPECT_TRUE(port.LogHex());
  EXPECT_FALSE(port.LogAllHex());
  EXPECT_TRUE(port.UseMSRShadow());
  EXPECT_TRUE(port.UseEventWord());
  EXPECT_EQ(port.CommNotificationLevel(), 10);
  EXPECT_EQ(port.TapiMode(), TTapiMode::tmAuto);
  EXPECT_FALSE(port.RS485Mode());
  EXPECT_EQ(port.AvailTriggerLength(), 1);
  EXPECT_EQ(port.PriorityBoost(), 0);
  EXPECT_EQ(port.OpenState(), TOpenState::osClosed);

  port.SetUseMSRShadow(false);
  EXPECT_TRUE(port.UseMSRShadow());
}

// ---- Flow-control marks ------------------------------------------------------------------------

TEST_F(ComPortSettingsTest, HardwareFlowFillsNinetyAndTenPercentMarks) {
  port.SetHWFlowOptions({HW::hwfUseRTS});
  EXPECT_EQ(port.BufferFull(), 3686);
  EXPECT_EQ(port.BufferResume(), 409);
}

TEST_F(ComPortSettingsTest, SoftwareFlowFillsThreeQuarterAndQuarterMarks) {
  port.SetSWFlowOptions(TSWFlowOptions::swfBoth);
  EXPECT_EQ(port.BufferFull(), 3072);
  EXPECT_EQ(port.BufferResume(), 1024);
}

TEST_F(ComPortSettingsTest, MarksOutOfRangeAreReplaced) {
  port.SetBufferFull(5000);
  EXPECT_EQ(port.BufferFull(), 3686);
  port.SetBufferResume(4000);
  EXPECT_EQ(port.BufferResume(), 368);
  port.SetBufferResume(100);
  EXPECT_EQ(port.BufferResume(), 100);
}

// A default resume mark above a small full mark would make every later SetHWFlow/SetSWFlow fail.
TEST_F(ComPortSettingsTest, DefaultResumeMarkStaysBelowASmallFullMark) {
  port.SetBufferFull(100);
  port.SetHWFlowOptions({HW::hwfUseRTS});
  EXPECT_EQ(port.BufferFull(), 100);
  EXPECT_EQ(port.BufferResume(), 10);

  TComPort other;
  other.SetBufferFull(200);
  other.SetSWFlowOptions(TSWFlowOptions::swfBoth);
  EXPECT_EQ(other.BufferFull(), 200);
  EXPECT_EQ(other.BufferResume(), 20);
}

TEST_F(ComPortSettingsTest, MarksAlreadyInRangeSurviveASecondFlowControl) {
  port.SetHWFlowOptions({HW::hwfUseDTR});
  port.SetSWFlowOptions(TSWFlowOptions::swfReceive);
  EXPECT_EQ(port.BufferFull(), 3686);
  EXPECT_EQ(port.BufferResume(), 409);
}

TEST_F(ComPortSettingsTest, MarksFollowTheInputSize) {
  port.SetInSize(1000);
  port.SetHWFlowOptions({HW::hwfRequireDSR});
  EXPECT_EQ(port.BufferFull(), 900);
  EXPECT_EQ(port.BufferResume(), 100);
}

// ---- RS-485 ------------------------------------------------------------------------------------

TEST_F(ComPortSettingsTest, RS485TakesRtsOutOfFlowControlAndLowersIt) {
  port.SetHWFlowOptions({HW::hwfUseDTR, HW::hwfUseRTS, HW::hwfRequireCTS});
  port.SetRS485Mode(true);
  EXPECT_TRUE(port.RS485Mode());
  EXPECT_EQ(port.HWFlowOptions(), THWFlowOptionSet({HW::hwfUseDTR}));
  EXPECT_FALSE(port.RTS());
}

TEST_F(ComPortSettingsTest, RtsOrCtsFlowControlEndsRS485) {
  port.SetRS485Mode(true);
  port.SetHWFlowOptions({HW::hwfUseDTR, HW::hwfRequireDSR});
  EXPECT_TRUE(port.RS485Mode());
  port.SetHWFlowOptions({HW::hwfRequireCTS});
  EXPECT_FALSE(port.RS485Mode());
  port.SetRS485Mode(true);
  port.SetHWFlowOptions({HW::hwfUseRTS});
  EXPECT_FALSE(port.RS485Mode());
}

TEST_F(ComPortSettingsTest, OnlyTheWin32DeviceLayerIsAccepted) {
  port.SetDeviceLayer(TDeviceLayer::dlWinsock);
  EXPECT_EQ(port.DeviceLayer(), TDeviceLayer::dlWin32);
  port.SetDeviceLayer(TDeviceLayer::dlFossil);
  EXPECT_EQ(port.DeviceLayer(), TDeviceLayer::dlWin32);
}

// ---- Trace and log while closed --------------------------------------------------------------

TEST_F(ComPortSettingsTest, ClosedPortKeepsOnlyTheWishToRecord) {
  TempFolder folder;
  port.SetTraceName(folder.File("t.trc"));
  port.SetTracing(TTraceLogState::tlDump);
  EXPECT_EQ(port.Tracing(), TTraceLogState::tlOff);
  EXPECT_FALSE(FileExists(folder.File("t.trc")));

  port.SetTracing(TTraceLogState::tlOn);
  EXPECT_EQ(port.Tracing(), TTraceLogState::tlOn);
  port.SetTracing(TTraceLogState::tlPause);
  EXPECT_EQ(port.Tracing(), TTraceLogState::tlOff);
  port.SetLogging(TTraceLogState::tlAppend);
  EXPECT_EQ(port.Logging(), TTraceLogState::tlOff);
  port.SetLogging(TTraceLogState::tlOn);
  EXPECT_EQ(port.Logging(), TTraceLogState::tlOn);
}

TEST_F(ComPortSettingsTest, SizesAndNamesAreClamped) {
  port.SetTraceSize(4000001);
  EXPECT_EQ(port.TraceSize(), 4000000u);
  port.SetLogSize(16000001);
  EXPECT_EQ(port.LogSize(), 16000000u);
  port.SetTraceSize(20);
  EXPECT_EQ(port.TraceSize(), 20u);
  port.SetTraceName(std::string(300, 'a'));
  EXPECT_EQ(port.TraceName().size(), 255u);
}

// ---- Opening refused ---------------------------------------------------------------------------

TEST_F(ComPortSettingsTest, NoPortNumberWithoutPromptIsRefused) {
  port.SetPromptForPort(false);
  try {
    port.SetOpen(true);
    FAIL() << "opened without a port number";
  } catch (const ENoPortSelected& error) {
    EXPECT_EQ(error.ErrorCode, ecNoPortSelected);
  }
  EXPECT_EQ(hooks.ChooserCalls, 0);
  EXPECT_FALSE(port.Open());
}

TEST_F(ComPortSettingsTest, RefusedChoiceLeavesTheNumberUnset) {
  hooks.Choice = ecNoPortSelected;
  EXPECT_THROW(port.SetOpen(true), ENoPortSelected);
  EXPECT_EQ(hooks.ChooserCalls, 1);
  EXPECT_EQ(port.ComNumber(), 0);
  EXPECT_EQ(port.OpenState(), TOpenState::osClosed);
}

TEST_F(ComPortSettingsTest, WithoutAnInstalledChooserTheOpenIsRefused) {
  const PortChooserHook recorder = SetPortChooser(nullptr);
  EXPECT_THROW(port.SetOpen(true), ENoPortSelected);
  SetPortChooser(recorder);
}

TEST_F(ComPortSettingsTest, ChosenPortIsStoredEvenWhenItCannotOpen) {
  hooks.Choice = 7;
  EXPECT_THROW(port.SetOpen(true), EBadId);
  EXPECT_EQ(port.ComNumber(), 7);
}

TEST_F(ComPortSettingsTest, PortWithoutDeviceGivesBadIdAndStaysClosed) {
  port.SetComNumber(5);
  try {
    port.SetOpen(true);
    FAIL() << "opened a port that has no device";
  } catch (const EBadId& error) {
    EXPECT_EQ(error.ErrorCode, ecBadId);
  }
  EXPECT_FALSE(port.Open());
  EXPECT_EQ(port.OpenState(), TOpenState::osClosed);
  EXPECT_EQ(port.ComWindow(), 0);
}

TEST_F(ComPortSettingsTest, MissingDevicePathGivesBadId) {
  ScopedPortMap map({{2, "/nonexistent-talyx-folder/ttyX"}});
  port.SetComNumber(2);
  EXPECT_THROW(port.SetOpen(true), EBadId);
  EXPECT_EQ(port.OpenState(), TOpenState::osClosed);
}

// A file, a FIFO, the controlling terminal and the system console named as ports are not even
// opened: each fails as a port whose device is missing.
TEST(ComPortNonTerminals, PathsThatAreNoTerminalsAreNeverOpenedAndGiveBadId) {
  TempFolder folder;
  PtyPair console;
  struct stat node {};
  ASSERT_EQ(stat(console.SlavePath().c_str(), &node), 0);
  const std::string root = folder.File("root");
  std::filesystem::create_directories(root + "/proc");
  WriteWholeFile(root + "/proc/consoles", "ttyS0  -W- (EC p a)  " +
                                              std::to_string(major(node.st_rdev)) + ":" +
                                              std::to_string(minor(node.st_rdev)) + "\n");
  const std::string file = folder.File("plain");
  const std::string fifo = folder.File("fifo");
  WriteWholeFile(file, "x");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ScopedDeviceProviders providers{{std::make_shared<platform::TermiosDeviceProvider>(root)}};
  ScopedPortMap map({{2, file}, {3, fifo}, {4, "/dev/tty"}, {5, console.SlavePath()}});
  MainThreadLoop loop;
  AppHookRecorder hooks;
  TComPort port;
  for (const int number : {2, 3, 4, 5}) {
    const std::string path = platform::PortDevicePath(number);
    OpenWatch watch(path);
    port.SetComNumber(static_cast<uint16_t>(number));
    EXPECT_THROW(port.SetOpen(true), EBadId) << path;
    EXPECT_FALSE(port.Open()) << path;
    EXPECT_EQ(watch.Opens(), 0) << path;
  }
}

TEST_F(ComPortSettingsTest, OperationsOnAClosedPortWithoutAutoOpen) {
  port.SetComNumber(5);
  port.SetAutoOpen(false);
  try {
    port.GetChar();
    FAIL() << "GetChar on a closed port";
  } catch (const ECommNotOpen& error) {
    EXPECT_EQ(error.ErrorCode, ecCommNotOpen);
  }
  EXPECT_THROW(port.PutString("x"), ECommNotOpen);
  EXPECT_EQ(port.OutBuffUsed(), 0u);
  EXPECT_EQ(port.LineErrorCode(), 0);
  EXPECT_FALSE(port.BreakReceived());
}

TEST_F(ComPortSettingsTest, TelephonyModeWithoutALineIsRefused) {
  port.SetTapiMode(TTapiMode::tmOn);
  try {
    port.SetOpen(true);
    FAIL() << "opened in telephony mode without a line";
  } catch (const ENotOpenedByTapi& error) {
    EXPECT_EQ(error.ErrorCode, ecNotOpenedByTapi);
  }
  EXPECT_EQ(hooks.ChooserCalls, 0);  // no port number is needed in telephony mode
  EXPECT_EQ(port.OpenState(), TOpenState::osClosed);
}

// ---- Loading -----------------------------------------------------------------------------------

TEST_F(ComPortSettingsTest, OpenWhileLoadingWaitsForLoaded) {
  PtyPair pty;
  ScopedPortMap map({{3, pty.SlavePath()}});
  port.BeginLoading();
  port.SetComNumber(3);
  port.SetOpen(true);
  EXPECT_TRUE(port.Open());
  EXPECT_EQ(port.OpenState(), TOpenState::osClosed);
  EXPECT_EQ(port.Dispatcher(), nullptr);  // no automatic open while loading
  port.EndLoading();
  EXPECT_EQ(port.OpenState(), TOpenState::osOpen);
  EXPECT_TRUE(port.Open());
}

TEST_F(ComPortSettingsTest, FailedOpenInLoadedIsShownAndLoadingGoesOn) {
  port.BeginLoading();
  port.SetComNumber(5);
  port.SetOpen(true);
  port.EndLoading();
  EXPECT_FALSE(port.Open());
  EXPECT_EQ(port.OpenState(), TOpenState::osClosed);
  ASSERT_EQ(hooks.Shown.size(), 1u);
  EXPECT_EQ(hooks.Shown[0], ErrorText(ecBadId));
}

}  // namespace
}  // namespace talyx::testing
