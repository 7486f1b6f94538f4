// TBusScanDialog: the bus scan's window: the range, the request, the timeout and the rates to
// scan, a progress bar, cancel, the addresses found, and the two offers a scan makes.
//
// Principles of operation:
// - The dialog owns its TBusScan and shows its progress and answers as they come; it is
//   modeless and never waits, so the terminal goes on while it scans.
// - "每个常用波特率" scans at each of CommonBaudRates (1200 to 115200) in turn; the port gets its
//   own rate back at the end. The rate at which most addresses answered is then offered on
//   Btn_ScanUseRate, which emits UseRate: the dialog never changes the window's settings itself.
// - Btn_ScanAddRow emits AddPollRow for the selected address, with the scan's function and address,
//   for the poller window to add as a row.
// - Main thread only.
#pragma once

#include <QDialog>
#include <cstdint>

#include "app/poller/busscan.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace talyx::app {

class TBusScanDialog : public QDialog {
  Q_OBJECT

 public:
  TBusScanDialog(TRequestChannel& channel, TComPort& port, QWidget* parent = nullptr);

  // The scan's settings as the controls give them.
  TScanSettings Settings() const;

  TBusScan* Scan;
  QSpinBox* ScanFirst;
  QSpinBox* ScanLast;
  QComboBox* ScanFunction;
  QSpinBox* ScanAddress;
  QSpinBox* ScanTimeout;
  QCheckBox* ScanAllRates;
  QPushButton* Btn_ScanStart;
  QPushButton* Btn_ScanCancel;
  QProgressBar* ScanProgress;
  QLabel* ScanStatus;
  QTableWidget* FoundTable;
  QPushButton* Btn_ScanAddRow;
  QPushButton* Btn_ScanUseRate;

 signals:
  // The user asked for a poll row reading this item of this slave.
  void AddPollRow(uint8_t slave, talyx::app::PollFunction function, uint16_t address);
  // The user took the rate the scan offered.
  void UseRate(int32_t baud);

 private:
  void StartScan();
  void AddAnswer(const TScanAnswer& answer);
  void ScanEnded(TScanEnd end);
  void UpdateButtons();

  TScanSettings running_;  // the settings of the running or last scan
};

}  // namespace talyx::app
