// The window with a device that goes away and comes back, over pseudo-terminal pairs behind a
// symbolic link (as a by-id name is): the device panel, the reconnect, hot-plug events, reset, a
// device another process holds.
#include "app/devices/devicewatch.h"

#include <sys/inotify.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <memory>

#include "app/view/receiveview.h"
#include "app/window/shape.h"
#include "app/window/statusbar.h"
#include "apptesting.h"
#include "support/holderprocess.h"
#include "support/ptypair.h"

namespace talyx::testing {
namespace {

using app::TMainForm;

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

class DeviceWatchTest : public MainFormTest {
 protected:
  // A new far end, and the link pointed at it.
  void PlugIn() {
    far = std::make_unique<PtyPair>();
    ASSERT_TRUE(far->Valid());
    far->CloseSlave();
    std::filesystem::remove(link);
    std::filesystem::create_symlink(far->SlavePath(), link);
  }
  // The device goes and its by-id link with it, as udev removes it: the freed pseudo-terminal's
  // number may be given to another test's pair at once, which the window must not reach.
  void Unplug() {
    far->CloseMaster();
    std::filesystem::remove(link);
  }
  QString DevicePanel() const { return form->StatusBar->PanelText(TMainForm::DevicePanel); }

  void OpenOnLink() {
    PlugIn();
    form = CreateForm();
    form->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->ComPort1.Open(); }, 5000));
  }

  std::string link = folder.File("usb-Test_Adapter-if00-port0");
  ScopedPortMap map{{{1, link}}};
  std::unique_ptr<PtyPair> far;
  std::unique_ptr<TMainForm> form;
};

TEST_F(DeviceWatchTest, ALostDeviceIsNamedAndTheSameDeviceComesBackWithinASecond) {
  OpenOnLink();
  EXPECT_TRUE(DevicePanel().contains(QString::fromStdString(link)));
  const int sendPanelWidth = form->StatusBar->Panel(TMainForm::SendPanel)->width();
  ASSERT_TRUE(far->Send("before;"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return form->RecvCount == 7; }, 5000));

  const auto lostAt = std::chrono::steady_clock::now();
  Unplug();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !form->ComPort1.Open(); }, 5000));
  EXPECT_LT(std::chrono::steady_clock::now() - lostAt, std::chrono::seconds(1));
  EXPECT_TRUE(DevicePanel().startsWith(QStringLiteral("设备已断开")));
  EXPECT_TRUE(DevicePanel().contains(QString::fromStdString(link)));
  EXPECT_TRUE(form->DeviceWatch1->Pending());
  // The port watch's next tick turns the lamp red.
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return form->Shape_ComState->BrushColor() == QColor(255, 0, 0); }, 2000));
  EXPECT_EQ(form->StatusBar->Panel(TMainForm::SendPanel)->width(), sendPanelWidth);
  EXPECT_TRUE(messages.Texts.isEmpty());

  // What came before the loss stays shown and counted.
  EXPECT_EQ(form->Memo_Show->toPlainText(), QStringLiteral("before;"));
  EXPECT_EQ(form->RecvCount, 7);

  // Auto-send ticks while the device is away send nothing and show nothing.
  form->SendMemo->setPlainText(QStringLiteral("tick"));
  form->Edt_Interval->setText(QStringLiteral("100"));
  form->CB_AutoSend->setChecked(true);
  QSignalSpy ticks(form->Timer_AutoSend, &QTimer::timeout);

  // Away: the once-a-second look (and the auto-send timer) is all that runs.
  const double cpuBefore = CpuSeconds();
  const auto awayFrom = std::chrono::steady_clock::now();
  QTest::qWait(1200);
  const double away =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - awayFrom).count();
  EXPECT_LT((CpuSeconds() - cpuBefore) / away, 0.02);
  EXPECT_TRUE(form->DeviceWatch1->Pending());
  EXPECT_GE(ticks.count(), 3);
  EXPECT_TRUE(messages.Texts.isEmpty());
  EXPECT_TRUE(form->CB_AutoSend->isChecked());
  EXPECT_EQ(form->SendCount, 0);

  PlugIn();
  const auto backAt = std::chrono::steady_clock::now();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form->ComPort1.Open(); }, 5000));
  EXPECT_LT(std::chrono::steady_clock::now() - backAt, std::chrono::milliseconds(1500));
  EXPECT_EQ(form->ComPort1.Baud(), 9600);
  EXPECT_TRUE(DevicePanel().startsWith(QStringLiteral("已重新连接")));
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return form->Shape_ComState->BrushColor() == QColor(0, 255, 0); }, 2000));
  EXPECT_FALSE(form->DeviceWatch1->Pending());
  // Auto-send goes on to the new device (a send empties the views), and new bytes are shown.
  const std::vector<uint8_t> got = far->Receive(4);
  EXPECT_EQ(std::string(got.begin(), got.end()), "tick");
  form->CB_AutoSend->setChecked(false);
  ASSERT_TRUE(far->Send("after"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return form->RecvCount == 12; }, 5000));
  EXPECT_TRUE(form->Memo_Show->toPlainText().endsWith(QStringLiteral("after")));
  EXPECT_TRUE(messages.Texts.isEmpty());
}

