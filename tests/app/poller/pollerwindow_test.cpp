// The poller window on the main window: reached from the port menu, its values table follows
// the slave in place (changes marked, stale rows, the port away), a double-click writes a value
// after confirmation and the next poll reads it back, and the poll set, the register maps and
// the options live in their files.
#include "app/poller/pollerwindow.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include "app/poller/pollerhub.h"
#include "app/poller/pollertablemodel.h"
#include "app/poller/pollloop.h"
#include "app/poller/pollrowdialog.h"
#include "app/shell/messagebox.h"
#include "pollertesting.h"

namespace talyx::testing {
namespace {

using app::PollFunction;
using app::PollRegister;
using app::PollRow;
using app::PollSet;
using Col = app::TPollTableModel::Column;

PollSet TwoRows() {
  PollSet set;
  PollRow holding;
  holding.Start = 0;
  holding.Count = 3;
  holding.PeriodMs = 20;
  holding.Registers = {{"speed", 0, formats::TRegisterFormat::rfU16, 1, 0, "rpm"},
                       {"level", 1, formats::TRegisterFormat::rfU16, 0.5, 0, "%"}};
  PollRow absent = holding;
  absent.Slave = 9;
  absent.Count = 1;
  absent.Registers = {{"ghost", 0, formats::TRegisterFormat::rfU16, 1, 0, ""}};
  set.Rows = {holding, absent};
  return set;
}

class PollerWindow : public PollerFormTest {
 protected:
  void SetUp() override {
    PollerFormTest::SetUp();
    form->PollerAction->trigger();
    window = form->PollerHub->Window();
    ASSERT_NE(window, nullptr);
    loop = form->PollerHub->Loop();
  }
  bool WaitText(int row, int column, const QString& text) {
    return QTest::qWaitFor([&] { return window->Values->Text(row, column) == text; }, 5000);
  }

  app::TPollerWindow* window = nullptr;
  app::TPollLoop* loop = nullptr;
};

TEST_F(PollerWindow, TheTableShowsValuesInPlaceMarksChangesStaleRowsAndThePortAway) {
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(form->PollerAction->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+P")));
  window->SE_Timeout->setValue(30);
  window->SetPollSet(TwoRows());
  window->Btn_PollStart->click();
  ASSERT_EQ(window->Values->rowCount(), 3);
  ASSERT_TRUE(WaitText(0, Col::ColValue, "10"));
  EXPECT_EQ(window->Values->Text(1, Col::ColValue), "10");  // 20 at half scale
  EXPECT_EQ(window->Values->Text(0, Col::ColUnit), "rpm");
  EXPECT_FALSE(window->Values->Changed(0));

  const uint16_t changed = 77;
  slave->Registers.WriteHolding(0, 1, &changed);
  ASSERT_TRUE(WaitText(0, Col::ColValue, "77"));
  EXPECT_TRUE(window->Values->Changed(0));
  EXPECT_FALSE(window->Values->Changed(1));
  // The absent slave's row goes stale; the other does not.
  ASSERT_TRUE(WaitText(2, Col::ColState, QStringLiteral("过期：超时")));
  EXPECT_EQ(window->Values->Text(0, Col::ColState), "");
  EXPECT_NE(window->Stats->Text(1, app::TPollStatsModel::ColTimeouts), "0");

  form->ComPort1.SetOpen(false);
  ASSERT_TRUE(WaitText(0, Col::ColState, QStringLiteral("等待串口")));
  EXPECT_EQ(window->Values->Text(0, Col::ColValue), "77");  // the last value stays
  form->ComPort1.SetOpen(true);
  ASSERT_TRUE(WaitText(0, Col::ColState, ""));
}

TEST_F(PollerWindow, ADoubleClickWritesAfterConfirmationAndThePollReadsItBack) {
  window->SE_Timeout->setValue(50);
  window->SetPollSet(TwoRows());
  window->Btn_PollStart->click();
  ASSERT_TRUE(WaitText(1, Col::ColValue, "10"));

  QStringList asked;
  const app::TValueInputHook previousInput =
      app::SetValueInputHook([&](const QString& label, const QString& initial) {
        asked << label << initial;
        return std::optional<QString>(QStringLiteral("21.5"));
      });
  QStringList questions;
  const app::MessageBoxHook previousBox = app::SetMessageBoxHook([&](const app::MessageRequest& r) {
    questions << r.Text;
    return QMessageBox::Yes;
  });
  window->WriteValue(1);  // "level", scale 0.5: 43 is written
  ASSERT_TRUE(WaitText(1, Col::ColValue, "21.5"));
  uint16_t raw = 0;
  slave->Registers.ReadHolding(1, 1, &raw);
  EXPECT_EQ(raw, 43);
  EXPECT_EQ(asked, QStringList({QStringLiteral("level 的新值："), QStringLiteral("10")}));
  ASSERT_EQ(questions.size(), 1);
  EXPECT_TRUE(questions[0].contains(QStringLiteral("21.5")));
  EXPECT_TRUE(window->Lbl_State->text().contains(QStringLiteral("写入成功")));

  // A register the slave does not have: its exception is shown by name.
  PollSet beyond = TwoRows();
  beyond.Rows[0].Start = 99;
  beyond.Rows[0].Count = 1;
  beyond.Rows[0].Registers = {{"last", 99, formats::TRegisterFormat::rfU32Abcd, 1, 0, ""}};
  beyond.Rows[0].Count = 2;
  window->SetPollSet(beyond);
  window->WriteValue(0);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        return window->Lbl_State->text().contains(
            QStringLiteral("写入失败：异常 02 Illegal Data Address"));
      },
      5000))
      << window->Lbl_State->text().toStdString();
  app::SetMessageBoxHook(previousBox);
  app::SetValueInputHook(previousInput);
}

