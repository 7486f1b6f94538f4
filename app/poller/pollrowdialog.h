// TPollRowDialog: edits one poll row: its request (slave, function, start, count, period,
// enabled, writes by 15/16) and its registers (name, address, format, scale, offset, unit).
//
// A row that CheckPollRow refuses is not accepted: the dialog says what is wrong and stays.
// Main thread only.
#pragma once

#include <QDialog>

#include "app/poller/pollset.h"

class QCheckBox;
class QComboBox;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace talyx::app {

class TPollRowDialog : public QDialog {
  Q_OBJECT

 public:
  explicit TPollRowDialog(const PollRow& row, QWidget* parent = nullptr);

  // The row as the dialog's fields say.
  PollRow Row() const;
  // Adds a register line (the next address after the last one).
  void AddRegister();

  void accept() override;

  QSpinBox* SE_Slave;
  QComboBox* CB_Function;
  QSpinBox* SE_Start;
  QSpinBox* SE_Count;
  QSpinBox* SE_Period;
  QCheckBox* CB_Enabled;
  QCheckBox* CB_MultipleWrites;
  QTableWidget* RegisterTable;  // name, address, format, scale, offset, unit
  QPushButton* Btn_AddRegister;
  QPushButton* Btn_RemoveRegister;

 private:
  void SetRegister(int line, const PollRegister& reg);
};

}  // namespace talyx::app
