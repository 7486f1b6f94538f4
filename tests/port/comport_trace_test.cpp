// The port component's trace and dispatch log controls on an open port (a pseudo-terminal on
// COM3): the state table, size changes, and the dump at close. Files go to a temporary folder.
#include <gtest/gtest.h>

#include <string>

#include "errors/commerror.h"
#include "port/comport.h"
#include "porttesting.h"
#include "support/ptypair.h"
#include "support/scopedproviders.h"

namespace talyx::testing {
namespace {

using TL = TTraceLogState;

class ComPortTraceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty.Valid());
    port.SetComNumber(3);
    port.SetTraceName(TraceFile());
    port.SetLogName(folder.File("serial.log"));
  }

  std::string TraceFile() const { return folder.File("serial.trc"); }
  std::string Trace() const { return ReadWholeFile(TraceFile()); }

  // Queues bytes for output; the trace records them as transmitted.
  void Send(const std::string& text) { port.PutString(text); }

  ScopedDeviceProviders providers{TermiosProviderOnly()};
  MainThreadLoop loop;
  TempFolder folder;
  PtyPair pty;
  ScopedPortMap map{{{3, pty.SlavePath()}}};
  AppHookRecorder hooks;
  TComPort port;
};

TEST_F(ComPortTraceTest, DumpWritesTheTraceAndEndsIt) {
  port.SetOpen(true);
  port.SetTracing(TL::tlOn);
  EXPECT_TRUE(port.Dispatcher()->TraceActive());
  Send("AT");
  port.SetTracing(TL::tlDump);
  EXPECT_EQ(port.Tracing(), TL::tlOff);
  EXPECT_FALSE(port.Dispatcher()->TraceActive());
  EXPECT_EQ(Trace(), "Transmit: \r\nAT\r\n");
}

TEST_F(ComPortTraceTest, PausedTraceIsDumpedWithoutWhatCameDuringThePause) {
  port.SetOpen(true);
  port.SetTracing(TL::tlOn);
  Send("A");
  port.SetTracing(TL::tlPause);
  EXPECT_EQ(port.Tracing(), TL::tlPause);
  Send("B");
  port.SetTracing(TL::tlPause);  // pausing a paused trace does nothing
  port.SetTracing(TL::tlDump);
  EXPECT_EQ(port.Tracing(), TL::tlOff);
  EXPECT_EQ(Trace(), "Transmit: \r\nA\r\n");
}

TEST_F(ComPortTraceTest, ClearForgetsTheEntriesAndKeepsTracing) {
  port.SetOpen(true);
  port.SetTracing(TL::tlOn);
  Send("OLD");
  port.SetTracing(TL::tlClear);
  EXPECT_EQ(port.Tracing(), TL::tlOn);
  Send("NEW");
  port.SetTracing(TL::tlDump);
  EXPECT_EQ(Trace(), "Transmit: \r\nNEW\r\n");
}

TEST_F(ComPortTraceTest, OnWhileOnDoesNotRestartTheTrace) {
  port.SetOpen(true);
  port.SetTracing(TL::tlOn);
  Send("AB");
  port.SetTracing(TL::tlOn);
  port.SetTracing(TL::tlDump);
  EXPECT_EQ(Trace(), "Transmit: \r\nAB\r\n");
}

TEST_F(ComPortTraceTest, AppendAddsToTheFile) {
  WriteWholeFile(TraceFile(), "before\r\n");
  port.SetOpen(true);
  port.SetTracing(TL::tlOn);
  Send("X");
  port.SetTracing(TL::tlAppend);
  EXPECT_EQ(port.Tracing(), TL::tlOff);
  EXPECT_EQ(Trace(), "before\r\nTransmit: \r\nX\r\n");
}

