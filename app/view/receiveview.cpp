// TReceiveView: text, layout scheduling, scrolling and painting of the receive view.
#include "app/view/receiveview.h"

#include <QGuiApplication>
#include <QInputMethod>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>

#include "app/view/viewscrollbar.h"

namespace talyx::app {

namespace {

// How long one piece of laying out may hold the event loop.
constexpr int LayoutSliceMs = 8;
// Dropping goes this share of the character limit below it.
constexpr qsizetype DropSlackShare = 16;
// A line longer than this share of the limit loses display units rather than going whole.
constexpr qsizetype LongLineShare = 10;
// How far past a wanted cut a blank is looked for: a time stamp "[hh:mm:ss.zzz] " is 15 long.
constexpr qsizetype BlankReach = 16;

}  // namespace

TReceiveView::TReceiveView(QWidget* parent)
    : QAbstractScrollArea(parent), blink_(new QTimer(this)), layoutTimer_(new QTimer(this)) {
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_InputMethodEnabled);
  setInputMethodHints(Qt::ImhMultiLine);
  viewport()->setCursor(Qt::IBeamCursor);
  // The paint covers every pixel of the viewport itself (paintEvent), so Qt does not fill it with
  // the base colour first: rows on the plain base are opaque images of the viewport's width.
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  setVerticalScrollBar(new TViewScrollBar(this));
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  layoutTimer_->setSingleShot(true);
  layoutTimer_->setInterval(0);
  connect(layoutTimer_, &QTimer::timeout, this, [this] { ContinueLayout(); });
  connect(blink_, &QTimer::timeout, this, [this] {
    caretShown_ = !caretShown_;
    viewport()->update();
  });
  layout_.SetFont(font());
  glyphs_.SetFont(font());
  ApplyWidth();
}

// ---- Text ------------------------------------------------------------------------------------

void TReceiveView::setPlainText(const QString& text) {
  text_.Clear();
  text_.Append(text);
  layout_.Reset();
  layout_.LayOut(QDeadlineTimer(LayoutSliceMs));
  anchor_ = caret_ = 0;
  preedit_.clear();
  undo_.clear();
  redo_.clear();
  typing_ = false;
  dropped_ = false;
  UpdateScrollBar();
  verticalScrollBar()->setValue(0);
  ScheduleLayout();
  TextChanged();
}

void TReceiveView::AppendText(const QString& text) {
  QScrollBar* bar = verticalScrollBar();
  const bool atEnd = bar->value() == bar->maximum();
  const qsizetype oldEnd = text_.Length();
  const qsizetype oldLines = text_.LineCount();
  // A line that becomes long gets the room it needs at the limit while it is still short (twice
  // the limit: appending and dropping slide the text through it, and Qt moves it back to the
  // start only with a third free). Grown step by step instead, the string of tens of MB would be
  // reallocated when large, and the first moves of a reallocated string cost tens of
  // milliseconds on machines whose fresh pages are expensive.
  const qsizetype lastLength = text_.Line(oldLines - 1).size();
  const qsizetype longLine = limit_ / LongLineShare;
  if (lastLength <= longLine && lastLength + text.size() > longLine && !text.contains(u'\n')) {
    text_.ReserveLastLine(2 * limit_);
  }
  text_.Append(text);
  const qsizetype added = text_.Length() - oldEnd;
  if (added == 0) return;
  layout_.Appended(oldLines, QDeadlineTimer(LayoutSliceMs));
  // A caret at the end goes on after the new text.
  if (anchor_ == oldEnd) anchor_ += added;
  if (caret_ == oldEnd) caret_ += added;
  undo_.clear();
  redo_.clear();
  typing_ = false;
  const bool over = text_.Length() > limit_;
  TReceiveLayout::TRow top;
  if (over) {
    top = DropOldest(text_.Length() - (limit_ - limit_ / DropSlackShare),
                     layout_.RowAt(bar->value()));
  }
  UpdateScrollBar();
  if (atEnd) {
    bar->setValue(bar->maximum());
  } else if (over) {
    bar->setValue(static_cast<int>(layout_.RowOf(top.Line, top.Start)));
  }
  ScheduleLayout();
  TextChanged();
  if (over && !dropped_) {
    dropped_ = true;
    emit OlderTextDropped();
  }
}

