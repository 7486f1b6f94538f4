// The receive path through the port component from a pseudo-terminal: counting, hexadecimal and
// text display, register decoding by 2N + 5 (control symbols trimmed, the register view bounded)
// and its register formats, auto-clear, the limit of the view without it, and the undo history.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QTextDocument>

#include "app/dialogs/optionsdialog.h"
#include "app/settings/appoptions.h"
#include "app/view/receiveview.h"
#include "app/window/commmain.h"
#include "app/window/statusbar.h"
#include "apptesting.h"
#include "support/ptypair.h"

namespace talyx::testing {
namespace {

using app::TMainForm;
using app::TReceiveDisplay;
using app::TReceiveView;

class ReceivePathTest : public OpenFormTest {
 protected:
  // The far end sends the bytes; waits until the window has counted them (one event when they
  // come in one write, as the device reads what has arrived).
  void Count(const std::vector<uint8_t>& bytes) {
    const int32_t expected = form->RecvCount + static_cast<int32_t>(bytes.size());
    ASSERT_TRUE(pty.Send(bytes));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->RecvCount == expected; }, 5000))
        << "counted " << form->RecvCount << " of " << expected;
  }
  // Count, then wait until what the events gathered is written to the view and the status bar.
  void Feed(const std::vector<uint8_t>& bytes) {
    Count(bytes);
    ASSERT_TRUE(Written());
  }
  bool Written() {
    return QTest::qWaitFor([&] { return !form->ReceivePath.Display().Pending(); }, 5000);
  }
  QString Shown() const { return form->Memo_Show->toPlainText(); }
  QString Registers() const { return form->re_dec->toPlainText(); }
};

const std::vector<uint8_t> kReply = {0x01, 0x03, 0x04, 0x00, 0x0A, 0x00, 0x14, 0xDA, 0x3E};

TEST_F(ReceivePathTest, WorkedExampleDecodesWholeOrSplitReplies) {
  form->CB_HexGet->setChecked(true);
  form->RegCount = 2;
  // The first event after a quiet time is shown at once.
  Count(kReply);
  EXPECT_EQ(Shown(), QStringLiteral("01 03 04 00 0A 00 14 DA 3E "));
  EXPECT_EQ(Registers(), QStringLiteral("第1个参数=10\n第2个参数=20"));
  EXPECT_EQ(form->StatusBar->PanelText(TMainForm::RecvPanel), QStringLiteral("接收：9"));
  EXPECT_EQ(form->DecodeBytes, 0);
  EXPECT_TRUE(form->DecodeText.isEmpty());

  // 4 + 5 bytes: decoded after the second event, the view running on in one line.
  form->re_dec->clear();
  Feed({kReply.begin(), kReply.begin() + 4});
  EXPECT_TRUE(Registers().isEmpty());
  Feed({kReply.begin() + 4, kReply.end()});
  EXPECT_EQ(Registers(), QStringLiteral("第1个参数=10\n第2个参数=20"));
  EXPECT_FALSE(Shown().contains(u'\n'));
}

TEST_F(ReceivePathTest, DecodingWaitsForAnEventEndingOnAMultipleOfTheReply) {
  form->CB_HexGet->setChecked(true);
  form->RegCount = 2;
  std::vector<uint8_t> tenBytes = kReply;
  tenBytes.push_back(0x55);
  Feed(tenBytes);
  EXPECT_EQ(form->DecodeBytes, 10);
  EXPECT_TRUE(Registers().isEmpty());
  Feed({0x01, 0x03, 0x04, 0x00, 0x01, 0x00, 0x02, 0x00});
  EXPECT_EQ(form->DecodeBytes, 0);
  EXPECT_EQ(Registers(), QStringLiteral("第1个参数=10\n第2个参数=20"));
}

