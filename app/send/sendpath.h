// TSendPath: the main window's send path: one send by button, Enter or timer, text or
// hexadecimal with the Modbus CRC, paced on the wire, plus auto-send and the send box file.
//
// Principles of operation:
// - Btn_SendClick runs one send in the window's seven steps. Text is sent in the window's text
//   character set: pieces of 16 bytes (a piece may end inside a character), and SendCount grows
//   by bytes; a hexadecimal send counts the bytes of the text stripped of blanks and line ends.
// - WaitOutFree keeps the pacing of the wire (at least 20 ms after each chunk, 200 ms steps
//   while the output buffer lacks room) but waits in a local event loop, so the window repaints,
//   trigger events keep arriving and the user can switch auto-send off or close the port. A
//   send started meanwhile (button, Enter) runs to its end before the interrupted one goes on;
//   an auto-send tick that comes while any send runs is dropped, never nested.
// - A wait ends early when the port closes (the port tells its users), when the window closes
//   or the application quits (Stop, or the event loops ending). A close of the window or the
//   application's quitting stops the send: the steps after the sending do not run, so nothing
//   of the window is used after it closed. A close of the port stops it only with chunks still
//   to come (a next PutString would reopen the closed port); in the wait after the last chunk
//   everything is queued, and the send is counted and clears the send box as any other.
// - Errors of PutString and PutBlock end the send and go to the general error report (the
//   handler's caller); the window shows the message of a closed port.
// - The path sees the window only through TSendWindow, and keeps its counter and the register
//   count in the window's TWindowState.
// - Main thread only, like the window.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/receive/windowstate.h"
#include "app/send/sendwindow.h"

class QKeyEvent;

namespace talyx {
class TComPort;
}

namespace talyx::app {

class TSendPath {
 public:
  // Bytes of output room each chunk waits for; pacing after each chunk and while room lacks.
  static constexpr uint32_t ChunkRoom = 16;
  static constexpr int ChunkPauseMs = 20;
  static constexpr int RoomPauseMs = 200;
  // The largest send box file read, in bytes.
  static constexpr qint64 MaxSendFileSize = 16 * 1024 * 1024;

  TSendPath(TSendWindow& window, TWindowState& state, TComPort& port);
  ~TSendPath();
  TSendPath(const TSendPath&) = delete;
  TSendPath& operator=(const TSendPath&) = delete;

  // The character set of text send and plain-text loading (the locale's until set).
  void SetCharset(std::string charset) { charset_ = std::move(charset); }

  // One complete send.
  void Btn_SendClick();
  // Queues the bytes of hexadecimal digits, pair by pair (an odd last digit is dropped).
  void SendHex(const std::string& digits);
  // Waits until the output buffer has room for n bytes, then 20 ms more. False when the wait
  // was ended by a close of the port or the window, or by the application's quitting: the send
  // must stop there.
  bool WaitOutFree(uint32_t n);

  // Auto-send: the check box's click (its state changed), the timer's tick.
  void CB_AutoSendClick();
  void Timer_AutoSendTimer();
  // A key typed into Edt_Interval: true when it is to be discarded (anything but 0-9 and
  // backspace).
  bool Edt_IntervalKeyPress(const QKeyEvent& event) const;
  // A key typed into the send box: true when it was Enter with CB_EnterSend checked (one send
  // ran, its failure shown by the general error report, and the Enter is discarded).
  bool SendMemoKeyPress(const QKeyEvent& event);

  // Loads the send box from a file picked in OpenDialog1.
  void Btn_OpenFileClick();
  // Replaces the send box's content by the file's: RTF when it is RTF, else plain text in the
  // locale's character set. A file that cannot be read, is not a regular file, is larger than
  // MaxSendFileSize or is RTF nested too deep raises "不能打开文件 %s" and changes nothing.
  void LoadSendFile(const QString& path);
  void Btn_ClearMomeClick();

  // The window closes or the application quits: every wait ends and no send goes on.
  void Stop();
  // Sends running now (nested ones included).
  int RunningSends() const { return running_; }
  // When the last running send ended (platform::MicrosecondClock); 0 before the first.
  uint64_t LastSendEndUs() const { return lastSendEndUs_; }
  // Calls ended on the main thread each time the last running send ends, until removed by the
  // id returned. Users of the line beside the window watch the sends this way; watching changes
  // nothing of the path, hence const.
  int AddSendEndedHandler(std::function<void()> ended) const;
  void RemoveSendEndedHandler(int id) const;

 private:
  struct Shared;
  // Runs a local event loop for ms milliseconds; false when the send must stop.
  bool Pause(int ms);
  bool MustStop() const;
  // The outermost send ended: its time is kept and the handlers told.
  void SendEnded();

  TSendWindow& window_;
  TWindowState& state_;
  TComPort& port_;
  std::string charset_;
  int running_ = 0;
  uint64_t lastSendEndUs_ = 0;
  mutable std::map<int, std::function<void()>> endedHandlers_;
  mutable int nextHandlerId_ = 1;
  // Shared with the port's close notification, which may outlive this object.
  std::shared_ptr<Shared> shared_;
};

}  // namespace talyx::app
