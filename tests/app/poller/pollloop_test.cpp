// The poll loop over the window's port: values of several rows and formats, writes read back,
// timeouts, CRC errors and exceptions counted, stale rows, a pause while the port is away, the
// line shared fairly and the window's sends kept clear of polls.
#include "app/poller/pollloop.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <map>

#include "app/poller/requestchannel.h"
#include "platform/clock.h"
#include "pollertesting.h"

namespace talyx::testing {
namespace {

using app::PollFunction;
using app::PollRegister;
using app::PollRow;
using app::PollSet;
using app::TPollSample;
using formats::TRegisterFormat;

PollRow Row(uint8_t slave, PollFunction function, uint16_t start, uint16_t count, uint32_t periodMs,
            std::vector<PollRegister> registers = {}) {
  PollRow row;
  row.Slave = slave;
  row.Function = function;
  row.Start = start;
  row.Count = count;
  row.PeriodMs = periodMs;
  row.Registers = std::move(registers);
  return row;
}

PollRegister Reg(const char* name, uint16_t address,
                 TRegisterFormat format = TRegisterFormat::rfU16, double scale = 1.0,
                 double offset = 0.0) {
  return {name, address, format, scale, offset, ""};
}

class PollLoop : public PollerFormTest {
 protected:
  void SetUp() override {
    PollerFormTest::SetUp();
    channel =
        std::make_unique<app::TRequestChannel>(form->ComPort1, *form->MonitorHub, form->SendPath);
    loop = std::make_unique<app::TPollLoop>(form->ComPort1, *channel);
    QObject::connect(loop.get(), &app::TPollLoop::Polled, [this](const TPollSample& sample) {
      samples.push_back(sample);
      const app::TPollRowStats& stats = loop->Stats(sample.Row);
      pollStarts.push_back(stats.LastPollUs);
      if (stats.AchievedPeriodUs != 0 &&
          stats.AchievedPeriodUs < uint64_t{loop->Set().Rows[sample.Row].PeriodMs} * 1000) {
        ++burst;
      }
    });
  }
  void TearDown() override {
    loop.reset();
    channel.reset();
    PollerFormTest::TearDown();
  }

  void Run(PollSet set, app::TPollOptions options = {}) {
    loop->SetOptions(options);
    loop->SetPollSet(std::move(set));
    loop->Start();
  }
  size_t SamplesOf(size_t row) const {
    return static_cast<size_t>(std::count_if(samples.begin(), samples.end(),
                                             [&](const TPollSample& s) { return s.Row == row; }));
  }
  const TPollSample* LastOf(size_t row) const {
    for (auto it = samples.rbegin(); it != samples.rend(); ++it) {
      if (it->Row == row) return &*it;
    }
    return nullptr;
  }
  bool WaitSamples(size_t row, size_t count) {
    return QTest::qWaitFor([&] { return SamplesOf(row) >= count; }, 5000);
  }

