// TComboBox: an editable combo box that tells an item picked by the user from a typed text.
//
// Principles of operation: the user may pick an item (from the list, or with the arrow keys)
// or type a value. Only a pick emits Select. Typing never does and never adds the typed text
// to the list, also when Enter is pressed or the text equals an item's: Qt's own combo box
// reports such a text as an activation when editing ends, which is filtered out here.
// - The mouse wheel picks an item only while the box has the keyboard focus, and a wheel turn
//   never gives it the focus: a wheel turn meant for something else that passes over the box
//   goes on to its parent, and the port stays as it is.
#pragma once

#include <QComboBox>
#include <QStringList>

namespace talyx::app {

class TComboBox : public QComboBox {
  Q_OBJECT

 public:
  explicit TComboBox(const QStringList& items, QWidget* parent = nullptr);

 signals:
  // An item was picked; the selection is already the picked item.
  void Select();

 protected:
  void wheelEvent(QWheelEvent* event) override;

 private:
  bool editingFinishing_ = false;
};

}  // namespace talyx::app