TEST_F(ReceivePathTest, OneRegisterTwoRepliesInOneEventShowOnlyTheFirstAndFfffIsPositive) {
  form->CB_HexGet->setChecked(true);
  form->RegCount = 1;
  Feed({0x01, 0x03, 0x02, 0xFF, 0xFF, 0xB9, 0xF4, 0x01, 0x03, 0x02, 0x00, 0x07, 0xF9, 0x86});
  EXPECT_EQ(Registers(), QStringLiteral("第1个参数=65535"));
  EXPECT_EQ(form->DecodeBytes, 0);
}

TEST_F(ReceivePathTest, RegisterFormatChosenInTheOptionsShapesTheLinesAndIsKept) {
  form->CB_HexGet->setChecked(true);
  form->RegCount = 2;
  form->OptionsAction->trigger();
  ASSERT_NE(form->OptionsDialog1, nullptr);
  form->OptionsDialog1->CB_RegisterFormat->setCurrentIndex(
      static_cast<int>(app::TRegisterFormat::rfHex));
  form->OptionsDialog1->accept();
  Feed(kReply);
  EXPECT_EQ(Registers(), QStringLiteral("第1个参数=0x000A\n第2个参数=0x0014"));

  // Floats with the words swapped (0x41200000 is 10); a third register stays 16-bit.
  form->OptionsAction->trigger();
  form->OptionsDialog1->CB_RegisterFormat->setCurrentIndex(
      static_cast<int>(app::TRegisterFormat::rfF32Cdab));
  form->OptionsDialog1->accept();
  form->re_dec->clear();
  form->RegCount = 3;
  Feed({0x01, 0x03, 0x06, 0x00, 0x00, 0x41, 0x20, 0xFF, 0xFF, 0x35, 0x33});
  EXPECT_EQ(Registers(), QStringLiteral("第1个参数=10\n第2个参数=65535"));

  const app::TSettingsFile settings(SettingsPath());
  EXPECT_EQ(settings.ReadString("options", "RegisterFormat", ""), "f32-cdab");
  EXPECT_EQ(app::TAppOptions::Read(settings).RegisterFormat, app::TRegisterFormat::rfF32Cdab);
}

TEST_F(ReceivePathTest, HexLineFeedStaysOnTheLineAndStopShowStillCountsAndDecodes) {
  form->CB_HexGet->setChecked(true);
  form->RegCount = 2;
  Feed({0x0A, 0x0D});
  EXPECT_EQ(Shown(), QStringLiteral("0A 0D "));
  form->CB_StopShow->setChecked(true);
  form->DecodeBytes = 0;
  form->DecodeText.clear();
  Feed(kReply);
  EXPECT_EQ(Shown(), QStringLiteral("0A 0D "));
  EXPECT_EQ(form->RecvCount, 11);
  EXPECT_EQ(Registers(), QStringLiteral("第1个参数=10\n第2个参数=20"));
}

// Text receive shows control bytes as their symbols; the decoding trims those symbols from the
// ends of the text as it trims the bytes, so a framed reply's registers are read where they are.
TEST_F(ReceivePathTest, ControlSymbolsAroundATextReplyAreTrimmedLikeTheBytesTheyShow) {
  form->RegCount = 2;
  // STX, 16 hexadecimal digits, ETX: 18 bytes, twice 2N + 5.
  std::vector<uint8_t> reply = {0x02};
  for (const char digit : std::string("010304000A0014DA")) reply.push_back(digit);
  reply.push_back(0x03);
  Feed(reply);
  EXPECT_EQ(Shown(), QStringLiteral("\u2402010304000A0014DA\u2403"));
  EXPECT_EQ(Registers(), QStringLiteral("第1个参数=10\n第2个参数=20"));
}

