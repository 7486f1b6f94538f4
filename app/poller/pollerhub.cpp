// TPollerHub: the poller's parts, made at the first showing.
#include "app/poller/pollerhub.h"

#include "app/poller/pollerwindow.h"
#include "app/poller/pollloop.h"
#include "app/poller/requestchannel.h"

namespace talyx::app {

TPollerHub::TPollerHub(TComPort& port, TMonitorHub& monitorHub, const TSendPath& sendPath,
                       TSettingsFile settings, QWidget* windowParent)
    : port_(port),
      monitorHub_(monitorHub),
      sendPath_(sendPath),
      settings_(std::move(settings)),
      windowParent_(windowParent) {}

TPollerHub::~TPollerHub() {
  // The window uses the loop, the loop the channel.
  delete window_;
  loop_.reset();
  channel_.reset();
}

void TPollerHub::ShowPoller() {
  if (window_ == nullptr) {
    channel_ = std::make_unique<TRequestChannel>(port_, monitorHub_, sendPath_);
    loop_ = std::make_unique<TPollLoop>(port_, *channel_);
    window_ = new TPollerWindow(*loop_, *channel_, port_, settings_, windowParent_);
    connect(window_, &TPollerWindow::UseRate, this, &TPollerHub::UseRate);
  }
  window_->show();
  window_->raise();
  window_->activateWindow();
}

}  // namespace talyx::app
