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
// - PlotPage and LogBar are left for the plot and the log's controls.
// - Main thread only.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <optional>

#include "app/poller/pollersettings.h"
#include "app/poller/pollset.h"
#include "app/settings/settingsfile.h"

class QLabel;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QTableView;
class QTimer;

namespace talyx::app {

class TPollLoop;
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

  TPollerWindow(TPollLoop& loop, TSettingsFile settings, QWidget* parent = nullptr);

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

  QPushButton* Btn_PollStart;
  QPushButton* Btn_PollStop;
  QPushButton* Btn_AddRow;
  QPushButton* Btn_EditRow;
  QPushButton* Btn_RemoveRow;
  QPushButton* Btn_Import;
  QPushButton* Btn_Export;
  QSpinBox* SE_Timeout;
  QSpinBox* SE_Retries;
  QSpinBox* SE_Turnaround;
  QTabWidget* Tabs;
  QTableView* ValuesView;
  QTableView* StatsView;
  QWidget* PlotPage;
  QWidget* LogBar;
  QLabel* Lbl_State;  // the loop's state, the last import's numbering, a write's outcome
  TPollTableModel* Values;
  TPollStatsModel* Stats;
  // The row dialog while it is open (add or edit), else null.
  TPollRowDialog* RowDialog = nullptr;

 private:
  void OpenRowDialog(int pollRow);
  void RemoveRow();
  void OptionsChanged();
  void Refresh();

  TPollLoop& loop_;
  TSettingsFile settings_;
  TPollerSettings pollerSettings_;
  QTimer* refreshTimer_;
  QString lastResult_;
};

}  // namespace talyx::app
