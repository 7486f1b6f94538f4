// The bus scan on the window's port: it finds exactly the addresses that answer (the demo slave
// at address 1, exception replies included), a cancel ends it after the request on the line,
// and a scan at each common rate puts the port's rate back and offers a rate.
#include "app/poller/busscan.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <iterator>

#include "app/poller/requestchannel.h"
#include "app/poller/scandialog.h"
#include "modbus/modbussimulator.h"
#include "modbus/rtufunctions.h"
#include "pollertesting.h"

namespace talyx::testing {
namespace {

using app::TRequestOutcome;
using app::TScanEnd;

class BusScan : public PollerFormTest {
 protected:
  void SetUp() override {
    PollerFormTest::SetUp();
    channel =
        std::make_unique<app::TRequestChannel>(form->ComPort1, *form->MonitorHub, form->SendPath);
    scan = std::make_unique<app::TBusScan>(*channel, form->ComPort1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return channel->Ready(); }, 5000));
  }
  void TearDown() override {
    scan.reset();
    channel.reset();
    PollerFormTest::TearDown();
  }
  // Starts a scan of first..last and waits for its end.
  std::optional<TScanEnd> Scan(
      uint8_t first, uint8_t last,
      app::PollFunction function = app::PollFunction::ReadHoldingRegisters) {
    app::TScanSettings settings;
    settings.First = first;
    settings.Last = last;
    settings.Function = function;
    QSignalSpy finished(scan.get(), &app::TBusScan::Finished);
    if (!scan->Start(settings) || !finished.wait(10000)) return std::nullopt;
    return finished[0][0].value<TScanEnd>();
  }

  std::unique_ptr<app::TRequestChannel> channel;
  std::unique_ptr<app::TBusScan> scan;
};

TEST_F(BusScan, FindsTheDemoSlaveAtItsAddressAndNothingElse) {
  QSignalSpy progress(scan.get(), &app::TBusScan::Progress);
  QSignalSpy running(scan.get(), &app::TBusScan::RunningChanged);
  EXPECT_EQ(Scan(1, 10), TScanEnd::seDone);
  ASSERT_EQ(running.size(), 2);  // the poller window pauses its loop meanwhile
  EXPECT_TRUE(running[0][0].toBool());
  EXPECT_FALSE(running[1][0].toBool());
  ASSERT_EQ(scan->Answers().size(), 1u);
  EXPECT_EQ(scan->Answers()[0].Slave, modbus::SimulatorAddress);
  EXPECT_EQ(scan->Answers()[0].Outcome, TRequestOutcome::roReply);
  EXPECT_EQ(scan->Answers()[0].Baud, static_cast<int32_t>(Baud));
  ASSERT_EQ(progress.size(), 10);
  EXPECT_EQ(progress.back()[0].value<size_t>(), 10u);
  EXPECT_EQ(slave->Requests(), 1);  // only address 1's request is one the slave answers
}

TEST_F(BusScan, AnExceptionReplyCountsAsAnAnswer) {
  // The demo slave reads no coils: it answers with Illegal Function.
  EXPECT_EQ(Scan(1, 2, app::PollFunction::ReadCoils), TScanEnd::seDone);
  ASSERT_EQ(scan->Answers().size(), 1u);
  EXPECT_EQ(scan->Answers()[0].Slave, modbus::SimulatorAddress);
  EXPECT_EQ(scan->Answers()[0].Outcome, TRequestOutcome::roException);
  EXPECT_EQ(scan->Answers()[0].ExceptionCode, modbus::ExIllegalFunction);
}

