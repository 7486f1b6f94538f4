// TPortMapDialog: the port mapping dialog. It lists the machine's serial devices with their
// descriptions and the numbers that have a device, and maps a number (Com1..Com50) to a device,
// to the demo device, to a network address or to none.
//
// Principles of operation:
// - A mapping is written to the settings file's section "ports" (ComN=path, demo, or empty),
//   which the next start reads again, and takes effect at once in the process-wide port map;
//   a mapping that cannot be written is reported and not made.
// - The dialog looks at the devices again once a second while it is shown (sysfs and /dev
//   reads, no device is opened), and refreshes its lists when a device came or went.
// - Discovery, and the look at whether a mapped path is a terminal, read below a root folder
//   ("/"; tests give a fake tree).
// - Main thread only.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "app/settings/settingsfile.h"
#include "platform/serialdiscovery.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTimer;
class QTreeWidget;

namespace talyx::app {

class TPortMapDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int RefreshIntervalMs = 1000;

  TPortMapDialog(TSettingsFile& settings, std::string discoveryRoot = "/",
                 QWidget* parent = nullptr);

  // Discovers the devices again; the lists are rebuilt when they changed.
  void Refresh();
  // Maps number to value (a device path, "demo" or "" for none) in the section "ports" and in
  // the port map. Raises EIniFileException when the settings file cannot be written, and then
  // changes nothing.
  void MapPort(int number, const std::string& value);
  const std::vector<platform::DiscoveredSerialDevice>& Devices() const { return devices_; }

  QTreeWidget* LV_Devices;  // the discovered devices: path, kind, description
  QTreeWidget* LV_Ports;    // the numbers that have a device: number, path, description
  QSpinBox* SE_ComNumber;
  QComboBox* CB_Target;
  QPushButton* Btn_Map;
  // A network address typed by the user (tcp://HOST:PORT or rfc2217://HOST:PORT), checked for
  // its form and mapped to the number by Btn_MapAddress; nothing is connected.
  QLineEdit* Edt_Address;
  QPushButton* Btn_MapAddress;

 signals:
  // A number was mapped anew.
  void MappingChanged();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void MapAddress();
  void RebuildLists();
  void ShowTargetOfNumber();
  // " (mark)" for a mapped path that names something other than a terminal the port could
  // open (a file, a FIFO, a disk, the console): such a port fails as missing, and the lists
  // say why. "" for any other value.
  QString NonTerminalMark(const std::string& value) const;

  TSettingsFile& settings_;
  std::string root_;
  std::vector<platform::DiscoveredSerialDevice> devices_;
  QTimer* refreshTimer_;
};

}  // namespace talyx::app
