// The window on a network port through ser2net: the open and its cause, the loss with every byte
// read before it, the reconnect to a restarted server, the server's own refusal.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <chrono>
#include <memory>
#include <thread>

#include "app/devices/devicewatch.h"
#include "app/devices/portmapdialog.h"
#include "app/view/receiveview.h"
#include "app/window/shape.h"
#include "app/window/statusbar.h"
#include "apptesting.h"
#include "modbus/simulatorloop.h"
#include "platform/networkprovider.h"
#include "support/ptypair.h"
#include "support/ser2netserver.h"

namespace talyx::testing {
namespace {

using app::TMainForm;

class NetworkPortWindowTest : public MainFormTest {
 protected:
  void TearDown() override { form.reset(); }
  QString DevicePanel() const { return form->StatusBar->PanelText(TMainForm::DevicePanel); }

  ScopedDeviceProviders network{{std::make_shared<platform::NetworkDeviceProvider>()}};
  PtyPair far;
  std::unique_ptr<TMainForm> form;
};

TEST_F(NetworkPortWindowTest, ALostServerIsALossAndARestartedOneBringsThePortBack) {
  far.CloseSlave();
  auto server = std::make_unique<Ser2netServer>("tcp", far.SlavePath());
  const int port = server->Port();
  ScopedPortMap map{{{1, server->Value()}}};
  form = CreateForm();
  form->show();
  ASSERT_TRUE(form->ComPort1.Open());
  EXPECT_TRUE(messages.Texts.isEmpty());
  EXPECT_EQ(DevicePanel(),
            QStringLiteral("127.0.0.1:%1：原始 TCP 只传数据，线路设置不会送到远端串口").arg(port));

  ASSERT_TRUE(far.Send("before;"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return form->RecvCount == 7; }, 5000));
  const auto lostAt = std::chrono::steady_clock::now();
  server->Kill();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !form->ComPort1.Open(); }, 5000));
  EXPECT_LT(std::chrono::steady_clock::now() - lostAt, std::chrono::seconds(2));
  EXPECT_TRUE(DevicePanel().startsWith(QStringLiteral("设备已断开")));
  EXPECT_TRUE(DevicePanel().contains(QStringLiteral("tcp://127.0.0.1:%1").arg(port)));
  EXPECT_TRUE(form->DeviceWatch1->Pending());
  EXPECT_EQ(form->Memo_Show->toPlainText(), QStringLiteral("before;"));

  server = std::make_unique<Ser2netServer>("tcp", far.SlavePath(), port);
  ASSERT_TRUE(QTest::qWaitFor([&] { return form->ComPort1.Open(); }, 5000));
  EXPECT_TRUE(DevicePanel().startsWith(QStringLiteral("已重新连接")));
  ASSERT_TRUE(far.Send("after"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return form->RecvCount == 12; }, 5000));
  EXPECT_TRUE(messages.Texts.isEmpty());

  // 重置串口 gives the server's one connection up before it connects anew.
  form->Btn_Reset->click();
  EXPECT_TRUE(form->ComPort1.Open());
  EXPECT_TRUE(messages.Texts.isEmpty());
}

TEST_F(NetworkPortWindowTest, ARefusedConnectIsTheMissingPortErrorWithItsCause) {
  const int port = FreeTcpPort();
  const QString value = QStringLiteral("tcp://127.0.0.1:%1").arg(port);
  ScopedPortMap map{{{1, value.toStdString()}}};
  form = CreateForm();
  form->show();
  EXPECT_FALSE(form->ComPort1.Open());
  EXPECT_EQ(messages.Texts, QStringList{QStringLiteral("串口不存在或被占用。")});
  EXPECT_EQ(messages.InformativeTexts.value(0),
            QStringLiteral("COM1 %1：连接被拒绝：127.0.0.1:%2").arg(value).arg(port));
  EXPECT_FALSE(form->DeviceWatch1->Pending());
}

TEST_F(NetworkPortWindowTest, AServerWhosePortIsInUseGivesTheInUseCause) {
  far.CloseSlave();
  Ser2netServer server("tcp", far.SlavePath());
  ScopedPortMap map{{{1, server.Value()}}};
  std::unique_ptr<platform::SerialDevice> first;
  ASSERT_EQ(platform::OpenProvidedDevice(server.Value(), first), 0);
  form = CreateForm();
  form->show();
  EXPECT_FALSE(form->ComPort1.Open());
  EXPECT_EQ(messages.InformativeTexts.value(0),
            QStringLiteral("COM1 %1 正被占用：服务器：Port already in use")
                .arg(QString::fromStdString(server.Value())));
  // The server's text is the cause, never received data.
  EXPECT_TRUE(form->Memo_Show->toPlainText().isEmpty());
}

