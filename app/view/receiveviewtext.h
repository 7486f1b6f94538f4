// TReceiveText: the text of the receive view, as lines.
//
// Principles:
// - One QString per line, no line break stored; the text always has at least one (possibly
//   empty) line. A position counts every character of the lines before plus one per line break,
//   so positions run from 0 to Length().
// - Appending at the end costs what is appended (amortised): the last line grows in place and
//   the start positions of the lines before stay as they are. Edits elsewhere shift the start
//   positions of the lines after them.
// - Line breaks coming in ("\r\n", "\r", "\n", U+2028, U+2029) all become one break; text goes
//   out with "\n" between lines and no-break spaces as plain spaces.
// - Any thread, one at a time.
#pragma once

#include <QString>
#include <vector>

namespace talyx::app {

// The text with every line break ("\r\n", "\r", "\n", U+2028, U+2029) turned into one "\n": the
// receive view's text and a plain-text file loaded into the send box keep their breaks so.
QString NormalizedLineEnds(const QString& text);

class TReceiveText {
 public:
  struct TPlace {
    qsizetype Line = 0;
    qsizetype Column = 0;
  };

  TReceiveText();

  qsizetype LineCount() const { return static_cast<qsizetype>(lines_.size()); }
  const QString& Line(qsizetype line) const { return lines_[static_cast<size_t>(line)]; }
  // Characters, line breaks included.
  qsizetype Length() const { return starts_.back() + lines_.back().size(); }
  bool IsEmpty() const { return Length() == 0; }
  qsizetype LineStart(qsizetype line) const { return starts_[static_cast<size_t>(line)]; }

  // The line and column of a position (clamped to the text).
  TPlace PlaceOf(qsizetype position) const;
  qsizetype PositionOf(TPlace place) const { return LineStart(place.Line) + place.Column; }

  // Appends at the end; line breaks in the text open new lines.
  void Append(const QString& text);
  // Inserts at the position; returns the number of characters inserted (line breaks count one).
  qsizetype Insert(qsizetype position, const QString& text);
  // Removes the characters [from, to).
  void Remove(qsizetype from, qsizetype to);
  // Removes the first `lines` lines with their breaks, then `columns` characters from the start
  // of the line that is first after them. Costs the number of lines, not their text.
  void RemoveFront(qsizetype lines, qsizetype columns);
  // Gives the last line room for `characters` characters at once.
  void ReserveLastLine(qsizetype characters) { lines_.back().reserve(characters); }
  void Clear();

  // The characters [from, to) as stored, "\n" between lines.
  QString Slice(qsizetype from, qsizetype to) const;
  // The same as plain text: no-break spaces become spaces.
  QString PlainText(qsizetype from, qsizetype to) const;
  QString ToPlainText() const { return PlainText(0, Length()); }

  // The first position >= from where `what` starts inside one line, matching case; -1 when
  // there is none (an empty `what` never matches).
  qsizetype Find(const QString& what, qsizetype from) const;

 private:
  void ShiftStartsAfter(qsizetype line, qsizetype by);

  std::vector<QString> lines_;
  std::vector<qsizetype> starts_;  // position of each line's first character
};

}  // namespace talyx::app
