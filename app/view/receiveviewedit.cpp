// TReceiveView: the user's editing of the receive view: keys, mouse, input method, clipboard and
// the undo history.
#include <QApplication>
#include <QClipboard>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTimer>
#include <QtMath>
#include <algorithm>
#include <functional>

#include "app/view/receiveview.h"

namespace talyx::app {

namespace {

// Characters of text around the caret that an input method is offered.
constexpr qsizetype SurroundingReach = 1000;

bool IsWordCharacter(QChar c) { return c.isLetterOrNumber() || c == u'_'; }

bool IsTypedText(const QString& text) {
  if (text.isEmpty()) return false;
  for (const QChar c : text) {
    if (c.category() == QChar::Other_Control && c != u'\t') return false;
  }
  return true;
}

}  // namespace

// ---- The undo history --------------------------------------------------------------------------

void TReceiveView::Edit(qsizetype from, qsizetype to, const QString& text, bool typing) {
  const QString inserted = NormalizedLineEnds(text);
  if (from == to && inserted.isEmpty()) return;
  const QString removed = text_.Slice(from, to);
  const bool merge = typing && typing_ && !undo_.empty() && from == to &&
                     undo_.back().Removed.isEmpty() &&
                     undo_.back().Position + undo_.back().Inserted.size() == from;
  const qsizetype end = Replace(from, to, inserted);
  if (merge) {
    undo_.back().Inserted += inserted;
  } else {
    undo_.push_back({from, removed, inserted});
  }
  redo_.clear();
  anchor_ = caret_ = end;
  wantedX_ = -1;
  typing_ = typing;
  EnsureCaretVisible();
  TextChanged();
}

void TReceiveView::InsertText(const QString& text) {
  Edit(SelectionStart(), SelectionEnd(), text, false);
}

void TReceiveView::undo() {
  if (undo_.empty()) return;
  TEdit step = std::move(undo_.back());
  undo_.pop_back();
  anchor_ = caret_ = Replace(step.Position, step.Position + step.Inserted.size(), step.Removed);
  redo_.push_back(std::move(step));
  typing_ = false;
  EnsureCaretVisible();
  TextChanged();
}

void TReceiveView::redo() {
  if (redo_.empty()) return;
  TEdit step = std::move(redo_.back());
  redo_.pop_back();
  anchor_ = caret_ = Replace(step.Position, step.Position + step.Removed.size(), step.Inserted);
  undo_.push_back(std::move(step));
  typing_ = false;
  EnsureCaretVisible();
  TextChanged();
}

// ---- Clipboard ---------------------------------------------------------------------------------

void TReceiveView::copy() const {
  if (HasSelection()) QApplication::clipboard()->setText(selectedText());
}

void TReceiveView::cut() {
  if (!HasSelection()) return;
  copy();
  Edit(SelectionStart(), SelectionEnd(), QString(), false);
}

void TReceiveView::paste() {
  const QString text = QApplication::clipboard()->text();
  if (!text.isEmpty()) InsertText(text);
}

// ---- Caret movement ----------------------------------------------------------------------------

void TReceiveView::MoveCaret(qsizetype position, bool extend, bool keepColumn) {
  const qreal wanted = keepColumn ? wantedX_ : -1;
  caret_ = std::clamp<qsizetype>(position, 0, text_.Length());
  if (!extend) anchor_ = caret_;
  typing_ = false;
  EnsureCaretVisible();
  wantedX_ = wanted;
}

qsizetype TReceiveView::PositionInRow(qsizetype row, qreal x) const {
  row = std::clamp<qsizetype>(row, 0, layout_.RowCount() - 1);
  const TReceiveLayout::TRow at = layout_.RowAt(row);
  const qsizetype end = layout_.RowEnd(at.Line, at.Start);
  qsizetype column = layout_.ColumnAt(at.Line, at.Start, end, x);
  // Past the end of a wrapped row: before its last character, not on the next row.
  if (column == end && end < text_.Line(at.Line).size() && end > at.Start) --column;
  return text_.PositionOf({at.Line, column});
}

qsizetype TReceiveView::PositionAt(const QPoint& point) const {
  const auto row = static_cast<qsizetype>(qFloor((point.y() - Margin) / layout_.RowHeight()));
  return PositionInRow(verticalScrollBar()->value() + row, point.x() - Margin);
}

qsizetype TReceiveView::PositionRowsAway(qsizetype rows) {
  if (wantedX_ < 0) wantedX_ = XOfPosition(caret_);
  const qsizetype row = RowOfPosition(caret_) + rows;
  if (row < 0) return 0;
  if (row >= layout_.RowCount()) return text_.Length();
  return PositionInRow(row, wantedX_);
}

qsizetype TReceiveView::NextCharacter(qsizetype position, int direction) const {
  const qsizetype next = position + direction;
  if (next <= 0 || next >= text_.Length()) return std::clamp<qsizetype>(next, 0, text_.Length());
  const TReceiveText::TPlace place = text_.PlaceOf(next);
  const QString& line = text_.Line(place.Line);
  // Never between the two halves of a surrogate pair.
  if (place.Column > 0 && place.Column < line.size() && line[place.Column].isLowSurrogate() &&
      line[place.Column - 1].isHighSurrogate()) {
    return next + direction;
  }
  return next;
}

qsizetype TReceiveView::WordStart(qsizetype position) const {
  const TReceiveText::TPlace place = text_.PlaceOf(position);
  const QString& line = text_.Line(place.Line);
  qsizetype column = place.Column;
  while (column > 0 && !IsWordCharacter(line[column - 1])) --column;
  while (column > 0 && IsWordCharacter(line[column - 1])) --column;
  return text_.PositionOf({place.Line, column});
}

qsizetype TReceiveView::WordEnd(qsizetype position) const {
  const TReceiveText::TPlace place = text_.PlaceOf(position);
  const QString& line = text_.Line(place.Line);
  qsizetype column = place.Column;
  while (column < line.size() && !IsWordCharacter(line[column])) ++column;
  while (column < line.size() && IsWordCharacter(line[column])) ++column;
  return text_.PositionOf({place.Line, column});
}

// ---- Keys --------------------------------------------------------------------------------------

void TReceiveView::keyPressEvent(QKeyEvent* event) {
  if (HandleKey(event)) {
    event->accept();
  } else {
    event->ignore();
  }
}

bool TReceiveView::HandleKey(QKeyEvent* event) {
  using K = QKeySequence;
  const auto is = [event](K::StandardKey key) { return event->matches(key); };
  const qsizetype row = RowOfPosition(caret_);
  const qsizetype rowStart = text_.PositionOf({layout_.RowAt(row).Line, layout_.RowAt(row).Start});
  const qsizetype rowEnd = [&] {
    const TReceiveLayout::TRow at = layout_.RowAt(row);
    const qsizetype end = layout_.RowEnd(at.Line, at.Start);
    const bool wrapped = end < text_.Line(at.Line).size();
    return text_.PositionOf({at.Line, wrapped && end > at.Start ? end - 1 : end});
  }();
  const int page = VisibleRows();
  const struct {
    K::StandardKey Move;
    K::StandardKey Select;
    std::function<qsizetype()> Target;
    bool KeepColumn;
  } moves[] = {
      {K::MoveToNextChar, K::SelectNextChar, [&] { return NextCharacter(caret_, 1); }, false},
      {K::MoveToPreviousChar, K::SelectPreviousChar, [&] { return NextCharacter(caret_, -1); },
       false},
      {K::MoveToNextWord, K::SelectNextWord, [&] { return WordEnd(caret_); }, false},
      {K::MoveToPreviousWord, K::SelectPreviousWord, [&] { return WordStart(caret_); }, false},
      {K::MoveToNextLine, K::SelectNextLine, [&] { return PositionRowsAway(1); }, true},
      {K::MoveToPreviousLine, K::SelectPreviousLine, [&] { return PositionRowsAway(-1); }, true},
      {K::MoveToNextPage, K::SelectNextPage, [&] { return PositionRowsAway(page); }, true},
      {K::MoveToPreviousPage, K::SelectPreviousPage, [&] { return PositionRowsAway(-page); }, true},
      {K::MoveToStartOfLine, K::SelectStartOfLine, [&] { return rowStart; }, false},
      {K::MoveToEndOfLine, K::SelectEndOfLine, [&] { return rowEnd; }, false},
      {K::MoveToStartOfDocument, K::SelectStartOfDocument, [] { return qsizetype{0}; }, false},
      {K::MoveToEndOfDocument, K::SelectEndOfDocument, [&] { return text_.Length(); }, false},
  };
  for (const auto& move : moves) {
    if (is(move.Move) || is(move.Select)) {
      MoveCaret(move.Target(), is(move.Select), move.KeepColumn);
      return true;
    }
  }
  if (is(K::Undo)) {
    undo();
  } else if (is(K::Redo)) {
    redo();
  } else if (is(K::Copy)) {
    copy();
  } else if (is(K::Cut)) {
    cut();
  } else if (is(K::Paste)) {
    paste();
  } else if (is(K::SelectAll)) {
    selectAll();
  } else if (is(K::DeleteStartOfWord)) {
    Edit(HasSelection() ? SelectionStart() : WordStart(caret_), SelectionEnd(), QString(), false);
  } else if (is(K::DeleteEndOfWord)) {
    Edit(SelectionStart(), HasSelection() ? SelectionEnd() : WordEnd(caret_), QString(), false);
  } else if (is(K::Delete) || event->key() == Qt::Key_Backspace) {
    const bool forward = is(K::Delete);
    if (HasSelection()) {
      Edit(SelectionStart(), SelectionEnd(), QString(), false);
    } else if (forward) {
      Edit(caret_, NextCharacter(caret_, 1), QString(), false);
    } else {
      Edit(NextCharacter(caret_, -1), caret_, QString(), false);
    }
  } else if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    Edit(SelectionStart(), SelectionEnd(), QStringLiteral("\n"), false);
  } else if (IsTypedText(event->text()) &&
             !(event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier))) {
    Edit(SelectionStart(), SelectionEnd(), event->text(), true);
  } else {
    return false;
  }
  return true;
}