TReceiveLayout::TRow TReceiveView::DropOldest(qsizetype count, TReceiveLayout::TRow top) {
  const qsizetype longLine = limit_ / LongLineShare;
  qsizetype lines = 0;
  qsizetype columns = 0;
  for (qsizetype need = count; need > 0;) {
    const qsizetype length = text_.Line(lines).size();
    const bool last = lines + 1 == text_.LineCount();
    if (last || (length > longLine && length + 1 > need)) {
      columns = UnitBoundary(lines, need);
      // A line cut at its very end goes whole.
      if (!last && columns == length) {
        ++lines;
        columns = 0;
      }
      break;
    }
    need -= length + 1;
    ++lines;
  }
  const qsizetype removed = text_.LineStart(lines) + columns;
  text_.RemoveFront(lines, columns);
  layout_.FrontRemoved(lines, columns);
  anchor_ = std::max<qsizetype>(0, anchor_ - removed);
  caret_ = std::max<qsizetype>(0, caret_ - removed);
  if (top.Line > lines || (top.Line == lines && top.Start >= columns)) {
    return {top.Line - lines, top.Line == lines ? top.Start - columns : top.Start};
  }
  return {};
}

qsizetype TReceiveView::UnitBoundary(qsizetype line, qsizetype column) const {
  const qsizetype rowStart = layout_.RowStartFrom(line, column);
  if (rowStart >= 0) return rowStart;
  // Not laid out that far: just after a blank close by, else between two characters.
  const QString& s = text_.Line(line);
  const qsizetype reach = std::min(s.size(), column + BlankReach);
  for (qsizetype c = std::max<qsizetype>(column, 1); c <= reach; ++c) {
    if (s[c - 1] == u' ') return c;
  }
  if (column > 0 && column < s.size() && s[column].isLowSurrogate() &&
      s[column - 1].isHighSurrogate()) {
    return column + 1;
  }
  return column;
}

void TReceiveView::TextChanged() {
  viewport()->update();
  emit textChanged();
}

qsizetype TReceiveView::Replace(qsizetype from, qsizetype to, const QString& text) {
  const TReceiveText::TPlace first = text_.PlaceOf(from);
  const qsizetype lastLine = text_.PlaceOf(to).Line;
  text_.Remove(from, to);
  const qsizetype end = from + text_.Insert(from, text);
  const qsizetype newLastLine = text_.PlaceOf(end).Line;
  if (lastLine == first.Line && newLastLine == first.Line) {
    layout_.LineChanged(first.Line, first.Column);
  } else {
    layout_.LinesReplaced(first.Line, lastLine - first.Line + 1, newLastLine - first.Line + 1);
  }
  layout_.LayOut(QDeadlineTimer(LayoutSliceMs), first.Line);
  UpdateScrollBar();
  ScheduleLayout();
  return end;
}

// ---- Caret and selection -----------------------------------------------------------------------

void TReceiveView::SetSelection(qsizetype anchor, qsizetype position) {
  const qsizetype length = text_.Length();
  anchor_ = std::clamp<qsizetype>(anchor, 0, length);
  caret_ = std::clamp<qsizetype>(position, 0, length);
  wantedX_ = -1;
  typing_ = false;
  EnsureCaretVisible();
}

void TReceiveView::selectAll() {
  anchor_ = 0;
  caret_ = text_.Length();
  typing_ = false;
  viewport()->update();
}

// ---- Layout and scrolling ----------------------------------------------------------------------

int TReceiveView::VisibleRows() const {
  const qreal height = viewport()->height() - 2 * Margin;
  return std::max(1, static_cast<int>(height / layout_.RowHeight()));
}

