// TReceiveWindow: what the receive path sees of the window it shows received data in.
//
// Principles of operation:
// - The receive path and its display reach the window only through this interface: the two
//   views, the display options it reads in every event, and the two status panels it writes.
//   The main window implements it; a test gives the path a small fake instead.
// - The views are asked for when they are used, never kept at construction: the window builds
//   its widgets after its paths.
// - Main thread only, like the window.
#pragma once

#include <cstdint>

#include "text/receivelines.h"

class QPlainTextEdit;

namespace talyx::app {

class TReceiveView;

class TReceiveWindow {
 public:
  virtual ~TReceiveWindow() = default;

  // The receive view (Memo_Show) and the register view (re_dec).
  virtual TReceiveView& ReceiveView() = 0;
  virtual QPlainTextEdit& RegisterView() = 0;

  // The display options: CB_HexGet, CB_StopShow, CB_Show (each event's chunk on a line of its
  // own), CB_Clear (the auto-clear), and the receive lines' time stamps and frame gaps.
  virtual bool HexGet() const = 0;
  virtual bool StopShow() const = 0;
  virtual bool LineByLine() const = 0;
  virtual bool AutoClear() const = 0;
  virtual formats::ReceiveLines::Options LineOptions() const = 0;

  // Status panel 2 shows the receive counter.
  virtual void ShowRecvCount(int32_t count) = 0;
  // The receive view dropped older text for the first time since it was last cleared.
  virtual void ShowOlderTextDropped() = 0;
};

}  // namespace talyx::app
