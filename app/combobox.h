// TComboBox: an editable combo box that tells an item picked by the user from a typed text.
//
// Principles of operation: the user may pick an item (from the list, or with the arrow keys)
// or type a value. Only a pick emits Select. Typing never does and never adds the typed text
// to the list, also when Enter is pressed or the text equals an item's: Qt's own combo box
// reports such a text as an activation when editing ends, which is filtered out here.
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

 private:
  bool editingFinishing_ = false;
};

}  // namespace talyx::app
