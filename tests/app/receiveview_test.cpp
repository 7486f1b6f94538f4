// The receive view: appending to a very long line lays out only its tail and keeps the view at
// the end, dropping the oldest text past the limit keeps the rest laid out and in sight, wrapping
// follows the width, selection and copy across rows, the user's edits and their
// undo beside received text, the input method, find, and the saved file against the document
// view it replaced.
#include "app/view/receiveview.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QTextCursor>

#include "app/view/viewfile.h"
#include "app/view/viewtools.h"
#include "apptesting.h"

namespace talyx::testing {
namespace {

using app::TReceiveView;

class ReceiveViewTest : public MainFormTest {
 protected:
  void SetUp() override {
    MainFormTest::SetUp();
    view = std::make_unique<TReceiveView>();
    view->resize(225, 341);
    view->show();
    view->setFocus();
  }

  // A point just right of the left edge of the character at the position, in viewport
  // coordinates (the view at its top).
  QPoint PointOf(qsizetype position) const {
    const auto& layout = view->Layout();
    const QStringList lines = view->toPlainText().split(u'\n');
    qsizetype row = 0;
    qsizetype lineStart = 0;
    for (qsizetype line = 0; line < lines.size(); ++line) {
      const qsizetype length = lines[line].size();
      const qsizetype column = position - lineStart;
      for (qsizetype start = 0;; ++row) {
        const qsizetype end = layout.RowEnd(line, start);
        if (column >= start && column <= length && (column < end || end == length)) {
          const qreal x = TReceiveView::Margin + layout.XOf(line, start, column) + 2;
          const qreal y =
              TReceiveView::Margin + (static_cast<qreal>(row) + 0.5) * layout.RowHeight();
          return QPointF(x, y).toPoint();
        }
        if (end == length) break;
        start = end;
      }
      ++row;
      lineStart += length + 1;
    }
    return {};
  }

