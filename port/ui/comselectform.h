// TComSelectForm: the modal dialog that asks for a port when the component has none set.
//
// Principles of operation: the dialog is created, shown modally and destroyed on the main
// thread, inside the open call of a port component whose ComNumber is 0. Creating it probes
// ports 1 to 50 one after another (FormCreate) and lists the available ones as "COM%d" in
// ascending order, the first preselected. OK with an item selected yields that number; Cancel,
// the close box and OK on an empty list are refusals.
#pragma once

#include <QDialog>
#include <functional>

class QComboBox;
class QFrame;
class QLabel;
class QPushButton;

namespace talyx {

class TComSelectForm : public QDialog {
  Q_OBJECT

 public:
  using AvailabilityTest = std::function<bool(int comNumber)>;

  // isPortAvailable decides which of the ports 1..50 are listed.
  explicit TComSelectForm(AvailabilityTest isPortAvailable, QWidget* owner = nullptr);

  // The number of the selected item (the item text after "COM"); 0 when nothing is selected.
  int SelectedComNumber() const;

  QLabel* Label1;
  QLabel* Label2;
  QFrame* Bevel1;
  QComboBox* PortsComboBox;
  QPushButton* OkBtn;
  QPushButton* AbortBtn;

 private:
  void FormCreate(const AvailabilityTest& isPortAvailable);
};

// Shows the dialog modally and returns the chosen port number, or ecNoPortSelected (-2011)
// when the user refused (Cancel, the close box, or OK with no port to choose).
int ChoosePortWithDialog(TComSelectForm::AvailabilityTest isPortAvailable,
                         QWidget* owner = nullptr);

}  // namespace talyx
