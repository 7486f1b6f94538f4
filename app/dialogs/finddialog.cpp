// TFindDialog: layout and the find signal.
#include "app/dialogs/finddialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace talyx::app {

TFindDialog::TFindDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("查找"));
  setModal(false);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(new QLabel(tr("查找内容:"), this));
  FindEdit = new QLineEdit(this);
  FindEdit->setObjectName(QStringLiteral("FindEdit"));
  layout->addWidget(FindEdit);
  FindButton = new QPushButton(tr("查找下一个"), this);
  FindButton->setObjectName(QStringLiteral("FindButton"));
  FindButton->setDefault(true);
  layout->addWidget(FindButton);
  // Nothing to search for until some text is typed.
  FindButton->setEnabled(false);
  connect(FindEdit, &QLineEdit::textChanged, this,
          [this](const QString& text) { FindButton->setEnabled(!text.isEmpty()); });
  connect(FindButton, &QPushButton::clicked, this, &TFindDialog::Find);
}

QString TFindDialog::FindText() const { return FindEdit->text(); }

void TFindDialog::SetFindText(const QString& text) { FindEdit->setText(text); }

}  // namespace talyx::app
