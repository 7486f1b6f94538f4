// TReceiveView: the receive view, an editable plain-text view that stays quick however long its
// text grows.
//
// Principles:
// - The text (TReceiveText) is kept as lines and wrapped at the view's width by TReceiveLayout,
//   which lays out only what changed: data appended to a long line re-lays its last row and the
//   new text. A new width or font is laid out in pieces from the event loop; rows in sight are
//   laid out on the spot meanwhile.
// - Only the rows in sight are painted. The vertical scroll bar counts rows; one that was at its
//   end when data arrived stays at the end. No horizontal scroll bar: lines wrap.
// - Received data comes in through AppendText, never enters the undo history, and drops it, so
//   undo takes back only what the user did since the last data arrived. The user's own edits
//   (typing, Backspace/Delete, Enter, cut, paste, input method) are undone step by step; typed
//   characters in a row make one step.
// - Positions count characters with one per line break, from 0 to CharacterCount().
// - The text is bounded: received text that takes it past CharacterLimit() drops the oldest text
//   down to a sixteenth below the limit, so dropping comes once per sixteenth of it. Whole lines
//   go from the top; a line longer than a tenth of the limit (running text or hexadecimal is one
//   line) loses whole display units from its start instead: it is cut where one of its rows
//   starts, after a blank (a hexadecimal pair's, a time stamp's) or between two characters, so
//   no pair, character or stamp is split (line breaks, CR LF included, lie between lines), and
//   its other rows stay laid out. Lines in sight stay in sight unless they were dropped.
// - Main thread only, like every widget.
#pragma once

#include <QAbstractScrollArea>
#include <QString>
#include <algorithm>
#include <vector>

#include "app/view/glyphcache.h"
#include "app/view/receiveviewlayout.h"
#include "app/view/receiveviewtext.h"

class QTimer;

namespace talyx::app {

class TReceiveView : public QAbstractScrollArea {
  Q_OBJECT

 public:
  // Space between the view's edges and its text, in pixels.
  static constexpr int Margin = 4;
  // The most characters the view keeps of received text, unless set otherwise: 16 Mi.
  static constexpr qsizetype DefaultCharacterLimit = qsizetype{16} << 20;

  explicit TReceiveView(QWidget* parent = nullptr);

  // ---- Text ---------------------------------------------------------------------------------
  QString toPlainText() const { return text_.ToPlainText(); }
  // Replaces the text; the caret goes to the start, the undo history is emptied.
  void setPlainText(const QString& text);
  void clear() { setPlainText(QString()); }
  // Appends received text at the end, outside the undo history (see above).
  void AppendText(const QString& text);
  qsizetype CharacterCount() const { return text_.Length(); }
  // Received text past this many characters drops the oldest (see above); at least 16.
  void SetCharacterLimit(qsizetype limit) { limit_ = std::max<qsizetype>(limit, 16); }
  qsizetype CharacterLimit() const { return limit_; }
  bool IsEmpty() const { return text_.IsEmpty(); }
  bool LastLineIsEmpty() const { return text_.Line(text_.LineCount() - 1).isEmpty(); }

  // ---- Caret and selection ------------------------------------------------------------------
  qsizetype CursorPosition() const { return caret_; }
  qsizetype SelectionStart() const { return std::min(anchor_, caret_); }
  qsizetype SelectionEnd() const { return std::max(anchor_, caret_); }
  bool HasSelection() const { return anchor_ != caret_; }
  QString selectedText() const { return text_.Slice(SelectionStart(), SelectionEnd()); }
  // Selects from anchor to position (the caret); the caret is scrolled into sight.
  void SetSelection(qsizetype anchor, qsizetype position);
  void SetCursorPosition(qsizetype position) { SetSelection(position, position); }
  void selectAll();
  // The first match of `what` at or after `from`, matching case, within one line; -1 when none.
  qsizetype Find(const QString& what, qsizetype from) const { return text_.Find(what, from); }

  // ---- Editing ------------------------------------------------------------------------------
  void undo();
  void redo();
  bool isUndoAvailable() const { return !undo_.empty(); }
  void cut();
  void copy() const;
  void paste();
  // Replaces the selection by the text, as one step of the undo history.
  void InsertText(const QString& text);

  // The layout, for tests that check how much of it was done.
  const TReceiveLayout& Layout() const { return layout_; }
  // Lays out everything still waiting, at once (tests).
  void FinishLayout();

  QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

 signals:
  void textChanged();
  // Received text dropped older text, for the first time since the text was last replaced.
  void OlderTextDropped();

 protected:
  bool event(QEvent* event) override;
  bool focusNextPrevChild(bool next) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;

 private:
  // One step of the user's edits: `removed` taken out at position, `inserted` put in its place.
  struct TEdit {
    qsizetype Position = 0;
    QString Removed;
    QString Inserted;
  };

  // Replaces [from, to) by the text and returns the end of what was inserted. The text's line
  // breaks are already normalised.
  qsizetype Replace(qsizetype from, qsizetype to, const QString& text);
  // The user's edit: recorded for undo (merged into the last step when `typing` continues it).
  void Edit(qsizetype from, qsizetype to, const QString& text, bool typing);
  void TextChanged();
  // Drops at least `count` characters from the front (see above) and returns where the row that
  // was `top` starts now (the first row when it was dropped).
  TReceiveLayout::TRow DropOldest(qsizetype count, TReceiveLayout::TRow top);
  // The first column at or after `column` where the line can be cut without splitting a pair, a
  // character or a time stamp: a row start when the line is laid out that far.
  qsizetype UnitBoundary(qsizetype line, qsizetype column) const;
  void ApplyWidth();
  void UpdateScrollBar();
  void ContinueLayout();
  void ScheduleLayout();
  void EnsureCaretVisible();
  int VisibleRows() const;
  // The row of a position, and the x of the position inside its row.
  qsizetype RowOfPosition(qsizetype position) const;
  qreal XOfPosition(qsizetype position) const;
  QRectF CaretRect() const;
  // The position nearest to x in the row (before the last character of a wrapped row at most).
  qsizetype PositionInRow(qsizetype row, qreal x) const;
  qsizetype PositionAt(const QPoint& point) const;
  // Position in the row `rows` away from the caret's, at the x kept while moving up and down.
  qsizetype PositionRowsAway(qsizetype rows);
  // One character on (direction 1) or back (-1), a surrogate pair as one.
  qsizetype NextCharacter(qsizetype position, int direction) const;
  qsizetype WordStart(qsizetype position) const;
  qsizetype WordEnd(qsizetype position) const;
  void MoveCaret(qsizetype position, bool extend, bool keepColumn = false);
  static bool IsEditingKey(QKeyEvent* event);
  // True when the view used the key.
  bool HandleKey(QKeyEvent* event);
  void PaintRow(QPainter& painter, qsizetype line, qsizetype start, qsizetype end, qreal top);

  TReceiveText text_;
  TReceiveLayout layout_{text_};
  TGlyphCache glyphs_;
  qsizetype anchor_ = 0;
  qsizetype caret_ = 0;
  qreal wantedX_ = -1;  // x kept while moving up and down
  QString preedit_;
  std::vector<TEdit> undo_;
  std::vector<TEdit> redo_;
  bool typing_ = false;  // the last undo step is typing that may go on
  bool caretShown_ = true;
  qsizetype limit_ = DefaultCharacterLimit;
  bool dropped_ = false;  // older text was dropped since the text was last replaced
  QTimer* blink_;
  QTimer* layoutTimer_;
};

}  // namespace talyx::app
