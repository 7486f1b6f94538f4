// The port mapping dialog over a fake device tree, the options and their section, and the
// window's way to both dialogs.
#include "app/devices/portmapdialog.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>

#include "app/dialogs/optionsdialog.h"
#include "app/window/statusbar.h"
#include "apptesting.h"
#include "modbus/demodevice.h"
#include "support/ptypair.h"

namespace talyx::testing {
namespace {

namespace fs = std::filesystem;
using app::TAppOptions;
using app::TPortMapDialog;
using app::TTextCharset;

class PortMapDialogTest : public MainFormTest {
 protected:
  // A USB adapter below the fake root, with its by-id link.
  void UsbAdapter(const std::string& name, const std::string& product, const std::string& id) {
    const fs::path usb = root / "sys/devices/usb1" / ("1-" + name);
    const fs::path device = usb / "1-1:1.0" / name;
    fs::create_directories(device);
    std::ofstream(usb / "idVendor") << "0403\n";
    std::ofstream(usb / "idProduct") << "6001\n";
    std::ofstream(usb / "product") << product << "\n";
    fs::create_directories(root / "sys/bus/drivers/ftdi_sio");
    fs::create_symlink(root / "sys/bus/drivers/ftdi_sio", device / "driver");
    fs::create_directories(root / "sys/class/tty" / name);
    fs::create_symlink(device, root / "sys/class/tty" / name / "device");
    fs::create_directories(root / "dev/serial/by-id");
    fs::create_symlink("../../" + name, root / "dev/serial/by-id" / id);
    std::ofstream(root / "dev" / name) << "";
  }
  QStringList Column(QTreeWidget* list, int column) const {
    QStringList texts;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
      texts << list->topLevelItem(i)->text(column);
    return texts;
  }

  fs::path root = folder.File("root");
  ScopedPortMap map{{{1, modbus::DemoDeviceName}}};
  app::TSettingsFile settings{SettingsPath()};
};

TEST_F(PortMapDialogTest, ListsDevicesRefreshesWhenOneAppearsAndWritesThePortsSection) {
  UsbAdapter("ttyUSB0", "FT232R USB UART", "usb-FTDI_FT232R_A10K3Q-if00-port0");
  TPortMapDialog dialog(settings, root.string());
  EXPECT_EQ(Column(dialog.LV_Devices, 0),
            QStringList({"/dev/serial/by-id/usb-FTDI_FT232R_A10K3Q-if00-port0"}));
  EXPECT_TRUE(Column(dialog.LV_Devices, 2).first().contains("FT232R USB UART"));
  EXPECT_EQ(Column(dialog.LV_Ports, 0), QStringList({"Com1"}));
  EXPECT_EQ(dialog.CB_Target->currentData().toString(), QStringLiteral("demo"));

  UsbAdapter("ttyUSB1", "CP2102 Bridge", "usb-Silicon_CP2102_0001-if00-port0");
  // Shown, the dialog notices the new adapter by itself.
  dialog.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.LV_Devices->topLevelItemCount() == 2; }, 5000));
  EXPECT_TRUE(Column(dialog.LV_Devices, 2).join(' ').contains("CP2102 Bridge"));

  // Com7 to the new adapter: picked in the list, mapped with the button.
  dialog.SE_ComNumber->setValue(7);
  dialog.LV_Devices->setCurrentItem(dialog.LV_Devices->topLevelItem(1));
  const std::string adapter = "/dev/serial/by-id/usb-Silicon_CP2102_0001-if00-port0";
  ASSERT_EQ(dialog.CB_Target->currentData().toString().toStdString(), adapter);
  dialog.Btn_Map->click();
  EXPECT_EQ(platform::PortDevicePath(7), adapter);
  EXPECT_EQ(settings.ReadString("ports", "Com7", "?"), adapter);
  EXPECT_EQ(Column(dialog.LV_Ports, 0), QStringList({"Com1", "Com7"}));

  // Com1 to none: the number loses its device, and the section says so.
  dialog.MapPort(1, "");
  EXPECT_EQ(platform::PortDevicePath(1), "");
  EXPECT_EQ(settings.ReadString("ports", "Com1", "?"), "");
  EXPECT_EQ(Column(dialog.LV_Ports, 0), QStringList({"Com7"}));
}

