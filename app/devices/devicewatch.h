// TDeviceWatch: brings the window's port back when its device returns after going away.
//
// Principles of operation:
// - The port component closes the port itself when its device goes away and raises
//   OnDeviceLost; the window then calls DeviceLost. With automatic reconnect on (the default) a
//   reconnect is pending from then on: once a second (LookIntervalMs) the watch looks whether the
//   path the port map gives the port's number exists (a symbolic link, such as a by-id name, is
//   resolved anew at every look) and whether the port opens on it with its unchanged settings.
//   The number keeps its path while the program runs, so the same adapter comes back on the same
//   number whatever number a fresh default map would give it.
// - A device that another process holds (platform/portholders.h) is never opened by a look: an
//   open raises DTR and RTS even when it then fails. The look after its holder lets go opens it.
// - Hot-plug events (udev, where a daemon runs) make the next look happen at once; nothing
//   replaces the once-a-second look, since pseudo-terminals and systems without udev make none.
// - Between looks nothing runs: no polling of the device, no thread.
// - A network port is looked for by connecting to its server on a worker thread, at most once a
//   LookIntervalMs and one attempt at a time; a connection made is the one the reopen uses (a
//   server opens its device for every connection, so none is made only to look).
// - Cancel (the window's reset, another port chosen) ends a pending reconnect.
// - The status text says what happened, for the window's device panel.
// - Main thread only.
#pragma once

#include <QObject>
#include <QString>
#include <chrono>
#include <memory>
#include <string>

#include "platform/hotplugmonitor.h"
#include "platform/networkconnect.h"

class QSocketNotifier;
class QTimer;

namespace talyx {
class TComPort;
}

namespace talyx::app {

class TDeviceWatch : public QObject {
  Q_OBJECT

 public:
  static constexpr int LookIntervalMs = 1000;

  // listenForHotplug: whether to open the udev monitor (tests feed events by hand instead).
  TDeviceWatch(TComPort& port, bool listenForHotplug, QObject* parent = nullptr);
  ~TDeviceWatch() override;

  bool AutoReconnect() const { return autoReconnect_; }
  // Turning it off cancels a pending reconnect.
  void SetAutoReconnect(bool on);
  bool Pending() const { return pending_; }
  // The last loss or reconnect, for the status panel; "" when none happened or after Cancel.
  const QString& StatusText() const { return status_; }

  // The port's device went away (the port is closed or closing).
  void DeviceLost();
  void Cancel();
  // One hot-plug event: a device added or changed makes a pending reconnect look at once.
  void HandleHotplugEvent(const platform::HotplugEvent& event);
  // Looks for the device once; reopens the port when it is there.
  void Look();

 signals:
  void StatusChanged(const QString& text);
  void Reconnected();

 private:
  void SetStatus(const QString& text);
  // Opens the port again; the reconnect ends when it opened.
  void Reopen();
  void LookAcrossNetwork(const std::string& value);
  void NetworkConnectEnded(const std::string& value);
  void DropNetworkConnect();
  void ReadHotplugEvents();
  QString DeviceName() const;

  TComPort& port_;
  QTimer* timer_;
  std::unique_ptr<platform::HotplugMonitor> monitor_;
  QSocketNotifier* notifier_ = nullptr;
  bool autoReconnect_ = true;
  bool pending_ = false;
  int number_ = 0;
  QString status_;
  std::unique_ptr<platform::PendingConnect> connect_;
  QSocketNotifier* connectNotifier_ = nullptr;
  std::chrono::steady_clock::time_point lastConnect_{};
};

}  // namespace talyx::app
