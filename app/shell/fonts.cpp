// The font faces the window and its dialogs draw Chinese texts in.
#include "app/shell/fonts.h"

namespace talyx::app {

QStringList CjkFaces() {
  return {QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Zen Hei")};
}

}  // namespace talyx::app
