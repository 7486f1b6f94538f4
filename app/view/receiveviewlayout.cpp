// TReceiveLayout: greedy word wrap of the receive view's lines, in pieces.
#include "app/view/receiveviewlayout.h"

#include <QtMath>
#include <algorithm>

namespace talyx::app {

namespace {

bool HangsAndBreaks(QChar c) { return c == u' ' || c == u'\t'; }

}  // namespace

TReceiveLayout::TReceiveLayout(const TReceiveText& text)
    : text_(text), metrics_(font_), lines_(1), firstRows_(1, 0) {
  ResetMetrics();
}

void TReceiveLayout::ResetMetrics() {
  metrics_ = QFontMetricsF(font_);
  rowHeight_ = qCeil(metrics_.height());
  ascent_ = metrics_.ascent();
  averageAdvance_ = std::max<qreal>(1, metrics_.horizontalAdvance(QLatin1Char('0')));
  advances_.assign(65536, -1.0F);
}

void TReceiveLayout::SetFont(const QFont& font) {
  font_ = font;
  ResetMetrics();
  Reset();
}

void TReceiveLayout::SetWidth(qreal width) {
  width = std::max<qreal>(width, 1);
  if (width == width_) return;
  width_ = width;
  Reset();
}

void TReceiveLayout::Reset() {
  lines_.assign(static_cast<size_t>(text_.LineCount()), TLineRows());
  firstRows_.assign(lines_.size(), 0);
  firstRowsValid_ = 1;
  firstPending_ = 0;
}

void TReceiveLayout::FrontRemoved(qsizetype lines, qsizetype columns) {
  const auto end = static_cast<std::ptrdiff_t>(lines);
  lines_.erase(lines_.begin(), lines_.begin() + end);
  firstRows_.erase(firstRows_.begin(), firstRows_.begin() + end);
  firstRows_.front() = 0;
  firstRowsValid_ = 1;
  firstPending_ = std::max<qsizetype>(0, firstPending_ - lines);
  if (columns == 0) return;
  TLineRows& rows = lines_.front();
  const auto at = std::lower_bound(rows.Breaks.begin(), rows.Breaks.end(), columns);
  if (at == rows.Breaks.end() || *at != columns) {
    rows = TLineRows();
    firstPending_ = 0;
    return;
  }
  // A row's end depends only on where it starts, so the rows from here on stay.
  rows.Breaks.erase(rows.Breaks.begin(), at + 1);
  for (qsizetype& start : rows.Breaks) start -= columns;
  rows.Resume -= columns;
}

qsizetype TReceiveLayout::RowStartFrom(qsizetype line, qsizetype column) const {
  if (column <= 0) return 0;
  const std::vector<qsizetype>& breaks = lines_[static_cast<size_t>(line)].Breaks;
  const auto at = std::lower_bound(breaks.begin(), breaks.end(), column);
  return at == breaks.end() ? -1 : *at;
}

void TReceiveLayout::LinesReplaced(qsizetype first, qsizetype removed, qsizetype inserted) {
  const auto at = lines_.begin() + static_cast<std::ptrdiff_t>(first);
  lines_.erase(at, at + static_cast<std::ptrdiff_t>(removed));
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(first), static_cast<size_t>(inserted),
                TLineRows());
  firstRows_.resize(lines_.size());
  Invalidate(first);
  firstPending_ = std::min(firstPending_, first);
}

void TReceiveLayout::LineChanged(qsizetype line, qsizetype column) {
  TLineRows& rows = lines_[static_cast<size_t>(line)];
  // A row's end depends on the characters up to the first one that did not fit, which may lie in
  // the next row: two rows back from the change are sure to stay.
  const auto row =
      std::upper_bound(rows.Breaks.begin(), rows.Breaks.end(), column) - rows.Breaks.begin();
  const auto keep = static_cast<size_t>(std::max<std::ptrdiff_t>(0, row - 2));
  if (keep < rows.Breaks.size()) rows.Breaks.resize(keep);
  rows.Resume = std::min(rows.Resume, keep == 0 ? qsizetype{0} : rows.Breaks.back());
  rows.Complete = false;
  Invalidate(line);
  firstPending_ = std::min(firstPending_, line);
}

