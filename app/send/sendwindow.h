// TSendWindow: what the send path sees of the window it sends from.
//
// Principles of operation:
// - The send path reaches the window only through this interface: the send box, the send
//   options it reads at the step that needs them, the auto-send controls, the views it clears,
//   the send counter's panel, and the window's message box and general error report. The main
//   window implements it; a test gives the path a small fake instead.
// - The widgets are asked for when they are used, never kept at construction: the window builds
//   its widgets after its paths.
// - Main thread only, like the window.
#pragma once

#include <QString>
#include <cstdint>
#include <exception>

class QFileDialog;
class QPlainTextEdit;
class QTimer;

namespace talyx::app {

class TSendWindow {
 public:
  virtual ~TSendWindow() = default;

  // The send box (SendMemo) and the dialog that picks a file for it (OpenDialog1).
  virtual QPlainTextEdit& SendBox() = 0;
  virtual QFileDialog& SendFileDialog() = 0;

  // The send options: CB_hexSend, CB_AddCenter, CB_ShowSend (clear the send box after a send),
  // CB_EnterSend.
  virtual bool HexSend() const = 0;
  virtual bool AddCenter() const = 0;
  virtual bool ClearAfterSend() const = 0;
  virtual bool EnterSend() const = 0;

  // Auto-send: CB_AutoSend and its unchecking, Edt_Interval read as a decimal number (raises
  // the conversion error when it is none), and Timer_AutoSend.
  virtual bool AutoSend() const = 0;
  virtual void UncheckAutoSend() = 0;
  virtual int32_t AutoSendInterval() const = 0;
  virtual QTimer& AutoSendTimer() = 0;
  // The port's device is away and expected back: a tick sends nothing meanwhile.
  virtual bool DeviceReturning() const = 0;

  // Empties the receive view and the register view.
  virtual void ClearViews() = 0;
  // Status panel 1 shows the send counter.
  virtual void ShowSendCount(int32_t count) = 0;
  // A message box with the text and an OK button.
  virtual void ShowNotice(const QString& text) = 0;
  // The general error report.
  virtual void ShowError(const std::exception& error) = 0;
};

}  // namespace talyx::app
