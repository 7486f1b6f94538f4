// The request channel on the window's port: replies, exceptions, corrupted replies and timeouts
// as outcomes, the line's silence and turnaround after a reply, the window's sends first, and a
// port that goes away.
#include "app/poller/requestchannel.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <optional>

#include "platform/clock.h"
#include "pollertesting.h"

namespace talyx::testing {
namespace {

using app::TRequestOutcome;
using app::TRequestResult;

const std::vector<uint8_t> ReadTwo = WithCrc({0x01, 0x03, 0x00, 0x00, 0x00, 0x02});
const std::vector<uint8_t> ReadTooMany = WithCrc({0x01, 0x03, 0x00, 0x00, 0x00, 0xC8});
const std::vector<uint8_t> ToAbsentSlave = WithCrc({0x05, 0x03, 0x00, 0x00, 0x00, 0x01});

class RequestChannel : public PollerFormTest {
 protected:
  void SetUp() override {
    PollerFormTest::SetUp();
    channel =
        std::make_unique<app::TRequestChannel>(form->ComPort1, *form->MonitorHub, form->SendPath);
  }
  void TearDown() override {
    channel.reset();
    PollerFormTest::TearDown();
  }

  bool WaitReady() {
    return QTest::qWaitFor([&] { return channel->Ready(); }, 5000);
  }
  // Submits once the channel is ready and waits for the outcome.
  std::optional<TRequestResult> Run(const std::vector<uint8_t>& request,
                                    uint64_t timeoutUs = 500'000) {
    if (!WaitReady()) return std::nullopt;
    std::optional<TRequestResult> outcome;
    if (!channel->Submit(request, timeoutUs, [&](const TRequestResult& r) { outcome = r; })) {
      return std::nullopt;
    }
    EXPECT_FALSE(channel->Ready());
    EXPECT_TRUE(QTest::qWaitFor([&] { return outcome.has_value(); }, 5000));
    return outcome;
  }

