// RunDemo: the headless demonstration (talyx --demo).
#include "app/shell/demo.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>
#include <QTabWidget>
#include <QTemporaryFile>
#include <QTextDocument>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "app/poller/pollerhub.h"
#include "app/poller/pollertablemodel.h"
#include "app/poller/pollerwindow.h"
#include "app/poller/pollloop.h"
#include "app/poller/pollplot.h"
#include "app/shell/messagebox.h"
#include "app/view/receiveview.h"
#include "app/window/combobox.h"
#include "app/window/commmain.h"
#include "app/window/statusbar.h"
#include "modbus/demodevice.h"
#include "platform/hexbytes.h"
#include "platform/portmap.h"
#include "text/hexframe.h"

namespace talyx::app {

namespace {

const QString kRequest = QStringLiteral("01 03 00 00 00 0A");
constexpr int kRegisters = 10;
// The reply's time limit; with start-up and the screenshot the run stays within 10 s.
constexpr int kReplyLimitMs = 6000;
constexpr int kWatchLimitMs = 1500;
// The poller polls this long before its pictures.
constexpr int kPollMs = 2000;

int Fail(const QString& reason) {
  std::fprintf(stderr, "talyx --demo: %s\n", reason.toStdString().c_str());
  return 1;
}

void Print(const QString& text) { std::printf("%s\n", text.toStdString().c_str()); }

// Runs the event loop until done() holds (true) or the time limit passed (false).
bool WaitUntil(const std::function<bool()>& done, int limitMs) {
  const QDeadlineTimer deadline(limitMs);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QEventLoop loop;
    QTimer::singleShot(10, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return true;
}

// Every message box is answered at once and remembered: any message means a failed step.
class MessageCollector {
 public:
  MessageCollector()
      : previous_(SetMessageBoxHook([this](const MessageRequest& request) {
          Texts << request.Text;
          return QMessageBox::Ok;
        })) {}
  ~MessageCollector() { SetMessageBoxHook(previous_); }
  MessageCollector(const MessageCollector&) = delete;
  MessageCollector& operator=(const MessageCollector&) = delete;

  QStringList Texts;

 private:
  MessageBoxHook previous_;
};

// The user's own runtime folder when there is one, else the temporary folder.
QDir ScreenshotFolder() {
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  return runtime.isEmpty() ? QDir::temp() : QDir(runtime);
}

// Writes the window's picture as PNG to a new file in folder and returns its path; "" when that
// failed. The file is created exclusively (O_EXCL), readable by its owner only, with a random
// part in its name: no other user can foresee the name, nor lay a file or a link there first
// for the picture to be written through.
QString SaveScreenshot(QWidget& window, const QDir& folder,
                       const QString& pattern = QStringLiteral("talyx-demo-XXXXXX.png")) {
  QTemporaryFile file(folder.filePath(pattern));
  file.setAutoRemove(false);
  if (!file.open()) return QString();
  if (!window.grab().save(&file, "PNG")) {
    file.remove();
    return QString();
  }
  return file.fileName();
}

// Two rows on the demo device: ten holding registers with three named, the temperature ticked
// for the plot, and two input registers with one named.
PollSet DemoPollSet() {
  PollRow registers;
  registers.Count = 10;
  registers.PeriodMs = 100;
  registers.Registers = {{"温度", 0, formats::TRegisterFormat::rfU16, 0.1, 0, "°C"},
                         {"压力", 1, formats::TRegisterFormat::rfU16, 1, 0, "kPa"},
                         {"状态字", 2, formats::TRegisterFormat::rfHex, 1, 0, ""}};
  PollRow inputs;
  inputs.Function = PollFunction::ReadInputRegisters;
  inputs.Count = 2;
  inputs.PeriodMs = 200;
  inputs.Registers = {{"电压", 1, formats::TRegisterFormat::rfU16, 0.1, 0, "V"}};
  PollSet set;
  set.Rows = {registers, inputs};
  return set;
}

// Opens the poller on the demo device, polls for kPollMs and writes the pictures of its values and
// of its plot in folder; 0 when both were written. The poll set goes to the loop and the tables
// only, never to a file.
int RunPollerDemo(TMainForm& form, const QDir& folder) {
  form.PollerAction->trigger();
  TPollerWindow& window = *form.PollerHub->Window();
  TPollLoop& loop = *form.PollerHub->Loop();
  loop.SetPollSet(DemoPollSet());
  window.Values->Reset();
  window.Stats->Reset();
  window.Values->SetPlotted(0, true);
  window.Plot->SetRange(TPollPlot::TRange::prAll);
  loop.Start();
  const QDeadlineTimer polled(kPollMs);
  WaitUntil([&] { return polled.hasExpired(); }, 2 * kPollMs);
  const QString valuesPath =
      SaveScreenshot(window, folder, QStringLiteral("talyx-demo-poller-XXXXXX.png"));
  window.Tabs->setCurrentWidget(window.PlotPage);
  // The plot draws on its timer once shown.
  const QDeadlineTimer drawn(3 * TPollPlot::RedrawIntervalMs);
  WaitUntil([&] { return drawn.hasExpired(); }, 4 * TPollPlot::RedrawIntervalMs);
  loop.Stop();
  const QString plotPath =
      SaveScreenshot(window, folder, QStringLiteral("talyx-demo-plot-XXXXXX.png"));
  if (valuesPath.isEmpty() || plotPath.isEmpty()) {
    return Fail(QStringLiteral("the poller's screenshots could not be written in ") +
                folder.path());
  }
  Print(QStringLiteral("Poller screenshot: ") + valuesPath);
  Print(QStringLiteral("Plot screenshot: ") + plotPath);
  return 0;
}

}  // namespace

int RunDemo() {
  MessageCollector messages;
  const int demoPort = platform::PortNumberOf(modbus::DemoDeviceName);
  if (demoPort <= 0) return Fail(QStringLiteral("the port map lists no demo device"));

  // An empty path reads as a missing settings file (every key at its first-start default), and
  // the window is never closed, so nothing is written.
  TMainForm form{TSettingsFile(std::string())};
  // The list holds Com1 to Com4; on a machine with more serial devices the demo device comes
  // later, and the list is lengthened to reach it.
  while (form.CB_ComNum->count() < demoPort) {
    form.CB_ComNum->addItem(QStringLiteral("Com%1").arg(form.CB_ComNum->count() + 1));
  }
  form.CB_ComNum->setCurrentIndex(demoPort - 1);
  form.show();  // FormShow: counters reset, ComPortInit opens the port
  if (!form.ComPort1.Open()) {
    return Fail(QStringLiteral("the demo device (Com%1) did not open: %2")
                    .arg(demoPort)
                    .arg(messages.Texts.join(QStringLiteral("; "))));
  }

  form.CB_hexSend->setChecked(true);
  form.CB_HexGet->setChecked(true);
  form.SendMemo->setPlainText(kRequest);
  form.Btn_Send->click();
  const bool replied = WaitUntil(
      [&] {
        return !messages.Texts.isEmpty() || (!form.re_dec->document()->isEmpty() &&
                                             form.re_dec->document()->blockCount() >= kRegisters);
      },
      kReplyLimitMs);

  // The port watch paints the lamp and fills the status bar at its first tick (500 ms): the
  // screenshot waits for it.
  WaitUntil([&] { return !form.StatusBar->PanelText(TMainForm::VersionPanel).isEmpty(); },
            kWatchLimitMs);

  const formats::HexFrame frame = formats::BuildHexFrame(kRequest.toStdString(), "UTF-8");
  const std::vector<uint8_t> request = formats::HexDigitsToBytes(frame.Digits);
  const QString sent =
      QString::fromLatin1(platform::HexBytes(std::string(request.begin(), request.end())));
  Print(QStringLiteral("Demo device on Com%1 (%2)")
            .arg(demoPort)
            .arg(QString::fromStdString(platform::CurrentPortMap().PathOf(demoPort))));
  Print(QStringLiteral("Sent: ") + sent.trimmed());
  form.ReceivePath.Display().Flush();
  Print(QStringLiteral("Receive view:\n") + form.Memo_Show->toPlainText());
  Print(QStringLiteral("Register view:\n") + form.re_dec->toPlainText());

  const QDir shotFolder = ScreenshotFolder();
  const QString shotPath = SaveScreenshot(form, shotFolder);
  if (shotPath.isEmpty()) {
    return Fail(QStringLiteral("the screenshot could not be written in ") + shotFolder.path());
  }
  Print(QStringLiteral("Screenshot: ") + shotPath);

  if (!messages.Texts.isEmpty()) return Fail(messages.Texts.join(QStringLiteral("; ")));
  if (!replied) {
    return Fail(QStringLiteral("the register view did not show %1 lines within %2 ms")
                    .arg(kRegisters)
                    .arg(kReplyLimitMs));
  }
  const int pollerCode = RunPollerDemo(form, shotFolder);
  if (!messages.Texts.isEmpty()) return Fail(messages.Texts.join(QStringLiteral("; ")));
  return pollerCode;
}

}  // namespace talyx::app