void TReceiveView::UpdateScrollBar() {
  QScrollBar* bar = verticalScrollBar();
  const int visible = VisibleRows();
  const qsizetype rows = layout_.RowCount();
  bar->setRange(0, static_cast<int>(std::max<qsizetype>(0, rows - visible)));
  bar->setPageStep(visible);
  bar->setSingleStep(1);
}

void TReceiveView::ApplyWidth() {
  QScrollBar* bar = verticalScrollBar();
  const bool atEnd = bar->value() == bar->maximum();
  const TReceiveLayout::TRow top = layout_.RowAt(bar->value());
  layout_.SetWidth(viewport()->width() - 2 * Margin - 1);
  layout_.LayOut(QDeadlineTimer(LayoutSliceMs), top.Line);
  UpdateScrollBar();
  bar->setValue(atEnd ? bar->maximum() : static_cast<int>(layout_.RowOf(top.Line, top.Start)));
  ScheduleLayout();
  viewport()->update();
}

void TReceiveView::ScheduleLayout() {
  if (layout_.Pending() && !layoutTimer_->isActive()) layoutTimer_->start();
}

void TReceiveView::ContinueLayout() {
  QScrollBar* bar = verticalScrollBar();
  const bool atEnd = bar->value() == bar->maximum();
  const TReceiveLayout::TRow top = layout_.RowAt(bar->value());
  layout_.LayOut(QDeadlineTimer(LayoutSliceMs), top.Line);
  UpdateScrollBar();
  bar->setValue(atEnd ? bar->maximum() : static_cast<int>(layout_.RowOf(top.Line, top.Start)));
  viewport()->update();
  ScheduleLayout();
}

void TReceiveView::FinishLayout() {
  layoutTimer_->stop();
  while (layout_.Pending()) ContinueLayout();
  layoutTimer_->stop();
}

void TReceiveView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  ApplyWidth();
}

void TReceiveView::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    layout_.SetFont(font());
    glyphs_.SetFont(font());
    ApplyWidth();
    UpdateScrollBar();
  }
}

void TReceiveView::scrollContentsBy(int, int) { viewport()->update(); }

qsizetype TReceiveView::RowOfPosition(qsizetype position) const {
  const TReceiveText::TPlace place = text_.PlaceOf(position);
  return layout_.RowOf(place.Line, place.Column);
}

qreal TReceiveView::XOfPosition(qsizetype position) const {
  const TReceiveText::TPlace place = text_.PlaceOf(position);
  const TReceiveLayout::TRow row = layout_.RowAt(layout_.RowOf(place.Line, place.Column));
  return layout_.XOf(place.Line, row.Start, place.Column);
}

QRectF TReceiveView::CaretRect() const {
  const qsizetype row = RowOfPosition(caret_) - verticalScrollBar()->value();
  return {Margin + XOfPosition(caret_), Margin + static_cast<qreal>(row) * layout_.RowHeight(), 1,
          layout_.RowHeight()};
}

void TReceiveView::EnsureCaretVisible() {
  QScrollBar* bar = verticalScrollBar();
  const qsizetype row = RowOfPosition(caret_);
  if (row < bar->value()) {
    bar->setValue(static_cast<int>(row));
  } else if (row >= bar->value() + VisibleRows()) {
    bar->setValue(static_cast<int>(row - VisibleRows() + 1));
  }
  caretShown_ = true;
  viewport()->update();
  if (hasFocus()) QGuiApplication::inputMethod()->update(Qt::ImQueryInput);
}

// ---- Painting ----------------------------------------------------------------------------------

