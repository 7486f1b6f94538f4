// The bus monitor: the rows of a session with the demo slave (requests, responses, an exception,
// a corrupted reply, unanswered requests), the echo option, filters kept up incrementally, the
// frame limit, pause, rows shown at a pace, CSV export, and a long hexadecimal send shown as it
// left.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QString>
#include <QStringList>

#include "../../port/qttesting.h"
#include "app/monitor/framestore.h"
#include "app/monitor/frametablemodel.h"
#include "app/monitor/monitorfeed.h"
#include "app/monitor/precisetimer.h"
#include "modbus/rtudecoder.h"
#include "monitorsession.h"
#include "platform/clock.h"
#include "text/modbusframetext.h"

namespace talyx::app::testing {
namespace {

using Col = TFrameTableModel::Column;

const Bytes ReadHolding = WithCrc({0x01, 0x03, 0x00, 0x00, 0x00, 0x02});
const Bytes ReadInput = WithCrc({0x01, 0x04, 0x00, 0x00, 0x00, 0x01});
const Bytes ReadTooMany = WithCrc({0x01, 0x03, 0x00, 0x00, 0x00, 0xC8});
const Bytes ReadOne = WithCrc({0x01, 0x03, 0x00, 0x01, 0x00, 0x01});
const Bytes ToAbsentSlave = WithCrc({0x05, 0x03, 0x00, 0x00, 0x00, 0x01});
const Bytes WriteSingle = WithCrc({0x01, 0x06, 0x00, 0x01, 0x00, 0x07});

class Monitor : public ::testing::Test {
 protected:
  Monitor() { feed.AddSink(&store); }

  // Every exchange of the session; the echo of the last request is heard back.
  void PlaySession() {
    session.Exchange(ReadHolding);
    session.Exchange(ReadInput);
    session.Exchange(ReadTooMany);
    session.Exchange(ReadOne, /*corruptReply=*/true);
    session.Exchange(ToAbsentSlave);
    session.Pass(1'100'000);  // the timeout of the unanswered requests
    session.Exchange(WriteSingle, false, /*echo=*/true);
  }

  QStringList Column(Col column) const {
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row) texts << model.Text(row, column);
    return texts;
  }

