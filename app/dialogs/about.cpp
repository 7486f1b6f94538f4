// TAboutBox: the picture, the labels and centring on the screen.
#include "app/dialogs/about.h"

#include <QFile>
#include <QFont>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QShowEvent>

#include "app/dialogs/jpegdecoder.h"
#include "app/shell/fonts.h"

namespace talyx::app {

namespace {

// The picture made by tools/aboutpicture, built into the program as a Qt resource.
constexpr const char* PicturePath = ":/talyx/about.jpg";

// The box's font: the CJK faces at 13 pixels.
QFont BoxFont() {
  QFont font;
  font.setFamilies(CjkFaces());
  font.setPixelSize(13);
  return font;
}

// The labels' font: bold 13 pixels in the dialog face "MS Sans Serif"; its Chinese characters
// come from the box's CJK faces, which follow it in the list.
QFont LabelFont() {
  QFont font = BoxFont();
  font.setFamilies(QStringList{QStringLiteral("MS Sans Serif")} + CjkFaces());
  font.setBold(true);
  return font;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, const QRect& bounds) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setFont(LabelFont());
  label->setGeometry(bounds);
  return label;
}

}  // namespace

TAboutBox::TAboutBox(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
  setObjectName(QStringLiteral("AboutBox"));
  setWindowTitle(tr("关于"));
  setFont(BoxFont());
  setFixedSize(ClientWidth, ClientHeight);

  Image1 = new QLabel(this);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setGeometry(8, 8, 225, 89);
  Image1->setPixmap(QPixmap::fromImage(AboutPicture()));

  Label1 = MakeLabel(this, "Label1", tr("TALYX串口通信控制器"), {40, 128, 217, 25});
  Label2 = MakeLabel(this, "Label2", tr("版本:V1.1"), {128, 240, 145, 25});
}

void TAboutBox::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  if (const QScreen* where = screen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(where->availableGeometry().center());
    move(frame.topLeft());
  }
}

QImage AboutPicture() {
  QFile file(QString::fromLatin1(PicturePath));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return DecodeJpeg(file.readAll());
}

}  // namespace talyx::app
