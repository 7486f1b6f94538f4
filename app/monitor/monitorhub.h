// TMonitorHub: connects the port and the receive path to the bus monitor: the feed, its frame
// store and the monitor window.
//
// Principles of operation:
// - Nothing is taken from the port until the monitor is first shown: then the hub becomes the
//   receive path's tap and gives the port the feed's sent-bytes hook, and both stay for the rest
//   of the session (the store keeps collecting while the window is hidden).
// - Every event's bytes go to the feed with the port's current line format. A timer (IdleMs)
//   lets the feed end frames and time requests out, but only when the port holds no bytes not yet
//   taken, so every byte read before that moment has been given.
// - Main thread only.
#pragma once

#include <QObject>
#include <memory>

#include "app/monitor/framestore.h"
#include "app/monitor/monitorfeed.h"
#include "app/monitor/monitorwindow.h"
#include "app/receive/receivepath.h"
#include "app/receive/receivetap.h"

class QTimer;

namespace talyx {
class TComPort;
}

namespace talyx::app {

class TMonitorHub : public QObject, public TReceiveTap {
  Q_OBJECT

 public:
  static constexpr int IdleMs = 20;

  TMonitorHub(TComPort& port, TReceivePath& receivePath, QWidget* windowParent);
  ~TMonitorHub() override;

  // Shows the monitor window (made at its first showing) and starts collecting.
  void ShowMonitor();
  // The window; null until first shown.
  TMonitorWindow* Window() const { return window_; }
  TMonitorFeed& Feed() { return feed_; }

  void Received(const std::string& bytes, const std::vector<uint64_t>& timesUs) override;

 private:
  void StartFeeding();
  void Idle();

  TComPort& port_;
  TReceivePath& receivePath_;
  QWidget* windowParent_;
  TMonitorFeed feed_;
  std::unique_ptr<TFrameStore> store_;
  TMonitorWindow* window_ = nullptr;
  QTimer* idleTimer_;
  bool feeding_ = false;
};

}  // namespace talyx::app