// A far end that keeps answering a 100-register read: the register view keeps the newest 10,000
// lines, whole, and grows no further.
TEST_F(ReceivePathTest, TheRegisterViewKeepsTheNewest10000LinesOfAnEndlessStreamOfReplies) {
  form->CB_HexGet->setChecked(true);
  form->RegCount = 100;
  for (uint16_t reply = 1; reply <= 130; ++reply) {
    // Every register of reply r holds r; the CRC is not checked.
    std::vector<uint8_t> bytes = {0x01, 0x03, 200};
    for (int k = 0; k < 100; ++k) {
      bytes.push_back(static_cast<uint8_t>(reply >> 8));
      bytes.push_back(static_cast<uint8_t>(reply));
    }
    bytes.insert(bytes.end(), {0x00, 0x00});
    Count(bytes);
    ASSERT_EQ(form->DecodeBytes, 0) << "reply " << reply << " was not decoded on its own";
  }
  EXPECT_EQ(form->re_dec->document()->blockCount(), app::TReceivePath::MaxRegisterLines);
  const QStringList lines = Registers().split(u'\n');
  EXPECT_EQ(lines.front(), QStringLiteral("第1个参数=31"));
  EXPECT_EQ(lines.back(), QStringLiteral("第100个参数=130"));
  // The user's typing in the view can still be undone.
  QTest::keyClicks(form->re_dec, QStringLiteral("x"));
  EXPECT_TRUE(form->re_dec->document()->isUndoAvailable());
}

// The counter's panel repaints only its text as the count grows; on screen it then looks as the
// panel painted anew.
TEST_F(ReceivePathTest, CountsEveryByteInTheStatusBar) {
  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  Feed(std::vector<uint8_t>(100, 'x'));
  Feed(std::vector<uint8_t>(23, 'y'));
  EXPECT_EQ(form->StatusBar->PanelText(TMainForm::RecvPanel), QStringLiteral("接收：123"));

  ASSERT_TRUE(Written());
  QWidget* panel = form->StatusBar->Panel(TMainForm::RecvPanel);
  QTest::qWait(50);
  const QRect onScreen(panel->mapTo(form.get(), QPoint(0, 0)), panel->size());
  const QImage shown = form->screen()
                           ->grabWindow(form->winId())
                           .toImage()
                           .copy(onScreen)
                           .convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(shown, panel->grab().toImage().convertToFormat(QImage::Format_RGB32));
}

TEST_F(ReceivePathTest, TextCharactersAndLineEndsCutBetweenEventsShowOnce) {
  Feed({'a', 0xE4});
  Feed({0xB8, 0xAD, '\r'});
  Feed({'\n', 'b', 0x00, '\t', 0xFF});
  EXPECT_EQ(Shown(), QStringLiteral("a中\nb␀\t\uFFFD"));
  EXPECT_EQ(form->RecvCount, 10);

  // Line by line: each event's chunk on a line of its own.
  form->Memo_Show->clear();
  form->CB_Show->setChecked(true);
  Feed({'1', '2'});
  Feed({'3'});
  EXPECT_EQ(Shown(), QStringLiteral("12\n3"));
}

TEST_F(ReceivePathTest, ReceivedTextStaysOutOfTheUndoHistoryAndAutoClearKeepsTheViewSmall) {
  form->CB_Clear->setChecked(false);
  form->Memo_Show->setPlainText(QStringLiteral("typed"));
  Feed(std::vector<uint8_t>(600, 'z'));
  EXPECT_FALSE(form->Memo_Show->isUndoAvailable());
  EXPECT_TRUE(Shown().startsWith(QStringLiteral("typedzzz")));

  for (int i = 0; i < 17; ++i) Feed(std::vector<uint8_t>(600, 'z'));
  EXPECT_GT(Shown().size(), 10000);
  form->CB_Clear->setChecked(true);
  Feed({'!'});
  // Cleared once past 10,000 characters (the '!' may come before or after the clearing).
  EXPECT_LE(Shown().size(), 1);
  Feed(std::vector<uint8_t>(600, 'z'));
  EXPECT_LE(Shown().size(), 601);
}

// The receive view without auto-clear keeps the newest text up to the limit set in the options.

// Running hexadecimal of the stream whose byte n is n % 251, bytes [from, from + count).
QString HexStream(qsizetype from, qsizetype count) {
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  QString text(count * 3, u' ');
  for (qsizetype i = 0; i < count; ++i) {
    const auto byte = static_cast<int>((from + i) % 251);
    text[3 * i] = kDigits[byte >> 4];
    text[3 * i + 1] = kDigits[byte & 0xF];
  }
  return text;
}