void TReceiveLayout::Appended(qsizetype oldLineCount, QDeadlineTimer deadline) {
  const qsizetype last = oldLineCount - 1;
  TLineRows& old = lines_[static_cast<size_t>(last)];
  const bool wasComplete = old.Complete;
  old.Complete = false;
  lines_.resize(static_cast<size_t>(text_.LineCount()));
  firstRows_.resize(lines_.size());
  Invalidate(last);
  // A line still being laid out again (new width) is left to LayOut: it may be long.
  if (!wasComplete) return;
  firstPending_ = std::min(firstPending_, last);
  for (qsizetype line = last; line < text_.LineCount(); ++line) {
    if (!LayOutLine(line, deadline)) return;
  }
  if (firstPending_ == last) firstPending_ = text_.LineCount();
}

bool TReceiveLayout::LayOut(QDeadlineTimer deadline, qsizetype first) {
  if (first >= firstPending_ && first < static_cast<qsizetype>(lines_.size()) &&
      !LayOutLine(first, deadline)) {
    return false;
  }
  while (Pending()) {
    if (!lines_[static_cast<size_t>(firstPending_)].Complete &&
        !LayOutLine(firstPending_, deadline)) {
      return false;
    }
    ++firstPending_;
    if (deadline.hasExpired()) break;
  }
  return !Pending();
}

bool TReceiveLayout::LayOutLine(qsizetype line, QDeadlineTimer deadline) {
  TLineRows& rows = lines_[static_cast<size_t>(line)];
  if (rows.Complete) return true;
  const qsizetype length = text_.Line(line).size();
  qsizetype start = rows.Resume;
  // Rows at or after the resume point are laid out again.
  while (!rows.Breaks.empty() && rows.Breaks.back() > start) rows.Breaks.pop_back();
  for (int count = 1;; ++count) {
    const qsizetype end = RowEnd(line, start);
    laidOut_ += end - start;
    if (end >= length) break;
    rows.Breaks.push_back(end);
    start = end;
    if (count % 64 == 0 && deadline.hasExpired()) {
      rows.Resume = start;
      Invalidate(line);
      return false;
    }
  }
  rows.Resume = start;
  rows.Complete = true;
  Invalidate(line);
  return true;
}

void TReceiveLayout::Invalidate(qsizetype line) {
  firstRowsValid_ = std::min(firstRowsValid_, line + 1);
}

qsizetype TReceiveLayout::Estimated(qsizetype characters) const {
  const auto perRow = std::max<qsizetype>(1, static_cast<qsizetype>(width_ / averageAdvance_));
  return std::max<qsizetype>(1, (characters + perRow - 1) / perRow);
}

qsizetype TReceiveLayout::RowsOf(const TLineRows& rows, qsizetype length) const {
  const auto known = static_cast<qsizetype>(rows.Breaks.size());
  if (rows.Complete) return known + 1;
  return known + Estimated(length - rows.Resume);
}

void TReceiveLayout::UpdateFirstRows() const {
  const auto count = static_cast<qsizetype>(lines_.size());
  for (qsizetype line = std::max<qsizetype>(firstRowsValid_, 1); line < count; ++line) {
    const auto i = static_cast<size_t>(line);
    firstRows_[i] = firstRows_[i - 1] + RowsOf(lines_[i - 1], text_.Line(line - 1).size());
  }
  firstRowsValid_ = count;
}

qsizetype TReceiveLayout::RowCount() const {
  UpdateFirstRows();
  return firstRows_.back() + RowsOf(lines_.back(), text_.Line(text_.LineCount() - 1).size());
}

