// TAboutBox: the about box, created hidden at program start and shown on request.
//
// A fixed-size dialog with the program's picture (Image1, a JPEG picture decoded with libjpeg)
// and two labels; nothing in it reacts to clicks. It keeps no state between showings and is
// centred on the screen each time it is shown. Main thread only.
#pragma once

#include <QDialog>
#include <QImage>

class QLabel;

namespace talyx::app {

class TAboutBox : public QDialog {
  Q_OBJECT

 public:
  static constexpr int ClientWidth = 317;
  static constexpr int ClientHeight = 301;

  explicit TAboutBox(QWidget* parent = nullptr);

  QLabel* Image1;
  QLabel* Label1;
  QLabel* Label2;

 protected:
  void showEvent(QShowEvent* event) override;
};

// The about box's picture, decoded from the copy built into the program (a null image when it
// cannot be decoded).
QImage AboutPicture();

}  // namespace talyx::app