  std::unique_ptr<TReceiveView> view;
};

// Hexadecimal text of the given number of bytes, as the receive path shows it.
QString HexRun(qsizetype bytes) {
  QString text;
  text.reserve(bytes * 3);
  for (qsizetype i = 0; i < bytes; ++i)
    text += QStringLiteral("%1 ").arg(i % 256, 2, 16, QLatin1Char('0')).toUpper();
  return text;
}

TEST_F(ReceiveViewTest, AppendingToAMillionCharacterLineLaysOutOnlyItsTailAndFollowsTheEnd) {
  view->AppendText(HexRun(350000));  // 1,050,000 characters on one line
  view->FinishLayout();
  const qsizetype rows = view->Layout().RowCount();
  EXPECT_GT(rows, 1050000 / 64);  // wrapped, not one row
  QScrollBar* bar = view->verticalScrollBar();
  EXPECT_EQ(bar->value(), bar->maximum());

  for (int chunk = 0; chunk < 50; ++chunk) {
    const qsizetype before = view->Layout().LaidOutCharacters();
    view->AppendText(HexRun(64));
    // The last row again and the 192 new characters: far less than the line.
    EXPECT_LT(view->Layout().LaidOutCharacters() - before, 192 + 200);
    EXPECT_EQ(bar->value(), bar->maximum());
  }
  EXPECT_EQ(view->CharacterCount(), 1050000 + 50 * 192);
  EXPECT_FALSE(view->Layout().Pending());

  // Scrolled away from the end, the view stays where it is.
  bar->setValue(10);
  view->AppendText(HexRun(64));
  EXPECT_EQ(bar->value(), 10);
}

// Text past the limit drops the oldest: the long line's other rows stay laid out, and the text in
// sight and the caret stay on the same characters.
TEST_F(ReceiveViewTest, DroppingTheOldestTextKeepsTheRowsLaidOutAndTheTextInSight) {
  view->SetCharacterLimit(1 << 20);
  view->AppendText(HexRun(349000));  // 1,047,000 characters on one line
  view->FinishLayout();
  const qsizetype before = view->Layout().LaidOutCharacters();
  view->AppendText(HexRun(2000));  // past the limit
  EXPECT_LE(view->CharacterCount(), (1 << 20) - (1 << 16));
  EXPECT_LT(view->Layout().LaidOutCharacters() - before, 6000 + 200);
  EXPECT_FALSE(view->Layout().Pending());
  QScrollBar* bar = view->verticalScrollBar();
  EXPECT_EQ(bar->value(), bar->maximum());

  view->clear();
  QString lines;
  for (int i = 0; i < 100000; ++i)
    lines += QStringLiteral("line %1\n").arg(i, 6, 10, QLatin1Char('0'));
  view->AppendText(lines);  // 1,200,000 characters: the oldest lines went
  view->FinishLayout();
  const QString first = view->toPlainText().left(11);
  const qsizetype at = view->Find(QStringLiteral("line 090000"), 0);
  ASSERT_GE(at, 0);
  view->SetCursorPosition(at + 5);
  bar->setValue(bar->maximum() / 2);
  const auto topLine = [&] {
    const auto row = view->Layout().RowAt(bar->value());
    return view->toPlainText().section(u'\n', row.Line, row.Line);
  };
  const QString top = topLine();
  view->AppendText(lines.left(120000));  // 10,000 lines more
  view->FinishLayout();
  EXPECT_NE(view->toPlainText().left(11), first);
  EXPECT_EQ(topLine(), top);
  EXPECT_EQ(view->toPlainText().mid(view->CursorPosition() - 5, 11), QStringLiteral("line 090000"));
}

TEST_F(ReceiveViewTest, RowsWrapAtSpacesElseAnywhereAndFollowTheWidth) {
  const QString word = QString(80, u'x');
  view->setPlainText(QStringLiteral("aa bb ") + word + QStringLiteral("\n\nend"));
  view->FinishLayout();
  const auto& layout = view->Layout();
  const qreal width = layout.Width();
  // Every row fits the width, the first breaks after a space, the long word anywhere.
  auto checkRows = [&] {
    const QString first = view->toPlainText().section(u'\n', 0, 0);
    qsizetype start = 0;
    int rows = 0;
    while (start < first.size()) {
      const qsizetype end = layout.RowEnd(0, start);
      EXPECT_LE(layout.XOf(0, start, end), layout.Width() + 0.01) << start;
      if (rows == 0) {
        EXPECT_EQ(end, 6);  // "aa bb " and the word cannot share a row
      }
      start = end;
      ++rows;
    }
    return rows;
  };
  const int wide = checkRows();
  EXPECT_GE(wide, 2);
  EXPECT_EQ(view->Layout().RowCount(), wide + 2);

  view->resize(120, 341);
  view->FinishLayout();
  EXPECT_LT(layout.Width(), width);
  const int narrow = checkRows();
  EXPECT_GT(narrow, wide);
  EXPECT_EQ(view->Layout().RowCount(), narrow + 2);
}

TEST_F(ReceiveViewTest, MouseAndShiftSelectAcrossRowsAndLinesAndCopyGivesPlainText) {
  view->setPlainText(QStringLiteral("01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10\nnext line"));
  view->FinishLayout();
  ASSERT_GE(view->Layout().RowCount(), 3);  // the first line wraps

  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, PointOf(3));
  EXPECT_EQ(view->CursorPosition(), 3);
  QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ShiftModifier, PointOf(50));
  EXPECT_EQ(view->SelectionStart(), 3);
  EXPECT_EQ(view->SelectionEnd(), 50);
  view->copy();
  EXPECT_EQ(QApplication::clipboard()->text(),
            QStringLiteral("02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10\nne"));