TReceiveLayout::TRow TReceiveLayout::RowAt(qsizetype row) const {
  UpdateFirstRows();
  row = std::clamp<qsizetype>(row, 0, RowCount() - 1);
  const auto after = std::upper_bound(firstRows_.begin(), firstRows_.end(), row);
  const auto line = static_cast<qsizetype>(after - firstRows_.begin()) - 1;
  const TLineRows& rows = lines_[static_cast<size_t>(line)];
  const qsizetype inLine = row - firstRows_[static_cast<size_t>(line)];
  const auto known = static_cast<qsizetype>(rows.Breaks.size());
  if (inLine == 0) return {line, 0};
  if (inLine <= known) return {line, rows.Breaks[static_cast<size_t>(inLine - 1)]};
  const qsizetype perRow = std::max<qsizetype>(1, static_cast<qsizetype>(width_ / averageAdvance_));
  const qsizetype start = rows.Resume + (inLine - known) * perRow;
  return {line, std::min(start, text_.Line(line).size())};
}

qsizetype TReceiveLayout::RowOf(qsizetype line, qsizetype column) const {
  UpdateFirstRows();
  const TLineRows& rows = lines_[static_cast<size_t>(line)];
  const qsizetype first = firstRows_[static_cast<size_t>(line)];
  if (rows.Complete || column < rows.Resume) {
    const auto after = std::upper_bound(rows.Breaks.begin(), rows.Breaks.end(), column);
    return first + static_cast<qsizetype>(after - rows.Breaks.begin());
  }
  const auto known = static_cast<qsizetype>(rows.Breaks.size());
  return first + known + Estimated(column - rows.Resume + 1) - 1;
}

qreal TReceiveLayout::Advance(const QString& line, qsizetype column, qreal x) const {
  const QChar c = line[column];
  if (c == u'\t') return (qFloor(x / TabStop) + 1) * TabStop - x;
  if (c.isHighSurrogate() && column + 1 < line.size() && line[column + 1].isLowSurrogate()) {
    return metrics_.horizontalAdvance(line.mid(column, 2));
  }
  if (c.isLowSurrogate() && column > 0 && line[column - 1].isHighSurrogate()) return 0;
  float& advance = advances_[c.unicode()];
  if (advance < 0) advance = static_cast<float>(metrics_.horizontalAdvance(c));
  return advance;
}

qsizetype TReceiveLayout::RowEnd(qsizetype line, qsizetype start) const {
  const QString& s = text_.Line(line);
  const qsizetype length = s.size();
  qreal x = 0;
  qsizetype breakAt = -1;
  for (qsizetype i = start; i < length;) {
    const QChar c = s[i];
    // A character measured before (not a tab, not half of a pair) costs one look-up.
    const float known = c.isSurrogate() ? -1.0F : advances_[c.unicode()];
    const qreal advance = known >= 0 && c != u'\t' ? known : Advance(s, i, x);
    const qsizetype step =
        (c.isHighSurrogate() && i + 1 < length && s[i + 1].isLowSurrogate()) ? 2 : 1;
    if (HangsAndBreaks(c)) {
      x += advance;
      i += step;
      breakAt = i;
      continue;
    }
    if (x + advance > width_ && i > start) return breakAt > start ? breakAt : i;
    x += advance;
    i += step;
  }
  return length;
}

qreal TReceiveLayout::XOf(qsizetype line, qsizetype start, qsizetype column) const {
  const QString& s = text_.Line(line);
  qreal x = 0;
  for (qsizetype i = start; i < column && i < s.size(); ++i) x += Advance(s, i, x);
  return x;
}

qsizetype TReceiveLayout::ColumnAt(qsizetype line, qsizetype start, qsizetype end, qreal x) const {
  const QString& s = text_.Line(line);
  qreal left = 0;
  for (qsizetype i = start; i < end; ++i) {
    const qreal advance = Advance(s, i, left);
    if (advance == 0) continue;  // second half of a pair
    if (x < left + advance / 2) return i;
    left += advance;
  }
  return end;
}

}  // namespace talyx::app
