// TMonitorHub: the tap, the sent-bytes hook and the idle timer that feed the bus monitor.
#include "app/monitor/monitorhub.h"

#include <QTimer>
#include <algorithm>

#include "platform/clock.h"
#include "port/comport.h"

namespace talyx::app {

namespace {

modbus::LineFormat LineOf(TComPort& port) {
  modbus::LineFormat line;
  line.BaudRate = static_cast<uint32_t>(std::max(port.Baud(), 0));
  line.DataBits = static_cast<uint8_t>(port.DataBits());
  line.Parity = port.Parity() != TParity::pNone;
  // The component counts stop bits; five data bits always go with one and a half.
  line.StopBits = line.DataBits == 5     ? modbus::StopBits::OneAndHalf
                  : port.StopBits() >= 2 ? modbus::StopBits::Two
                                         : modbus::StopBits::One;
  return line;
}

}  // namespace

TMonitorHub::TMonitorHub(TComPort& port, TReceivePath& receivePath, QWidget* windowParent)
    : port_(port), receivePath_(receivePath), windowParent_(windowParent) {
  idleTimer_ = new QTimer(this);
  idleTimer_->setInterval(IdleMs);
  connect(idleTimer_, &QTimer::timeout, this, [this] { Idle(); });
}

TMonitorHub::~TMonitorHub() {
  if (feeding_) {
    receivePath_.SetTap(nullptr);
    port_.SetSentBytesHook(nullptr);
  }
  delete window_;
}

void TMonitorHub::ShowMonitor() {
  if (window_ == nullptr) {
    store_ = std::make_unique<TFrameStore>();
    feed_.AddSink(store_.get());
    window_ = new TMonitorWindow(*store_, feed_, windowParent_);
  }
  StartFeeding();
  window_->show();
  window_->raise();
  window_->activateWindow();
}

void TMonitorHub::StartFeeding() {
  if (feeding_) return;
  feeding_ = true;
  feed_.SetLine(LineOf(port_));
  receivePath_.SetTap(this);
  port_.SetSentBytesHook(feed_.SentHook());
  idleTimer_->start();
}

void TMonitorHub::Received(const std::string& bytes, const std::vector<uint64_t>& timesUs) {
  feed_.SetLine(LineOf(port_));
  feed_.Received(bytes, timesUs);
}

void TMonitorHub::Idle() {
  const uint64_t now = platform::MicrosecondClock();
  // Bytes read before now and not yet taken would arrive after the feed had moved past them.
  if (port_.InBuffUsed() != 0) return;
  // A new line format starts the monitor afresh; it must be in place before sent blocks come.
  feed_.SetLine(LineOf(port_));
  feed_.Idle(now);
}

}  // namespace talyx::app
