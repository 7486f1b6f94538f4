// TReceiveText: the receive view's text as one string per line.
#include "app/view/receiveviewtext.h"

#include <QList>
#include <QStringView>
#include <algorithm>

namespace talyx::app {

namespace {

bool IsBreak(QChar c) {
  return c == u'\n' || c == u'\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

}  // namespace

QString NormalizedLineEnds(const QString& text) {
  if (std::none_of(text.begin(), text.end(), [](QChar c) { return IsBreak(c) && c != u'\n'; })) {
    return text;
  }
  QString normal;
  normal.reserve(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (!IsBreak(c)) {
      normal += c;
      continue;
    }
    if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    normal += u'\n';
  }
  return normal;
}

TReceiveText::TReceiveText() : lines_(1), starts_(1, 0) {}

TReceiveText::TPlace TReceiveText::PlaceOf(qsizetype position) const {
  position = std::clamp<qsizetype>(position, 0, Length());
  const auto after = std::upper_bound(starts_.begin(), starts_.end(), position);
  const auto line = static_cast<qsizetype>(after - starts_.begin()) - 1;
  return {line, position - LineStart(line)};
}

void TReceiveText::Append(const QString& text) { Insert(Length(), text); }

qsizetype TReceiveText::Insert(qsizetype position, const QString& text) {
  const QString normal = NormalizedLineEnds(text);
  if (normal.isEmpty()) return 0;
  const TPlace at = PlaceOf(position);
  const auto line = static_cast<size_t>(at.Line);
  if (!normal.contains(u'\n')) {
    if (at.Column == lines_[line].size()) {
      lines_[line] += normal;  // grows by a share of its size, so appends stay cheap
    } else {
      lines_[line].insert(at.Column, normal);
    }
    ShiftStartsAfter(at.Line, normal.size());
    return normal.size();
  }
  const QList<QStringView> pieces = QStringView(normal).split(u'\n');
  const QString tail = lines_[line].mid(at.Column);
  lines_[line].truncate(at.Column);
  lines_[line] += pieces.front();
  std::vector<QString> added;
  added.reserve(static_cast<size_t>(pieces.size() - 1));
  for (qsizetype i = 1; i < pieces.size(); ++i) added.push_back(pieces[i].toString());
  added.back() += tail;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(line) + 1,
                std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()));
  starts_.insert(starts_.begin() + static_cast<std::ptrdiff_t>(line) + 1, added.size(), 0);
  for (size_t i = line + 1; i < lines_.size(); ++i) {
    starts_[i] = starts_[i - 1] + lines_[i - 1].size() + 1;
  }
  return normal.size();
}

void TReceiveText::Remove(qsizetype from, qsizetype to) {
  from = std::clamp<qsizetype>(from, 0, Length());
  to = std::clamp<qsizetype>(to, from, Length());
  if (from == to) return;
  const TPlace first = PlaceOf(from);
  const TPlace last = PlaceOf(to);
  auto& line = lines_[static_cast<size_t>(first.Line)];
  if (first.Line == last.Line) {
    line.remove(first.Column, to - from);
    ShiftStartsAfter(first.Line, from - to);
    return;
  }
  line.truncate(first.Column);
  line += QStringView(Line(last.Line)).mid(last.Column);
  const auto begin = static_cast<std::ptrdiff_t>(first.Line) + 1;
  const auto end = static_cast<std::ptrdiff_t>(last.Line) + 1;
  lines_.erase(lines_.begin() + begin, lines_.begin() + end);
  starts_.erase(starts_.begin() + begin, starts_.begin() + end);
  ShiftStartsAfter(first.Line, from - to);
}

void TReceiveText::RemoveFront(qsizetype lines, qsizetype columns) {
  const qsizetype removed = LineStart(lines) + columns;
  if (removed == 0) return;
  const auto end = static_cast<std::ptrdiff_t>(lines);
  lines_.erase(lines_.begin(), lines_.begin() + end);
  starts_.erase(starts_.begin(), starts_.begin() + end);
  // Taken from the front, a QString only moves its start: no copy of the rest.
  lines_.front().remove(0, columns);
  for (qsizetype& start : starts_) start -= removed;
  starts_.front() = 0;
}

void TReceiveText::Clear() {
  lines_.assign(1, QString());
  starts_.assign(1, 0);
}

QString TReceiveText::Slice(qsizetype from, qsizetype to) const {
  from = std::clamp<qsizetype>(from, 0, Length());
  to = std::clamp<qsizetype>(to, from, Length());
  QString slice;
  slice.reserve(to - from);
  const TPlace first = PlaceOf(from);
  const TPlace last = PlaceOf(to);
  for (qsizetype line = first.Line; line <= last.Line; ++line) {
    const qsizetype begin = line == first.Line ? first.Column : 0;
    const qsizetype end = line == last.Line ? last.Column : Line(line).size();
    if (line != first.Line) slice += u'\n';
    slice += QStringView(Line(line)).mid(begin, end - begin);
  }
  return slice;
}

QString TReceiveText::PlainText(qsizetype from, qsizetype to) const {
  return Slice(from, to).replace(QChar::Nbsp, u' ');
}

qsizetype TReceiveText::Find(const QString& what, qsizetype from) const {
  if (what.isEmpty() || what.contains(u'\n')) return -1;
  const TPlace start = PlaceOf(from);
  for (qsizetype line = start.Line; line < LineCount(); ++line) {
    const qsizetype column = Line(line).indexOf(what, line == start.Line ? start.Column : 0);
    if (column >= 0) return LineStart(line) + column;
  }
  return -1;
}

void TReceiveText::ShiftStartsAfter(qsizetype line, qsizetype by) {
  for (auto i = static_cast<size_t>(line) + 1; i < starts_.size(); ++i) starts_[i] += by;
}

}  // namespace talyx::app
