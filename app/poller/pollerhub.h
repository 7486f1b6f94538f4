// TPollerHub: the register poller of the main window: its request channel on the port, the poll
// loop and the poller window, made when the poller is first shown.
//
// The loop goes on while the window is hidden; it stops with the hub (the main window's end).
// Main thread only.
#pragma once

#include <QObject>
#include <cstdint>
#include <memory>

#include "app/settings/settingsfile.h"

class QWidget;

namespace talyx {
class TComPort;
}

namespace talyx::app {

class TMonitorHub;
class TPollLoop;
class TPollerWindow;
class TRequestChannel;
class TSendPath;

class TPollerHub : public QObject {
  Q_OBJECT

 public:
  TPollerHub(TComPort& port, TMonitorHub& monitorHub, const TSendPath& sendPath,
             TSettingsFile settings, QWidget* windowParent);
  ~TPollerHub() override;

  // Shows the poller window (made, with the channel and the loop, at its first showing).
  void ShowPoller();
  // Null until first shown.
  TPollerWindow* Window() const { return window_; }
  TPollLoop* Loop() const { return loop_.get(); }
  TRequestChannel* Channel() const { return channel_.get(); }

 signals:
  // The user took the rate the bus scan offered: the main window selects and applies it.
  void UseRate(int32_t baud);

 private:
  TComPort& port_;
  TMonitorHub& monitorHub_;
  const TSendPath& sendPath_;
  TSettingsFile settings_;
  QWidget* windowParent_;
  std::unique_ptr<TRequestChannel> channel_;
  std::unique_ptr<TPollLoop> loop_;
  TPollerWindow* window_ = nullptr;
};

}  // namespace talyx::app
