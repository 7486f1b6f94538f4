// TReceivePath: the main window's receive path: counting, showing and register decoding of the
// bytes that each data-available event of the port offers.
//
// Principles of operation:
// - ComPort1Trigger hands every trigger event to Trigger; only TriggerAvailMsg is acted on. Its
//   Data bytes are taken one by one with GetChar, counted in RecvCount and DecodeBytes, shown
//   (as "HH " per byte in hexadecimal receive, else as text through a decoder that keeps a
//   character or CR LF cut between events whole), appended to DecodeText, and decoded into
//   register lines once an event ends with DecodeBytes a multiple of 2N + 5.
// - showdec reads the registers first and then shows them in the register format (unsigned
//   16-bit unless set): one line per value, so a 32-bit format numbers the register pairs.
// - With the options Timestamps or FrameGap on, each byte is taken with the time the engine
//   read it, and ReceiveLines adds the line stamps and frame-gap breaks to the text shown;
//   what is counted and decoded stays the same. With both off the text is shown as it is.
// - The receive view is only ever extended at the end of its document: nothing already shown
//   is rewritten, and received text stays out of the undo history so memory stays flat.
// - DecodeText is bounded: every decoding attempt, successful or not, empties it and resets
//   DecodeBytes (kept text that failed once would fail forever), and it is emptied when it
//   would pass MaxDecodeText characters.
// - The register view keeps its newest MaxRegisterLines lines: a device polled without end (or
//   any stream that happens to come in lengths of 2N + 5) must not grow it for ever.
// - Every error inside the handling of one event ends that handling silently; what was done
//   stays done.
// - The receive view and the counter panel are written through TReceiveDisplay, which gathers
//   the writes of one display frame; the register view is written at once (its lines are rare).
// - The path sees the window only through TReceiveWindow, and keeps its counters and decoding
//   text in the window's TWindowState.
// - The auto-clear rule (Memo_ShowChange) runs after each of the path's own appends; the window
//   runs it after every other change of the receive view, once that change has finished.
// - A tap (receivetap.h), when set, is given every byte taken with its read time in
//   microseconds; the bytes are then always taken with their times.
// - Main thread only, like the window.
#pragma once

#include <QString>
#include <cstdint>
#include <string>
#include <vector>

#include "app/receive/receivedisplay.h"
#include "app/receive/receivetap.h"
#include "app/receive/receivewindow.h"
#include "app/receive/windowstate.h"
#include "text/receivelines.h"
#include "text/receivetextdecoder.h"
#include "text/registerformat.h"

class QPlainTextEdit;

namespace talyx {
class TCustomComPort;
}

namespace talyx::app {

class TReceivePath {
 public:
  // The longest DecodeText kept, in characters.
  static constexpr qsizetype MaxDecodeText = 65536;
  // The register view keeps this many of its newest lines.
  static constexpr int MaxRegisterLines = 10000;
  // Above this many characters the receive view is cleared when CB_Clear is checked.
  static constexpr qsizetype AutoClearLength = 10000;

  TReceivePath(TReceiveWindow& window, TWindowState& state);

  // The character set of text receive (the locale's until set).
  void SetCharset(const std::string& charset) { decoder_.SetCharset(charset); }

  // The format of the register view's values.
  void SetRegisterFormat(formats::TRegisterFormat format) { registerFormat_ = format; }

  // The tap given the bytes of every event from now on; null for none. Not owned.
  void SetTap(TReceiveTap* tap) { tap_ = tap; }

  // ComPort1Trigger's work.
  void Trigger(TCustomComPort& CP, uint16_t Msg, uint16_t Data);

  // Routes one chunk text to the receive view by CB_StopShow and CB_Show.
  void diff(const QString& text);
  // Adds the text as a new line at the end of the receive view.
  void zhuhang(const QString& text);
  // AddToLastLine.
  void leijia(const QString& text);
  // Extends the receive view's last line by the text (line breaks in it open new lines).
  void AddToLastLine(const QString& text);
  // Adds the lines 第k个参数=value for registers 1 to N read from the cleaned hexadecimal text,
  // values in the register format; reading stops at the first register that is missing or not
  // four hexadecimal digits, and the registers before it are shown.
  void showdec(const QString& text, uint16_t N);
  // The auto-clear rule, run after every change of the receive view.
  void Memo_ShowChange();

  // The receive view and counter panel as written through (gathered per display frame).
  TReceiveDisplay& Display() { return display_; }

 private:
  void TakeAndShow(TCustomComPort& CP, uint16_t Data);
  // The options' line settings, for this event.
  void ReadLineOptions();
  // The text to show for an event's bytes and their read times, with stamps and gap breaks. In
  // text receive it decodes the bytes (one at a time) and sets chunk to the decoded text.
  QString TimedChunk(const std::string& bytes, const std::vector<uint32_t>& times, bool hex,
                     QString& chunk);

  TReceiveWindow& window_;
  TWindowState& state_;
  TReceiveDisplay display_{window_};
  formats::ReceiveTextDecoder decoder_;
  formats::TRegisterFormat registerFormat_ = formats::TRegisterFormat::rfU16;
  formats::ReceiveLines lines_;
  TReceiveTap* tap_ = nullptr;
};

// Appends text at the end of the view's document without an undo step, then removes its oldest
// lines beyond maxLines; a view that was scrolled to its end stays there.
void AppendWithoutUndo(QPlainTextEdit* view, const QString& text, int maxLines);

}  // namespace talyx::app
