// The poller window's tools on the demo device: a register ticked in the values table is plotted
// under its name, the log started from its bar writes a header and a line per poll, and the bus
// scan pauses the polls, adds the row it offers and hands its rate to the main window.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <algorithm>

#include "app/poller/pollerhub.h"
#include "app/poller/pollersettings.h"
#include "app/poller/pollertablemodel.h"
#include "app/poller/pollerwindow.h"
#include "app/poller/pollloop.h"
#include "app/poller/pollplot.h"
#include "app/poller/scandialog.h"
#include "app/window/combobox.h"
#include "modbus/modbussimulator.h"
#include "pollertesting.h"

namespace talyx::testing {
namespace {

using app::PollSet;

// The demo device holds 10, 20, ... from register 0.
PollSet SpeedAndLevel() {
  app::PollRow row;
  row.Count = 2;
  row.PeriodMs = 20;
  row.Registers = {{"speed", 0, formats::TRegisterFormat::rfU16, 1, 0, "rpm"},
                   {"level", 1, formats::TRegisterFormat::rfU16, 1, 0, ""}};
  PollSet set;
  set.Rows = {row};
  return set;
}

class PollerTools : public PollerFormTest {
 protected:
  void SetUp() override {
    far = Far::Demo;
    PollerFormTest::SetUp();
    form->PollerAction->trigger();
    window = form->PollerHub->Window();
    ASSERT_NE(window, nullptr);
    loop = form->PollerHub->Loop();
    window->SetPollSet(SpeedAndLevel());
  }

  app::TPollerWindow* window = nullptr;
  app::TPollLoop* loop = nullptr;
};

TEST_F(PollerTools, ATickedRegisterIsPlottedUnderItsNameAfterPolls) {
  app::TPollTableModel* values = window->Values;
  ASSERT_TRUE(values->setData(values->index(0, app::TPollTableModel::ColName), Qt::Checked,
                              Qt::CheckStateRole));
  EXPECT_EQ(values->data(values->index(0, app::TPollTableModel::ColName), Qt::CheckStateRole),
            Qt::Checked);
  window->Tabs->setCurrentWidget(window->PlotPage);  // the plot draws while shown
  window->Btn_PollStart->click();
  QChart* chart = window->Plot->findChild<QChartView*>("PlotView")->chart();
  ASSERT_EQ(chart->series().size(), 1);
  auto* line = static_cast<QLineSeries*>(chart->series()[0]);
  EXPECT_EQ(line->name(), QStringLiteral("speed [rpm]"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return line->count() >= 3; }, 5000));
  for (const QPointF& point : line->points()) EXPECT_EQ(point.y(), 10);

  // A row added keeps the tick and the points; the register renamed loses them.
  PollSet more = SpeedAndLevel();
  more.Rows.push_back(more.Rows[0]);
  window->SetPollSet(more);
  ASSERT_EQ(chart->series().size(), 1);
  EXPECT_EQ(chart->series()[0], line);
  EXPECT_EQ(values->PlottedRows(), std::vector<int>{0});
  more.Rows[0].Registers[0].Name = "rate";
  window->SetPollSet(more);
  EXPECT_TRUE(chart->series().isEmpty());
  EXPECT_TRUE(values->PlottedRows().empty());
}

TEST_F(PollerTools, TheLogStartedFromTheBarWritesAHeaderAndALinePerPoll) {
  const QString logs = QString::fromStdString(folder.File("logs"));
  window->ED_LogFolder->setText(logs);
  window->Btn_LogStart->click();
  ASSERT_TRUE(window->Btn_LogStart->isChecked());
  EXPECT_FALSE(window->ED_LogFolder->isEnabled());
  QSignalSpy polled(loop, &app::TPollLoop::Polled);
  window->Btn_PollStart->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return polled.size() >= 3; }, 5000));
  window->Btn_LogStart->click();  // stops the log: what it holds is written
  const qsizetype polls = polled.size();
  loop->Stop();

  const QString name = window->Lbl_LogFile->text();
  ASSERT_FALSE(name.isEmpty());
  const std::string text = ReadWholeFile((logs + QLatin1Char('/') + name).toStdString());
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), polls + 1);
  EXPECT_EQ(text.substr(0, text.find("\r\n")), "时间,行,speed,level");
  EXPECT_EQ(app::TPollerSettings::Read(app::TSettingsFile(SettingsPath())).Log.Folder, logs);
}

TEST_F(PollerTools, AScanPausesThePollsAddsItsRowAndOffersItsRateToTheMainWindow) {
  window->Btn_PollStart->click();
  window->Btn_Scan->click();
  app::TBusScanDialog* dialog = window->ScanDialog;
  ASSERT_NE(dialog, nullptr);
  dialog->ScanFirst->setValue(1);
  dialog->ScanLast->setValue(2);
  QSignalSpy finished(dialog->Scan, &app::TBusScan::Finished);
  dialog->Btn_ScanStart->click();
  EXPECT_TRUE(dialog->Scan->Running());
  EXPECT_FALSE(loop->Running());
  ASSERT_TRUE(finished.wait(10000));
  EXPECT_TRUE(loop->Running());

  ASSERT_GE(dialog->FoundTable->rowCount(), 1);
  dialog->FoundTable->selectRow(0);
  dialog->Btn_ScanAddRow->click();
  ASSERT_EQ(loop->Set().Rows.size(), 2u);
  const app::PollRow& added = loop->Set().Rows[1];
  EXPECT_EQ(added.Slave, modbus::SimulatorAddress);
  EXPECT_EQ(added.Function, app::PollFunction::ReadHoldingRegisters);
  EXPECT_EQ(added.Start, 0);
  EXPECT_EQ(added.Count, 1);
  EXPECT_EQ(window->Values->rowCount(), 3);

  emit dialog->UseRate(9600);
  EXPECT_EQ(form->CB_Baud->currentText(), QStringLiteral("9600"));
  EXPECT_EQ(form->ComPort1.Baud(), 9600);
  EXPECT_TRUE(form->ComPort1.Open());
}

}  // namespace
}  // namespace talyx::testing
