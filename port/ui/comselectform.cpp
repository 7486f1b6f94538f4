// TComSelectForm: layout, filling of the port list and the modal choice.
#include "port/ui/comselectform.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include "errors/errorcodes.h"

namespace talyx {

namespace {
constexpr int FirstPort = 1;
constexpr int LastPort = 50;
}  // namespace

TComSelectForm::TComSelectForm(AvailabilityTest isPortAvailable, QWidget* owner) : QDialog(owner) {
  setWindowTitle(QStringLiteral("Select Port"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  QFont dialogFont(QStringLiteral("MS Sans Serif"));
  dialogFont.setPixelSize(11);
  setFont(dialogFont);
  setFixedSize(220, 131);

  Bevel1 = new QFrame(this);
  Bevel1->setFrameShape(QFrame::Box);
  Bevel1->setFrameShadow(QFrame::Sunken);
  Bevel1->setGeometry(8, 8, 201, 42);

  Label1 = new QLabel(QStringLiteral("The configured serial port is not valid."), this);
  Label1->move(18, 14);
  Label1->adjustSize();
  Label2 = new QLabel(QStringLiteral("Please choose another port."), this);
  Label2->move(18, 30);
  Label2->adjustSize();

  PortsComboBox = new QComboBox(this);
  PortsComboBox->setEditable(false);
  PortsComboBox->setGeometry(8, 64, 201, PortsComboBox->sizeHint().height());

  OkBtn = new QPushButton(QStringLiteral("OK"), this);
  OkBtn->setGeometry(8, 95, 85, 27);
  OkBtn->setDefault(true);
  AbortBtn = new QPushButton(QStringLiteral("Cancel"), this);
  AbortBtn->setGeometry(124, 95, 85, 27);

  setTabOrder(OkBtn, AbortBtn);
  setTabOrder(AbortBtn, PortsComboBox);

  connect(OkBtn, &QPushButton::clicked, this, &QDialog::accept);
  connect(AbortBtn, &QPushButton::clicked, this, &QDialog::reject);

  FormCreate(isPortAvailable);
  OkBtn->setFocus();
}

void TComSelectForm::FormCreate(const AvailabilityTest& isPortAvailable) {
  for (int n = FirstPort; n <= LastPort; ++n) {
    if (isPortAvailable(n)) PortsComboBox->addItem(QStringLiteral("COM%1").arg(n));
  }
  if (PortsComboBox->count() > 0) PortsComboBox->setCurrentIndex(0);
}

int TComSelectForm::SelectedComNumber() const {
  if (PortsComboBox->currentIndex() < 0) return 0;
  return PortsComboBox->currentText().mid(3).toInt();
}

int ChoosePortWithDialog(TComSelectForm::AvailabilityTest isPortAvailable, QWidget* owner) {
  TComSelectForm form(std::move(isPortAvailable), owner);
  if (form.exec() != QDialog::Accepted) return ecNoPortSelected;
  const int chosen = form.SelectedComNumber();
  return chosen > 0 ? chosen : ecNoPortSelected;
}

}  // namespace talyx