TEST_F(ComPortTraceTest, CommandsOnATraceThatIsOffDoNothing) {
  port.SetOpen(true);
  for (TL command : {TL::tlDump, TL::tlAppend, TL::tlClear, TL::tlPause, TL::tlOff}) {
    port.SetTracing(command);
    EXPECT_EQ(port.Tracing(), TL::tlOff);
  }
  EXPECT_FALSE(port.Dispatcher()->TraceActive());
  EXPECT_FALSE(FileExists(TraceFile()));
}

TEST_F(ComPortTraceTest, NewSizeRestartsARunningTraceEmptyAndEndsAPausedOne) {
  port.SetOpen(true);
  port.SetTracing(TL::tlOn);
  Send("AB");
  port.SetTraceSize(50);
  EXPECT_EQ(port.Tracing(), TL::tlOn);
  Send("C");
  port.SetTracing(TL::tlDump);
  EXPECT_EQ(Trace(), "Transmit: \r\nC\r\n");

  port.SetTracing(TL::tlOn);
  port.SetTracing(TL::tlPause);
  port.SetTraceSize(60);
  EXPECT_EQ(port.Tracing(), TL::tlOff);
  EXPECT_FALSE(port.Dispatcher()->TraceActive());
}

TEST_F(ComPortTraceTest, TraceWishedForWhileClosedStartsAtOpen) {
  port.SetTracing(TL::tlOn);
  port.SetTraceSize(3);
  port.SetOpen(true);
  EXPECT_TRUE(port.Dispatcher()->TraceActive());
  Send("abcd");  // a trace of three entries keeps the newest three
  port.SetTracing(TL::tlDump);
  EXPECT_EQ(Trace(), "Transmit: \r\nbcd\r\n");
}

TEST_F(ComPortTraceTest, CloseReplacesTheFilesWithTheTraceAndTheLog) {
  WriteWholeFile(TraceFile(), "stale content\r\n");
  port.SetTracing(TL::tlOn);
  port.SetLogging(TL::tlOn);
  port.SetOpen(true);
  Send("AB");
  port.SetOpen(false);

  EXPECT_EQ(Trace(), "Transmit: \r\nAB\r\n");
  EXPECT_EQ(port.Tracing(), TL::tlOff);
  EXPECT_EQ(port.Logging(), TL::tlOff);
  const std::string log = ReadWholeFile(folder.File("serial.log"));
  EXPECT_EQ(log.rfind("SERIAL v3.06\r\n", 0), 0u) << log;
  EXPECT_NE(log.find("Device: COM3\r\n"), std::string::npos) << log;
  EXPECT_TRUE(hooks.Shown.empty());
}

TEST_F(ComPortTraceTest, FailingDumpRaisesAndLeavesTheTraceOn) {
  port.SetOpen(true);
  port.SetTracing(TL::tlOn);
  Send("A");
  port.SetTraceName(folder.File("no-such-folder/serial.trc"));
  EXPECT_THROW(port.SetTracing(TL::tlDump), Exception);
  EXPECT_EQ(port.Tracing(), TL::tlOn);
}

TEST_F(ComPortTraceTest, UnwritableFilesAtCloseAreShownAndThePortStillCloses) {
  port.SetTraceName(folder.File("no-such-folder/serial.trc"));
  port.SetLogName(folder.File("no-such-folder/serial.log"));
  port.SetTracing(TL::tlOn);
  port.SetLogging(TL::tlOn);
  port.SetOpen(true);
  Send("A");

  port.SetOpen(false);
  EXPECT_EQ(hooks.Shown.size(), 1u);  // the first failure is shown once the port is closed
  EXPECT_FALSE(port.Open());
  EXPECT_EQ(port.OpenState(), TOpenState::osClosed);
  EXPECT_EQ(port.Tracing(), TL::tlOff);
  EXPECT_EQ(port.Logging(), TL::tlOff);

  port.SetOpen(true);
  EXPECT_EQ(port.OpenState(), TOpenState::osOpen);
}

}  // namespace
}  // namespace talyx::testing