TEST_F(PollerWindow, ThePollSetMapsAndOptionsLiveInTheirFiles) {
  window->SE_Retries->setValue(2);
  window->SE_Turnaround->setValue(15);
  window->SetPollSet(TwoRows());
  const std::string pollFile = folder.File("talyx-poll.csv");
  EXPECT_NE(ReadWholeFile(pollFile).find("speed"), std::string::npos);
  EXPECT_TRUE(window->ExportMap(QString::fromStdString(folder.File("map.csv"))));

  // A map from a manual, in register numbers.
  WriteWholeFile(folder.File("manual.csv"),
                 "name,slave,function,address,format,scale,offset,unit\n"
                 "flow,1,,40003,f32-abcd,1,0,m3/h\n");
  ASSERT_TRUE(window->ImportMap(QString::fromStdString(folder.File("manual.csv"))));
  EXPECT_TRUE(window->Lbl_State->text().contains(QStringLiteral("五位寄存器编号")));
  ASSERT_EQ(loop->Set().Rows.size(), 1u);
  EXPECT_EQ(loop->Set().Rows[0].Function, PollFunction::ReadHoldingRegisters);
  EXPECT_EQ(loop->Set().Rows[0].Registers[0].Address, 2);
  EXPECT_FALSE(window->ImportMap(QString::fromStdString(folder.File("missing.csv"))));
  EXPECT_EQ(messages.Texts.size(), 1);

  ASSERT_TRUE(window->ImportMap(QString::fromStdString(folder.File("map.csv"))));
  EXPECT_EQ(loop->Set(), TwoRows());

  // A new window reads the set and the options back.
  form.reset();
  form = CreateForm();
  form->PollerAction->trigger();
  app::TPollerWindow* again = form->PollerHub->Window();
  EXPECT_EQ(form->PollerHub->Loop()->Set(), TwoRows());
  EXPECT_EQ(again->SE_Retries->value(), 2);
  EXPECT_EQ(form->PollerHub->Loop()->Options().TurnaroundMs, 15u);
}

TEST_F(PollerWindow, TheRowDialogAddsCheckedRows) {
  window->Btn_AddRow->click();
  app::TPollRowDialog* dialog = window->RowDialog;
  ASSERT_NE(dialog, nullptr);
  dialog->SE_Slave->setValue(0);
  dialog->accept();  // refused: no slave 0
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(messages.Texts.size(), 1);
  dialog->SE_Slave->setValue(3);
  dialog->SE_Count->setValue(4);
  dialog->AddRegister();
  dialog->AddRegister();
  dialog->accept();
  ASSERT_EQ(loop->Set().Rows.size(), 1u);
  const PollRow& row = loop->Set().Rows[0];
  EXPECT_EQ(row.Slave, 3);
  ASSERT_EQ(row.Registers.size(), 2u);
  EXPECT_EQ(row.Registers[1].Address, 1);
  EXPECT_EQ(window->Values->rowCount(), 2);
}

}  // namespace
}  // namespace talyx::testing