bool TReceiveView::IsEditingKey(QKeyEvent* event) {
  using K = QKeySequence;
  for (const K::StandardKey key : {K::Undo, K::Redo, K::Copy, K::Cut, K::Paste, K::SelectAll}) {
    if (event->matches(key)) return true;
  }
  return IsTypedText(event->text()) &&
         !(event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier));
}

bool TReceiveView::event(QEvent* event) {
  // The view's own editing keys are not taken by the window's shortcuts.
  if (event->type() == QEvent::ShortcutOverride && IsEditingKey(static_cast<QKeyEvent*>(event))) {
    event->accept();
    return true;
  }
  return QAbstractScrollArea::event(event);
}

// Tab is typed into the text instead of moving the focus.
bool TReceiveView::focusNextPrevChild(bool) { return false; }

// ---- Mouse -------------------------------------------------------------------------------------

void TReceiveView::mousePressEvent(QMouseEvent* event) {
  QClipboard* clipboard = QApplication::clipboard();
  if (event->button() == Qt::MiddleButton && clipboard->supportsSelection()) {
    // The middle button pastes the selection of the desktop where it is pressed.
    const QString text = clipboard->text(QClipboard::Selection);
    MoveCaret(PositionAt(event->position().toPoint()), false);
    if (!text.isEmpty()) InsertText(text);
    return;
  }
  if (event->button() != Qt::LeftButton) return;
  MoveCaret(PositionAt(event->position().toPoint()), (event->modifiers() & Qt::ShiftModifier) != 0);
}