TEST_F(BusScan, CancelEndsTheScanAfterTheRequestOnTheLine) {
  app::TScanSettings settings;
  QSignalSpy finished(scan.get(), &app::TBusScan::Finished);
  ASSERT_TRUE(scan->Start(settings));
  scan->Cancel();  // address 1's request is on the line
  EXPECT_TRUE(scan->Running());
  ASSERT_TRUE(finished.wait(5000));
  EXPECT_EQ(finished[0][0].value<TScanEnd>(), TScanEnd::seCancelled);
  EXPECT_EQ(scan->Done(), 1u);
  ASSERT_EQ(scan->Answers().size(), 1u);  // its answer is kept
  // The line free again, nothing more is asked.
  ASSERT_TRUE(QTest::qWaitFor([&] { return channel->Ready(); }, 5000));
  QCoreApplication::processEvents();
  EXPECT_FALSE(scan->Running());
  EXPECT_EQ(scan->Done(), 1u);
  EXPECT_EQ(slave->Requests(), 1);
  EXPECT_EQ(finished.size(), 1);
}

class BusScanOnDemo : public BusScan {
 protected:
  void SetUp() override {
    far = Far::Demo;
    BusScan::SetUp();
  }
};

TEST_F(BusScanOnDemo, AScanAtEachCommonRatePutsThePortBackAndOffersTheRate) {
  // The window's rate is one the scan passes on its way, not its last.
  form->CB_Baud->setCurrentIndex(form->CB_Baud->findText(QStringLiteral("9600")));
  form->Btn_Reset->click();
  ASSERT_EQ(form->ComPort1.Baud(), 9600);
  ASSERT_TRUE(QTest::qWaitFor([&] { return channel->Ready(); }, 5000));
  app::TBusScanDialog dialog(*channel, form->ComPort1);
  dialog.ScanFirst->setValue(1);
  dialog.ScanLast->setValue(2);
  dialog.ScanAllRates->setChecked(true);
  // At 1200 baud a reply leaves the default wait little room on a busy machine.
  dialog.ScanTimeout->setValue(300);
  std::vector<int32_t> portRates;  // the port's rate as each address's outcome came
  QObject::connect(dialog.Scan, &app::TBusScan::Progress,
                   [&] { portRates.push_back(form->ComPort1.Baud()); });
  QSignalSpy finished(dialog.Scan, &app::TBusScan::Finished);
  dialog.Btn_ScanStart->click();
  EXPECT_TRUE(dialog.Btn_ScanCancel->isEnabled());
  ASSERT_TRUE(finished.wait(20000));
  EXPECT_EQ(finished[0][0].value<TScanEnd>(), TScanEnd::seDone);

  EXPECT_EQ(form->ComPort1.Baud(), 9600);
  EXPECT_TRUE(form->ComPort1.Open());
  std::vector<int32_t> expected;
  for (const int32_t rate : app::CommonBaudRates) expected.insert(expected.end(), {rate, rate});
  EXPECT_EQ(portRates, expected);
  // The demo device answers at any rate: address 1 at each of them; the first rate is offered.
  ASSERT_EQ(dialog.FoundTable->rowCount(), static_cast<int>(std::size(app::CommonBaudRates)));
  EXPECT_EQ(dialog.FoundTable->item(0, 0)->text(), QStringLiteral("1"));
  ASSERT_TRUE(dialog.Btn_ScanUseRate->isEnabled());
  QSignalSpy useRate(&dialog, &app::TBusScanDialog::UseRate);
  dialog.Btn_ScanUseRate->click();
  ASSERT_EQ(useRate.size(), 1);
  EXPECT_EQ(useRate[0][0].value<int32_t>(), app::CommonBaudRates[0]);

  QSignalSpy addRow(&dialog, &app::TBusScanDialog::AddPollRow);
  dialog.FoundTable->selectRow(0);
  dialog.Btn_ScanAddRow->click();
  ASSERT_EQ(addRow.size(), 1);
  EXPECT_EQ(addRow[0][0].value<uint8_t>(), modbus::SimulatorAddress);
  EXPECT_EQ(addRow[0][1].value<app::PollFunction>(), app::PollFunction::ReadHoldingRegisters);
  EXPECT_EQ(addRow[0][2].value<uint16_t>(), 0u);
}

}  // namespace
}  // namespace talyx::testing
