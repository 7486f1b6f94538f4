// The window's view tools and port watch: finding in the receive view, its keys and popup menu,
// saving it as a Rich Text Format file, clearing the views against resetting the counters, and
// the state lamp following the port.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "app/dialogs/finddialog.h"
#include "app/view/receiveview.h"
#include "app/window/shape.h"
#include "app/window/statusbar.h"
#include "apptesting.h"
#include "support/ptypair.h"
#include "text/rtfreader.h"

namespace talyx::testing {
namespace {

using app::TMainForm;

const QString NotFound = QStringLiteral("没有查到相应数据。");
const QColor Green(0, 255, 0);
const QColor Red(255, 0, 0);

using Span = std::pair<qsizetype, qsizetype>;

// The receive view's selection as (start, length).
Span SelectionOf(const app::TReceiveView* view) {
  return {view->SelectionStart(), view->SelectionEnd() - view->SelectionStart()};
}

class ViewToolsTest : public MainFormTest {
 protected:
  void SetUp() override {
    MainFormTest::SetUp();
    form = CreateForm();
    form->show();
    messages.Texts.clear();  // no port to open
  }

  ScopedPortMap noPorts;
  std::unique_ptr<TMainForm> form;
};

TEST_F(ViewToolsTest, RepeatedFindsWalkThroughTheMatchesThenReportAndStartAgain) {
  form->Memo_Show->setPlainText(QStringLiteral("串口 abc ABC\nxabc"));
  form->FindDialog1->SetFindText(QStringLiteral("abc"));

  form->FindDialog1->FindButton->click();
  EXPECT_EQ(SelectionOf(form->Memo_Show), Span(3, 3));
  EXPECT_EQ(form->focusWidget(), form->Memo_Show);
  QTest::keyClick(form->Memo_Show, Qt::Key_F3);  // upper-case ABC is passed over
  EXPECT_EQ(SelectionOf(form->Memo_Show), Span(12, 3));
  EXPECT_TRUE(messages.Texts.empty());

  QTest::keyClick(form->Memo_Show, Qt::Key_F3, Qt::ShiftModifier);  // any modifiers
  EXPECT_EQ(messages.Texts, QStringList{NotFound});
  EXPECT_EQ(SelectionOf(form->Memo_Show), Span(0, 0));

  QTest::keyClick(form->Memo_Show, Qt::Key_F3, Qt::ControlModifier);
  EXPECT_EQ(SelectionOf(form->Memo_Show), Span(3, 3));
  EXPECT_EQ(messages.Texts.size(), 1u);
  EXPECT_EQ(form->Memo_Show->toPlainText(), QStringLiteral("串口 abc ABC\nxabc"));
}

TEST_F(ViewToolsTest, ALowerCaseTextDoesNotFindUpperCaseAndNothingSelectedStartsAtTheTop) {
  form->Memo_Show->setPlainText(QStringLiteral("MODBUS READY modbus"));
  // A caret without a selection: the search still starts at the beginning.
  form->Memo_Show->SetCursorPosition(16);
  form->FindDialog1->SetFindText(QStringLiteral("modbus"));
  form->FindDialog1Find();
  EXPECT_EQ(SelectionOf(form->Memo_Show), Span(13, 6));

  form->FindDialog1->SetFindText(QStringLiteral("ready"));
  form->FindDialog1Find();
  EXPECT_EQ(messages.Texts, QStringList{NotFound});
  EXPECT_EQ(SelectionOf(form->Memo_Show), Span(0, 0));
}

TEST_F(ViewToolsTest, CtrlFAloneShowsTheFindDialogAndKeysStillReachTheView) {
  form->Memo_Show->setFocus();
  QTest::keyClick(form->Memo_Show, Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_TRUE(form->Memo_Show->toPlainText().isEmpty());
  QTest::keyClick(form->Memo_Show, Qt::Key_F, Qt::ControlModifier | Qt::AltModifier);
  EXPECT_FALSE(form->FindDialog1->isVisible());
  form->Memo_Show->clear();

  QTest::keyClick(form->Memo_Show, Qt::Key_F, Qt::ControlModifier);
  EXPECT_TRUE(form->FindDialog1->isVisible());
  EXPECT_FALSE(form->FindDialog1->isModal());
  // The dialog has nothing to search for yet; the window stays usable.
  EXPECT_FALSE(form->FindDialog1->FindButton->isEnabled());
  QTest::keyClicks(form->Memo_Show, QStringLiteral("f3"));
  QTest::keyClick(form->Memo_Show, Qt::Key_F3);
  EXPECT_EQ(form->Memo_Show->toPlainText(), QStringLiteral("f3"));
  EXPECT_EQ(messages.Texts, QStringList{NotFound});  // F3 with an empty text finds nothing
}

// Answers SaveDialog1, once it shows, with the name as the user would type it.
void AnswerSaveDialog(TMainForm& form, const std::string& name) {
  QTimer::singleShot(0, form.SaveDialog1, [&form, name] {
    form.SaveDialog1->selectFile(QString::fromStdString(name));
    QMetaObject::invokeMethod(form.SaveDialog1, "accept");  // as the dialog's Save button
  });
}

TEST_F(ViewToolsTest, TheSavedViewReadsBackExactlyChineseIncludedAndReplacesAnOldFile) {
  const QString text = QStringLiteral("接收：01 03 {x}\\y\t\n第1个参数=10\n\U0001F600 end");
  form->Memo_Show->setPlainText(text);
  form->re_dec->setPlainText(QStringLiteral("第1个参数=10"));
  WriteWholeFile(folder.File("view.txt"), "an older and much longer file that is replaced");

  AnswerSaveDialog(*form, folder.File("view"));  // the default extension is added
  form->Btn_SaveView->click();
  EXPECT_TRUE(messages.Texts.empty());
  const std::string saved = ReadWholeFile(folder.File("view.txt"));
  ASSERT_TRUE(formats::IsRtf(saved));
  EXPECT_EQ(QString::fromStdString(formats::ReadRtf(saved).value()), text);
  for (unsigned char c : saved) EXPECT_LT(c, 0x80);  // Chinese only as Unicode escapes
  EXPECT_EQ(form->Memo_Show->toPlainText(), text);
}

TEST_F(ViewToolsTest, AFileThatCannotBeCreatedIsReportedWithItsPathAndTheViewStays) {
  form->Memo_Show->setPlainText(QStringLiteral("01 03 04"));
  WriteWholeFile(folder.File("plain"), "a regular file, no folder");
  const std::string below = folder.File("plain") + "/view.txt";  // not even root can create it

  AnswerSaveDialog(*form, below);
  form->Btn_SaveView->click();
  EXPECT_EQ(messages.Texts,
            QStringList{QStringLiteral("不能创建文件 ") + QString::fromStdString(below)});
  EXPECT_EQ(form->Memo_Show->toPlainText(), QStringLiteral("01 03 04"));
  EXPECT_EQ(ReadWholeFile(folder.File("plain")), "a regular file, no folder");
}

TEST_F(ViewToolsTest, ASaveThatFailsHalfwayIsReportedAndLeavesTheOldFileWhole) {
  form->Memo_Show->setPlainText(QString(5000, QLatin1Char('7')));
  const std::string path = folder.File("view.txt");
  WriteWholeFile(path, "the older file");

  AnswerSaveDialog(*form, path);
  {
    const ScopedFileSizeLimit limit(1000);  // as a disk that fills during the save
    form->Btn_SaveView->click();
  }
  EXPECT_EQ(messages.Texts,
            QStringList{QStringLiteral("不能创建文件 ") + QString::fromStdString(path)});
  EXPECT_EQ(ReadWholeFile(path), "the older file");
}

TEST_F(ViewToolsTest, PopupMenuEditsTheReceiveView) {
  form->Memo_Show->setPlainText(QStringLiteral("01 03 04"));
  form->N4->trigger();
  EXPECT_EQ(form->Memo_Show->selectedText(), QStringLiteral("01 03 04"));
  form->N1->trigger();
  EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("01 03 04"));
  form->N2->trigger();
  EXPECT_TRUE(form->Memo_Show->toPlainText().isEmpty());
  form->N6->trigger();
  EXPECT_EQ(form->Memo_Show->toPlainText(), QStringLiteral("01 03 04"));
  form->Memo_Show->SetCursorPosition(form->Memo_Show->CharacterCount());
  form->N3->trigger();
  EXPECT_EQ(form->Memo_Show->toPlainText(), QStringLiteral("01 03 0401 03 04"));
}

TEST_F(ViewToolsTest, ClearingTheViewsKeepsTheCountersAndResettingTheCountersKeepsTheViews) {
  form->RecvCount = 9;
  form->SendCount = 12;
  form->DecodeBytes = 4;
  form->DecodeText = QStringLiteral("0103");
  form->StatusBar->SetPanelText(TMainForm::RecvPanel, QStringLiteral("接收：9"));
  form->StatusBar->SetPanelText(TMainForm::SendPanel, QStringLiteral("发送：12"));
  form->Memo_Show->setPlainText(QStringLiteral("01 03 04 00 0A"));
  form->re_dec->setPlainText(QStringLiteral("第1个参数=10"));

  form->Btn_ClearView->click();
  EXPECT_TRUE(form->Memo_Show->toPlainText().isEmpty());
  EXPECT_TRUE(form->re_dec->toPlainText().isEmpty());
  EXPECT_EQ(form->RecvCount, 9);
  EXPECT_EQ(form->SendCount, 12);
  EXPECT_EQ(form->DecodeBytes, 4);
  EXPECT_EQ(form->DecodeText, QStringLiteral("0103"));
  EXPECT_EQ(form->StatusBar->PanelText(TMainForm::RecvPanel), QStringLiteral("接收：9"));

  form->Memo_Show->setPlainText(QStringLiteral("00 14 DA 3E"));
  form->re_dec->setPlainText(QStringLiteral("第2个参数=20"));
  form->Btn_CountReset->click();
  EXPECT_EQ(form->RecvCount, 0);
  EXPECT_EQ(form->SendCount, 0);
  EXPECT_EQ(form->StatusBar->PanelText(TMainForm::RecvPanel), QStringLiteral("接收：0"));
  EXPECT_EQ(form->StatusBar->PanelText(TMainForm::SendPanel), QStringLiteral("发送：0"));
  EXPECT_EQ(form->Memo_Show->toPlainText(), QStringLiteral("00 14 DA 3E"));
  EXPECT_EQ(form->re_dec->toPlainText(), QStringLiteral("第2个参数=20"));
  EXPECT_EQ(form->DecodeBytes, 4);
}

// Runs the event loop until the watch timer's next tick (the timer is what paints the lamp).
void AwaitWatchTick(TMainForm& form) {
  QSignalSpy tick(form.Timer_WatchState, &QTimer::timeout);
  ASSERT_TRUE(tick.wait(5000));
}

TEST_F(MainFormTest, TheLampTurnsGreenAtTheWatchTickAfterAnOpenAndRedAtTheOneAfterAClose) {
  PtyPair pty;
  ScopedPortMap map({{1, pty.SlavePath()}});
  auto form = CreateForm();
  ASSERT_TRUE(form->Timer_WatchState->isActive());
  ASSERT_EQ(form->Timer_WatchState->interval(), 500);  // so a tick follows within 500 ms

  form->show();  // opens the port
  ASSERT_TRUE(form->ComPort1.Open());
  EXPECT_EQ(form->Shape_ComState->BrushColor(), Red);  // not at once
  AwaitWatchTick(*form);
  EXPECT_EQ(form->Shape_ComState->BrushColor(), Green);
  EXPECT_EQ(form->StatusBar->PanelText(TMainForm::VersionPanel), QStringLiteral("版本号：V1.22"));
  const app::TStatusPanel* version = form->StatusBar->Panel(TMainForm::VersionPanel);
  EXPECT_LE(version->fontMetrics().horizontalAdvance(version->text()),
            version->contentsRect().width());  // shown whole
  EXPECT_FALSE(form->StatusBar->PanelText(TMainForm::DatePanel).isEmpty());

  form->ComPort1.SetOpen(false);
  EXPECT_EQ(form->Shape_ComState->BrushColor(), Green);
  AwaitWatchTick(*form);
  EXPECT_EQ(form->Shape_ComState->BrushColor(), Red);
}

TEST_F(ViewToolsTest, TheClockShowsTheLocalesShortDateAndLongTimeWithoutTimeZone) {
  const QLocale previous;
  const struct {
    const char* Locale;
    const char* Pattern;
  } cases[] = {
      {"en_US", R"(^\d{1,2}/\d{1,2}/\d{2} \d{1,2}:\d{2}:\d{2} [AP]M$)"},
      {"zh_CN", R"(^\d{4}/\d{1,2}/\d{1,2} \d{2}:\d{2}:\d{2}$)"},
      {"de_DE", R"(^\d{2}\.\d{2}\.\d{2} \d{2}:\d{2}:\d{2}$)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Locale);
    QLocale::setDefault(QLocale(QString::fromLatin1(c.Locale)));
    form->Timer_WatchStateTimer();
    EXPECT_TRUE(QRegularExpression(QString::fromLatin1(c.Pattern))
                    .match(form->StatusBar->PanelText(TMainForm::DatePanel))
                    .hasMatch())
        << form->StatusBar->PanelText(TMainForm::DatePanel).toStdString();
  }
  QLocale::setDefault(previous);
}

}  // namespace
}  // namespace talyx::testing
