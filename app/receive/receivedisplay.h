// TReceiveDisplay: what the receive path writes to the receive view and to the receive counter's
// status panel, gathered and written to the widgets at most once per display frame.
//
// Principles of operation:
// - The receive path counts and decodes at once in every event; only the writing to the widgets
//   is gathered. A stream delivers up to thousands of events a second, and writing each one
//   (laying out the view's last line, the panel's text, the repaints that follow) costs far more
//   than the event itself.
// - The first write after a quiet frame happens at the end of its event (WriteIfDue); what comes
//   within a frame of a write waits for the frame's timer and is written in one piece.
// - A stream (events that each come within a frame of the one before) is written once the oldest
//   of its gathered text has waited StreamWaitMs, a little over a frame; an event that comes a
//   frame or more after the one before is written at once when the last write is a frame old. The
//   dispatch thread gathers a fast line for up to two frames or 3 KB: a line read more often than
//   once a frame (faster than about 190 KB/s) is written two reads or more at a time, which halves
//   the painting of rows that are all new at every write, most of the window's work at such a line;
//   a 921600 baud line is read once every two frames and each read is written at once. Either way
//   text shows about two frames at most after it reached the driver; a lone reply and the first
//   text after a quiet moment still go at once.
// - The view is modelled as its widget's text followed by the gathered text, or as the gathered
//   text alone once a clearing is pending. Length and LastLineEmpty answer for that model, so the
//   receive path's rules (a line of its own per chunk, the auto-clear) decide exactly as they
//   would with each event written at once, and the view ends up showing the same text.
// - Flush writes everything at once. Whatever reads or edits the view flushes first: the window's
//   find, save, copy and clear, the popup menu, the counter reset, closing, and every key, click,
//   drop or input-method event that reaches the view (WatchView), so nobody sees stale text or
//   text in another order.
// - The gathered text is written at once when it passes a sixteenth of the view's character
//   limit, so it stays bounded even when no frame comes. The first time the view drops older
//   text after it was last cleared, the fifth status panel says so.
// - Of the view only four things are asked: its length, whether its last line is empty,
//   appending text at its end, and clearing it (the View* functions). The view and the status
//   panels are reached through the window's TReceiveWindow.
// - Main thread only, like the widgets.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <optional>

namespace talyx::app {

class TReceiveView;
class TReceiveWindow;

class TReceiveDisplay : public QObject {
  Q_OBJECT

 public:
  // One display frame: writes are at least this far apart.
  static constexpr int FrameMs = 16;
  // In a stream, the oldest gathered text waits this long before it is written.
  static constexpr int StreamWaitMs = FrameMs + FrameMs / 4;
  // Gathered text longer than this share of the view's character limit is written at once.
  static constexpr qsizetype GatheredShare = 16;

  explicit TReceiveDisplay(TReceiveWindow& window);

  // Extends the view's last line by the text (line breaks in it open new lines).
  void Append(const QString& text);
  // The view's text length, each line break one character.
  qsizetype Length() const;
  // True when the view is empty or its last line is.
  bool LastLineEmpty() const;
  // Empties the view from here on; the widget is cleared with the next write.
  void Discard();
  // Empties the view and its widget at once, dropping what was gathered.
  void Clear();
  // The receive counter's next value; its panel text is made when it is written.
  void SetCount(int32_t count);

  // Writes what was gathered now if it is due (see Due); otherwise the frame's timer writes it.
  // Run at the end of every event: the time between events tells a stream.
  void WriteIfDue();
  // Writes everything gathered to the widgets.
  void Flush();
  bool Pending() const { return clearPending_ || !text_.isEmpty() || count_.has_value(); }

  // Flushes before the view handles any key, click, drop or input-method event of the user, and
  // says in the fifth status panel when the view first drops older text.
  void WatchView(TReceiveView* view);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Gathered();

  qsizetype ViewLength() const;
  bool ViewLastLineEmpty() const;
  void ViewAppend(const QString& text);
  void ViewClear();

  TReceiveWindow& window_;
  QString text_;                  // to append after the widget's text; breaks as '\n'
  bool clearPending_ = false;     // the widget is cleared before text_ is appended
  std::optional<int32_t> count_;  // the receive counter, when it changed
  // Whether what is gathered is to be written now: in a stream once its oldest text waited
  // StreamWaitMs, else once the last write is a frame old.
  bool Due() const;
  // How long until what is gathered is due.
  int WaitLeft() const;

  QTimer frame_;
  QElapsedTimer sinceWrite_;
  QElapsedTimer sincePending_;  // since the oldest text still gathered
  QElapsedTimer sinceEvent_;    // since the end of the last event
  bool streaming_ = false;      // the last event came within a frame of the one before
};

}  // namespace talyx::app
