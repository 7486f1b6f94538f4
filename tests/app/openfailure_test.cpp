// Why the port failed to open: the box keeps its one text and says the cause below it, and the
// device panel shows the cause, for a missing device, a refused permission and a device in use.
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QLabel>
#include <memory>

#include "app/window/statusbar.h"
#include "apptesting.h"
#include "platform/platformerror.h"
#include "support/holderprocess.h"
#include "support/ptypair.h"

namespace talyx::testing {
namespace {

using app::TMainForm;

class OpenFailureTest : public MainFormTest {
 protected:
  void TearDown() override { form.reset(); }

  // Shows the window (COM1 chosen) and returns the cause its one box gives below the fixed
  // text, which the device panel shows as well.
  QString ShowFailingOnce() {
    form = CreateForm();
    form->show();
    EXPECT_FALSE(form->ComPort1.Open());
    EXPECT_EQ(messages.Texts, QStringList{QStringLiteral("串口不存在或被占用。")});
    const QString cause = messages.InformativeTexts.value(0);
    EXPECT_EQ(form->StatusBar->PanelText(TMainForm::DevicePanel), cause);
    return cause;
  }

  std::unique_ptr<TMainForm> form;
};

TEST_F(OpenFailureTest, AMissingDeviceIsSaidNotToExist) {
  const std::string missing = folder.File("ttyUSB9");
  ScopedPortMap map{{{1, missing}}};
  EXPECT_EQ(ShowFailingOnce(),
            QStringLiteral("设备不存在：COM1 ") + QString::fromStdString(missing));
}

TEST_F(OpenFailureTest, ADeviceInUseNamesTheProgramHoldingItAndItsPid) {
  PtyPair pty;
  pty.CloseSlave();
  HolderProcess holder(pty.SlavePath(), "holder");
  ASSERT_TRUE(holder.Holding());
  ScopedPortMap map{{{1, pty.SlavePath()}}};
  EXPECT_EQ(ShowFailingOnce(), QStringLiteral("COM1 %1 正被其他程序占用：holder（PID %2）")
                                   .arg(QString::fromStdString(pty.SlavePath()))
                                   .arg(holder.Pid()));
}

// Refuses every path as a device this user may not open (root may open any).
class RefusingProvider : public platform::DeviceProvider {
 public:
  bool Claims(const std::string& value) const override { return platform::IsDevicePath(value); }
  int Open(const std::string&, std::unique_ptr<platform::SerialDevice>&) override {
    return platform::PePermissionDenied;
  }
};

TEST_F(OpenFailureTest, ARefusedPermissionNamesTheDevicesGroupAndHowToJoinIt) {
  ScopedDeviceProviders refusing{{std::make_shared<RefusingProvider>()}};
  const std::string device = folder.File("ttyS7");
  WriteWholeFile(device, "");
  ScopedPortMap map{{{1, device}}};
  const QString cause = ShowFailingOnce();
  struct stat node {};
  ASSERT_EQ(stat(device.c_str(), &node), 0);
  const QString group = QString::fromUtf8(getgrgid(node.st_gid)->gr_name);
  const QString user = QString::fromUtf8(getpwuid(geteuid())->pw_name);
  EXPECT_TRUE(cause.startsWith(QStringLiteral("没有打开 COM1 %1 的权限：设备属于组 %2。")
                                   .arg(QString::fromStdString(device), group)))
      << cause.toStdString();
  EXPECT_TRUE(cause.contains(QStringLiteral("sudo usermod -aG %1 %2").arg(group, user)));
  EXPECT_TRUE(cause.contains(QStringLiteral("重新登录")));
}

}  // namespace
}  // namespace talyx::testing
