// TPollerWindow: the register poller's window: the values table, the rows' statistics, the poll
// set's editing, import and export of register maps, the loop's options, Start and Stop, and
// writes by a double-click on a value.
//
// Principles of operation:
// - The poll set lives in its file (TPollerSettings::PollFilePath), read when the window is
//   made and written whole after every change; the loop's options live in the settings file.
// - A value of a holding register (03 rows) or a coil (01 rows) is written by a double-click:
//   the value is asked in the register's format and scale (a coil: 0 or 1; hexadecimal
//   registers in hexadecimal), confirmed through the message box, and written by the loop
//   before its next poll, which reads it back; the outcome shows in the window.
// - The input of a value goes through one function tests can answer (SetValueInputHook).
// - The plot (PlotPage) draws the registers ticked in the values table (a new poll set keeps the
//   ticks of the registers it still has, TPollTableModel). Every sample of the loop goes to the
//   plot and, while it runs, to the CSV log.
// - The log's controls (LogBar) are kept in the settings file; they cannot change while the log
//   runs. A log that stops by itself says why through the message box.
// - The bus scan's dialog adds the rows it offers to the poll set; while a scan runs the loop
//   stops, and starts again after it if it was running. The rate it offers goes out as UseRate,
//   for the main window to take.
// - Main thread only.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <optional>

#include "app/poller/pollersettings.h"
#include "app/poller/pollset.h"
#include "app/settings/settingsfile.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QTableView;
class QTimer;

namespace talyx {
class TComPort;
}

namespace talyx::app {

class TBusScanDialog;
class TPollLog;
class TPollLoop;
class TPollPlot;
class TRequestChannel;
struct TPollSample;
class TPollRowDialog;
class TPollStatsModel;
class TPollTableModel;

// Asks for a value: the label and the text to start from; nothing when cancelled.
using TValueInputHook =
    std::function<std::optional<QString>(const QString& label, const QString& initial)>;
// Installs the hook (an empty one restores the input dialog) and returns the one it replaces.
TValueInputHook SetValueInputHook(TValueInputHook hook);

// The value typed for register index of row, in its format and scale; nothing when the text
// is not one.
std::optional<double> ParseWriteValue(const QString& text, const PollRow& row, size_t index);

class TPollerWindow : public QWidget {
  Q_OBJECT

 public:
  static constexpr int RefreshMs = 250;

  // The channel and the port serve the bus scan.
  TPollerWindow(TPollLoop& loop, TRequestChannel& channel, TComPort& port, TSettingsFile settings,
                QWidget* parent = nullptr);

  // Replaces the poll set: the loop, the tables and the poll set file.
  void SetPollSet(PollSet set);
  // Reads a register map into the poll set; false (and a message) when it cannot be read.
  bool ImportMap(const QString& path);
  // Writes the poll set as a register map; false (and a message) when it cannot be written.
  bool ExportMap(const QString& path);
  // Asks for and writes the value of the values table's row.
  void WriteValue(int tableRow);
  // The poll row the tables' selection points at, or -1.
  int SelectedPollRow() const;
  // Opens the bus scan's dialog (made at its first opening).
  void OpenScan();
  // Adds a row reading one item of a slave, as the bus scan offers it.
  void AddScanRow(uint8_t slave, PollFunction function, uint16_t address);

  QPushButton* Btn_PollStart;
  QPushButton* Btn_PollStop;
  QPushButton* Btn_AddRow;
  QPushButton* Btn_EditRow;
  QPushButton* Btn_RemoveRow;
  QPushButton* Btn_Import;
  QPushButton* Btn_Export;
  QPushButton* Btn_Scan;
  QSpinBox* SE_Timeout;
  QSpinBox* SE_Retries;
  QSpinBox* SE_Turnaround;
  QTabWidget* Tabs;
  QTableView* ValuesView;
  QTableView* StatsView;
  QWidget* PlotPage;
  QWidget* LogBar;
  TPollPlot* Plot;
  QPushButton* Btn_LogStart;  // checkable: checked while the log runs
  QLineEdit* ED_LogFolder;
  QPushButton* Btn_LogFolder;
  QCheckBox* CB_LogBom;
  QComboBox* CB_LogRotate;  // daily, by size
  QSpinBox* SE_LogSizeMb;
  QLabel* Lbl_LogFile;
  // The running or last log, else null.
  TPollLog* Log = nullptr;
  // The bus scan's dialog once opened, else null.
  TBusScanDialog* ScanDialog = nullptr;
  QLabel* Lbl_State;  // the loop's state, the last import's numbering, a write's outcome
  TPollTableModel* Values;
  TPollStatsModel* Stats;
  // The row dialog while it is open (add or edit), else null.
  TPollRowDialog* RowDialog = nullptr;

 signals:
  // The user took the rate the bus scan offered.
  void UseRate(int32_t baud);

 private:
  void OpenRowDialog(int pollRow);
  void RemoveRow();
  void OptionsChanged();
  void Refresh();
  void BuildLogBar();
  void PlotTicksChanged();
  void Sampled(const TPollSample& sample);
  void SetLogging(bool on);
  void LogSettingsChanged();
  void ScanRunningChanged(bool running);
  void SaveSettings();

  TPollLoop& loop_;
  TRequestChannel& channel_;
  TComPort& port_;
  TSettingsFile settings_;
  TPollerSettings pollerSettings_;
  QTimer* refreshTimer_;
  QString lastResult_;
  bool resumeAfterScan_ = false;  // the loop ran when the scan started
};

}  // namespace talyx::app
