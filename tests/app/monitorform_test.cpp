// The bus monitor on the window: reached from the port menu, it shows what the send path wrote
// (through the output thread's hook) and what the receive path took, paired.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTest>

#include "app/dialogs/optionsdialog.h"
#include "app/monitor/frametablemodel.h"
#include "apptesting.h"
#include "platform/clock.h"

namespace talyx::testing {
namespace {

using Col = app::TFrameTableModel::Column;

TEST_F(OpenFormTest, TheMonitorShowsTheSentRequestAndTheReceivedReplyPaired) {
  form->MonitorAction->trigger();
  app::TMonitorWindow* monitor = form->MonitorHub->Window();
  ASSERT_NE(monitor, nullptr);
  EXPECT_TRUE(monitor->isVisible());

  form->CB_hexSend->setChecked(true);
  form->SendMemo->setPlainText(QStringLiteral("01 03 00 00 00 02"));
  form->Btn_Send->click();
  EXPECT_EQ(pty.Receive(8), (std::vector<uint8_t>{0x01, 0x03, 0x00, 0x00, 0x00, 0x02, 0xC4, 0x0B}));
  // A slave answers after the request has left the line (8 characters at 9600 baud), which a
  // pseudo-terminal would not wait for.
  platform::SleepMs(20);
  ASSERT_TRUE(pty.Send(std::vector<uint8_t>{0x01, 0x03, 0x04, 0x00, 0x0A, 0x00, 0x14, 0xDA, 0x3E}));

  app::TFrameTableModel* model = monitor->Model;
  ASSERT_TRUE(QTest::qWaitFor([&] { return model->rowCount() == 2; }, 5000));
  EXPECT_EQ(model->Text(0, Col::ColDirection), "发送");
  EXPECT_EQ(model->Text(1, Col::ColDirection), "接收");
  EXPECT_EQ(model->Text(1, Col::ColSummary).toStdString(),
            "1: Read Holding Registers response, 2 registers from 0: 10, 20");
  EXPECT_EQ(model->Text(1, Col::ColCrc), "正确");
  EXPECT_FALSE(model->Text(1, Col::ColResponse).isEmpty());
  EXPECT_EQ(form->RecvCount, 9);  // the window received the same bytes

  // The summaries follow the register format chosen in the options.
  form->Options.RegisterFormat = formats::TRegisterFormat::rfHex;
  form->ApplyOptions();
  EXPECT_EQ(model->Text(1, Col::ColSummary).toStdString(),
            "1: Read Holding Registers response, 2 registers from 0: 0x000A, 0x0014");
}

// The capture runs without the monitor window, from the port menu, into the options' folder.
TEST_F(OpenFormTest, TheCaptureWritesTheExchangeAndStopsFromTheMenu) {
  form->Options.CaptureFolder = folder.File("captures");
  form->CaptureAction->trigger();
  ASSERT_TRUE(form->MonitorHub->Capturing()) << messages.Texts.join('\n').toStdString();
  EXPECT_TRUE(form->CaptureAction->isChecked());
  EXPECT_EQ(form->MonitorHub->Window(), nullptr);

  form->CB_hexSend->setChecked(true);
  form->SendMemo->setPlainText(QStringLiteral("01 03 00 00 00 02"));
  form->Btn_Send->click();
  ASSERT_EQ(pty.Receive(8).size(), 8u);
  platform::SleepMs(20);
  ASSERT_TRUE(pty.Send(std::vector<uint8_t>{0x01, 0x03, 0x04, 0x00, 0x0A, 0x00, 0x14, 0xDA, 0x3E}));
  ASSERT_TRUE(QTest::qWaitFor([&] { return form->RecvCount == 9; }, 5000));
  form->CaptureAction->trigger();
  EXPECT_FALSE(form->MonitorHub->Capturing());
  EXPECT_FALSE(form->CaptureAction->isChecked());

  const std::vector<std::string> files = form->MonitorHub->CaptureFiles();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_TRUE(files[0].starts_with(folder.File("captures/talyx-")));
  // Header, then a sent and a received record (16-byte header, 24 bytes of tags, the frame).
  EXPECT_EQ(ReadWholeFile(files[0]).size(), 24u + (16 + 24 + 8) + (16 + 24 + 9));
}

TEST_F(OpenFormTest, ACaptureWhoseWriteFailsStopsWithAMessage) {
  form->Options.CaptureFolder = folder.File("captures");
  form->CaptureAction->trigger();
  ASSERT_TRUE(form->MonitorHub->Capturing());
  {
    const ScopedFileSizeLimit limit(30);
    ASSERT_TRUE(
        pty.Send(std::vector<uint8_t>{0x01, 0x03, 0x04, 0x00, 0x0A, 0x00, 0x14, 0xDA, 0x3E}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->MonitorHub->Capturing(); }, 5000));
  }
  EXPECT_FALSE(form->CaptureAction->isChecked());
  ASSERT_EQ(messages.Texts.size(), 1);
  EXPECT_TRUE(messages.Texts[0].startsWith(QStringLiteral("捕获已停止：")))
      << messages.Texts[0].toStdString();
  EXPECT_EQ(ReadWholeFile(form->MonitorHub->CaptureFiles()[0]).size(), 24u);
}

// The capture's options: read from the section "options" (the size kept within its bounds),
// shown by the options dialog, and the capture started with the program when asked.
TEST_F(MainFormTest, CaptureOptionsStartTheCaptureWithTheProgram) {
  const std::string captures = folder.File("at start");
  WriteSettings("[options]\nCaptureFolder=" + captures +
                "\nCaptureRotateMb=99999\nCaptureTextLog=1\nCaptureAtStart=1\n");
  auto form = CreateForm();
  EXPECT_EQ(form->Options.CaptureRotateMb, app::TAppOptions::MaxCaptureRotateMb);
  ASSERT_TRUE(form->MonitorHub->Capturing()) << messages.Texts.join('\n').toStdString();
  EXPECT_TRUE(form->CaptureAction->isChecked());
  const std::vector<std::string> files = form->MonitorHub->CaptureFiles();
  ASSERT_EQ(files.size(), 2u);
  EXPECT_TRUE(files[0].starts_with(captures + "/talyx-") && files[0].ends_with(".pcap"));
  EXPECT_TRUE(files[1].ends_with(".txt"));
  EXPECT_EQ(form->MonitorAction->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+M")));
  EXPECT_EQ(form->CaptureAction->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+K")));

  form->OptionsAction->trigger();
  ASSERT_NE(form->OptionsDialog1, nullptr);
  EXPECT_EQ(form->OptionsDialog1->Edt_CaptureFolder->text().toStdString(), captures);
  EXPECT_TRUE(form->OptionsDialog1->CB_CaptureTextLog->isChecked());
  form->OptionsDialog1->CB_CaptureAtStart->setChecked(false);
  form->OptionsDialog1->SE_CaptureRotateMb->setValue(7);
  form->OptionsDialog1->accept();
  const app::TAppOptions read = app::TAppOptions::Read(app::TSettingsFile(SettingsPath()));
  EXPECT_FALSE(read.CaptureAtStart);
  EXPECT_EQ(read.CaptureRotateMb, 7);
  EXPECT_EQ(read.CaptureFolder, captures);
}

}  // namespace
}  // namespace talyx::testing
