// Window titles as an X server holds them: under a private Xvfb, with the xcb platform, each
// window's _NET_WM_NAME (read with xprop) is the title the window set, with nothing added.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QFileDialog>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "app/devices/portmapdialog.h"
#include "app/dialogs/about.h"
#include "app/dialogs/finddialog.h"
#include "app/dialogs/optionsdialog.h"
#include "app/shell/application.h"
#include "app/shell/language.h"
#include "apptesting.h"
#include "modbus/demodevice.h"
#include "port/ui/comselectform.h"

extern char** environ;

namespace talyx::testing {
namespace {

constexpr int StartLimitMs = 30000;
constexpr int MapLimitMs = 30000;

// An Xvfb server on a display it picks itself (-displayfd), stopped by its process id.
class XvfbServer {
 public:
  XvfbServer() {
    int fds[2];
    if (pipe(fds) != 0) return;
    // Only the write end goes to the server; the display number comes back through it.
    fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::string fd = std::to_string(fds[1]);
    std::vector<std::string> arguments{"Xvfb", "-displayfd", fd,  "-nolisten",
                                       "tcp",  "-screen",    "0", "1280x1024x24"};
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    if (posix_spawnp(&pid_, "Xvfb", &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (pid_ > 0) display_ = ReadDisplayNumber(fds[0]);
    close(fds[0]);
  }
  ~XvfbServer() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  // ":n", or "" when the server did not start.
  const std::string& Display() const { return display_; }

 private:
  // The number the server writes, with a line break, once it listens.
  static std::string ReadDisplayNumber(int fd) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(StartLimitMs);
    std::string number;
    while (std::chrono::steady_clock::now() < deadline) {
      pollfd ready{fd, POLLIN, 0};
      if (poll(&ready, 1, 100) <= 0) continue;
      char c;
      if (read(fd, &c, 1) != 1) return "";
      if (c == '\n') return ":" + number;
      number += c;
    }
    return "";
  }

  pid_t pid_ = -1;
  std::string display_;
};

QString RunX11Tool(const QString& program, const QStringList& arguments) {
  QProcess process;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
  process.setProcessEnvironment(environment);
  process.start(program, arguments);
  if (!process.waitForFinished(10000) || process.exitCode() != 0) return QString();
  return QString::fromUtf8(process.readAllStandardOutput());
}

QString WindowId(const QWidget* window) {
  return QStringLiteral("0x%1").arg(window->winId(), 0, 16);
}

bool IsViewable(const QWidget* window) {
  return RunX11Tool(QStringLiteral("xwininfo"), {QStringLiteral("-id"), WindowId(window)})
      .contains(QStringLiteral("Map State: IsViewable"));
}

// The window's _NET_WM_NAME; "?" when it has none.
QString NetWmName(const QWidget* window) {
  const QString output = RunX11Tool(
      QStringLiteral("xprop"), {QStringLiteral("-id"), WindowId(window), QStringLiteral("-notype"),
                                QStringLiteral("_NET_WM_NAME")});
  const QRegularExpressionMatch match =
      QRegularExpression(QStringLiteral("^_NET_WM_NAME = \"(.*)\"\\s*$")).match(output);
  return match.hasMatch() ? match.captured(1) : QStringLiteral("?");
}

TEST(WindowTitles, UnderX11EveryWindowShowsTheTitleItSetsAndNoApplicationName) {
  const XvfbServer server;
  ASSERT_FALSE(server.Display().empty()) << "Xvfb did not start (Debian xvfb)";
  qputenv("DISPLAY", QByteArray::fromStdString(server.Display()));
  qputenv("QT_QPA_PLATFORM", "xcb");
  int argc = 1;
  char name[] = "talyx";
  char* argv[] = {name, nullptr};
  app::TApplication application(argc, argv);
  ASSERT_TRUE(app::SetInterfaceLanguage(app::TLanguage::lgChinese));

  ScopedDeviceProviders providers{{std::make_shared<modbus::DemoDeviceProvider>()}};
  ScopedPortMap map{{{1, modbus::DemoDeviceName}}};
  TempFolder folder;
  MessageRecorder messages;
  app::TMainForm form{app::TSettingsFile(folder.File("talyx.INI"))};
  form.show();
  form.SaveDialog1->show();
  form.OpenDialog1->show();
  form.FindDialog1->show();
  form.PortMapAction->trigger();
  form.OptionsAction->trigger();
  app::TAboutBox about;
  about.show();
  TComSelectForm selection([](int number) { return number == 3; });
  selection.show();

  const std::vector<std::pair<QWidget*, QString>> windows{
      {&form, QStringLiteral("TALYX串口通信控制器")},
      {&selection, QStringLiteral("Select Port")},
      {form.SaveDialog1, QStringLiteral("保存为")},
      {form.OpenDialog1, QStringLiteral("打开")},
      {form.FindDialog1, QStringLiteral("查找")},
      {form.PortMapDialog1, QStringLiteral("端口映射")},
      {form.OptionsDialog1, QStringLiteral("选项")},
      {&about, QStringLiteral("关于")},
  };
  for (const auto& [window, title] : windows) {
    SCOPED_TRACE(title.toStdString());
    ASSERT_TRUE(QTest::qWaitFor([&] { return IsViewable(window); }, MapLimitMs))
        << "not mapped, as xwininfo (Debian x11-utils) tells";
    EXPECT_EQ(NetWmName(window).toStdString(), title.toStdString());
  }
  EXPECT_TRUE(messages.Texts.empty()) << messages.Texts.join('\n').toStdString();
}

}  // namespace
}  // namespace talyx::testing
