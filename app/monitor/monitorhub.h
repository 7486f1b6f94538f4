// TMonitorHub: connects the port and the receive path to the bus monitor and the capture to file:
// the feed, its frame store, the monitor window and the capture writer.
//
// Principles of operation:
// - Nothing is taken from the port until the monitor is first shown or a capture starts: then
//   the hub becomes the receive path's tap and gives the port the feed's sent-bytes hook, and
//   both stay for the rest of the session (the store keeps collecting while the window is
//   hidden).
// - The capture is independent of the window: it takes the feed's events while it runs. It
//   stops when the user stops it, or by itself (disk behind, write failed): the hub notices on
//   its timer, ends the writer and says why in a message box. CaptureChanged tells the window.
// - Every event's bytes go to the feed with the port's current line format. A timer (IdleMs)
//   lets the feed end frames and time requests out, but only when the port holds no bytes not yet
//   taken, so every byte read before that moment has been given. A user of the feed that waits
//   for a frame at a known moment (the request channel) has the feed looked at then (LookAt).
// - Main thread only.
#pragma once

#include <QObject>
#include <QString>
#include <memory>

#include "app/monitor/framestore.h"
#include "app/monitor/monitorfeed.h"
#include "app/monitor/monitorwindow.h"
#include "app/receive/receivepath.h"
#include "app/receive/receivetap.h"
#include "capture/capturewriter.h"

class QTimer;

namespace talyx {
class TComPort;
}

namespace talyx::app {

class TPreciseTimer;

// The line format of the port's current settings, as the Modbus timing counts it.
modbus::LineFormat PortLineFormat(TComPort& port);

class TMonitorHub : public QObject, public TReceiveTap, private TMonitorSink {
  Q_OBJECT

 public:
  static constexpr int IdleMs = 20;

  TMonitorHub(TComPort& port, TReceivePath& receivePath, QWidget* windowParent);
  ~TMonitorHub() override;

  // Shows the monitor window (made at its first showing) and starts collecting.
  void ShowMonitor();
  // The window; null until first shown.
  TMonitorWindow* Window() const { return window_; }
  // The frames; null until the monitor is first shown.
  const TFrameStore* Store() const { return store_.get(); }
  TMonitorFeed& Feed() { return feed_; }
  // Starts collecting without the window: the tap and the sent-bytes hook stay from now on.
  void StartFeeding();
  // Has the feed looked at the line at atUs (platform::MicrosecondClock), now when it has
  // passed, else by a precise timer; the earliest time asked for is kept (a later one is left to
  // the idle timer). Until the line is known up to atUs (bytes the port holds not yet taken, or
  // not yet read from the driver) the look is tried again each millisecond.
  void LookAt(uint64_t atUs);

  // The register format of the monitor's summaries.
  void SetRegisterFormat(formats::TRegisterFormat format);

  // Starts a capture with these settings; false (and a message) when it cannot start.
  bool StartCapture(const capture::TCaptureSettings& settings);
  // Stops the capture, writing what it has queued.
  void StopCapture();
  bool Capturing() const { return writer_ != nullptr; }
  // The files of the running or last capture.
  std::vector<std::string> CaptureFiles() const {
    return writer_ != nullptr ? writer_->Files() : captureFiles_;
  }

  void Received(const std::string& bytes, const std::vector<uint64_t>& timesUs) override;

 signals:
  void CaptureChanged(bool capturing);

 private:
  void OnEvents(const std::vector<modbus::RtuEvent>& events) override;
  // A capture that stopped by itself is ended and reported.
  void CheckCapture();
  // Lets the feed end what the line's silence ends, as far as the line is known; the time it
  // looked up to, or 0 when the port held bytes not yet taken and the feed was not looked at.
  uint64_t Idle();
  // The asked look: once its time has come, again each millisecond until the line is known up
  // to it.
  void Look();

  TComPort& port_;
  TReceivePath& receivePath_;
  QWidget* windowParent_;
  TMonitorFeed feed_;
  std::unique_ptr<TFrameStore> store_;
  TMonitorWindow* window_ = nullptr;
  QTimer* idleTimer_;
  TPreciseTimer* lookTimer_;
  uint64_t lookAtUs_ = 0;  // the time the feed is to be looked at
  bool feeding_ = false;
  std::unique_ptr<capture::TCaptureWriter> writer_;
  int64_t wallOffsetUs_ = 0;
  std::vector<std::string> captureFiles_;
  formats::TRegisterFormat registerFormat_ = formats::TRegisterFormat::rfU16;
};

}  // namespace talyx::app