TEST_F(ReceivePathTest, WithoutAutoClear64MbOfRunningHexKeepTheNewestWholePairsWithinTheLimit) {
  form->OptionsAction->trigger();
  ASSERT_NE(form->OptionsDialog1, nullptr);
  form->OptionsDialog1->SE_ReceiveViewLimitMi->setValue(1);
  form->OptionsDialog1->accept();
  EXPECT_EQ(app::TSettingsFile(SettingsPath()).ReadInteger("options", "ReceiveViewLimitMi", 0), 1);
  form->CB_Clear->setChecked(false);
  form->StatusBar->SetPanelText(TMainForm::DevicePanel, QString());

  // 64 MiB of characters in the reads of an unpaced stream (4095 bytes each).
  constexpr qsizetype kLimit = qsizetype{1} << 20;
  constexpr qsizetype kRead = 4095;
  qsizetype sent = 0;
  for (; sent * 3 < 64 * kLimit; sent += kRead) {
    form->ReceivePath.leijia(HexStream(sent, kRead));
    if (sent == 100 * kRead) {
      // Said once: a panel written since then keeps its text.
      EXPECT_FALSE(form->StatusBar->PanelText(TMainForm::DevicePanel).isEmpty());
      form->StatusBar->SetPanelText(TMainForm::DevicePanel, QStringLiteral("device"));
    }
  }
  ASSERT_TRUE(Written());
  EXPECT_EQ(form->StatusBar->PanelText(TMainForm::DevicePanel), QStringLiteral("device"));

  const QString shown = Shown();
  EXPECT_LE(shown.size(), kLimit);
  EXPECT_GE(shown.size(), kLimit - kLimit / 16 - 3);
  // Whole pairs, each followed by its blank, the stream's last bytes without a gap.
  ASSERT_EQ(shown.size() % 3, 0);
  EXPECT_EQ(shown, HexStream(sent - shown.size() / 3, shown.size() / 3));
}

// Whole lines go from the top; a long line loses whole pairs or characters from its start (a
// limit whose sixteenth below is no multiple of 3 would cut through pairs otherwise).
TEST_F(ReceivePathTest, WithoutAutoClearShortLinesGoWholeAndALongLineLosesWholeUnits) {
  form->CB_Clear->setChecked(false);
  form->CB_Show->setChecked(true);
  form->Memo_Show->SetCharacterLimit(65540);
  const QString line = QStringLiteral("[12:00:00.000] 01 02 03 04 05 06 07 08 09 0A 0B");
  for (int i = 0; i < 3000; ++i) form->ReceivePath.zhuhang(line);
  ASSERT_TRUE(Written());
  EXPECT_LE(Shown().size(), 65540);
  EXPECT_TRUE(Shown().startsWith(line + u'\n'));

  form->ReceivePath.Display().Clear();
  form->CB_Show->setChecked(false);
  qsizetype sent = 0;
  for (; sent < 100000; sent += 1000) form->ReceivePath.leijia(HexStream(sent, 1000));
  ASSERT_TRUE(Written());
  EXPECT_LE(Shown().size(), 65540);
  ASSERT_EQ(Shown().size() % 3, 0);
  EXPECT_EQ(Shown(), HexStream(sent - Shown().size() / 3, Shown().size() / 3));

  form->ReceivePath.Display().Clear();
  const QString text = QStringLiteral("a\U0001F600").repeated(1000);  // 1 and 2 code units
  for (int i = 0; i < 50; ++i) form->ReceivePath.leijia(text);
  ASSERT_TRUE(Written());
  EXPECT_LE(Shown().size(), 65540);
  EXPECT_FALSE(Shown().front().isLowSurrogate());
}

// The view's writes gathered per display frame.

