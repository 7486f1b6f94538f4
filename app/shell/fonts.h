// The font faces the window and its dialogs draw Chinese texts in.
#pragma once

#include <QStringList>

namespace talyx::app {

// SimSun by its two names, then the CJK font that make run installs, so that on a machine
// without SimSun (any Linux one) the Chinese texts never show as boxes.
QStringList CjkFaces();

}  // namespace talyx::app
