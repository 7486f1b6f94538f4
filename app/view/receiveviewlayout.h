// TReceiveLayout: the rows the receive view's lines wrap into, laid out a piece at a time.
//
// Principles:
// - A line wraps at the given width, after a space or tab when the row has one, else before the
//   character that does not fit; spaces and tabs may hang past the width. A row holds at least
//   one character. Advances come from QFontMetricsF, one per character (cached), tabs go to the
//   next multiple of TabStop; no shaping.
// - Only row starts are stored, one number per row after the first. Each line keeps the start
//   of its last row, from where laying out goes on: text added to the last line re-lays that row
//   and the new text, nothing before.
// - A line not yet laid out (new text, a new width or font) counts the rows it is estimated to
//   have, and LayOut does the work in pieces until a deadline, so neither a very long line nor a
//   change of width holds the caller up for long. Rows not laid out yet start where the estimate
//   puts them; a painter lays them out on the spot from there (RowEnd).
// - Row numbers of the lines (prefix sums) are brought up to date only when asked for, from the
//   first line whose row count changed.
// - Main thread only, like the view that owns it.
#pragma once

#include <QDeadlineTimer>
#include <QFont>
#include <QFontMetricsF>
#include <QString>
#include <vector>

#include "app/view/receiveviewtext.h"

namespace talyx::app {

class TReceiveLayout {
 public:
  static constexpr qreal TabStop = 80;

  struct TRow {
    qsizetype Line = 0;
    qsizetype Start = 0;  // column of the row's first character
  };

  explicit TReceiveLayout(const TReceiveText& text);

  // A new font or width: every line is to be laid out again.
  void SetFont(const QFont& font);
  void SetWidth(qreal width);
  qreal Width() const { return width_; }
  qreal RowHeight() const { return rowHeight_; }
  qreal Ascent() const { return ascent_; }

  // The text's lines [first, first + removed) were replaced by `inserted` lines.
  void LinesReplaced(qsizetype first, qsizetype removed, qsizetype inserted);
  // The line changed from `column` on (its line count stayed): the rows well before the column
  // stay, the rest is laid out again.
  void LineChanged(qsizetype line, qsizetype column);
  // Text was appended to the text's end, which had `oldLineCount` lines: the old last line goes
  // on from its last row, and the new lines are laid out, as far as the deadline allows.
  void Appended(qsizetype oldLineCount, QDeadlineTimer deadline);
  // Everything to be laid out again (the text was replaced).
  void Reset();
  // The text's first `lines` lines were removed, then `columns` characters from the start of the
  // line first after them. When those characters end at a row start the line's other rows stay
  // as they are; otherwise the line is laid out again.
  void FrontRemoved(qsizetype lines, qsizetype columns);
  // The first row start of the line at or after `column` among its rows laid out so far; -1 when
  // there is none.
  qsizetype RowStartFrom(qsizetype line, qsizetype column) const;

  bool Pending() const { return firstPending_ < static_cast<qsizetype>(lines_.size()); }
  // Lays out pending lines, `first` before the others, until done or the deadline passes;
  // true when nothing is left.
  bool LayOut(QDeadlineTimer deadline, qsizetype first = 0);

  // All rows, counting the estimated rows of lines not laid out yet.
  qsizetype RowCount() const;
  TRow RowAt(qsizetype row) const;
  qsizetype RowOf(qsizetype line, qsizetype column) const;
  // The column where the row starting at `start` of the line ends (the next row's start, or
  // the line's length for its last row).
  qsizetype RowEnd(qsizetype line, qsizetype start) const;
  // The x offset of `column` in the row of the line starting at `start`.
  qreal XOf(qsizetype line, qsizetype start, qsizetype column) const;
  // The column of the row [start, end) nearest to the x offset.
  qsizetype ColumnAt(qsizetype line, qsizetype start, qsizetype end, qreal x) const;
  // The advance of the character at `column` (a surrogate pair as a whole on its first half,
  // 0 on its second), x being where it starts (tabs depend on it).
  qreal Advance(const QString& line, qsizetype column, qreal x) const;

  // Characters examined while laying out rows for keeps, since construction (tests check that
  // appending lays out only the tail).
  qsizetype LaidOutCharacters() const { return laidOut_; }

 private:
  struct TLineRows {
    std::vector<qsizetype> Breaks;  // starts of the rows after the first
    qsizetype Resume = 0;           // start of the last row laid out: where laying out goes on
    bool Complete = false;
  };

  qsizetype RowsOf(const TLineRows& rows, qsizetype length) const;
  qsizetype Estimated(qsizetype characters) const;
  // Lays out the line as far as the deadline allows; true when complete.
  bool LayOutLine(qsizetype line, QDeadlineTimer deadline);
  void Invalidate(qsizetype line);
  void UpdateFirstRows() const;
  void ResetMetrics();

  const TReceiveText& text_;
  QFont font_;
  QFontMetricsF metrics_;
  qreal width_ = 100;
  qreal rowHeight_ = 0;
  qreal ascent_ = 0;
  qreal averageAdvance_ = 1;
  mutable std::vector<float> advances_;  // by UTF-16 code unit, negative until measured
  std::vector<TLineRows> lines_;
  // Row number of each line's first row, right for the lines before firstRowsValid_ (brought
  // up to date when asked for).
  mutable std::vector<qsizetype> firstRows_;
  mutable qsizetype firstRowsValid_ = 0;
  qsizetype firstPending_ = 0;  // no line before this one waits to be laid out
  qsizetype laidOut_ = 0;
};

}  // namespace talyx::app
