// TMonitorHub: the tap, the sent-bytes hook and the idle timer that feed the bus monitor and the
// capture.
#include "app/monitor/monitorhub.h"

#include <QDateTime>
#include <QTimer>
#include <algorithm>

#include "app/monitor/precisetimer.h"
#include "app/shell/messagebox.h"
#include "platform/clock.h"
#include "port/comport.h"

namespace talyx::app {

modbus::LineFormat PortLineFormat(TComPort& port) {
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

TMonitorHub::TMonitorHub(TComPort& port, TReceivePath& receivePath, QWidget* windowParent)
    : port_(port), receivePath_(receivePath), windowParent_(windowParent) {
  idleTimer_ = new QTimer(this);
  idleTimer_->setInterval(IdleMs);
  connect(idleTimer_, &QTimer::timeout, this, [this] { Idle(); });
  lookTimer_ = new TPreciseTimer([this] { Look(); }, this);
}

TMonitorHub::~TMonitorHub() {
  if (writer_ != nullptr) writer_->Stop();
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
    window_->Model->SetRegisterFormat(registerFormat_);
  }
  StartFeeding();
  window_->show();
  window_->raise();
  window_->activateWindow();
}

void TMonitorHub::SetRegisterFormat(formats::TRegisterFormat format) {
  registerFormat_ = format;
  if (window_ != nullptr) window_->Model->SetRegisterFormat(format);
}

void TMonitorHub::StartFeeding() {
  if (feeding_) return;
  feeding_ = true;
  feed_.SetLine(PortLineFormat(port_));
  receivePath_.SetTap(this);
  port_.SetSentBytesHook(feed_.SentHook());
  idleTimer_->start();
}

void TMonitorHub::Received(const std::string& bytes, const std::vector<uint64_t>& timesUs) {
  feed_.SetLine(PortLineFormat(port_));
  feed_.Received(bytes, timesUs);
}

bool TMonitorHub::StartCapture(const capture::TCaptureSettings& settings) {
  if (writer_ != nullptr) return true;
  auto writer = std::make_unique<capture::TCaptureWriter>(settings);
  const std::string failure = writer->Start();
  if (!failure.empty()) {
    ShowMessage(tr("无法开始捕获：%1").arg(QString::fromStdString(failure)), MessageKind::Error);
    return false;
  }
  wallOffsetUs_ = QDateTime::currentMSecsSinceEpoch() * 1000 -
                  static_cast<int64_t>(platform::MicrosecondClock());
  writer_ = std::move(writer);
  captureFiles_.clear();
  feed_.AddSink(this);
  StartFeeding();
  emit CaptureChanged(true);
  return true;
}

void TMonitorHub::StopCapture() {
  if (writer_ == nullptr) return;
  feed_.RemoveSink(this);
  writer_->Stop();
  captureFiles_ = writer_->Files();
  writer_.reset();
  emit CaptureChanged(false);
}

void TMonitorHub::OnEvents(const std::vector<modbus::RtuEvent>& events) {
  writer_->Add(events, wallOffsetUs_);
}

void TMonitorHub::CheckCapture() {
  if (writer_ == nullptr || writer_->Running()) return;
  const std::string failure = writer_->Failure();
  StopCapture();
  ShowMessage(tr("捕获已停止：%1").arg(QString::fromStdString(failure)), MessageKind::Error);
}

uint64_t TMonitorHub::Idle() {
  CheckCapture();
  const uint64_t now = platform::MicrosecondClock();
  // The line is known up to where the engine has read it (bytes may wait in the driver while
  // it gathers a fast stream or waits for a processor), taken before the ring is looked at.
  const uint64_t readUpTo = port_.ReadUpTo();
  // Bytes read and not yet taken would arrive after the feed had moved past them.
  if (port_.InBuffUsed() != 0) return 0;
  // A new line format starts the monitor afresh; it must be in place before sent blocks come.
  feed_.SetLine(PortLineFormat(port_));
  const uint64_t upTo = std::min(now, readUpTo);
  feed_.Idle(upTo);
  return upTo;
}

void TMonitorHub::LookAt(uint64_t atUs) {
  // An earlier look already asked for comes first.
  if (lookTimer_->Active() && lookAtUs_ <= atUs) return;
  lookAtUs_ = atUs;
  Look();
}

void TMonitorHub::Look() {
  const uint64_t now = platform::MicrosecondClock();
  if (lookAtUs_ > now) {
    lookTimer_->Start(lookAtUs_);
    return;
  }
  lookTimer_->Stop();
  // The receive path takes the bytes the port holds at its next event; the engine reads what
  // waits in the driver at its next look (within its 50 ms period on a quiet line).
  if (Idle() < lookAtUs_) lookTimer_->Start(now + 1000);
}

}  // namespace talyx::app