void TReceiveView::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  painter.setFont(font());
  const qreal width = viewport()->width();
  const qreal height = viewport()->height();
  const QBrush& base = palette().brush(QPalette::Base);
  // The top margin and what lies below the last row; the rows paint the rest.
  painter.fillRect(QRectF(0, 0, width, Margin), base);
  const TReceiveLayout::TRow first = layout_.RowAt(verticalScrollBar()->value());
  qsizetype line = first.Line;
  qsizetype start = first.Start;
  qreal top = Margin;
  for (; top < height && line < text_.LineCount(); top += layout_.RowHeight()) {
    const qsizetype end = layout_.RowEnd(line, start);
    PaintRow(painter, line, start, end, top);
    if (end >= text_.Line(line).size()) {
      ++line;
      start = 0;
    } else {
      start = end;
    }
  }
  if (top < height) painter.fillRect(QRectF(0, top, width, height - top), base);
  if (!hasFocus()) return;
  const QRectF caret = CaretRect();
  if (!preedit_.isEmpty()) {
    const QRectF box(caret.left(), caret.top(),
                     QFontMetricsF(font()).horizontalAdvance(preedit_) + 1, caret.height());
    painter.fillRect(box, palette().color(QPalette::Base));
    QFont underlined = font();
    underlined.setUnderline(true);
    painter.setFont(underlined);
    painter.setPen(palette().color(QPalette::Text));
    painter.drawText(QPointF(box.left(), box.top() + layout_.Ascent()), preedit_);
  } else if (caretShown_) {
    painter.fillRect(caret, palette().color(QPalette::Text));
  }
}

void TReceiveView::PaintRow(QPainter& painter, qsizetype line, qsizetype start, qsizetype end,
                            qreal top) {
  const QString& s = text_.Line(line);
  const qsizetype lineStart = text_.LineStart(line);
  const qsizetype selectFrom = std::clamp(SelectionStart() - lineStart, start, end);
  const qsizetype selectTo = std::clamp(SelectionEnd() - lineStart, start, end);
  const QPointF origin(0, top + layout_.Ascent());
  qreal x = 0;  // from the text's left edge, a margin inside the row
  // The row's whole width, margins included. Rows without a selection on a plain background are
  // composed of opaque glyph cells across it; the others are filled with the base first.
  const QRectF row(0, top, viewport()->width(), layout_.RowHeight());
  const QBrush& base = palette().brush(QPalette::Base);
  const bool opaque = base.style() == Qt::SolidPattern && base.color().alpha() == 255 &&
                      selectFrom == selectTo && start < end;
  if (!opaque) painter.fillRect(row, base);
  // Paints the characters [from, to): the glyphs in one run, then what has no glyph of its own
  // as text; blanks and tabs draw nothing.
  const auto paintPart = [&](qsizetype from, qsizetype to, bool selected) {
    if (from >= to) return;
    const qreal left = x;
    std::vector<std::pair<qsizetype, qreal>> alone;
    for (qsizetype i = from; i < to; ++i) {
      const QChar c = s[i];
      if (c != u' ' && c != u'\t' && !c.isLowSurrogate()) {
        if (const quint32 glyph = glyphs_.GlyphOf(c)) {
          glyphs_.Add(glyph, Margin + x);
        } else {
          alone.emplace_back(i, Margin + x);
        }
      }
      x += layout_.Advance(s, i, x);
    }
    const QColor text = palette().color(selected ? QPalette::HighlightedText : QPalette::Text);
    if (!opaque || !glyphs_.DrawOpaque(painter, row, layout_.Ascent(), text, base.color())) {
      if (opaque) painter.fillRect(row, base);
      if (selected) {
        painter.fillRect(QRectF(Margin + left, top, x - left, layout_.RowHeight()),
                         palette().color(QPalette::Highlight));
      }
      painter.setPen(text);
      glyphs_.Draw(painter, origin);
    }
    painter.setPen(text);
    for (const auto& [column, at] : alone) {
      const bool pair =
          s[column].isHighSurrogate() && column + 1 < s.size() && s[column + 1].isLowSurrogate();
      painter.drawText(origin + QPointF(at, 0), s.mid(column, pair ? 2 : 1));
    }
  };
  if (selectFrom == selectTo) {
    paintPart(start, end, false);
    return;
  }
  paintPart(start, selectFrom, false);
  paintPart(selectFrom, selectTo, true);
  paintPart(selectTo, end, false);
}

}  // namespace talyx::app