  TMonitorFeed feed;
  TFrameStore store;
  TFrameTableModel model{store};
  MonitorSession session{feed};
};

TEST_F(Monitor, ADemoSessionGivesEachFrameItsRowWithPairingAndCrc) {
  PlaySession();
  ASSERT_EQ(model.rowCount(), 11);
  EXPECT_EQ(Column(Col::ColDirection), QStringList({"发送", "接收", "发送", "接收", "发送", "接收",
                                                    "发送", "接收", "发送", "发送", "接收"}));
  EXPECT_EQ(Column(Col::ColAddress),
            QStringList({"1", "1", "1", "1", "1", "1", "1", "1", "5", "1", "1"}));
  EXPECT_EQ(Column(Col::ColFunction),
            QStringList({"03", "03", "04", "04", "03", "03", "03", "03", "03", "06", "06"}));
  EXPECT_EQ(Column(Col::ColCrc), QStringList({"正确", "正确", "正确", "正确", "正确", "正确",
                                              "正确", "错误", "正确", "正确", "正确"}));
  EXPECT_EQ(Column(Col::ColLength),
            QStringList({"8", "9", "8", "7", "8", "5", "8", "7", "8", "8", "8"}));
  // The demo slave's values, decoded; the exception named.
  EXPECT_EQ(model.Text(1, Col::ColSummary).toStdString(),
            "1: Read Holding Registers response, 2 registers from 0: 10, 20");
  EXPECT_EQ(model.Text(3, Col::ColSummary).toStdString(),
            "1: Read Input Registers response, 1 register from 0: 1000");
  EXPECT_EQ(model.Text(5, Col::ColSummary).toStdString(),
            "1: Read Holding Registers exception 03 Illegal Data Value");
  EXPECT_TRUE(model.Text(7, Col::ColSummary).contains("CRC wrong"));
  // Responses carry their response time: the reply delay plus the reply's own transmission.
  const QStringList response = Column(Col::ColResponse);
  EXPECT_NEAR(response[1].toDouble(), 5.0 + 9 * 0.5208, 0.01);
  EXPECT_NEAR(response[3].toDouble(), 5.0 + 7 * 0.5208, 0.01);
  EXPECT_EQ(response[6], "无应答");  // its reply came back corrupted
  EXPECT_EQ(response[8], "无应答");
  EXPECT_EQ(response[0], "");
  EXPECT_NEAR(model.Text(1, Col::ColGap).toDouble(), 0.0, 0.001);  // the first received frame
  EXPECT_GT(model.Text(2, Col::ColGap).toDouble(), 20.0);

  const TMonitorCounters& counters = store.Counters();
  EXPECT_EQ(counters.Frames, 12u);  // the echo counts as a frame on the line
  EXPECT_EQ(counters.CrcErrors, 1u);
  EXPECT_EQ(counters.Exceptions, 1u);
  EXPECT_EQ(counters.Unanswered, 2u);
  EXPECT_EQ(store.ResponseTimes()[1].Count, 4u);
  EXPECT_EQ(store.ResponseTimes()[5].Count, 0u);
}

TEST_F(Monitor, TheEchoRowShowsOnlyWhenNotHidden) {
  PlaySession();
  TFrameFilter filter;
  filter.HideEcho = false;
  model.SetFilter(filter);
  ASSERT_EQ(model.rowCount(), 12);
  EXPECT_EQ(model.Text(10, Col::ColDirection), "回波");
  EXPECT_EQ(model.Text(11, Col::ColDirection), "接收");
  // The echo takes no part in pairing: the slave's response pairs with the request.
  EXPECT_NE(model.Text(11, Col::ColResponse), "");
}

TEST_F(Monitor, FiltersSelectAddressFunctionErrorsAndExceptions) {
  PlaySession();
  TFrameFilter filter;
  filter.Address = 5;
  model.SetFilter(filter);
  EXPECT_EQ(Column(Col::ColFunction), QStringList({"03"}));
  filter = {};
  filter.Function = 4;
  model.SetFilter(filter);
  EXPECT_EQ(model.rowCount(), 2);
  filter = {};
  filter.ErrorsOnly = true;
  model.SetFilter(filter);
  EXPECT_EQ(Column(Col::ColLength), QStringList({"8", "7", "8"}));  // unanswered, bad CRC
  filter = {};
  filter.ExceptionsOnly = true;
  model.SetFilter(filter);
  EXPECT_EQ(Column(Col::ColLength), QStringList({"5"}));
}

TEST_F(Monitor, NewFramesJoinAFilteredTableWithoutARefilter) {
  TFrameFilter filter;
  filter.ErrorsOnly = true;
  model.SetFilter(filter);
  QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
  QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
  session.Exchange(ReadHolding);
  EXPECT_EQ(model.rowCount(), 0);
  session.Exchange(ToAbsentSlave);
  EXPECT_EQ(model.rowCount(), 0);
  session.Pass(1'100'000);  // now unanswered: an error
  EXPECT_EQ(Column(Col::ColResponse), QStringList({"无应答"}));
  session.Exchange(ReadOne, true);
  EXPECT_EQ(model.rowCount(), 2);
  EXPECT_EQ(resets.count(), 0);
  EXPECT_EQ(inserted.count(), 2);
}

TEST_F(Monitor, TheOldestFramesDropBeyondTheLimitAndAreCounted) {
  TFrameStore small(3);
  TFrameTableModel smallModel(small);
  feed.AddSink(&small);
  session.Exchange(ReadHolding);
  session.Exchange(ReadInput);
  ASSERT_EQ(small.Dropped(), 1u);
  ASSERT_EQ(smallModel.rowCount(), 3);
  EXPECT_EQ(smallModel.Text(0, Col::ColLength), "9");
  EXPECT_EQ(smallModel.BytesText(2).left(10), "0000  01 0");
  const TFrameRecord& last = small.Record(small.End() - 1);
  EXPECT_EQ(Bytes(small.Bytes(last), small.Bytes(last) + last.Length),
            WithCrc({0x01, 0x04, 0x02, 0x03, 0xE8}));
  small.Clear();
  EXPECT_EQ(smallModel.rowCount(), 0);
  EXPECT_EQ(small.Counters().Frames, 0u);
}

TEST_F(Monitor, ManyFramesDropWholeChunksAndKeepTheirBytes) {
  TFrameStore small(1000);
  feed.AddSink(&small);
  for (int i = 0; i < 60'000; ++i) session.Send(ReadHolding), session.Pass(10'000);
  EXPECT_EQ(small.Dropped(), 59'000u);
  for (uint64_t position = small.Dropped(); position < small.End(); position += 97) {
    const TFrameRecord& record = small.Record(position);
    EXPECT_EQ(Bytes(small.Bytes(record), small.Bytes(record) + record.Length), ReadHolding);
  }
}

TEST_F(Monitor, RowsWaitWhilePausedAndShowWhenResumed) {
  session.Exchange(ReadHolding);
  model.SetPaused(true);
  session.Exchange(ReadInput);
  EXPECT_EQ(model.rowCount(), 2);
  model.SetPaused(false);
  EXPECT_EQ(model.rowCount(), 4);
}

TEST_F(Monitor, PacedRowsShowOncePerIntervalEveryOneInOrder) {
  talyx::testing::EnsureQtApplication();
  QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
  model.SetShowInterval(50);
  session.Exchange(ReadHolding);
  EXPECT_EQ(model.rowCount(), 2);  // the first rows after a quiet interval show at once
  session.Exchange(ReadInput);
  session.Exchange(ReadOne);
  EXPECT_EQ(model.rowCount(), 2);
  QElapsedTimer clock;
  clock.start();
  while (model.rowCount() < 6 && clock.elapsed() < 10'000) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  }
  EXPECT_EQ(inserted.count(), 2);
  EXPECT_EQ(Column(Col::ColLength), QStringList({"8", "9", "8", "7", "8", "7"}));
}

TEST_F(Monitor, PausedOrRefilteredRowsOverrideThePace) {
  talyx::testing::EnsureQtApplication();
  model.SetShowInterval(60'000);
  session.Exchange(ReadHolding);
  session.Exchange(ReadInput);
  ASSERT_EQ(model.rowCount(), 2);
  model.SetPaused(true);
  model.SetShowInterval(0);
  EXPECT_EQ(model.rowCount(), 2);
  model.SetPaused(false);
  EXPECT_EQ(model.rowCount(), 4);
  model.SetShowInterval(60'000);
  session.Exchange(ReadOne);
  session.Exchange(ReadHolding);
  ASSERT_EQ(model.rowCount(), 6);
  TFrameFilter filter;
  filter.Function = 3;
  model.SetFilter(filter);
  EXPECT_EQ(Column(Col::ColLength), QStringList({"8", "9", "8", "7", "8", "9"}));
}

TEST_F(Monitor, CsvExportWritesTheShownRows) {
  PlaySession();
  TFrameFilter filter;
  filter.Function = 4;
  model.SetFilter(filter);
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  ASSERT_TRUE(model.WriteCsv(buffer));
  const QStringList lines = QString::fromUtf8(buffer.data()).split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 3);
  EXPECT_TRUE(lines[0].startsWith("时间,方向,地址,功能,摘要"));
  EXPECT_TRUE(lines[2].contains(",接收,1,04,\"1: Read Input Registers response, 1 register"));
  EXPECT_TRUE(lines[2].endsWith(",01 04 02 03 E8 B9 8E"));
}

TEST_F(Monitor, ALongHexSendShowsAsTheTwoFramesThatLeft) {
  const Bytes request = WithCrc({0x01, 0x10, 0x00, 0x00, 0x00, 0x02, 0x04, 0x00, 0x01, 0x00, 0x02});
  session.Send(Bytes(request.begin(), request.begin() + 8));
  session.Pass(20'000);
  session.Send(Bytes(request.begin() + 8, request.end()));
  session.Pass(20'000);
  // Each chunk went out between two silences: two frames, neither passing for good, neither
  // shown as stray bytes.
  EXPECT_EQ(Column(Col::ColLength), QStringList({"8", "5"}));
  EXPECT_EQ(Column(Col::ColCrc), QStringList({"错误", "错误"}));
  EXPECT_NE(model.Text(1, Col::ColSummary), "非帧字节");
  EXPECT_EQ(store.Counters().CrcErrors, 2u);
}

}  // namespace
}  // namespace talyx::app::testing

namespace talyx::app::testing {
namespace {

// The line's silences are timed by it: never early, and a restart or a stop replaces the time.
TEST(PreciseTimer, FiresOnceNotBeforeItsTimeAndOnlyForItsLatestStart) {
  talyx::testing::EnsureQtApplication();
  std::vector<uint64_t> firedAt;
  TPreciseTimer timer([&] { firedAt.push_back(platform::MicrosecondClock()); });
  const auto runUntil = [&](size_t count, int limitMs) {
    QElapsedTimer waited;
    waited.start();
    while (firedAt.size() < count && waited.elapsed() < limitMs) {
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
  };

  const uint64_t first = platform::MicrosecondClock() + 20'000;
  timer.Start(first);
  timer.Start(first + 1750);  // the later time replaces the earlier one
  EXPECT_TRUE(timer.Active());
  runUntil(1, 2000);
  ASSERT_EQ(firedAt.size(), 1u);
  EXPECT_GE(firedAt[0], first + 1750);
  EXPECT_FALSE(timer.Active());

  timer.Start(platform::MicrosecondClock() + 10'000);
  timer.Stop();
  timer.Start(0);  // a time already past fires at the next turn
  runUntil(3, 100);
  EXPECT_EQ(firedAt.size(), 2u);
}

}  // namespace
}  // namespace talyx::app::testing
