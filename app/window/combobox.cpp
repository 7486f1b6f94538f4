// TComboBox: the editable text and the filtering of activations.
#include "app/window/combobox.h"

#include <QLineEdit>
#include <QWheelEvent>

namespace talyx::app {

TComboBox::TComboBox(const QStringList& items, QWidget* parent) : QComboBox(parent) {
  auto* edit = new QLineEdit(this);
  // Slots run in the order they were connected: the combo box's own handling of the end of
  // editing (connected by setLineEdit) runs between these two.
  connect(edit, &QLineEdit::editingFinished, this, [this] { editingFinishing_ = true; });
  setLineEdit(edit);
  connect(edit, &QLineEdit::editingFinished, this, [this] { editingFinishing_ = false; });
  // No completion: a typed value stays as typed.
  setCompleter(nullptr);
  setInsertPolicy(QComboBox::NoInsert);
  setFocusPolicy(Qt::StrongFocus);
  addItems(items);
  // A narrow box shows the start of a picked item's text, as it shows a typed one.
  connect(this, &QComboBox::currentIndexChanged, edit, [edit] { edit->home(false); });
  connect(this, &QComboBox::activated, this, [this] {
    if (!editingFinishing_) emit Select();
  });
}

void TComboBox::wheelEvent(QWheelEvent* event) {
  if (hasFocus()) {
    QComboBox::wheelEvent(event);
  } else {
    event->ignore();
  }
}

}  // namespace talyx::app
