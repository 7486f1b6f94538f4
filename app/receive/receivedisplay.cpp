// TReceiveDisplay: the gathering, its model of the view, and the writes.
#include "app/receive/receivedisplay.h"

#include <QEvent>
#include <algorithm>
#include <utility>

#include "app/receive/receivewindow.h"
#include "app/view/receiveview.h"

namespace talyx::app {

TReceiveDisplay::TReceiveDisplay(TReceiveWindow& window) : window_(window) {
  frame_.setSingleShot(true);
  frame_.setTimerType(Qt::PreciseTimer);
  connect(&frame_, &QTimer::timeout, this, [this] { Flush(); });
}

void TReceiveDisplay::Append(const QString& text) {
  if (text.isEmpty()) return;
  // Kept as the view will hold it, every line break one '\n': a CR ending one piece and an LF
  // starting the next stay two breaks, as when each piece is written at once.
  text_ += NormalizedLineEnds(text);
  // What waits stays a small share of what the view keeps, even while no frame comes.
  if (text_.size() > window_.ReceiveView().CharacterLimit() / GatheredShare) {
    Flush();
    return;
  }
  Gathered();
}

qsizetype TReceiveDisplay::Length() const {
  return (clearPending_ ? 0 : ViewLength()) + text_.size();
}

bool TReceiveDisplay::LastLineEmpty() const {
  if (!text_.isEmpty()) return text_.back() == u'\n';
  return clearPending_ || ViewLastLineEmpty();
}

void TReceiveDisplay::Discard() {
  text_.clear();
  clearPending_ = true;
  Gathered();
}

void TReceiveDisplay::Clear() {
  text_.clear();
  clearPending_ = false;
  ViewClear();
}

void TReceiveDisplay::SetCount(int32_t count) {
  count_ = count;
  Gathered();
}

void TReceiveDisplay::WriteIfDue() {
  const bool wasStreaming = streaming_;
  streaming_ = sinceEvent_.isValid() && sinceEvent_.elapsed() < FrameMs;
  sinceEvent_.start();
  if (!Pending()) return;
  if (Due()) {
    Flush();
  } else if (streaming_ != wasStreaming || !frame_.isActive()) {
    // The timer armed when the text was gathered keeps its time while the event kind stays.
    frame_.start(WaitLeft());
  }
}

bool TReceiveDisplay::Due() const { return WaitLeft() == 0; }

int TReceiveDisplay::WaitLeft() const {
  if (!sinceWrite_.isValid()) return 0;
  const qint64 left =
      streaming_ ? StreamWaitMs - sincePending_.elapsed() : FrameMs - sinceWrite_.elapsed();
  return static_cast<int>(std::max<qint64>(0, left));
}

void TReceiveDisplay::Flush() {
  if (!Pending()) return;
  frame_.stop();
  sinceWrite_.start();
  if (clearPending_) {
    clearPending_ = false;
    ViewClear();
  }
  if (!text_.isEmpty()) {
    // Taken out first: the widget's signals may run code that gathers again.
    const QString text = std::move(text_);
    text_.clear();
    ViewAppend(text);
  }
  if (count_) {
    const int32_t count = *count_;
    count_.reset();
    window_.ShowRecvCount(count);
  }
}

void TReceiveDisplay::Gathered() {
  if (frame_.isActive()) return;
  sincePending_.start();
  frame_.start(WaitLeft());
}

void TReceiveDisplay::WatchView(TReceiveView* view) {
  view->installEventFilter(this);
  view->viewport()->installEventFilter(this);
  connect(view, &TReceiveView::OlderTextDropped, this, [this] { window_.ShowOlderTextDropped(); });
}

bool TReceiveDisplay::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::InputMethod:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::ContextMenu:
    case QEvent::Drop:
      Flush();
      break;
    default:
      break;
  }
  return QObject::eventFilter(watched, event);
}

qsizetype TReceiveDisplay::ViewLength() const { return window_.ReceiveView().CharacterCount(); }

bool TReceiveDisplay::ViewLastLineEmpty() const { return window_.ReceiveView().LastLineIsEmpty(); }

void TReceiveDisplay::ViewAppend(const QString& text) { window_.ReceiveView().AppendText(text); }

void TReceiveDisplay::ViewClear() { window_.ReceiveView().clear(); }

}  // namespace talyx::app
