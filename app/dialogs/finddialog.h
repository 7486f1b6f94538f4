// TFindDialog: the non-modal find-text dialog of the receive view.
//
// It only asks: the text to find is FindText, and pressing its find button (or Enter) emits
// Find; the window's search handler does the searching, always forward and case-sensitive, so
// the dialog offers no options. The button is enabled while there is text to find.
#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;
class QPushButton;

namespace talyx::app {

class TFindDialog : public QDialog {
  Q_OBJECT

 public:
  explicit TFindDialog(QWidget* parent = nullptr);

  QString FindText() const;
  void SetFindText(const QString& text);

  QLineEdit* FindEdit;
  QPushButton* FindButton;

 signals:
  void Find();
};

}  // namespace talyx::app
