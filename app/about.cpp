// TAboutBox.
#include "app/about.h"

namespace talyx::app {

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("AboutBox"));
}

}  // namespace talyx::app
