// Closing the main window: the settings file written key by key, kept lines, read back at the
// next start, the failures that end the writing, and the same close when the end comes from
// outside.
#include <gtest/gtest.h>
#include <termios.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <vector>

#include "app/dialogs/about.h"
#include "apptesting.h"
#include "support/ptypair.h"

namespace talyx::testing {
namespace {

TEST_F(MainFormTest, SettingsComeBackAfterARestartAndForeignLinesStay) {
  PtyPair pty;
  ScopedPortMap map({{2, pty.SlavePath()}});
  WriteSettings(
      "; my terminal\n"
      "[form]\n"
      "top=120\n"
      "Left=130\n"
      "Width=800\n"
      "Height=600\n"
      "Caption=Mine\n"
      "Note=keep me\n"
      "\n"
      "[parameter]\n"
      "HexGet=1\n"
      "Clear=0\n"
      "ComNum=1\n"
      "Baud=10\n"
      "Parity=0\n"
      "DataBits=2\n"
      "StopBits=1\n"
      "Interval=250\n"
      "; end of file\n");
  auto form = CreateForm();
  EXPECT_EQ(form->windowTitle(), QStringLiteral("Mine"));
  EXPECT_TRUE(form->CB_HexGet->isChecked());
  EXPECT_FALSE(form->CB_Clear->isChecked());
  EXPECT_EQ(form->CB_Baud->currentText(), QStringLiteral("115200"));
  EXPECT_EQ(form->CB_Parity->currentText(), QStringLiteral("pEven"));
  EXPECT_EQ(form->Edt_Interval->text(), QStringLiteral("250"));
  form->show();
  ASSERT_TRUE(form->ComPort1.Open());
  EXPECT_EQ(form->ComPort1.ComNumber(), 2);
  EXPECT_EQ(form->pos(), QPoint(130, 120));
  EXPECT_EQ(form->size(), QSize(800, 600));

  form->CB_StopShow->setChecked(true);
  form->CB_AddCenter->setChecked(true);
  form->Edt_Interval->setText(QStringLiteral("300"));
  form->CB_DataBits->setCurrentIndex(1);
  form->CB_Baud->setEditText(QStringLiteral("14400"));  // typed: the item index is kept
  form->close();
  EXPECT_TRUE(messages.Texts.empty());
  EXPECT_EQ(ReadWholeFile(SettingsPath()),
            "; my terminal\n"
            "[form]\n"
            "Top=120\n"
            "Left=130\n"
            "Width=800\n"
            "Height=600\n"
            "Caption=TALYX串口通信控制器\n"
            "Note=keep me\n"
            "\n"
            "[parameter]\n"
            "HexGet=1\n"
            "Clear=0\n"
            "ComNum=1\n"
            "Baud=10\n"
            "Parity=0\n"
            "DataBits=1\n"
            "StopBits=1\n"
            "Interval=300\n"
            "InitMax=0\n"
            "EnterSend=0\n"
            "AddCenter=1\n"
            "ShowSend=0\n"
            "StopShow=1\n"
            "Show=0\n"
            "hexSend=0\n"
            "; end of file\n");
  form.reset();

  auto restarted = CreateForm();
  EXPECT_TRUE(restarted->CB_StopShow->isChecked());
  EXPECT_TRUE(restarted->CB_AddCenter->isChecked());
  EXPECT_EQ(restarted->Edt_Interval->text(), QStringLiteral("300"));
  EXPECT_EQ(restarted->CB_DataBits->currentText(), QStringLiteral("6"));
  EXPECT_EQ(restarted->CB_Baud->currentText(), QStringLiteral("115200"));
  EXPECT_EQ(restarted->windowTitle(), QStringLiteral("TALYX串口通信控制器"));
}

TEST_F(MainFormTest, IntervalAndMaximizedStateWrittenAtShutdownComeBack) {
  WriteSettings("[Form]\nInterval=500\nInitMax=0\n[parameter]\nInterval=70\nInitMax=1\n");
  EXPECT_EQ(CreateForm()->Edt_Interval->text(), QStringLiteral("70"));
  EXPECT_TRUE(CreateForm()->windowState().testFlag(Qt::WindowMaximized));
  // Files that keep them under "Form" only, as older ones do, still give them.
  WriteSettings("[Form]\nInterval=500\nInitMax=1\n");
  EXPECT_EQ(CreateForm()->Edt_Interval->text(), QStringLiteral("500"));
  EXPECT_TRUE(CreateForm()->windowState().testFlag(Qt::WindowMaximized));
}

TEST_F(MainFormTest, AnIntervalThatIsNotANumberEndsTheWritingBeforeIt) {
  ScopedPortMap noPorts;
  auto form = CreateForm();
  form->show();
  messages.Texts.clear();  // the failed open of the show
  form->Edt_Interval->setText(QString());
  form->close();
  EXPECT_EQ(messages.Texts, QStringList{QStringLiteral("'' 不是一个有效的整形值")});
  EXPECT_FALSE(form->isVisible());
  const std::string written = ReadWholeFile(SettingsPath());
  EXPECT_NE(written.find("Caption=TALYX串口通信控制器\n"), std::string::npos);
  EXPECT_NE(written.find("hexSend=0\n"), std::string::npos);
  EXPECT_EQ(written.find("Interval"), std::string::npos);
  EXPECT_EQ(written.find("ComNum"), std::string::npos);
}

TEST_F(MainFormTest, ASettingsFileThatCannotBeWrittenIsReportedAndTheWindowCloses) {
  ScopedPortMap noPorts;
  // Its folder is a regular file: the write fails with ENOTDIR, for root as well.
  WriteWholeFile(folder.File("plain"), "");
  const std::string path = folder.File("plain") + "/talyx.INI";
  app::TMainForm form{app::TSettingsFile(path)};
  form.show();
  messages.Texts.clear();
  form.close();
  EXPECT_EQ(messages.Texts, QStringList{QString::fromStdString("写 " + path + " 失败")});
  EXPECT_FALSE(form.isVisible());
}

TEST_F(MainFormTest, EndingFromOutsideEndsDialogsAndSendsThenClosesAsTheUserWould) {
  PtyPair pty;
  ScopedPortMap map({{1, pty.SlavePath()}});
  auto form = CreateForm();
  form->show();
  ASSERT_TRUE(form->ComPort1.Open());
  // A send waits for output room, the about box is open over it, and then the end comes.
  ASSERT_EQ(tcflow(pty.Slave(), TCOOFF), 0);
  const std::vector<uint8_t> filler(form->ComPort1.OutSize() - 6, 'f');
  form->ComPort1.PutBlock(filler.data(), filler.size());
  form->SendMemo->setPlainText(QStringLiteral("waits"));
  bool aboutClosed = false;
  QTimer::singleShot(300, form.get(), [&] {
    form->Btn_AboutClick();
    aboutClosed = true;
  });
  QTimer::singleShot(600, form.get(), [&] { form->EndFromOutside(); });
  // Should the end leave either waiting, they are let go later, and too late.
  QTimer::singleShot(5000, form.get(), [&] {
    if (form->AboutBox() != nullptr) form->AboutBox()->reject();
    tcflow(pty.Slave(), TCOON);
  });
  ::testing::internal::CaptureStderr();
  const auto start = std::chrono::steady_clock::now();
  form->Btn_Send->click();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_TRUE(aboutClosed);
  EXPECT_EQ(form->SendCount, 0);
  EXPECT_FALSE(form->isVisible());
  EXPECT_NE(ReadWholeFile(SettingsPath()).find("StopBits=0\n"), std::string::npos);
  // Nobody is there to answer a box any more.
  app::ShowMessage(QStringLiteral("after the end"));
  const std::string written = ::testing::internal::GetCapturedStderr();
  app::SetMessagesToStandardError(false);
  EXPECT_TRUE(messages.Texts.isEmpty()) << messages.Texts.join(QLatin1Char('|')).toStdString();
  EXPECT_NE(written.find("talyx: after the end\n"), std::string::npos) << written;
  tcflow(pty.Slave(), TCOON);
}

TEST_F(MainFormTest, EndingFromOutsideReportsAFailedSettingsWriteOnStandardError) {
  ScopedPortMap noPorts;
  WriteWholeFile(folder.File("plain"), "");
  const std::string path = folder.File("plain") + "/talyx.INI";
  app::TMainForm form{app::TSettingsFile(path)};
  form.show();
  messages.Texts.clear();
  ::testing::internal::CaptureStderr();
  form.EndFromOutside();
  const std::string written = ::testing::internal::GetCapturedStderr();
  app::SetMessagesToStandardError(false);
  EXPECT_TRUE(messages.Texts.isEmpty());
  EXPECT_NE(written.find("talyx: 写 " + path + " 失败\n"), std::string::npos) << written;
  EXPECT_FALSE(form.isVisible());
}

}  // namespace
}  // namespace talyx::testing