void TReceiveView::mouseReleaseEvent(QMouseEvent* event) {
  QClipboard* clipboard = QApplication::clipboard();
  if (event->button() == Qt::LeftButton && HasSelection() && clipboard->supportsSelection()) {
    clipboard->setText(selectedText(), QClipboard::Selection);
  }
}

void TReceiveView::mouseMoveEvent(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton)) return;
  MoveCaret(PositionAt(event->position().toPoint()), true);
}

void TReceiveView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const qsizetype at = PositionAt(event->position().toPoint());
  const TReceiveText::TPlace place = text_.PlaceOf(at);
  const QString& line = text_.Line(place.Line);
  if (place.Column >= line.size() || !IsWordCharacter(line[place.Column])) return;
  anchor_ = WordStart(at + 1);
  MoveCaret(WordEnd(at), true);
}

// ---- Focus and input method --------------------------------------------------------------------

void TReceiveView::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  const int flash = QApplication::cursorFlashTime();
  if (flash > 0) blink_->start(flash / 2);
  caretShown_ = true;
  viewport()->update();
}

void TReceiveView::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  blink_->stop();
  viewport()->update();
}

void TReceiveView::inputMethodEvent(QInputMethodEvent* event) {
  if (!event->commitString().isEmpty() || event->replacementLength() > 0) {
    qsizetype from = SelectionStart();
    qsizetype to = SelectionEnd();
    if (!HasSelection() && event->replacementLength() > 0) {
      from = std::clamp<qsizetype>(caret_ + event->replacementStart(), 0, text_.Length());
      to = std::clamp<qsizetype>(from + event->replacementLength(), from, text_.Length());
    }
    Edit(from, to, event->commitString(), false);
  }
  preedit_ = event->preeditString();
  viewport()->update();
  event->accept();
}

QVariant TReceiveView::inputMethodQuery(Qt::InputMethodQuery query) const {
  const TReceiveText::TPlace place = text_.PlaceOf(caret_);
  const qsizetype from = std::max<qsizetype>(0, place.Column - SurroundingReach);
  const qsizetype lineStart = text_.LineStart(place.Line);
  const QString& line = text_.Line(place.Line);
  switch (query) {
    case Qt::ImEnabled:
      return true;
    case Qt::ImCursorRectangle:
      return CaretRect().toRect().translated(viewport()->pos());
    case Qt::ImFont:
      return font();
    case Qt::ImCursorPosition:
      return static_cast<int>(place.Column - from);
    case Qt::ImAnchorPosition:
      return static_cast<int>(
          std::clamp<qsizetype>(anchor_ - lineStart, from, from + 2 * SurroundingReach) - from);
    case Qt::ImSurroundingText:
      return line.mid(from, 2 * SurroundingReach);
    case Qt::ImTextBeforeCursor:
      return line.mid(from, place.Column - from);
    case Qt::ImTextAfterCursor:
      return line.mid(place.Column, SurroundingReach);
    case Qt::ImCurrentSelection:
      return selectedText();
    case Qt::ImAbsolutePosition:
      return static_cast<qlonglong>(caret_);
    case Qt::ImHints:
      return static_cast<int>(inputMethodHints());
    default:
      return QAbstractScrollArea::inputMethodQuery(query);
  }
}

}  // namespace talyx::app
