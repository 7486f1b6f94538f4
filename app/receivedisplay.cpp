// TReceiveDisplay: the gathering, its model of the view, and the writes.
#include "app/receivedisplay.h"

#include <QEvent>
#include <algorithm>
#include <utility>

#include "app/commmain.h"
#include "app/receivepath.h"
#include "app/receiveview.h"
#include "app/statusbar.h"

namespace talyx::app {

namespace {

// The characters that end a line of the receive view when text is appended: line feed, carriage
// return (a CR LF pair makes one break), line and paragraph separators.
bool IsLineBreak(QChar c) {
  const char16_t u = c.unicode();
  return u == u'\n' || u == u'\r' || u == 0x2028 || u == 0x2029;
}

// The text's length once in the view: each break one character, a CR LF pair one break.
qsizetype ShownLength(const QString& text) {
  qsizetype length = text.size();
  for (qsizetype i = 1; i < text.size(); ++i) {
    if (text[i] == u'\n' && text[i - 1] == u'\r') --length;
  }
  return length;
}

}  // namespace

TReceiveDisplay::TReceiveDisplay(TMainForm& form) : form_(form) {
  frame_.setSingleShot(true);
  connect(&frame_, &QTimer::timeout, this, [this] { Flush(); });
}

void TReceiveDisplay::Append(const QString& text) {
  if (text.isEmpty()) return;
  // Written one by one, a CR ending one piece and an LF starting the next are two breaks; joined
  // they would be one. A lone LF in place of the CR breaks the same way and keeps them two.
  if (text_.endsWith(u'\r') && text.startsWith(u'\n')) text_.back() = u'\n';
  text_ += text;
  textLength_ += ShownLength(text);
  Gathered();
}

qsizetype TReceiveDisplay::Length() const {
  return (clearPending_ ? 0 : ViewLength()) + textLength_;
}

bool TReceiveDisplay::LastLineEmpty() const {
  if (!text_.isEmpty()) return IsLineBreak(text_.back());
  return clearPending_ || ViewLastLineEmpty();
}

void TReceiveDisplay::Discard() {
  text_.clear();
  textLength_ = 0;
  clearPending_ = true;
  Gathered();
}

void TReceiveDisplay::Clear() {
  text_.clear();
  textLength_ = 0;
  clearPending_ = false;
  ViewClear();
}

void TReceiveDisplay::SetCountText(const QString& text) {
  countText_ = text;
  Gathered();
}

void TReceiveDisplay::WriteIfDue() {
  if (Pending() && (!sinceWrite_.isValid() || sinceWrite_.elapsed() >= FrameMs)) Flush();
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
    textLength_ = 0;
    ViewAppend(text);
  }
  if (countText_) {
    const QString text = std::move(*countText_);
    countText_.reset();
    form_.StatusBar->SetPanelText(TMainForm::RecvPanel, text);
  }
}

void TReceiveDisplay::Gathered() {
  if (frame_.isActive()) return;
  const qint64 waited = sinceWrite_.isValid() ? sinceWrite_.elapsed() : FrameMs;
  frame_.start(static_cast<int>(std::max<qint64>(0, FrameMs - waited)));
}

void TReceiveDisplay::WatchView(TReceiveView* view) {
  view->installEventFilter(this);
  view->viewport()->installEventFilter(this);
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

qsizetype TReceiveDisplay::ViewLength() const { return form_.Memo_Show->CharacterCount(); }

bool TReceiveDisplay::ViewLastLineEmpty() const { return form_.Memo_Show->LastLineIsEmpty(); }

void TReceiveDisplay::ViewAppend(const QString& text) { form_.Memo_Show->AppendText(text); }

void TReceiveDisplay::ViewClear() { form_.Memo_Show->clear(); }

}  // namespace talyx::app
