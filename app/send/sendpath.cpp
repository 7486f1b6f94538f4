// TSendPath: the main window's send path, auto-send and the send box file.
#include "app/send/sendpath.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTimer>
#include <optional>
#include <utility>

#include "app/view/receiveviewtext.h"
#include "errors/exception.h"
#include "platform/clock.h"
#include "port/comport.h"
#include "text/charset.h"
#include "text/hexframe.h"
#include "text/rtfreader.h"

namespace talyx::app {

struct TSendPath::Shared {
  // Local event loops of the waits under way, innermost last.
  std::vector<QEventLoop*> Loops;
  // Closes of the port so far.
  uint64_t PortCloses = 0;
  bool Stopped = false;

  void QuitLoops() {
    for (QEventLoop* loop : Loops) loop->quit();
  }
};

namespace {

// Counts a send as running for its whole extent, however it ends; the outermost send's end
// calls ended.
class RunningScope {
 public:
  RunningScope(int& running, std::function<void()> ended)
      : running_(running), ended_(std::move(ended)) {
    ++running_;
  }
  ~RunningScope() {
    if (--running_ == 0) ended_();
  }
  RunningScope(const RunningScope&) = delete;
  RunningScope& operator=(const RunningScope&) = delete;

 private:
  int& running_;
  std::function<void()> ended_;
};

}  // namespace

TSendPath::TSendPath(TSendWindow& window, TWindowState& state, TComPort& port)
    : window_(window),
      state_(state),
      port_(port),
      charset_(formats::LocaleCharset()),
      shared_(std::make_shared<Shared>()) {
  // The component keeps its users until it is destroyed, possibly after this object: the
  // callback holds only the shared state.
  port_.AddPortUser({0, [shared = shared_](TCustomComPort&, bool opening) {
                       if (opening) return;
                       ++shared->PortCloses;
                       shared->QuitLoops();
                     }});
}

TSendPath::~TSendPath() = default;

void TSendPath::Btn_SendClick() {
  const RunningScope running(running_, [this] { SendEnded(); });
  window_.ClearViews();

  QString text = window_.SendBox().toPlainText();
  text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  if (window_.AddCenter()) text += QLatin1Char('\r');

  if (!port_.Open()) {
    window_.UncheckAutoSend();
    window_.ShowNotice(QCoreApplication::translate("TSendPath", "串口未打开。"));
    return;
  }

  const uint64_t closesBefore = shared_->PortCloses;
  // The pause after each chunk. A close of the window or the application's quitting ends the
  // send in any pause. A close of the port ends it in a pause with chunks still to come (the
  // next PutString would open the port again), but in the final pause every chunk is queued:
  // the send is complete and is counted.
  const auto pauseGoesOn = [&](bool last) {
    const bool waited = WaitOutFree(ChunkRoom);
    if (shared_->Stopped) return false;
    return last || (waited && !MustStop() && shared_->PortCloses == closesBefore);
  };
  uint32_t counted = 0;
  if (window_.HexSend()) {
    const formats::HexFrame frame = formats::BuildHexFrame(text.toStdString(), charset_);
    state_.RegCount = frame.RegCount;
    for (size_t i = 0; i < frame.Chunks.size(); ++i) {
      SendHex(frame.Chunks[i]);
      if (!pauseGoesOn(i + 1 == frame.Chunks.size())) return;
    }
    counted = static_cast<uint32_t>(frame.StrippedLength);
  } else {
    const std::string bytes = formats::FromUtf8(text.toStdString(), charset_);
    // The last piece is empty when the length is a multiple of 16, the empty text included.
    const size_t pieces = bytes.size() / ChunkRoom + 1;
    for (size_t i = 0; i < pieces; ++i) {
      port_.PutString(bytes.substr(i * ChunkRoom, ChunkRoom));
      if (!pauseGoesOn(i + 1 == pieces)) return;
    }
    counted = static_cast<uint32_t>(bytes.size());
  }

  state_.SendCount = static_cast<int32_t>(static_cast<uint32_t>(state_.SendCount) + counted);
  window_.ShowSendCount(state_.SendCount);
  if (window_.ClearAfterSend()) window_.SendBox().clear();
}

void TSendPath::SendHex(const std::string& digits) {
  const std::vector<uint8_t> bytes = formats::HexDigitsToBytes(digits);
  port_.PutBlock(bytes.data(), bytes.size());
}

bool TSendPath::WaitOutFree(uint32_t n) {
  // Pending events are handled once before the room is looked at.
  QCoreApplication::processEvents();
  if (MustStop()) return false;
  while (int64_t{port_.OutSize()} - int64_t{port_.OutBuffUsed()} < int64_t{n}) {
    if (!Pause(RoomPauseMs)) return false;
  }
  return Pause(ChunkPauseMs);
}

bool TSendPath::Pause(int ms) {
  const uint64_t closesBefore = shared_->PortCloses;
  QEventLoop loop;
  QTimer timer;
  timer.setSingleShot(true);
  bool elapsed = false;
  QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
    elapsed = true;
    loop.quit();
  });
  timer.start(ms);
  shared_->Loops.push_back(&loop);
  loop.exec();
  shared_->Loops.pop_back();
  // A loop that ended before its time was ended by a close, by Stop, or by the application
  // leaving all its event loops to quit.
  if (!elapsed && !shared_->Stopped && shared_->PortCloses == closesBefore) Stop();
  return !MustStop() && shared_->PortCloses == closesBefore;
}