  std::unique_ptr<app::TRequestChannel> channel;
};

TEST_F(RequestChannel, RepliesExceptionsAndSilentSlavesAreTheirOutcomes) {
  std::optional<TRequestResult> result = Run(ReadTwo);
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(result->Outcome, TRequestOutcome::roReply);
  EXPECT_EQ(result->Frame.Registers, (std::vector<uint16_t>{10, 20}));
  // The slave answers 3.5 characters after the request, its 9 characters after that.
  EXPECT_GE(result->ResponseUs, channel->LineMicroseconds(9));

  result = Run(ReadTooMany);
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(result->Outcome, TRequestOutcome::roException);
  EXPECT_EQ(result->Frame.ExceptionCode, 3);

  const uint64_t before = platform::MicrosecondClock();
  result = Run(ToAbsentSlave, 80'000);
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(result->Outcome, TRequestOutcome::roTimeout);
  EXPECT_GE(result->EndUs, before + 80'000 + channel->LineMicroseconds(ToAbsentSlave.size()));
  // The window received every reply as before.
  EXPECT_EQ(form->RecvCount, 9 + 5);
}

TEST_F(RequestChannel, ACorruptedReplyIsACrcError) {
  slave->CorruptReplies(1);
  std::optional<TRequestResult> result = Run(ReadTwo);
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(result->Outcome, TRequestOutcome::roCrcError);
  EXPECT_FALSE(result->Frame.CrcOk);
  // Well before the timeout: the frame ends at its silence.
  result = Run(ReadTwo, 2'000'000);
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(result->Outcome, TRequestOutcome::roReply);
}

TEST_F(RequestChannel, TheNextRequestWaitsForSilenceAndTurnaroundFromTheReplysEnd) {
  channel->SetTurnaroundMs(60);
  uint64_t readyUs = 0;
  QObject::connect(channel.get(), &app::TRequestChannel::ReadyChanged, [&] {
    if (channel->Ready() && readyUs == 0) readyUs = platform::MicrosecondClock();
  });
  ASSERT_TRUE(WaitReady());
  readyUs = 0;
  const std::optional<TRequestResult> result = Run(ReadTwo);
  ASSERT_TRUE(result.has_value());
  ASSERT_EQ(result->Outcome, TRequestOutcome::roReply);
  ASSERT_TRUE(QTest::qWaitFor([&] { return readyUs != 0; }, 5000));
  EXPECT_TRUE(channel->Ready());
  EXPECT_GE(readyUs, result->EndUs + channel->SilenceMicroseconds() + 60'000);
  EXPECT_LT(readyUs, result->EndUs + 500'000);  // well before a response timeout (1 s)
}

TEST_F(RequestChannel, NoRequestWhileAWindowSendRunsNorWithinTheTimeoutAfterIt) {
  channel->SetResponseTimeoutMs(300);
  ASSERT_TRUE(WaitReady());
  form->CB_hexSend->setChecked(true);
  form->SendMemo->setPlainText(QStringLiteral("01 03 00 00 00 02"));
  bool refusedInSend = false;
  QTimer::singleShot(5, [&] {
    refusedInSend = form->SendPath.RunningSends() > 0 &&
                    !channel->Submit(ReadTwo, 100'000, [](const TRequestResult&) {});
  });
  form->Btn_Send->click();
  EXPECT_TRUE(refusedInSend);
  const uint64_t sendEnd = form->SendPath.LastSendEndUs();
  ASSERT_NE(sendEnd, 0u);
  EXPECT_FALSE(channel->Submit(ReadTwo, 100'000, [](const TRequestResult&) {}));
  QSignalSpy readyChanged(channel.get(), &app::TRequestChannel::ReadyChanged);
  ASSERT_TRUE(QTest::qWaitFor([&] { return channel->Ready(); }, 5000));
  EXPECT_GE(platform::MicrosecondClock(), sendEnd + 300'000);
  EXPECT_GE(readyChanged.count(), 1);
  // The window's request was the only one on the line; its reply went to the window.
  EXPECT_EQ(slave->Requests(), 1);
  EXPECT_TRUE(QTest::qWaitFor([&] { return form->RecvCount == 9; }, 5000));
}

TEST_F(RequestChannel, APortThatClosesEndsTheRequestAndReadinessComesBackWithIt) {
  ASSERT_TRUE(WaitReady());
  std::optional<TRequestResult> outcome;
  ASSERT_TRUE(
      channel->Submit(ToAbsentSlave, 2'000'000, [&](const TRequestResult& r) { outcome = r; }));
  form->ComPort1.SetOpen(false);
  ASSERT_TRUE(QTest::qWaitFor([&] { return outcome.has_value(); }, 5000));
  EXPECT_EQ(outcome->Outcome, TRequestOutcome::roPortAway);
  EXPECT_FALSE(channel->Ready());
  EXPECT_FALSE(channel->Submit(ReadTwo, 100'000, [](const TRequestResult&) {}));

  QSignalSpy readyChanged(channel.get(), &app::TRequestChannel::ReadyChanged);
  form->ComPort1.SetOpen(true);
  ASSERT_TRUE(readyChanged.wait(5000));
  EXPECT_TRUE(channel->Ready());
  const std::optional<TRequestResult> result = Run(ReadTwo);
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(result->Outcome, TRequestOutcome::roReply);
}

class RequestChannelOnDemo : public RequestChannel {
 protected:
  void SetUp() override {
    far = Far::Demo;
    RequestChannel::SetUp();
  }
};

TEST_F(RequestChannelOnDemo, TheDemoDevicesRepliesAreTakenAWriteReplyEqualToItsRequestToo) {
  const std::optional<TRequestResult> result = Run(ReadTwo);
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(result->Outcome, TRequestOutcome::roReply);
  EXPECT_EQ(result->Frame.Registers, (std::vector<uint16_t>{10, 20}));
  // A 06 reply is byte for byte its request: it is no echo, coming after the request has left
  // the line.
  const std::vector<uint8_t> write = WithCrc({0x01, 0x06, 0x00, 0x05, 0x12, 0x34});
  const std::optional<TRequestResult> written = Run(write);
  ASSERT_TRUE(written.has_value());
  EXPECT_EQ(written->Outcome, TRequestOutcome::roReply);
  EXPECT_EQ(written->Frame.Registers, (std::vector<uint16_t>{0x1234}));
}

}  // namespace
}  // namespace talyx::testing