TEST_F(NetworkPortWindowTest, AModbusReadThroughRfc2217FromTheDemoSlaveDecodesTenRegisters) {
  // The demo slave on the far end of the pair, as talyx-sim serves it (the pair's own slave
  // descriptor stays open, so the line never hangs up between clients); ser2net serves the line.
  modbus::SimulatorRegisters registers;
  const int stop = eventfd(0, EFD_CLOEXEC);
  std::thread slave([&] { modbus::ServeSimulator(far.Master(), stop, registers); });
  {
    Ser2netServer server("telnet(rfc2217),tcp", far.SlavePath());
    ScopedPortMap map{{{1, server.Value()}}};
    form = CreateForm();
    form->show();
    EXPECT_TRUE(form->ComPort1.Open());
    form->CB_hexSend->setChecked(true);
    form->CB_HexGet->setChecked(true);
    form->SendMemo->setPlainText(QStringLiteral("01 03 00 00 00 0A"));
    form->Btn_Send->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->re_dec->blockCount() == 10; }, 5000));
    EXPECT_TRUE(form->re_dec->toPlainText().startsWith(QStringLiteral("第1个参数=10\n")));
    EXPECT_TRUE(form->re_dec->toPlainText().endsWith(QStringLiteral("第10个参数=100")));
    // ser2net acknowledges no DTR/RTS setting on a pseudo-terminal: said once, nothing failed.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
          return form->StatusBar->PanelText(TMainForm::DevicePanel) ==
                 QString::fromStdString(server.Value()) +
                     QStringLiteral("：服务器未确认 DTR/RTS 的设置，已继续");
        },
        5000));
    EXPECT_TRUE(form->ComPort1.Open());
    form.reset();
  }
  const uint64_t one = 1;
  EXPECT_EQ(write(stop, &one, sizeof one), static_cast<ssize_t>(sizeof one));
  slave.join();
  close(stop);
}

TEST_F(NetworkPortWindowTest, TheConnectIsWaitedForBusyWithAutoSendPaused) {
  // A server that greets with one byte and keeps the line: the open listens for a refusal for
  // two seconds, long enough to look at the window while it waits.
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 1), 0);
  ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size), 0);
  const int port = ntohs(address.sin_port);
  int server = -1;
  std::thread greeter([&] {
    server = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    EXPECT_EQ(send(server, "x", 1, MSG_NOSIGNAL), 1);
  });
  ScopedPortMap map{{{1, "tcp://127.0.0.1:" + std::to_string(port)}}};
  form = CreateForm();
  form->SendMemo->setPlainText(QStringLiteral("tick"));
  form->Edt_Interval->setText(QStringLiteral("100"));
  form->CB_AutoSend->setChecked(true);
  ASSERT_TRUE(form->Timer_AutoSend->isActive());
  QString panel;
  bool busy = false;
  bool autoSending = true;
  QTimer::singleShot(200, form.get(), [&] {
    panel = DevicePanel();
    busy = QApplication::overrideCursor() != nullptr &&
           QApplication::overrideCursor()->shape() == Qt::BusyCursor;
    autoSending = form->Timer_AutoSend->isActive();
  });
  form->show();
  greeter.join();
  EXPECT_EQ(panel, QStringLiteral("正在连接 127.0.0.1:%1…").arg(port));
  EXPECT_TRUE(busy);
  EXPECT_FALSE(autoSending);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_TRUE(form->ComPort1.Open());
  EXPECT_TRUE(form->Timer_AutoSend->isActive());
  form->CB_AutoSend->setChecked(false);
  close(server);
  close(listener);
}

TEST_F(NetworkPortWindowTest, TheMappingDialogTakesATypedAddressOfTheRightFormOnly) {
  ScopedPortMap map;
  app::TSettingsFile settings{SettingsPath()};
  app::TPortMapDialog dialog(settings, folder.File("root"));
  dialog.SE_ComNumber->setValue(3);
  dialog.Edt_Address->setText(QStringLiteral("tcp://plc-gateway:port"));
  dialog.Btn_MapAddress->click();
  EXPECT_EQ(messages.Texts, QStringList{QStringLiteral("网络地址的格式不正确。")});
  EXPECT_EQ(platform::PortDevicePath(3), "");

  dialog.Edt_Address->setText(QStringLiteral(" rfc2217://[::1]:2217 "));
  dialog.Btn_MapAddress->click();
  EXPECT_EQ(messages.Texts.size(), 1);
  EXPECT_EQ(platform::PortDevicePath(3), "rfc2217://[::1]:2217");
  EXPECT_EQ(settings.Read().ReadString("ports", "Com3", ""), "rfc2217://[::1]:2217");
  ASSERT_EQ(dialog.LV_Ports->topLevelItemCount(), 1);
  EXPECT_EQ(dialog.LV_Ports->topLevelItem(0)->text(2),
            QStringLiteral("[::1]:2217 — 网络串口 (RFC 2217)"));
  EXPECT_EQ(dialog.CB_Target->currentText(), QStringLiteral("[::1]:2217 — 网络串口 (RFC 2217)"));
  // A network port counts as there without being connected to.
  EXPECT_TRUE(platform::IsPortAvailable(3));
}

}  // namespace
}  // namespace talyx::testing