void TSendPath::SendEnded() {
  lastSendEndUs_ = platform::MicrosecondClock();
  // A handler may remove itself or others while the handlers are told.
  const std::map<int, std::function<void()>> handlers = endedHandlers_;
  for (const auto& [id, handler] : handlers) {
    if (endedHandlers_.contains(id)) handler();
  }
}

int TSendPath::AddSendEndedHandler(std::function<void()> ended) const {
  const int id = nextHandlerId_++;
  endedHandlers_.emplace(id, std::move(ended));
  return id;
}

void TSendPath::RemoveSendEndedHandler(int id) const { endedHandlers_.erase(id); }

bool TSendPath::MustStop() const { return shared_->Stopped || !port_.Open(); }

void TSendPath::Stop() {
  shared_->Stopped = true;
  shared_->QuitLoops();
}

void TSendPath::CB_AutoSendClick() {
  QTimer& timer = window_.AutoSendTimer();
  if (!window_.AutoSend()) {
    timer.stop();
    return;
  }
  const int32_t interval = window_.AutoSendInterval();
  timer.setInterval(interval);
  // A timer of no interval never fires (a zero-interval Qt timer would fire without pause).
  if (interval > 0) {
    timer.start();
  } else {
    timer.stop();
  }
}

void TSendPath::Timer_AutoSendTimer() {
  if (running_ > 0) return;  // nested sends would pile up without bound
  // The device is away and coming back: the tick sends nothing and shows nothing.
  if (window_.DeviceReturning()) return;
  Btn_SendClick();
}

bool TSendPath::Edt_IntervalKeyPress(const QKeyEvent& event) const {
  const QString typed = event.text();
  if (typed.isEmpty()) return false;  // not a character: arrows, function keys, ...
  // Keys that are editing or focus keys rather than typed characters.
  switch (event.key()) {
    case Qt::Key_Delete:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Escape:
      return false;
    default:
      break;
  }
  const char16_t c = typed.front().unicode();
  return !((c >= '0' && c <= '9') || c == 8);
}

bool TSendPath::SendMemoKeyPress(const QKeyEvent& event) {
  const bool enter = event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter;
  if (!enter || !window_.EnterSend()) return false;
  // The Enter is discarded whether or not the send succeeds; a failure goes to the report.
  try {
    Btn_SendClick();
  } catch (const std::exception& error) {
    window_.ShowError(error);
  }
  return true;
}

void TSendPath::Btn_OpenFileClick() {
  QFileDialog& dialog = window_.SendFileDialog();
  if (dialog.exec() != QDialog::Accepted) return;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return;
  LoadSendFile(files.front());
}

void TSendPath::LoadSendFile(const QString& path) {
  const auto cannotOpen = [&] {
    return Exception(
        QCoreApplication::translate("TSendPath", "不能打开文件 %1").arg(path).toStdString());
  };
  // Opened without blocking, so that a FIFO does not hold the window waiting for a writer; only
  // a regular file of at most MaxSendFileSize bytes is read (a device could give bytes without
  // end).
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) throw cannotOpen();
  QFile file;
  if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
    ::close(fd);
    throw cannotOpen();
  }
  struct stat status {};
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size > MaxSendFileSize) {
    throw cannotOpen();
  }
  // One byte more than allowed tells a file that grew since it was looked at.
  const QByteArray data = file.read(MaxSendFileSize + 1);
  if (file.error() != QFileDevice::NoError || data.size() > MaxSendFileSize) throw cannotOpen();
  std::string_view bytes(data.constData(), static_cast<size_t>(data.size()));
  std::string text;
  if (formats::IsRtf(bytes)) {
    std::optional<std::string> document = formats::ReadRtf(bytes);
    if (!document) throw cannotOpen();
    text = std::move(*document);
  } else {
    if (charset_ == "UTF-8" && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    text =
        NormalizedLineEnds(QString::fromStdString(formats::ToUtf8(bytes, charset_))).toStdString();
  }
  window_.SendBox().setPlainText(QString::fromStdString(text));
}

void TSendPath::Btn_ClearMomeClick() { window_.SendBox().clear(); }

}  // namespace talyx::app
