// TReceivePath: the main window's receive path: counting, showing and register decoding.
#include "app/receive/receivepath.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <string>
#include <vector>

#include "dispatch/triggers.h"
#include "platform/clock.h"
#include "platform/hexbytes.h"
#include "port/comport.h"
#include "text/charset.h"

namespace talyx::app {

namespace {

// The counters wrap around like the 32-bit integers they are, instead of overflowing.
void Increment(int32_t& counter, uint32_t by = 1) {
  counter = static_cast<int32_t>(static_cast<uint32_t>(counter) + by);
}

// A space or control character (codes 0 to 32), or the symbol (U+2400 + code) that text receive
// shows for a control byte in its place.
bool IsTrimmed(QChar c) {
  const char16_t u = c.unicode();
  return u <= 32 || (u >= 0x2400 && u <= 0x241F);
}

// Trims spaces and control characters from both ends, then removes every space, line feed and
// carriage return.
QString Cleaned(const QString& text) {
  qsizetype begin = 0;
  qsizetype end = text.size();
  while (begin < end && IsTrimmed(text[begin])) ++begin;
  while (end > begin && IsTrimmed(text[end - 1])) --end;
  QString cleaned = text.mid(begin, end - begin);
  cleaned.remove(QLatin1Char(' '));
  cleaned.remove(QLatin1Char('\n'));
  cleaned.remove(QLatin1Char('\r'));
  return cleaned;
}

int HexDigitValue(QChar c) {
  const char16_t u = c.unicode();
  if (u >= '0' && u <= '9') return u - '0';
  if (u >= 'a' && u <= 'f') return u - 'a' + 10;
  if (u >= 'A' && u <= 'F') return u - 'A' + 10;
  return -1;
}

// Registers 1 to N of the cleaned text, up to the first one that is missing or not four
// hexadecimal digits.
std::vector<uint16_t> ReadRegisters(const QString& text, uint16_t N) {
  std::vector<uint16_t> registers;
  for (uint32_t k = 1; k <= N; ++k) {
    // Register k: characters 4k + 3 to 4k + 6, counted from 1.
    const qsizetype start = 4 * static_cast<qsizetype>(k) + 2;
    if (start + 4 > text.size()) return registers;
    uint32_t value = 0;
    for (qsizetype i = start; i < start + 4; ++i) {
      const int digit = HexDigitValue(text[i]);
      if (digit < 0) return registers;
      value = value * 16 + static_cast<uint32_t>(digit);
    }
    registers.push_back(static_cast<uint16_t>(value));
  }
  return registers;
}

}  // namespace

void AppendWithoutUndo(QPlainTextEdit* view, const QString& text, int maxLines) {
  QScrollBar* bar = view->verticalScrollBar();
  const bool atEnd = bar->value() == bar->maximum();
  QTextDocument* document = view->document();
  // Switching undo off drops the history: the undo item of the view then undoes the user's
  // own edits made since the last data arrived, and received data never piles up there.
  // (The document's own block limit is not used: it switches undo off for good.)
  document->setUndoRedoEnabled(false);
  QTextCursor cursor(document);
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(text);
  const int excess = document->blockCount() - maxLines;
  if (excess > 0) {
    QTextCursor oldest(document);
    oldest.setPosition(document->findBlockByNumber(excess).position(), QTextCursor::KeepAnchor);
    oldest.removeSelectedText();
  }
  document->setUndoRedoEnabled(true);
  if (atEnd) bar->setValue(bar->maximum());
}

TReceivePath::TReceivePath(TReceiveWindow& window, TWindowState& state)
    : window_(window), state_(state), decoder_(formats::LocaleCharset()) {}

void TReceivePath::Trigger(TCustomComPort& CP, uint16_t Msg, uint16_t Data) {
  if (Msg != TriggerAvailMsg) return;
  try {
    TakeAndShow(CP, Data);
  } catch (...) {
    // Any failure ends the handling of this event without a word; what was done stays done.
  }
  display_.WriteIfDue();
}

void TReceivePath::TakeAndShow(TCustomComPort& CP, uint16_t Data) {
  ReadLineOptions();
  const bool timed = lines_.Active();
  std::string bytes;
  std::vector<uint32_t> times;    // read times, while stamps or gaps are shown
  std::vector<uint64_t> timesUs;  // read times in microseconds, while a tap is set
  bytes.reserve(Data);
  try {
    for (uint16_t i = 0; i < Data; ++i) {
      if (timed || tap_ != nullptr) {
        TReadTime readTime;
        bytes += static_cast<char>(CP.GetChar(readTime));
        times.push_back(readTime.Ms);
        timesUs.push_back(readTime.Us);
      } else {
        bytes += static_cast<char>(CP.GetChar());
      }
      Increment(state_.RecvCount);
      Increment(state_.DecodeBytes);
    }
  } catch (...) {
    if (tap_ != nullptr) tap_->Received(bytes, timesUs);
    throw;
  }
  if (tap_ != nullptr) tap_->Received(bytes, timesUs);

  const bool hex = window_.HexGet();
  QString chunk;
  if (hex) {
    chunk = QString::fromLatin1(platform::HexBytes(bytes));
    decoder_.Reset();  // a character begun in text mode does not carry over into hexadecimal
  } else if (!timed) {
    chunk = QString::fromStdString(decoder_.Decode(bytes));
  }
  const QString shown = timed ? TimedChunk(bytes, times, hex, chunk) : chunk;
  display_.SetCount(state_.RecvCount);

  state_.DecodeText += chunk;
  if (state_.DecodeText.size() > MaxDecodeText) {
    state_.DecodeText.clear();
    state_.DecodeBytes = 0;
  }
  diff(shown);

  const uint32_t replyLength = 2u * state_.RegCount + 5u;
  if (static_cast<uint32_t>(state_.DecodeBytes) % replyLength == 0) {
    const QString text = Cleaned(state_.DecodeText);
    state_.DecodeText.clear();
    state_.DecodeBytes = 0;
    showdec(text, state_.RegCount);
  }
}

void TReceivePath::ReadLineOptions() { lines_.SetOptions(window_.LineOptions()); }

QString TReceivePath::TimedChunk(const std::string& bytes, const std::vector<uint32_t>& times,
                                 bool hex, QString& chunk) {
  // The text starts a line of its own when every event does (CB_Show) or the view's last line
  // is empty; otherwise it continues the last line.
  const bool atLineStart = window_.LineByLine() || display_.LastLineEmpty();
  lines_.BeginEvent(atLineStart, QDateTime::currentMSecsSinceEpoch(), platform::MillisecondClock());
  if (hex) {
    lines_.AddHex(bytes, times);
  } else {
    chunk = QString::fromStdString(lines_.AddText(decoder_, bytes, times));
  }
  return QString::fromStdString(lines_.TakeText());
}

void TReceivePath::diff(const QString& text) {
  if (window_.StopShow()) return;
  if (window_.LineByLine()) {
    zhuhang(text);
  } else {
    leijia(text);
  }
}

void TReceivePath::zhuhang(const QString& text) {
  display_.Append(display_.LastLineEmpty() ? text : QStringLiteral("\n") + text);
  Memo_ShowChange();
}

void TReceivePath::leijia(const QString& text) { AddToLastLine(text); }

void TReceivePath::AddToLastLine(const QString& text) {
  display_.Append(text);
  Memo_ShowChange();
}

void TReceivePath::showdec(const QString& text, uint16_t N) {
  const std::vector<uint16_t> registers = ReadRegisters(text, N);
  const std::vector<std::string> values = formats::FormatRegisters(registers, registerFormat_);
  if (values.empty()) return;
  // All lines in one append: the view lays out and drops its oldest lines once per decoding.
  QPlainTextEdit& view = window_.RegisterView();
  QString lines;
  for (size_t k = 1; k <= values.size(); ++k) {
    if (k > 1 || !view.document()->isEmpty()) lines += QLatin1Char('\n');
    lines += QCoreApplication::translate("TReceivePath", "第%1个参数=%2")
                 .arg(QString::number(k), QString::fromStdString(values[k - 1]));
  }
  AppendWithoutUndo(&view, lines, MaxRegisterLines);
}

void TReceivePath::Memo_ShowChange() {
  if (window_.AutoClear() && display_.Length() > AutoClearLength) display_.Discard();
}

}  // namespace talyx::app