TEST_F(DeviceWatchTest, AHotplugEventLooksAtOnceAndAResetCancelsThePendingReconnect) {
  OpenOnLink();
  Unplug();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form->DeviceWatch1->Pending(); }, 5000));
  PlugIn();
  // A removal says nothing about the device coming back; an addition makes the look now.
  form->DeviceWatch1->HandleHotplugEvent({"remove", "/dev/ttyUSB1"});
  EXPECT_FALSE(form->ComPort1.Open());
  form->DeviceWatch1->HandleHotplugEvent({"add", "/dev/ttyUSB1"});
  EXPECT_TRUE(form->ComPort1.Open());

  Unplug();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form->DeviceWatch1->Pending(); }, 5000));
  form->Btn_Reset->click();
  EXPECT_FALSE(form->DeviceWatch1->Pending());
  PlugIn();
  form->DeviceWatch1->HandleHotplugEvent({"add", "/dev/ttyUSB1"});
  EXPECT_FALSE(form->ComPort1.Open());
}

TEST_F(DeviceWatchTest, WithReconnectOffALossIsOnlyShown) {
  OpenOnLink();
  form->DeviceWatch1->SetAutoReconnect(false);
  Unplug();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !form->ComPort1.Open(); }, 5000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !DevicePanel().isEmpty(); }, 5000));
  EXPECT_TRUE(DevicePanel().startsWith(QStringLiteral("设备已断开")));
  EXPECT_FALSE(form->DeviceWatch1->Pending());
  PlugIn();
  form->DeviceWatch1->HandleHotplugEvent({"add", "/dev/ttyUSB1"});
  EXPECT_FALSE(form->ComPort1.Open());
}

TEST_F(DeviceWatchTest, ADeviceAnotherProcessHoldsIsNeverOpenedByTheLookUntilItIsFree) {
  OpenOnLink();
  Unplug();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form->DeviceWatch1->Pending(); }, 5000));
  PlugIn();
  HolderProcess holder(far->SlavePath(), "holder");
  ASSERT_TRUE(holder.Holding());
  // Every open of the device, whatever the path it goes through.
  const int opens = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(opens, 0);
  ASSERT_GE(inotify_add_watch(opens, far->SlavePath().c_str(), IN_OPEN), 0);
  auto opened = [opens] {
    char events[4096];
    return read(opens, events, sizeof events) > 0;
  };

  form->DeviceWatch1->HandleHotplugEvent({"add", "/dev/ttyUSB1"});
  form->DeviceWatch1->Look();
  EXPECT_FALSE(opened());
  EXPECT_FALSE(form->ComPort1.Open());
  EXPECT_TRUE(form->DeviceWatch1->Pending());

  holder.Kill();
  form->DeviceWatch1->Look();
  EXPECT_TRUE(opened());
  EXPECT_TRUE(form->ComPort1.Open());
  EXPECT_FALSE(form->DeviceWatch1->Pending());
  EXPECT_TRUE(messages.Texts.isEmpty());
  close(opens);
}

}  // namespace
}  // namespace talyx::testing