// Chunks of one burst reach the widget in one write, ending as they would one by one: a line of
// their own each, and the auto-clear falling on the same chunk (line breaks count).
TEST_F(ReceivePathTest, ABurstIsWrittenAtOnceAndEndsAsIfWrittenChunkByChunk) {
  QSignalSpy writes(form->Memo_Show, &TReceiveView::textChanged);
  form->CB_Clear->setChecked(false);
  for (int i = 0; i < 500; ++i) form->ReceivePath.zhuhang(QStringLiteral("ab"));
  ASSERT_TRUE(Written());
  EXPECT_EQ(writes.count(), 1);
  EXPECT_EQ(Shown(), QStringList(500, QStringLiteral("ab")).join(QLatin1Char('\n')));

  // 625 characters a chunk: running on, the 17th passes 10,000; line by line the 16th does.
  const QString chunk(625, QLatin1Char('z'));
  form->CB_Clear->setChecked(true);
  form->ReceivePath.Display().Clear();
  for (int i = 0; i < 20; ++i) form->ReceivePath.leijia(chunk);
  ASSERT_TRUE(Written());
  EXPECT_EQ(Shown(), chunk + chunk + chunk);
  form->ReceivePath.Display().Clear();
  for (int i = 0; i < 20; ++i) form->ReceivePath.zhuhang(chunk);
  ASSERT_TRUE(Written());
  EXPECT_EQ(Shown(), QStringList(4, chunk).join(QLatin1Char('\n')));
}

// A lone piece is written at once; a stream once its oldest piece has waited a little over a
// frame, so writes come further apart than a frame; once the stream has paused, the next piece is
// written at once again, and so is each of pieces that come a little more than a frame apart (a
// 921600 baud line's reads).
TEST_F(ReceivePathTest, AStreamIsWrittenOnceItsOldestPieceWaitedAndALonePieceAtOnce) {
  TReceiveDisplay& display = form->ReceivePath.Display();
  ASSERT_TRUE(Written());
  QTest::qWait(TReceiveDisplay::FrameMs + 10);
  QElapsedTimer clock;
  std::vector<qint64> writes;
  QObject::connect(form->Memo_Show, &TReceiveView::textChanged,
                   [&] { writes.push_back(clock.elapsed()); });
  clock.start();
  const auto piece = [&] {
    display.Append(QStringLiteral("ab "));
    display.WriteIfDue();
  };
  piece();
  EXPECT_EQ(writes.size(), 1u);  // at once
  while (writes.size() < 4 && clock.elapsed() < 5000) {
    QTest::qWait(2);
    piece();
  }
  ASSERT_EQ(writes.size(), 4u);
  for (size_t i = 1; i < writes.size(); ++i) {
    EXPECT_GE(writes[i] - writes[i - 1], TReceiveDisplay::StreamWaitMs);
  }

  for (size_t expected = 5; expected <= 8; ++expected) {
    QTest::qWait(TReceiveDisplay::FrameMs + 4);
    piece();
    EXPECT_EQ(writes.size(), expected);  // at once
  }
}

TEST_F(ReceivePathTest, ReadersAndEditorsOfTheViewSeeGatheredTextFirst) {
  TReceiveDisplay& display = form->ReceivePath.Display();
  form->Memo_Show->setFocus();
  form->Memo_Show->SetCursorPosition(form->Memo_Show->CharacterCount());
  form->ReceivePath.leijia(QStringLiteral("needle "));
  // A key typed into the view lands after the gathered text, as after text written at once.
  QTest::keyClicks(form->Memo_Show, QStringLiteral("x"));
  EXPECT_EQ(Shown(), QStringLiteral("needle x"));

  // Cleared views stay clear, and the counter reset is not overwritten by a gathered count.
  form->ReceivePath.leijia(QStringLiteral("late"));
  display.SetCount(7);
  form->Btn_ClearView->click();
  form->Btn_CountReset->click();
  ASSERT_TRUE(Written());
  EXPECT_TRUE(Shown().isEmpty());
  EXPECT_EQ(form->StatusBar->PanelText(TMainForm::RecvPanel), QStringLiteral("接收：0"));
}

}  // namespace
}  // namespace talyx::testing