  // Shift+Down goes on a row at a time, Shift+End to the end of the text.
  view->SetCursorPosition(0);
  QTest::keyClick(view.get(), Qt::Key_Down, Qt::ShiftModifier);
  EXPECT_EQ(view->SelectionStart(), 0);
  EXPECT_GT(view->SelectionEnd(), 0);
  EXPECT_LT(view->SelectionEnd(), 47);
  QTest::keyClick(view.get(), Qt::Key_End, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(view->selectedText(), view->toPlainText());
}

TEST_F(ReceiveViewTest, TypingAndItsUndoLeaveReceivedTextAloneAndDataDropsTheHistory) {
  view->AppendText(QStringLiteral("01 02 "));
  view->SetCursorPosition(0);
  QTest::keyClicks(view.get(), QStringLiteral("ab"));
  QTest::keyClick(view.get(), Qt::Key_Return);
  QTest::keyClick(view.get(), Qt::Key_Delete);     // the 0 of 01
  QTest::keyClick(view.get(), Qt::Key_Backspace);  // the line break
  EXPECT_EQ(view->toPlainText(), QStringLiteral("ab1 02 "));

  view->undo();
  EXPECT_EQ(view->toPlainText(), QStringLiteral("ab\n1 02 "));
  view->undo();
  view->undo();
  EXPECT_EQ(view->toPlainText(), QStringLiteral("ab01 02 "));
  view->undo();  // the typed characters go as one step
  EXPECT_EQ(view->toPlainText(), QStringLiteral("01 02 "));
  EXPECT_FALSE(view->isUndoAvailable());

  QTest::keyClicks(view.get(), QStringLiteral("z"));
  view->AppendText(QStringLiteral("03 "));
  EXPECT_FALSE(view->isUndoAvailable());
  view->undo();
  EXPECT_EQ(view->toPlainText(), QStringLiteral("z01 02 03 "));
}

TEST_F(ReceiveViewTest, AnInputMethodComposesOutsideTheTextAndCommitsAsOneEdit) {
  view->setPlainText(QStringLiteral("01 02"));
  view->SetSelection(3, 5);
  QInputMethodEvent composing(QStringLiteral("zhong"), {});
  QApplication::sendEvent(view.get(), &composing);
  EXPECT_EQ(view->toPlainText(), QStringLiteral("01 02"));

  QInputMethodEvent commit;
  commit.setCommitString(QStringLiteral("中"));
  QApplication::sendEvent(view.get(), &commit);
  EXPECT_EQ(view->toPlainText(), QStringLiteral("01 中"));
  EXPECT_EQ(view->inputMethodQuery(Qt::ImSurroundingText).toString(), QStringLiteral("01 中"));
  EXPECT_EQ(view->inputMethodQuery(Qt::ImCursorPosition).toInt(), 4);
  EXPECT_TRUE(view->inputMethodQuery(Qt::ImEnabled).toBool());
  view->undo();
  EXPECT_EQ(view->toPlainText(), QStringLiteral("01 02"));
}

TEST_F(ReceiveViewTest, FindSelectsTheNextMatchAndScrollsItIntoSight) {
  QString text;
  for (int i = 0; i < 500; ++i) text += QStringLiteral("line %1 ab\n").arg(i);
  text += QStringLiteral("Needle needle");
  view->setPlainText(text);
  view->FinishLayout();
  ASSERT_EQ(view->verticalScrollBar()->value(), 0);

  ASSERT_TRUE(app::FindNext(view.get(), QStringLiteral("needle")));
  EXPECT_EQ(view->SelectionStart(), text.size() - 6);
  EXPECT_EQ(view->selectedText(), QStringLiteral("needle"));
  QScrollBar* bar = view->verticalScrollBar();
  EXPECT_EQ(bar->value(), bar->maximum());
  EXPECT_FALSE(app::FindNext(view.get(), QStringLiteral("needle")));
  EXPECT_FALSE(app::FindNext(view.get(), QStringLiteral("ab\nline")));  // not across lines
}

TEST_F(ReceiveViewTest, TheSavedFileIsWhatTheDocumentViewSavedForTheSameText) {
  const QString received = QStringLiteral("01 0A\r\n串口\rA\u00A0B\tC\u2029\U0001F600\u2028end\n");
  QPlainTextEdit old;
  QTextCursor cursor(old.document());
  cursor.insertText(received);
  view->AppendText(received);
  EXPECT_EQ(view->toPlainText(), old.toPlainText());

  app::SaveViewFile(QString::fromStdString(folder.File("new.rtf")), view->toPlainText());
  app::SaveViewFile(QString::fromStdString(folder.File("old.rtf")), old.toPlainText());
  EXPECT_EQ(ReadWholeFile(folder.File("new.rtf")), ReadWholeFile(folder.File("old.rtf")));
}

// Counts the paint events an object receives.
class PaintCounter : public QObject {
 public:
  explicit PaintCounter(QObject* watched) { watched->installEventFilter(this); }
  int Count = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++Count;
    return false;
  }
};