TEST_F(PortMapDialogTest, AMappingTheSettingsFileRefusesIsReportedAndNotMade) {
  // No folder to write the file in, whoever runs the test.
  app::TSettingsFile unwritable(folder.File("missing/talyx.INI"));
  TPortMapDialog dialog(unwritable, root.string());
  const QSignalSpy changed(&dialog, &TPortMapDialog::MappingChanged);
  dialog.SE_ComNumber->setValue(5);
  dialog.CB_Target->setCurrentIndex(dialog.CB_Target->findData(QStringLiteral("demo")));
  dialog.Btn_Map->click();
  EXPECT_EQ(
      messages.Texts,
      QStringList{QStringLiteral("写 %1 失败").arg(QString::fromStdString(unwritable.Path()))});
  EXPECT_EQ(platform::PortDevicePath(5), "");
  EXPECT_EQ(Column(dialog.LV_Ports, 0), QStringList({"Com1"}));
  EXPECT_EQ(changed.count(), 0);
}

TEST_F(PortMapDialogTest, MappedPathsThatAreNoTerminalsAreMarked) {
  PtyPair pty;
  const std::string file = folder.File("plain");
  WriteWholeFile(file, "x");
  ScopedPortMap ports({{2, file}, {3, pty.SlavePath()}, {4, "/dev/null"}});
  TPortMapDialog dialog(settings, root.string());
  const QString mark = TPortMapDialog::tr("(不是串口，不会打开)");
  const QStringList descriptions = Column(dialog.LV_Ports, 2);
  ASSERT_EQ(descriptions.size(), 3);
  EXPECT_TRUE(descriptions[0].endsWith(mark));
  EXPECT_FALSE(descriptions[1].contains(mark));
  EXPECT_TRUE(descriptions[2].endsWith(mark));
  dialog.SE_ComNumber->setValue(4);
  EXPECT_TRUE(dialog.CB_Target->currentText().endsWith(mark));
}

TEST_F(PortMapDialogTest, OptionsKeepTheirOwnSectionAndTheDialogChangesThem) {
  EXPECT_EQ(TAppOptions::Read(settings).Charset, TTextCharset::tcLocale);
  EXPECT_TRUE(TAppOptions::Read(settings).AutoReconnect);
  WriteSettings("[options]\nCharset=GBK\nAutoReconnect=0\n");
  const TAppOptions read = TAppOptions::Read(settings);
  EXPECT_EQ(read.Charset, TTextCharset::tcGbk);
  EXPECT_FALSE(read.AutoReconnect);
  EXPECT_EQ(app::CharsetName(read.Charset), "GB18030");

  app::TOptionsDialog dialog(read);
  dialog.CB_Charset->setCurrentIndex(1);
  dialog.CB_AutoReconnect->setChecked(true);
  dialog.Options().Write(settings);
  EXPECT_EQ(settings.ReadString("options", "Charset", ""), "utf-8");
  EXPECT_EQ(TAppOptions::Read(settings).Charset, TTextCharset::tcUtf8);
  EXPECT_TRUE(TAppOptions::Read(settings).AutoReconnect);
}

TEST_F(PortMapDialogTest, TheWindowReachesBothDialogsFromTheMenuAndShortcuts) {
  WriteSettings("[options]\nCharset=gbk\n");
  auto form = CreateForm();
  EXPECT_EQ(form->TextCharset(), "GB18030");
  EXPECT_EQ(form->PortMapAction->shortcut(), QKeySequence(QStringLiteral("Ctrl+M")));
  EXPECT_EQ(form->OptionsAction->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+O")));
  EXPECT_EQ(form->CB_ComNum->contextMenuPolicy(), Qt::CustomContextMenu);

  form->OptionsAction->trigger();
  ASSERT_NE(form->OptionsDialog1, nullptr);
  form->OptionsDialog1->CB_Charset->setCurrentIndex(0);
  form->OptionsDialog1->accept();
  EXPECT_EQ(settings.ReadString("options", "Charset", ""), "locale");

  form->PortMapAction->trigger();
  ASSERT_NE(form->PortMapDialog1, nullptr);
  EXPECT_TRUE(form->PortMapDialog1->isVisible());
  form->CB_ComNum->setCurrentIndex(1);
  EXPECT_TRUE(form->CB_ComNum->toolTip().isEmpty());
  // Com2 mapped: its tooltip and the device panel name what it opens now.
  form->PortMapDialog1->MapPort(2, "demo");
  EXPECT_FALSE(form->CB_ComNum->toolTip().isEmpty());
  EXPECT_EQ(form->StatusBar->PanelText(app::TMainForm::DevicePanel), form->CB_ComNum->toolTip());
  EXPECT_EQ(settings.ReadString("ports", "Com2", ""), "demo");
}

}  // namespace
}  // namespace talyx::testing