  std::unique_ptr<app::TRequestChannel> channel;
  std::unique_ptr<app::TPollLoop> loop;
  std::vector<TPollSample> samples;
  std::vector<uint64_t> pollStarts;
  int burst = 0;
};

TEST_F(PollLoop, RowsOfSeveralFormatsGiveTheSlavesValues) {
  PollSet set;
  set.Rows.push_back(Row(1, PollFunction::ReadHoldingRegisters, 0, 4, 30,
                         {Reg("a", 0), Reg("b", 1, TRegisterFormat::rfS16, 0.1),
                          Reg("c", 2, TRegisterFormat::rfU32Abcd)}));
  set.Rows.push_back(Row(
      1, PollFunction::ReadInputRegisters, 5, 2, 30,
      {Reg("e", 5, TRegisterFormat::rfU16, 1.0, -1000), Reg("f", 5, TRegisterFormat::rfU32Cdab)}));
  Run(set);
  ASSERT_TRUE(WaitSamples(0, 2) && WaitSamples(1, 2));
  const TPollSample& holding = *LastOf(0);
  ASSERT_TRUE(holding.Ok);
  ASSERT_EQ(holding.Values.size(), 3u);
  EXPECT_DOUBLE_EQ(holding.Values[0].Value, 10);
  EXPECT_DOUBLE_EQ(holding.Values[1].Value, 2.0);
  EXPECT_DOUBLE_EQ(holding.Values[2].Value, 30.0 * 65536 + 40);
  const TPollSample& input = *LastOf(1);
  ASSERT_TRUE(input.Ok);
  EXPECT_DOUBLE_EQ(input.Values[0].Value, 5);
  EXPECT_DOUBLE_EQ(input.Values[1].Value, 1006.0 * 65536 + 1005);
  const app::TPollRowStats& stats = loop->Stats(0);
  EXPECT_EQ(stats.GoodReplies, stats.Requests - (loop->Running() && stats.Requests > SamplesOf(0)));
  EXPECT_GT(stats.MaxResponseUs, 0u);
  EXPECT_GE(stats.MaxResponseUs, stats.AverageResponseUs());
  EXPECT_EQ(burst, 0);
}

TEST_F(PollLoop, CrcErrorsAreRetriedTimeoutsAndExceptionsCounted) {
  app::TPollOptions options;
  options.TimeoutMs = 200;
  options.Retries = 1;
  slave->CorruptReplies(1);
  PollSet set;
  set.Rows.push_back(Row(1, PollFunction::ReadHoldingRegisters, 0, 2, 1000, {Reg("a", 0)}));
  Run(set, options);
  ASSERT_TRUE(WaitSamples(0, 1));
  EXPECT_TRUE(samples[0].Ok);  // the retry's good reply
  EXPECT_EQ(loop->Stats(0).CrcErrors, 1u);
  EXPECT_EQ(loop->Stats(0).Requests, 2u);

  samples.clear();
  set.Rows = {Row(5, PollFunction::ReadHoldingRegisters, 0, 1, 1000, {Reg("x", 0)}),
              Row(1, PollFunction::ReadHoldingRegisters, 95, 10, 1000, {Reg("y", 95)})};
  loop->SetPollSet(set);
  ASSERT_TRUE(WaitSamples(0, 1) && WaitSamples(1, 1));
  EXPECT_FALSE(LastOf(0)->Ok);
  EXPECT_FALSE(LastOf(0)->Values[0].Valid);
  EXPECT_EQ(loop->Stats(0).Timeouts, 2u);  // the poll and its retry
  EXPECT_FALSE(LastOf(1)->Ok);
  EXPECT_EQ(loop->Stats(1).Exceptions, 1u);
  EXPECT_EQ(loop->Stats(1).Requests, 1u);  // an exception is an answer: no retry
  EXPECT_EQ(loop->Stats(1).LastException, 2);
}

TEST_F(PollLoop, ARowWithoutGoodRepliesForThreePeriodsIsStale) {
  app::TPollOptions options;
  options.TimeoutMs = 100;
  PollSet set;
  set.Rows = {Row(1, PollFunction::ReadHoldingRegisters, 0, 1, 30, {Reg("a", 0)}),
              Row(5, PollFunction::ReadHoldingRegisters, 0, 1, 30, {Reg("x", 0)})};
  Run(set, options);
  EXPECT_FALSE(loop->Stale(1));
  ASSERT_TRUE(QTest::qWaitFor([&] { return loop->Stats(0).GoodReplies > 0; }, 5000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return loop->Stale(1); }, 5000));
  EXPECT_FALSE(loop->Stale(0));
}

TEST_F(PollLoop, ThePortAwayPausesTheLoopWhichResumesWithoutABurst) {
  PollSet set;
  for (uint16_t i = 0; i < 3; ++i) {
    set.Rows.push_back(Row(1, PollFunction::ReadHoldingRegisters, i, 1, 10, {Reg("a", i)}));
  }
  Run(set);
  ASSERT_TRUE(WaitSamples(2, 3));
  // Three rows due every 10 ms share the line in turn.
  EXPECT_LE(SamplesOf(0) - SamplesOf(2), 1u);

  QSignalSpy paused(loop.get(), &app::TPollLoop::PausedChanged);
  form->ComPort1.SetOpen(false);
  ASSERT_TRUE(QTest::qWaitFor([&] { return loop->Paused(); }, 5000));
  const int requestsAway = slave->Requests();
  const size_t samplesAway = samples.size();
  QTest::qWait(150);  // periods pass while the port is away
  EXPECT_EQ(slave->Requests(), requestsAway);
  EXPECT_EQ(samples.size(), samplesAway);

  form->ComPort1.SetOpen(true);
  ASSERT_TRUE(QTest::qWaitFor([&] { return samples.size() >= samplesAway + 9; }, 5000));
  EXPECT_FALSE(loop->Paused());
  ASSERT_GE(paused.count(), 2);
  EXPECT_EQ(paused.first().first().toBool(), true);
  EXPECT_EQ(paused.last().first().toBool(), false);
  EXPECT_EQ(burst, 0);
}

TEST_F(PollLoop, NoPollGoesWhileAWindowSendRunsNorWithinTheTimeoutAfterIt) {
  app::TPollOptions options;
  options.TimeoutMs = 200;
  PollSet set;
  set.Rows.push_back(Row(1, PollFunction::ReadHoldingRegisters, 0, 1, 10, {Reg("a", 0)}));
  Run(set, options);
  ASSERT_TRUE(WaitSamples(0, 2));
  form->CB_hexSend->setChecked(true);
  form->SendMemo->setPlainText(QStringLiteral("01 03 00 00 00 02"));
  const uint64_t sendStart = platform::MicrosecondClock();
  form->Btn_Send->click();
  const uint64_t quietUntil = form->SendPath.LastSendEndUs() + 200'000;
  const size_t before = samples.size();
  ASSERT_TRUE(QTest::qWaitFor([&] { return samples.size() >= before + 3; }, 5000));
  for (const uint64_t start : pollStarts) {
    EXPECT_TRUE(start < sendStart || start >= quietUntil) << start - sendStart;
  }
}

class PollLoopOnLibmodbus : public PollLoop {
 protected:
  void SetUp() override {
    far = Far::Libmodbus;
    PollLoop::SetUp();
  }
  uint16_t Holding(int i) {
    const std::lock_guard<std::mutex> guard(libmodbus->Lock);
    return libmodbus->Mapping->tab_registers[i];
  }
};

TEST_F(PollLoopOnLibmodbus, CoilsInputsAndRegistersAreReadAndWritesReadBack) {
  {
    const std::lock_guard<std::mutex> guard(libmodbus->Lock);
    libmodbus->Mapping->tab_bits[3] = 1;
    libmodbus->Mapping->tab_input_bits[9] = 1;
    libmodbus->Mapping->tab_registers[10] = 0x4049;  // 3.1415927f, words ABCD
    libmodbus->Mapping->tab_registers[11] = 0x0FDB;
    libmodbus->Mapping->tab_input_registers[2] = 0xFFFE;
  }
  PollSet set;
  set.Rows.push_back(Row(1, PollFunction::ReadCoils, 0, 8, 20, {Reg("c3", 3), Reg("c5", 5)}));
  set.Rows.push_back(Row(1, PollFunction::ReadDiscreteInputs, 8, 2, 20, {Reg("i9", 9)}));
  set.Rows.push_back(Row(1, PollFunction::ReadHoldingRegisters, 7, 5, 20,
                         {Reg("h7", 7), Reg("f10", 10, TRegisterFormat::rfF32Abcd)}));
  set.Rows.push_back(
      Row(1, PollFunction::ReadInputRegisters, 2, 1, 20, {Reg("s2", 2, TRegisterFormat::rfS16)}));
  Run(set);
  ASSERT_TRUE(WaitSamples(0, 1) && WaitSamples(1, 1) && WaitSamples(2, 1) && WaitSamples(3, 1));
  EXPECT_EQ(LastOf(0)->Values[0].Value, 1);
  EXPECT_EQ(LastOf(0)->Values[1].Value, 0);
  EXPECT_EQ(LastOf(1)->Values[0].Value, 1);
  EXPECT_NEAR(LastOf(2)->Values[1].Value, 3.1415927, 1e-6);
  EXPECT_EQ(LastOf(3)->Values[0].Value, -2);

  std::vector<app::TRequestOutcome> outcomes;
  const auto done = [&](const app::TRequestResult& r) { outcomes.push_back(r.Outcome); };
  ASSERT_TRUE(loop->Write(0, 1, 1, done));     // 05
  ASSERT_TRUE(loop->Write(2, 0, 1234, done));  // 06
  ASSERT_TRUE(loop->Write(2, 1, -2.5, done));  // 16, two registers
  EXPECT_FALSE(loop->Write(1, 0, 1, done));    // discrete inputs cannot be written
  ASSERT_TRUE(QTest::qWaitFor([&] { return outcomes.size() == 3; }, 5000));
  EXPECT_EQ(outcomes, std::vector<app::TRequestOutcome>(3, app::TRequestOutcome::roReply));
  EXPECT_EQ(Holding(7), 1234);
  EXPECT_EQ(Holding(10), 0xC020);
  const size_t before = samples.size();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return samples.size() > before + 4 && LastOf(0)->Values[1].Value == 1; }, 5000));
  EXPECT_EQ(LastOf(2)->Values[0].Value, 1234);
  EXPECT_EQ(LastOf(2)->Values[1].Value, -2.5);
}

}  // namespace
}  // namespace talyx::testing