TEST_F(ReceiveViewTest, TheScrollBarRepaintsWhenItsHandleMovesAndNotForEachRowAtTheEnd) {
  view->AppendText(HexRun(20000));
  view->FinishLayout();
  QScrollBar* bar = view->verticalScrollBar();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
  QApplication::processEvents();
  PaintCounter barPaints(bar);
  PaintCounter viewPaints(view->viewport());
  // A row more at the end of a long text: the view repaints, the handle stays at the bottom.
  for (int i = 0; i < 5; ++i) {
    view->AppendText(HexRun(16));
    QTest::qWait(20);
  }
  EXPECT_GT(viewPaints.Count, 0);
  EXPECT_EQ(bar->value(), bar->maximum());
  EXPECT_EQ(barPaints.Count, 0);
  // Scrolled to the top, the handle moves and is painted there.
  bar->setValue(0);
  EXPECT_TRUE(QTest::qWaitFor([&] { return barPaints.Count > 0; }, 5000));
}

// Every row shows ink where it has characters: those the font draws as glyphs, those it leaves to
// a fallback font (a CJK character, a character outside the BMP), and selected ones in the
// highlight's colours.
TEST_F(ReceiveViewTest, RowsPaintEveryKindOfCharacterAndTheSelection) {
  view->setPlainText(QStringLiteral("0A 1B\n\u4E32\u53E3\n\U0001F600\nselected"));
  view->SetSelection(view->CharacterCount() - 8, view->CharacterCount());
  const QImage image = view->viewport()->grab().toImage();
  const QColor base = view->palette().color(QPalette::Base);
  const QColor highlight = view->palette().color(QPalette::Highlight);
  const qreal rowHeight = view->Layout().RowHeight();
  for (int row = 0; row < 4; ++row) {
    SCOPED_TRACE(row);
    int ink = 0;
    int highlighted = 0;
    const int top = TReceiveView::Margin + static_cast<int>(row * rowHeight);
    for (int y = top; y < top + static_cast<int>(rowHeight); ++y) {
      for (int x = 0; x < image.width() / 2; ++x) {
        const QColor pixel = image.pixelColor(x, y);
        if (pixel == highlight) ++highlighted;
        if (pixel != base && pixel != highlight) ++ink;
      }
    }
    EXPECT_GT(ink, 10);
    EXPECT_EQ(highlighted > 0, row == 3);
  }
}

// The viewport paints every pixel itself, with no background filled for it: margins, the rest of
// each row, an empty line, a row with a selection and the space below the text.
TEST_F(ReceiveViewTest, TheViewportPaintsEveryPixelAndTheBaseAroundTheText) {
  view->setPlainText(QStringLiteral("0A 1B\n\nselected"));
  view->SetSelection(view->CharacterCount() - 4, view->CharacterCount());
  const QColor unpainted(255, 0, 255);
  QImage image(view->viewport()->size(), QImage::Format_RGB32);
  image.fill(unpainted);
  view->viewport()->render(&image, {}, {}, QWidget::DrawChildren);
  const QColor base = view->palette().color(QPalette::Base);
  const int textBottom = TReceiveView::Margin + static_cast<int>(3 * view->Layout().RowHeight());
  int missed = 0;
  int inkBelow = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor pixel = image.pixelColor(x, y);
      if (pixel == unpainted) ++missed;
      if ((y < TReceiveView::Margin || y >= textBottom) && pixel != base) ++inkBelow;
    }
  }
  EXPECT_EQ(missed, 0);
  EXPECT_EQ(inkBelow, 0);
}

}  // namespace
}  // namespace talyx::testing
