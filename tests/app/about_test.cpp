// The about box: its picture decoded from the program's JPEG copy, its labels and size, and the
// window showing it modally, centred on the screen.
#include "app/dialogs/about.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include "app/dialogs/jpegdecoder.h"
#include "apptesting.h"
#include "support/ptypair.h"

namespace talyx::testing {
namespace {

using app::TAboutBox;

TEST(AboutPicture, IsDecodedAndNotBlank) {
  EnsureApplication();
  const QImage picture = app::AboutPicture();
  ASSERT_FALSE(picture.isNull());
  EXPECT_EQ(picture.size(), QSize(225, 89));
  int darkest = 255;
  int lightest = 0;
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x) {
      const int level = qGray(picture.pixel(x, y));
      darkest = std::min(darkest, level);
      lightest = std::max(lightest, level);
    }
  EXPECT_GT(lightest - darkest, 150);  // light letters on a dark ground
}

TEST(AboutPicture, DamagedDataDecodesToNothingWithAMessage) {
  QString error;
  EXPECT_TRUE(app::DecodeJpeg(QByteArray(), &error).isNull());
  EXPECT_FALSE(error.isEmpty());
  error.clear();
  EXPECT_TRUE(app::DecodeJpeg(QByteArray("\xFF\xD8\xFF\xE0 not a picture", 20), &error).isNull());
  EXPECT_FALSE(error.isEmpty());
}

TEST_F(MainFormTest, TheAboutBoxShowsItsPictureAndLabelsModallyInTheScreensCentre) {
  ScopedPortMap noPorts;
  auto form = CreateForm();
  TAboutBox box;
  form->SetAboutBox(&box);

  EXPECT_EQ(box.minimumSize(), QSize(317, 301));
  EXPECT_EQ(box.maximumSize(), QSize(317, 301));
  EXPECT_EQ(box.font().pixelSize(), 13);
  EXPECT_EQ(box.Image1->geometry(), QRect(8, 8, 225, 89));
  EXPECT_EQ(box.Image1->pixmap().size(), QSize(225, 89));
  EXPECT_EQ(box.Label1->text(), QStringLiteral("TALYX串口通信控制器"));
  EXPECT_EQ(box.Label1->geometry(), QRect(40, 128, 217, 25));
  EXPECT_EQ(box.Label2->text(), QStringLiteral("版本:V1.1"));
  EXPECT_EQ(box.Label2->geometry(), QRect(128, 240, 145, 25));
  for (const QLabel* label : {box.Label1, box.Label2}) {
    EXPECT_TRUE(label->font().bold());
    EXPECT_EQ(label->font().pixelSize(), 13);
  }

  bool shownModally = false;
  QPoint centre;
  QTimer::singleShot(0, &box, [&] {
    shownModally = box.isVisible() && box.isModal();
    centre = box.frameGeometry().center();
    box.accept();
  });
  form->Btn_About->click();  // returns when the box is closed
  EXPECT_TRUE(shownModally);
  EXPECT_FALSE(box.isVisible());
  const QPoint screenCentre = box.screen()->availableGeometry().center();
  EXPECT_LE((centre - screenCentre).manhattanLength(), 2);
}

}  // namespace
}  // namespace talyx::testing
