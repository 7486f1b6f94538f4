// TAboutBox: the about box, created hidden at program start and shown on request.
#pragma once

#include <QDialog>

namespace talyx::app {

class TAboutBox : public QDialog {
  Q_OBJECT

 public:
  explicit TAboutBox(QWidget* parent = nullptr);
};

}  // namespace talyx::app
